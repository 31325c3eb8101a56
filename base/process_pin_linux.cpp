// The process pin on Linux: a pidfd, which polls readable once its process has ended and takes
// signals for that process alone.
#include "base/process_pin.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace base {

std::optional<ProcessPin> ProcessPin::pin(int pid) {
  if (pid <= 0) {
    errno = ESRCH;
    return std::nullopt;
  }
  UniqueFd fd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  if (!fd) {
    return std::nullopt;
  }
  return ProcessPin(pid, std::move(fd));
}

bool ProcessPin::ended(std::chrono::milliseconds wait) {
  if (!ended_) {
    pollfd p{fd_.get(), POLLIN, 0};
    int ready;
    do {
      ready = ::poll(&p, 1, static_cast<int>(wait.count()));
    } while (ready < 0 && errno == EINTR);
    // An error on a pidfd we hold cannot happen; it counts as ended, so nothing is held blind.
    ended_ = ready != 0;
  }
  return ended_;
}

PinWake ProcessPin::wait(int otherFd, std::chrono::milliseconds timeout) {
  if (ended_) {
    return PinWake::ended;
  }
  pollfd fds[2] = {{fd_.get(), POLLIN, 0}, {otherFd, POLLIN, 0}};
  const int ready = ::poll(fds, 2, static_cast<int>(timeout.count()));
  if (ready == 0) {
    return PinWake::timedOut;
  }
  if (ready > 0 && fds[0].revents != 0) {
    ended_ = true;
    return PinWake::ended;
  }
  return PinWake::woken;  // the other descriptor, or a signal interrupted the poll
}

bool ProcessPin::send(int signal) const {
  return ::syscall(SYS_pidfd_send_signal, fd_.get(), signal, nullptr, 0) == 0;
}

}  // namespace base
