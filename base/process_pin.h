// A process held by a descriptor of its own, so that its id passing to another process later
// cannot fool whoever watches it: a pidfd on Linux, a kqueue holding the process's exit
// (EVFILT_PROC, NOTE_EXIT) on macOS. The application follows its fan tool through one, the guard
// its monitor, and the tool's identity check the process it is about to signal.
#pragma once

#include <chrono>
#include <optional>

#include "base/unique_fd.h"

namespace base {

enum class PinWake {
  ended,     // the pinned process has ended, however it ended
  woken,     // the other descriptor became readable, or a signal interrupted the wait
  timedOut,  // the time ran out with the process still running
};

class ProcessPin {
 public:
  // None when no process has that id (errno ESRCH) or it cannot be pinned (errno says why).
  static std::optional<ProcessPin> pin(int pid);

  int pid() const { return pid_; }
  // Whether the process has ended, waiting up to `wait` for it to (zero: a look that never
  // blocks). Once it has said so, it always does.
  bool ended(std::chrono::milliseconds wait = {});
  // Blocks in one call until the process ends, `otherFd` becomes readable (-1: none) or
  // `timeout` has passed.
  PinWake wait(int otherFd, std::chrono::milliseconds timeout);
  // Sends `signal`: on Linux through the pin, so it never reaches a process that took the id
  // since; on macOS by kill(). False when it could not be sent (errno says why).
  bool send(int signal) const;

 private:
  ProcessPin(int pid, UniqueFd fd) : pid_(pid), fd_(std::move(fd)) {}

  int pid_;
  UniqueFd fd_;
  bool ended_ = false;
};

}  // namespace base
