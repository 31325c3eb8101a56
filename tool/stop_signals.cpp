// Signals 15 and 2 as a stop request: a signal pipe that wakes poll().
#include "tool/stop_signals.h"

#include <poll.h>

#include <csignal>

namespace tool {

bool PosixStopSignals::arm() {
  if (!signals_) {
    // Without a pipe (no descriptors left) the handling still works: the signal interrupts the
    // wait's poll, only a signal landing just before the poll waits out the interval.
    signals_ = std::make_unique<base::SignalPipe>(std::initializer_list<int>{SIGTERM, SIGINT});
    brokenPipe_ = std::make_unique<base::IgnoredSignal>(SIGPIPE);
  }
  return signals_->piped();
}

bool PosixStopSignals::stopRequested() {
  return signals_ && signals_->caught();
}

bool PosixStopSignals::waitForStop(std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  while (!stopRequested()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      return false;
    }
    // Unarmed, the descriptor is -1 and poll just sleeps. A wake-up byte, an interrupting
    // signal and the timeout all lead back to the check.
    pollfd wake{signals_ ? signals_->fd() : -1, POLLIN, 0};
    poll(&wake, 1, static_cast<int>(left));
  }
  return true;
}

PosixStopSignals::~PosixStopSignals() {
  // The handlers go before the pipe they write to.
  signals_.reset();
  brokenPipe_.reset();
}

}  // namespace tool
