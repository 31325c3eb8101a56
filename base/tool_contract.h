// What the application and the fan tool agree on: where the tool and the monitor sit in the
// bundle, the tool's command words, its reply lines and how a reply is judged. The pid file's
// part of the contract is in base/pid_file_contract.h. Both programs, and the tests that stand
// in for either, take these from here.
#pragma once

#include <string_view>

#include "base/pid_file_contract.h"

// The executables inside the bundle, relative to the bundle's path.
inline constexpr std::string_view kToolInBundle = "/Contents/MacOS/ventwarden";
inline constexpr std::string_view kMonitorInBundle = "/Contents/MacOS/Quillomatics";
// The monitor's file name beside the tool, for the tool's check of the process it guards.
inline constexpr std::string_view kMonitorFileName = "Quillomatics";

// Command words. One-shot: max, auto. Long-running: proactive (background, no monitor),
// "guard max PID" and "guard proactive PID" (full speed or the curve, held while the monitor
// process PID runs, handed back the moment it ends). "stop PID" ends a running tool.
inline constexpr std::string_view kMaxCommand = "max";
inline constexpr std::string_view kAutoCommand = "auto";
inline constexpr std::string_view kProactiveCommand = "proactive";
inline constexpr std::string_view kGuardCommand = "guard";
inline constexpr std::string_view kStopCommand = "stop";

// Reply lines: exactly one line on standard output.
inline constexpr std::string_view kReplyOk = "OK";
inline constexpr std::string_view kUsageLine = "Usage: ventwarden [max|auto|proactive]";
inline constexpr std::string_view kNoSmc = "ERR No SMC";
inline constexpr std::string_view kCannotOpenSmc = "ERR Can't open SMC";
inline constexpr std::string_view kUnknownCommand = "ERR Unknown command: ";
inline constexpr std::string_view kPidFileError = "ERR Can't write pid file";
inline constexpr std::string_view kBadProcessId = "ERR Bad process id";
inline constexpr std::string_view kCannotStop = "ERR Can't stop process";
// proactive: the pid file names another running tool; nothing was forced.
inline constexpr std::string_view kAlreadyRunning = "ERR Already running";
// guard: the process named is not the bundle's monitor (or is gone), so nothing would hand the
// fans back; nothing was forced.
inline constexpr std::string_view kNotTheMonitor = "ERR Not the monitor";
// guard: after forcing, no fan reads forced (a machine without mode keys); everything was handed
// back and nothing keeps running.
inline constexpr std::string_view kFansNotForced = "ERR Fans not forced";
// guard: the guard's process ended, or could not be started, before it said whether it holds
// the fans.
inline constexpr std::string_view kGuardLost = "ERR Guard did not start";

// How the application judges a reply: success when it contains "OK". The tool prints "OK" on
// success and an "ERR " line otherwise.
inline constexpr bool replySucceeded(std::string_view reply) {
  return reply.find(kReplyOk) != std::string_view::npos;
}
