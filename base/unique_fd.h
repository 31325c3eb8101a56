// A file descriptor that closes itself.
#pragma once

#include <unistd.h>

#include <utility>

namespace base {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset(std::exchange(other.fd_, -1));
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Closes the descriptor held (if any) and holds `fd` instead. False when that close failed,
  // which matters after writing: a file system may report a failed write only there.
  bool reset(int fd = -1) {
    const int old = std::exchange(fd_, fd);
    return old < 0 || ::close(old) == 0;
  }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

}  // namespace base
