// The command lines that start the fan tool with administrator rights: the tool's path in the
// bundle, its quoting for the shell, the shell command and the AppleScript source around it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/platform.h"
#include "base/tool_contract.h"

namespace app {

// The tool inside the bundle: bundlePath + "/Contents/MacOS/ventwarden".
std::string toolPath(std::string_view bundlePath);

// The path with every ' replaced by '\'' so that, between single quotes, the shell takes it as
// one word whatever it holds.
std::string quotedToolPath(std::string_view path);

// 'PATH' MODE: a one-shot run whose output is the tool's one line.
std::string oneShotShellCommand(std::string_view toolPath, std::string_view mode);
// 'PATH' proactive >/dev/null 2>&1 &: the tool started in the background, its output dropped.
std::string proactiveShellCommand(std::string_view toolPath);

// 'PATH' guard MODE PID: full speed (max) or the proactive curve, held while the monitor process
// PID runs and handed back the moment it ends. The tool answers once it is in place and then
// stays in the background; its reply is its one line.
std::string guardShellCommand(std::string_view toolPath, std::string_view mode, int monitorPid);
// The guard's arguments after the tool's path, for running it without administrator rights.
std::vector<std::string> guardArguments(std::string_view mode, int monitorPid);

// do shell script "COMMAND" with administrator privileges. The command is escaped for the
// AppleScript string literal (\ and " escaped, line breaks and tabs as \n \r \t), so that no
// character of the path can end the literal early.
std::string appleScriptSource(std::string_view shellCommand);

// The stop of a proactive tool that runs with administrator rights: 'PATH' stop PID. The tool
// itself, as root, signals PID only when that process runs the very same executable, and
// removes the pid file when it still names PID; nothing is looked up through PATH and no
// process id passes through a shell test that another process could win.
std::string stopToolShellCommand(std::string_view toolPath, int pid);

// Both forms of a one-shot run, of the proactive start and of its stop, for a bundle path.
// None when the bundle path is not absolute (the application could not tell where it runs
// from): a relative tool path would run whatever the current directory holds, as root.
std::optional<AdminScript> oneShotScript(std::string_view bundlePath, std::string_view mode);
std::optional<AdminScript> proactiveScript(std::string_view bundlePath);
std::optional<AdminScript> stopToolScript(std::string_view bundlePath, int pid);

// The stop of a proactive tool that runs with administrator rights followed by another command,
// so that one authorisation covers both: STOP >/dev/null || exit 1; COMMAND. When the stop fails
// (the tool is still running) the command does not run and the exit status is 1; otherwise the
// output and exit status that count are the command's.
std::string stopThenShellCommand(std::string_view toolPath, int pid, std::string_view command);
// Both forms of the guard's start, alone and after the stop of a root tool.
std::optional<AdminScript> guardScript(std::string_view bundlePath, std::string_view mode,
                                       int monitorPid);
std::optional<AdminScript> stopThenGuardScript(std::string_view bundlePath, int pid,
                                               std::string_view mode, int monitorPid);

// Both forms of that stop followed by a one-shot run, or by the proactive start.
std::optional<AdminScript> stopThenOneShotScript(std::string_view bundlePath, int pid,
                                                 std::string_view mode);
std::optional<AdminScript> stopThenProactiveScript(std::string_view bundlePath, int pid);

// A pid file's content as the process id to signal: white space and line ends trimmed from both
// ends, then an optional sign and decimal digits within the signed 32-bit range. None for
// anything else, for text that is not UTF-8, and for 0 or a negative id (kill would reach a
// whole process group or every process of the user).
std::optional<int> parsePidFile(std::string_view content);

}  // namespace app
