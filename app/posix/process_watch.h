// What the application can tell about another process beyond the pid file's identity check: a pin
// that notices its end, its arguments, and its name. Linux uses a pidfd and /proc, macOS a kqueue
// and sysctl.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform.h"

// Null when there is no process with that id (or it cannot be pinned).
std::unique_ptr<ProcessWatch> pinProcess(int pid);
// The arguments after the program name; empty when they cannot be read.
std::vector<std::string> readProcessArguments(int pid);
// Whether the process is alive and its executable's file name is `name`: all that can be told of
// another user's process, whose executable cannot be looked at.
bool processAliveNamed(int pid, std::string_view name);
