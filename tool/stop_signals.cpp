// Signals 15 and 2 as a stop request: a flag plus a self-pipe that wakes poll().
#include "tool/stop_signals.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>

namespace {

// The handler can reach nothing but these; both are set before the handler is installed.
volatile std::sig_atomic_t stopFlag = 0;
int wakeReadFd = -1;
int wakeWriteFd = -1;
struct sigaction previousTerm;
struct sigaction previousInt;
struct sigaction previousPipe;

extern "C" void onStopSignal(int) {
  const int savedErrno = errno;
  stopFlag = 1;
  const char byte = 1;
  const ssize_t written = write(wakeWriteFd, &byte, 1);  // a full pipe already wakes the loop
  (void)written;
  errno = savedErrno;
}

bool makePipe(int fds[2]) {
  if (pipe(fds) != 0) {
    return false;
  }
  for (int i = 0; i < 2; ++i) {
    fcntl(fds[i], F_SETFD, FD_CLOEXEC);
    fcntl(fds[i], F_SETFL, fcntl(fds[i], F_GETFL) | O_NONBLOCK);
  }
  return true;
}

}  // namespace

bool PosixStopSignals::arm() {
  if (armed_) {
    return wakeReadFd >= 0;
  }
  // Without a pipe (no descriptors left) the handling still works: the signal interrupts the
  // wait's poll, only a signal landing just before the poll waits out the interval.
  int fds[2];
  const bool piped = makePipe(fds);
  wakeReadFd = piped ? fds[0] : -1;
  wakeWriteFd = piped ? fds[1] : -1;
  stopFlag = 0;

  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaddset(&action.sa_mask, SIGINT);
  // Restart interrupted system calls, so an SMC exchange in progress completes undisturbed.
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, &previousTerm);
  sigaction(SIGINT, &action, &previousInt);
  // Our own "OK" written to a reader that has gone must not end the process with the fans
  // forced: the write just fails.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &previousPipe);

  // A caller may have started us with either signal blocked; unblock both.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  armed_ = true;
  return piped;
}

bool PosixStopSignals::stopRequested() {
  return stopFlag != 0;
}

bool PosixStopSignals::waitForStop(std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  while (stopFlag == 0) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      return false;
    }
    // Unarmed, the descriptor is -1 and poll just sleeps. A wake-up byte, an interrupting
    // signal and the timeout all lead back to the flag check.
    pollfd wake{wakeReadFd, POLLIN, 0};
    poll(&wake, 1, static_cast<int>(left));
  }
  return true;
}

PosixStopSignals::~PosixStopSignals() {
  if (!armed_) {
    return;
  }
  sigaction(SIGTERM, &previousTerm, nullptr);
  sigaction(SIGINT, &previousInt, nullptr);
  sigaction(SIGPIPE, &previousPipe, nullptr);
  if (wakeReadFd >= 0) {
    close(wakeReadFd);
    close(wakeWriteFd);
  }
  wakeReadFd = -1;
  wakeWriteFd = -1;
  stopFlag = 0;
}
