// ventwarden guard MODE PID: the fans forced (full speed, or the cooling curve) for as long as
// the monitor process PID runs, and handed back the moment it ends, however it ends.
//
// The process the caller started splits off the guard's own before the SMC is opened and ends
// with the guard's one line: "OK" and 0 once the guard holds the fans, an "ERR " line and 1
// otherwise. The guard pins the monitor and checks that it runs the bundle's monitor, opens the
// SMC, writes the pid file with its own id, forces the fans and reads them back; then it waits
// in one blocking call at a time for the monitor's end, signal 15 or 2, or the next 3-second
// cycle (the curve, and fans the system put back to automatic, as after sleep, forced again).
// The hand-back: every fan's mode key and "FS! " to 0, the pid file removed while it names the
// guard, the connection closed, status 0.
#pragma once

#include <span>
#include <string_view>

#include "tool/ventwarden.h"

namespace tool {

// `args` as runTool has them, "guard" first.
int runGuard(smc::IOService& io, std::span<const std::string_view> args, ToolPlatform& platform);

// Forces again every fan whose mode key reads 0 (the system took it back, as a Mac does when it
// sleeps and wakes); `withMaxTarget` also writes its maximum as its target again. Gives up
// between fans once a stop is requested.
void forceAgainWhereAutomatic(ToolState& s, bool withMaxTarget, StopSignals* stop = nullptr);

}  // namespace tool
