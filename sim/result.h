// Results of the simulated Mac's operations: a value or a message that says what went wrong.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace sim {

// What kind of failure a Status reports, for callers that act on it rather than show it.
enum class ErrorKind {
  none,           // success
  failed,         // any failure a caller only reports
  alreadyExists,  // the thing to be created is there already
};

// Success, or the reason for a failure in words a person can act on, with its kind.
class Status {
 public:
  Status() = default;
  static Status failure(std::string message, ErrorKind kind = ErrorKind::failed) {
    Status s;
    s.error_ = std::move(message);
    s.kind_ = kind;
    return s;
  }
  explicit operator bool() const { return kind_ == ErrorKind::none; }
  bool ok() const { return kind_ == ErrorKind::none; }
  ErrorKind kind() const { return kind_; }
  const std::string& error() const { return error_; }

 private:
  std::string error_;
  ErrorKind kind_ = ErrorKind::none;
};

// A value, or the reason there is none.
template <class T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit, like std::optional
  Result(Status failure)                         // NOLINT: from Status::failure(...)
      : error_(failure.error()), kind_(failure.kind()) {}
  explicit operator bool() const { return value_.has_value(); }
  bool ok() const { return value_.has_value(); }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& value() { return *value_; }
  const std::string& error() const { return error_; }
  ErrorKind kind() const { return value_ ? ErrorKind::none : kind_; }

 private:
  std::optional<T> value_;
  std::string error_;
  ErrorKind kind_ = ErrorKind::failed;
};

}  // namespace sim
