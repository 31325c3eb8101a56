// ventwarden: open the SMC, read the fan table, then apply "max", "auto" or run "proactive".
// The platform pieces (output, signals, pid file, process id) come in from the caller, so the
// whole run can be driven against an in-process SMC.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "smc/io_service.h"
#include "tool/pid_file.h"
#include "tool/stop_signals.h"
#include "tool/tool_smc.h"

inline constexpr std::string_view kUsageLine = "Usage: ventwarden [max|auto|proactive]";

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
};

// `args` are the arguments after the program name. Returns the exit status.
int runTool(IOService& io, std::span<const std::string_view> args, ToolPlatform& platform);

// The pieces of a run, in the order the run uses them.
void readFanTable(ToolState& s);
// Writes [mode] to every fan's "Md" key whose key info answers, with its own data size. With
// `stop`, gives up between fans once a stop is requested.
void setFanModes(ToolState& s, std::uint8_t mode, StopSignals* stop = nullptr);
void applyMax(ToolState& s);
// Pid file, forced fans, "OK", then the loop until signalled; the stop sequence; 0.
int runProactive(ToolState& s, ToolPlatform& platform);
