// What the application can tell about another process beyond the pid file's identity check and
// its pin (base/process_pin.h): its arguments, and its name. Linux reads /proc, macOS sysctl and
// libproc.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform.h"

namespace app {

// The arguments after the program name; empty when they cannot be read.
std::vector<std::string> readProcessArguments(int pid);
// Whether the process is alive and its executable's file name is `name`: all that can be told of
// another user's process, whose executable cannot be looked at.
bool processAliveNamed(int pid, std::string_view name);

}  // namespace app
