// The prompt's terminal: the foreground group, the pseudo-terminal and the raw keys.
#include "app/linux/prompt_terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace app {

int promptTerminal() {
  if (isatty(STDIN_FILENO) == 0 || tcgetpgrp(STDIN_FILENO) != getpgrp()) {
    return -1;
  }
  return STDIN_FILENO;
}

void giveTerminalTo(int terminal, pid_t group) {
  sigset_t ttou;
  sigset_t previous;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  sigprocmask(SIG_BLOCK, &ttou, &previous);
  tcsetpgrp(terminal, group);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

std::optional<PromptPty> openPromptPty(int terminal) {
  PromptPty pty;
  if (tcgetattr(terminal, &pty.userModes) != 0) {
    return std::nullopt;
  }
  // Close-on-exec: the master must not live on in the prompt, so that this process's death
  // hangs the pseudo-terminal up.
  pty.master.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.master || grantpt(pty.master.get()) != 0 || unlockpt(pty.master.get()) != 0) {
    return std::nullopt;
  }
  const char* name = ptsname(pty.master.get());
  if (name == nullptr) {
    return std::nullopt;
  }
  pty.slave.reset(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.slave || tcsetattr(pty.slave.get(), TCSANOW, &pty.userModes) != 0) {
    return std::nullopt;
  }
  winsize size{};
  if (ioctl(terminal, TIOCGWINSZ, &size) == 0) {
    ioctl(pty.master.get(), TIOCSWINSZ, &size);
  }
  // Keys are relayed without waiting: keys the prompt does not take in time are dropped.
  const int flags = fcntl(pty.master.get(), F_GETFL);
  if (flags < 0 || fcntl(pty.master.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    return std::nullopt;
  }
  return pty;
}

RawKeys::RawKeys(int terminal, const termios& modes) : terminal_(terminal), saved_(modes) {
  termios raw = modes;
  raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF);
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  active_ = tcsetattr(terminal_, TCSANOW, &raw) == 0;
}

RawKeys::~RawKeys() {
  if (active_) {
    tcsetattr(terminal_, TCSANOW, &saved_);
  }
}

}  // namespace app
