// The identity check on macOS: proc_pidpath names the process's executable, kill signals it.
// Without a pin the id could pass to another process between the look and the signal; the
// window is that of two system calls, where a stale id alone would always hit.
#include "tool/process_identity.h"

#include <libproc.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

ToolSignal signalIfRunning(int pid, const std::string& executable, int signal,
                           std::chrono::milliseconds waitForExit) {
  if (pid <= 0) {
    return ToolSignal::notTheTool;
  }
  struct stat tool {};
  if (::stat(executable.c_str(), &tool) != 0) {
    return ToolSignal::unknown;
  }
  char path[PROC_PIDPATHINFO_MAXSIZE];
  if (proc_pidpath(pid, path, sizeof path) <= 0) {
    return errno == ESRCH ? ToolSignal::noProcess : ToolSignal::unknown;
  }
  struct stat running {};
  if (::stat(path, &running) != 0) {
    return ToolSignal::unknown;
  }
  if (running.st_dev != tool.st_dev || running.st_ino != tool.st_ino) {
    return ToolSignal::notTheTool;
  }
  if (::kill(pid, signal) != 0) {
    return errno == ESRCH ? ToolSignal::noProcess : ToolSignal::unknown;
  }
  // No handle to wait on: look again every few milliseconds until the id is gone.
  const auto deadline = std::chrono::steady_clock::now() + waitForExit;
  while (::kill(pid, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ToolSignal::sent;
}

std::string ownExecutable() {
  char path[PROC_PIDPATHINFO_MAXSIZE];
  const int n = proc_pidpath(getpid(), path, sizeof path);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}
