// The process pin on macOS: a kqueue whose one registered event is the process's exit. The
// registration attaches to the process itself, so the queue reports that process's end and no
// other's.
#include "base/process_pin.h"

#include <signal.h>
#include <sys/event.h>
#include <unistd.h>

#include <cerrno>

namespace base {
namespace {

timespec asTimespec(std::chrono::milliseconds d) {
  return timespec{static_cast<time_t>(d.count() / 1000),
                  static_cast<long>(d.count() % 1000) * 1'000'000L};
}

}  // namespace

std::optional<ProcessPin> ProcessPin::pin(int pid) {
  if (pid <= 0) {
    errno = ESRCH;
    return std::nullopt;
  }
  UniqueFd queue(::kqueue());
  if (!queue) {
    return std::nullopt;
  }
  struct kevent change {};
  EV_SET(&change, static_cast<uintptr_t>(pid), EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0,
         nullptr);
  if (::kevent(queue.get(), &change, 1, nullptr, 0, nullptr) != 0) {
    return std::nullopt;  // ESRCH: no such process
  }
  return ProcessPin(pid, std::move(queue));
}

bool ProcessPin::ended(std::chrono::milliseconds wait) {
  if (!ended_) {
    const timespec limit = asTimespec(wait);
    struct kevent events[2] = {};
    int ready;
    do {
      ready = ::kevent(fd_.get(), nullptr, 0, events, 2, &limit);
    } while (ready < 0 && errno == EINTR);
    // Only the exit counts (a descriptor a wait registered may be the one ready); an error on
    // the queue counts as ended, so that nothing is held blind.
    ended_ = ready < 0;
    for (int i = 0; i < ready; ++i) {
      ended_ = ended_ || events[i].filter == EVFILT_PROC;
    }
  }
  return ended_;
}

PinWake ProcessPin::wait(int otherFd, std::chrono::milliseconds timeout) {
  if (ended_) {
    return PinWake::ended;
  }
  struct kevent change {};
  int changes = 0;
  if (otherFd >= 0) {
    EV_SET(&change, static_cast<uintptr_t>(otherFd), EVFILT_READ, EV_ADD, 0, 0, nullptr);
    changes = 1;
  }
  const timespec limit = asTimespec(timeout);
  struct kevent events[2] = {};
  const int ready = ::kevent(fd_.get(), &change, changes, events, 2, &limit);
  if (ready == 0) {
    return PinWake::timedOut;
  }
  for (int i = 0; i < ready; ++i) {
    if (events[i].filter == EVFILT_PROC) {
      ended_ = true;
      return PinWake::ended;
    }
  }
  return PinWake::woken;  // the other descriptor, or a signal interrupted the wait
}

bool ProcessPin::send(int signal) const {
  return ::kill(pid_, signal) == 0;
}

}  // namespace base
