// ventwarden: open the SMC, read the fan table, then apply "max", "auto" or run "proactive".
// The platform pieces (output, signals, pid file, process id) come in from the caller, so the
// whole run can be driven against an in-process SMC.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "base/tool_contract.h"
#include "smc/io_service.h"
#include "tool/guard_launch.h"
#include "tool/monitor_watch.h"
#include "tool/pid_file.h"
#include "tool/process_identity.h"
#include "tool/stop_signals.h"
#include "tool/tool_smc.h"

namespace tool {

// One line of standard output, flushed at once.
class ToolOutput {
 public:
  virtual ~ToolOutput() = default;
  virtual void line(std::string_view text) = 0;
};

struct ToolPlatform {
  ToolOutput& out;
  StopSignals& signals;
  const PidFile& pidFile;
  std::int32_t pid;
  // For "stop": signal 15 to the process when it runs this very tool, waiting a while for it
  // to end. None: "stop" cannot signal anything.
  std::function<ToolSignal(std::int32_t pid)> stopTool = {};
  // For "guard": how its process is split off from the caller's, and the watch on the monitor
  // process PID (none when PID is not a running monitor). Without them "guard" starts nothing.
  GuardLaunch* guardLaunch = nullptr;
  std::function<std::unique_ptr<MonitorWatch>(std::int32_t pid)> watchMonitor = {};
  // For "proactive" and "guard": whether a process runs this very tool. None: no pid file names
  // one.
  ToolProbe probeTool = {};
};

// `args` are the arguments after the program name. Returns the exit status.
//
// "guard MODE PID" holds the fans for the monitor process PID: see tool/guard.h.
//
// Besides max, auto and proactive, "stop PID" ends a proactive instance of this tool: signal 15
// to PID only when that process runs this tool's own executable, then the pid file removed when
// it still names PID. "OK" and status 0 once no instance runs under that id; "ERR Bad process
// id" for an id that is not a positive decimal number, "ERR Can't stop process" when the process
// cannot be looked at or signalled or is still running after the wait, both with status 1 and
// the pid file left as it is. The SMC is not opened for it.
int runTool(smc::IOService& io, std::span<const std::string_view> args, ToolPlatform& platform);

// The pieces of a run, in the order the run uses them.
// The service found and opened, the record size set; the reply line when that fails ("ERR No
// SMC", "ERR Can't open SMC").
std::optional<std::string_view> openSmc(ToolState& s);
void readFanTable(ToolState& s);
// Writes [mode] to every fan's "Md" key whose key info answers, with its own data size. With
// `stop`, gives up between fans once a stop is requested.
void setFanModes(ToolState& s, std::uint8_t mode, StopSignals* stop = nullptr);
void applyMax(ToolState& s);
// Pid file, forced fans, "OK", then the loop until signalled; the stop sequence; 0. A pid file
// that names another running tool ends the run with "ERR Already running" and 1, and one that
// cannot be written with "ERR Can't write pid file" and 1, both before any fan is forced: one
// tool at a time, and never one that nothing could find to stop.
int runProactive(ToolState& s, ToolPlatform& platform);

}  // namespace tool
