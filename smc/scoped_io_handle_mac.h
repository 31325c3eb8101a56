// Owners of IOKit handles (macOS only): each gives its handle back once, when reset or destroyed,
// the way base::UniqueFd does for descriptors.
#pragma once

#include <IOKit/IOKitLib.h>

#include <utility>

namespace smc {

// One IOKit handle, given back once with `Dispose` (IOObjectRelease or IOServiceClose).
template <kern_return_t (*Dispose)(io_object_t)>
class ScopedIOHandle {
 public:
  explicit ScopedIOHandle(io_object_t handle) : handle_(handle) {}
  ScopedIOHandle(ScopedIOHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, IO_OBJECT_NULL)) {}
  ScopedIOHandle& operator=(ScopedIOHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, IO_OBJECT_NULL);
    }
    return *this;
  }
  ScopedIOHandle(const ScopedIOHandle&) = delete;
  ScopedIOHandle& operator=(const ScopedIOHandle&) = delete;
  ~ScopedIOHandle() { reset(); }

  io_object_t get() const { return handle_; }
  // Gives the handle back now and returns what IOKit said.
  kern_return_t reset() {
    const io_object_t handle = std::exchange(handle_, IO_OBJECT_NULL);
    return handle != IO_OBJECT_NULL ? Dispose(handle) : KERN_SUCCESS;
  }

 private:
  io_object_t handle_;
};

using ScopedService = ScopedIOHandle<IOObjectRelease>;
using ScopedConnection = ScopedIOHandle<IOServiceClose>;

}  // namespace smc
