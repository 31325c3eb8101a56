// Signalling a process only when it runs the fan tool. A pid file can outlive its tool (a tool
// killed outright leaves it behind) and the system gives its number to the next process that
// asks: a signal by number alone would then reach whoever holds it now.
#pragma once

#include <chrono>
#include <string>

namespace tool {

enum class ToolSignal {
  sent,          // the process runs the executable and was signalled (and, when a wait was
                 // asked for, ended within it)
  stillRunning,  // signalled, and still running when the wait ran out
  notTheTool,    // the process runs something else, or the id is not a process id: no signal
  noProcess,     // no process has that id (or it ended while being checked): no signal
  unknown,       // cannot tell (another user's process, a missing executable): no signal
};

// Sends `signal` to process `pid` only when that process runs the executable `executable`
// names: the very file (same device and inode), or the file that was at that path when the
// process started and has been replaced since (an upgrade), when the process runs as root or
// as the caller. A process that never ran that path is never signalled. On Linux the process is
// pinned with a pidfd before it is looked at and signalled through that pin, so an id given to
// another process meanwhile is never reached; on macOS the check goes through proc_pidpath and
// the signal through kill. Any signal but 0 is followed by SIGCONT, so that a stopped process
// goes on to handle it. With `waitForExit`, a signalled process is given that long to end.
ToolSignal signalIfRunning(int pid, const std::string& executable, int signal,
                           std::chrono::milliseconds waitForExit = {});

// A path that names this process's own executable file: /proc/self/exe on Linux, the path
// proc_pidpath gives on macOS. Empty when it cannot be told.
std::string ownExecutable();
// A path that names process `pid`'s executable file: /proc/PID/exe on Linux, the path
// proc_pidpath gives on macOS. Empty when it cannot be told.
std::string executableOf(int pid);

}  // namespace tool
