// The guard's hold on the monitor process: the process pinned, so that its id passing to another
// process later cannot fool the guard, and one blocking wait for its end, a stop signal or the
// next cycle.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "base/process_pin.h"

namespace tool {

// ended: the monitor has ended, however it ended; woken: the stop descriptor became readable, or
// a signal interrupted the wait; timedOut: the time ran out with the monitor still running.
using MonitorWake = base::PinWake;

class MonitorWatch {
 public:
  virtual ~MonitorWatch() = default;
  // Blocks in one call until the monitor ends, `stopFd` becomes readable (-1: none) or
  // `timeout` has passed.
  virtual MonitorWake wait(int stopFd, std::chrono::milliseconds timeout) = 0;
};

// Pins process `pid` and returns the watch on it when, looked at through the pin, it runs the
// very file `executable` names (same device and inode) and still runs after the look. None when
// no process has that id, it runs something else, or it cannot be looked at. The pin is a
// base::ProcessPin: a pidfd on Linux, a kqueue with EVFILT_PROC and NOTE_EXIT on macOS.
std::unique_ptr<MonitorWatch> watchMonitor(std::int32_t pid, const std::string& executable);

// The monitor's executable as the guard accepts it: kMonitorFileName in the directory of this
// process's own executable (its real path). Empty when that cannot be told.
std::string monitorBesideTool();

}  // namespace tool
