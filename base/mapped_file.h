// A shared memory mapping of a file that unmaps itself.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <utility>

namespace base {

class MappedFile {
 public:
  MappedFile() = default;
  // Maps the first `size` bytes of `fd` shared, with `protection` (PROT_READ, PROT_WRITE).
  // Empty when mmap fails; errno then says why.
  static MappedFile map(int fd, std::size_t size, int protection) {
    MappedFile m;
    void* data = ::mmap(nullptr, size, protection, MAP_SHARED, fd, 0);
    if (data != MAP_FAILED) {
      m.data_ = data;
      m.size_ = size;
    }
    return m;
  }
  MappedFile(MappedFile&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  MappedFile& operator=(MappedFile&& other) noexcept {
    if (this != &other) {
      reset();
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
    }
    return *this;
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { reset(); }

  void* data() const { return data_; }
  std::size_t size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }
  void reset() {
    if (data_ != nullptr) {
      ::munmap(data_, size_);
    }
    data_ = nullptr;
    size_ = 0;
  }

 private:
  void* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace base
