// Splits a running monitor's CPU time into its waits and its work. Loaded with LD_PRELOAD, it
// wraps poll(2) and adds the thread's CPU time inside each call (going to sleep and waking up
// again, which the wake-only floor pays as well) and between calls (the work of each wake) to
// three counters in the file named by QUILL_WAIT_SPLIT: waits, wait ns, work ns, as native
// 64-bit integers. The file is mapped, so reading the counters costs the monitor nothing;
// bench/refresh_cost.sh reads them at the start and at the end of its window. Wrapping adds two
// reads of the thread's clock to every wait.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace {

struct Counters {
  std::uint64_t waits;
  std::uint64_t waitNs;
  std::uint64_t workNs;
};

using PollFn = int (*)(pollfd*, nfds_t, int);

std::int64_t threadNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// The counters' mapping, or null when QUILL_WAIT_SPLIT is unset or cannot be made; kept for the
// life of the process.
Counters* mapCounters() {
  const char* path = std::getenv("QUILL_WAIT_SPLIT");
  if (path == nullptr) {
    return nullptr;
  }
  const int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    return nullptr;
  }
  void* map = MAP_FAILED;
  if (ftruncate(fd, sizeof(Counters)) == 0) {
    map = mmap(nullptr, sizeof(Counters), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  close(fd);
  return map == MAP_FAILED ? nullptr : static_cast<Counters*>(map);
}

}  // namespace

extern "C" int poll(pollfd* fds, nfds_t count, int timeoutMs) {
  static const auto real = reinterpret_cast<PollFn>(dlsym(RTLD_NEXT, "poll"));
  static Counters* const counters = mapCounters();
  // The end of the previous wait; work is counted from there. Only the main thread polls here.
  static std::int64_t lastReturn = 0;
  if (counters == nullptr) {
    return real(fds, count, timeoutMs);
  }
  const std::int64_t before = threadNs();
  const int result = real(fds, count, timeoutMs);
  const std::int64_t after = threadNs();
  std::atomic_ref<std::uint64_t>(counters->waitNs) += static_cast<std::uint64_t>(after - before);
  if (lastReturn != 0) {
    std::atomic_ref<std::uint64_t>(counters->workNs) +=
        static_cast<std::uint64_t>(before - lastReturn);
  }
  std::atomic_ref<std::uint64_t>(counters->waits) += 1;
  lastReturn = after;
  return result;
}
