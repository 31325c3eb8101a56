// The user's terminal during an administrator prompt: whether there is one to prompt on, handing
// it to another process group, and a pseudo-terminal of this process's own with the user's
// terminal's keys passed on raw while the prompt runs there.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <optional>

#include "base/unique_fd.h"

namespace app {

// The terminal a prompt talks to: standard input, when it is a terminal whose foreground
// process group is this process's group (a process in the background must not take it); -1
// when there is none.
int promptTerminal();

// Makes `group` the terminal's foreground process group. SIGTTOU is blocked meanwhile: a process
// outside the foreground group that changes it would otherwise be stopped. Async-signal-safe.
void giveTerminalTo(int terminal, pid_t group);

// A pseudo-terminal for a prompt: the master, relayed by this process, and the slave, the
// prompt's controlling terminal, with the user's terminal's modes and window size.
struct PromptPty {
  base::UniqueFd master;
  base::UniqueFd slave;
  termios userModes{};
};

// None when the terminal's modes cannot be read or no pseudo-terminal can be had. The master is
// non-blocking: keys the prompt does not take in time are dropped.
std::optional<PromptPty> openPromptPty(int terminal);

// The user's terminal with keys passed on as typed, unechoed and unprocessed (no signal keys,
// no line editing, no flow control) while this lives, and with the modes it had after, on every
// way out. Output processing is left as it was, so that what is written to the terminal
// meanwhile (sudo's messages on standard error) still starts lines at the left margin.
class RawKeys {
 public:
  RawKeys(int terminal, const termios& modes);
  ~RawKeys();
  RawKeys(const RawKeys&) = delete;
  RawKeys& operator=(const RawKeys&) = delete;
  bool active() const { return active_; }

 private:
  int terminal_;
  termios saved_;
  bool active_ = false;
};

}  // namespace app
