// What the device's parts share: the clock of the model, the file lock and the seqlock that
// every change and every read of the mapping goes through. Private to sim/sim_device*.cpp.
#pragma once

#include <sys/file.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "sim/sim_device.h"

namespace sim {

// A reader gives up spinning after this many tries and waits for the writer's lock instead.
inline constexpr int kSpinLimit = 2000;

inline std::int64_t monotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

inline void lockFile(int fd, int operation) {
  while (::flock(fd, operation) != 0 && errno == EINTR) {
  }
}

template <class Change>
void Device::write(Change change) {
  lockFile(fd_.get(), LOCK_EX);
  std::atomic_ref<std::uint32_t> seq(header_->seq);
  const std::uint32_t before = seq.load(std::memory_order_relaxed);
  // An odd count left by a writer that died mid-change stays odd until this change is done.
  seq.store(before | 1u, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  change();
  seq.store((before | 1u) + 1, std::memory_order_release);
  lockFile(fd_.get(), LOCK_UN);
}

template <class Read>
void Device::read(Read reader) const {
  std::atomic_ref<std::uint32_t> seq(header_->seq);
  for (int attempt = 0; attempt < kSpinLimit; ++attempt) {
    const std::uint32_t before = seq.load(std::memory_order_acquire);
    if (before & 1u) {
      continue;
    }
    reader();
    std::atomic_thread_fence(std::memory_order_acquire);
    if (seq.load(std::memory_order_relaxed) == before) {
      return;
    }
  }
  // The writer is slow or died mid-change: its lock tells when it is done.
  lockFile(fd_.get(), LOCK_SH);
  reader();
  lockFile(fd_.get(), LOCK_UN);
}

}  // namespace sim
