// The command lines that start the fan tool with administrator rights: the tool's path in the
// bundle, its quoting for the shell, the shell command and the AppleScript source around it.
#pragma once

#include <string>
#include <string_view>

#include "app/platform.h"

inline constexpr std::string_view kProactivePidFile = "/tmp/quillomatics_proactive.pid";

// The tool inside the bundle: bundlePath + "/Contents/MacOS/ventwarden".
std::string toolPath(std::string_view bundlePath);

// The path with every ' replaced by '\'' so that, between single quotes, the shell takes it as
// one word whatever it holds.
std::string quotedToolPath(std::string_view path);

// 'PATH' MODE: a one-shot run whose output is the tool's one line.
std::string oneShotShellCommand(std::string_view toolPath, std::string_view mode);
// 'PATH' proactive >/dev/null 2>&1 &: the tool started in the background, its output dropped.
std::string proactiveShellCommand(std::string_view toolPath);

// do shell script "COMMAND" with administrator privileges. The command is escaped for the
// AppleScript string literal (\ and " escaped, line breaks and tabs as \n \r \t), so that no
// character of the path can end the literal early.
std::string appleScriptSource(std::string_view shellCommand);

// The stop of a proactive tool that runs with administrator rights: signal 15 to PID when that
// process is the tool, then rm -f '/tmp/quillomatics_proactive.pid'.
std::string stopToolShellCommand(int pid);

// The stop of a proactive tool that runs with administrator rights followed by another command,
// so that one authorisation covers both: (STOP); COMMAND. The stop runs in a subshell, so that
// nothing it does ends the command line early; the exit status and output that count are the
// command's.
std::string stopThenShellCommand(int pid, std::string_view command);

// Both forms of a shell command.
AdminScript adminScript(std::string shellCommand);
// Both forms of a one-shot run, of the proactive start and of its stop, for a bundle path.
AdminScript oneShotScript(std::string_view bundlePath, std::string_view mode);
AdminScript proactiveScript(std::string_view bundlePath);
AdminScript stopToolScript(int pid);

// A pid file's content as the process id to signal: white space and line ends trimmed from both
// ends, then an optional sign and decimal digits within the signed 32-bit range. None for
// anything else, for text that is not UTF-8, and for 0 or a negative id (kill would reach a
// whole process group or every process of the user).
std::optional<int> parsePidFile(std::string_view content);
