// How signals 15 and 2 reach the proactive loop: they only request a stop; the loop notices it
// between SMC calls or wakes from its wait at once, and runs the stop sequence itself.
#pragma once

#include <chrono>
#include <memory>

#include "base/signal_pipe.h"

namespace tool {

class StopSignals {
 public:
  virtual ~StopSignals() = default;

  // From this call on, signals 15 and 2 request a stop instead of ending the process. False when
  // the prompt wake-up could not be set up; the stop request itself works all the same.
  virtual bool arm() = 0;
  virtual bool stopRequested() = 0;
  // Sleeps up to `timeout`; returns true as soon as a stop is requested (at once when it
  // already was), false when the time ran out.
  virtual bool waitForStop(std::chrono::milliseconds timeout) = 0;
  // A descriptor that becomes readable once a stop is requested, for a wait that also watches
  // something else; -1 when there is none (then a signal still interrupts such a wait).
  virtual int wakeFd() const { return -1; }
};

// SIGTERM and SIGINT through a base::SignalPipe; the wait polls the pipe. SIGPIPE is ignored
// meanwhile. One instance per process; the previous handling is restored when it goes.
class PosixStopSignals final : public StopSignals {
 public:
  PosixStopSignals() = default;
  PosixStopSignals(const PosixStopSignals&) = delete;
  PosixStopSignals& operator=(const PosixStopSignals&) = delete;
  ~PosixStopSignals() override;

  bool arm() override;
  bool stopRequested() override;
  bool waitForStop(std::chrono::milliseconds timeout) override;
  int wakeFd() const override { return signals_ ? signals_->fd() : -1; }

 private:
  std::unique_ptr<base::SignalPipe> signals_;
  // Our own "OK" written to a reader that has gone must not end the process with the fans
  // forced: the write just fails.
  std::unique_ptr<base::IgnoredSignal> brokenPipe_;
};

}  // namespace tool
