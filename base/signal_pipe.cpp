// The self-pipe behind SignalPipe: per signal, the write end and a caught flag, which is all the
// handler touches.
#include "base/signal_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace base {
namespace {

// Above every signal number of Linux and macOS.
constexpr int kSignalLimit = 65;

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free int");
std::atomic<int> writeFds[kSignalLimit];
volatile std::sig_atomic_t caughtFlags[kSignalLimit];

bool usable(int signal) {
  return signal > 0 && signal < kSignalLimit;
}

extern "C" void onSignal(int signal) {
  const int saved = errno;
  if (usable(signal)) {
    caughtFlags[signal] = 1;
    const int fd = writeFds[signal].load(std::memory_order_relaxed);
    if (fd >= 0) {
      const auto byte = static_cast<unsigned char>(signal);
      [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
  }
  errno = saved;
}

bool makePipe(int fds[2]) {
  if (::pipe(fds) != 0) {
    return false;
  }
  for (int i = 0; i < 2; ++i) {
    ::fcntl(fds[i], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[i], F_SETFL, ::fcntl(fds[i], F_GETFL) | O_NONBLOCK);
  }
  return true;
}

}  // namespace

SignalPipe::SignalPipe(std::initializer_list<int> signals) {
  int fds[2];
  if (makePipe(fds)) {
    read_.reset(fds[0]);
    write_.reset(fds[1]);
  }
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigset_t set;
  sigemptyset(&set);
  for (int signal : signals) {
    sigaddset(&action.sa_mask, signal);
    sigaddset(&set, signal);
  }
  action.sa_flags = SA_RESTART;
  for (int signal : signals) {
    if (!usable(signal)) {
      continue;
    }
    caughtFlags[signal] = 0;
    writeFds[signal].store(write_.get(), std::memory_order_relaxed);
    Installed entry{signal, {}};
    if (::sigaction(signal, &action, &entry.previous) == 0) {
      installed_.push_back(entry);
    } else {
      writeFds[signal].store(-1, std::memory_order_relaxed);
    }
  }
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

SignalPipe::~SignalPipe() {
  for (const auto& entry : installed_) {
    ::sigaction(entry.signal, &entry.previous, nullptr);
    writeFds[entry.signal].store(-1, std::memory_order_relaxed);
    caughtFlags[entry.signal] = 0;
  }
}

bool SignalPipe::caught() const {
  for (const auto& entry : installed_) {
    if (caughtFlags[entry.signal] != 0) {
      return true;
    }
  }
  return false;
}

std::optional<int> SignalPipe::drain() {
  std::optional<int> last;
  unsigned char buffer[16];
  for (;;) {
    const ssize_t n = ::read(read_.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return last;
    }
    last = buffer[n - 1];
  }
}

IgnoredSignal::IgnoredSignal(int signal) : signal_(signal) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(signal_, &ignore, &previous_);
}

IgnoredSignal::~IgnoredSignal() {
  ::sigaction(signal_, &previous_, nullptr);
}

}  // namespace base
