// Results of the simulated Mac's operations: a value or a message that says what went wrong.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace sim {

// Success, or the reason for a failure in words a person can act on.
class Status {
 public:
  Status() = default;
  static Status failure(std::string message) {
    Status s;
    s.error_ = std::move(message);
    s.failed_ = true;
    return s;
  }
  explicit operator bool() const { return !failed_; }
  bool ok() const { return !failed_; }
  const std::string& error() const { return error_; }

 private:
  std::string error_;
  bool failed_ = false;
};

// A value, or the reason there is none.
template <class T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}        // NOLINT: implicit, like std::optional
  Result(Status failure) : error_(failure.error()) {}  // NOLINT: from Status::failure(...)
  explicit operator bool() const { return value_.has_value(); }
  bool ok() const { return value_.has_value(); }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& value() { return *value_; }
  const std::string& error() const { return error_; }

 private:
  std::optional<T> value_;
  std::string error_;
};

}  // namespace sim
