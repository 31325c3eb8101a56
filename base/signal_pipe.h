// Signals as a readable descriptor, so that an event loop's poll wakes for them and whatever a
// signal asks for runs in normal context, never in the handler.
#pragma once

#include <signal.h>

#include <initializer_list>
#include <optional>
#include <vector>

#include "base/unique_fd.h"

namespace base {

// The handler only notes the signal and writes its number, one byte, to a non-blocking
// self-pipe (a full pipe already wakes the reader). Handlers are installed with SA_RESTART, so
// that a system call in progress completes undisturbed, with the set's own signals held off
// while one runs; the signals are unblocked, since a caller may have started us with them
// blocked. The previous handling of each is put back when the pipe goes. A signal belongs to
// one SignalPipe at a time.
class SignalPipe {
 public:
  explicit SignalPipe(std::initializer_list<int> signals);
  ~SignalPipe();
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  // The read end to poll; -1 when no pipe could be made (no descriptors left). The signals are
  // still noted then, and a poll on -1 only waits out its timeout or an interrupting signal.
  int fd() const { return read_.get(); }
  bool piped() const { return static_cast<bool>(read_); }
  // Whether one of the signals arrived since the pipe was made.
  bool caught() const;
  // Empties the pipe without waiting; the last signal it held, if any.
  std::optional<int> drain();

 private:
  struct Installed {
    int signal;
    struct sigaction previous;
  };
  std::vector<Installed> installed_;
  // Closed after the handlers are put back, so no handler writes to a descriptor number reused.
  UniqueFd read_;
  UniqueFd write_;
};

// A signal ignored while this lives (SIGPIPE, so that a write to a reader that went away fails
// with EPIPE instead of ending the process); its previous handling put back after.
class IgnoredSignal {
 public:
  explicit IgnoredSignal(int signal);
  ~IgnoredSignal();
  IgnoredSignal(const IgnoredSignal&) = delete;
  IgnoredSignal& operator=(const IgnoredSignal&) = delete;

 private:
  int signal_;
  struct sigaction previous_ {};
};

}  // namespace base
