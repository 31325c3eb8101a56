// The identity check on macOS: proc_pidpath names the process's executable, kill signals it.
// Without a pin the id could pass to another process between the look and the signal; the
// window is that of two system calls, where a stale id alone would always hit.
#include "tool/process_identity.h"

#include <libproc.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace tool {

namespace {

// Whether the process was started from the path `executable` names, whose file has been
// replaced since (an upgrade): proc_pidpath still gives the path it was started from. Only a
// process that runs as root or as the caller counts.
bool ranReplacedFile(int pid, const char* path, const std::string& executable) {
  char real[PATH_MAX];
  if (::realpath(executable.c_str(), real) == nullptr || std::strcmp(real, path) != 0) {
    return false;
  }
  proc_bsdinfo info{};
  const int size = static_cast<int>(sizeof info);
  if (proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &info, size) != size) {
    return false;
  }
  return info.pbi_uid == 0 || info.pbi_uid == ::geteuid();
}

}  // namespace

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
  const bool same =
      ::stat(path, &running) == 0 && running.st_dev == tool.st_dev && running.st_ino == tool.st_ino;
  if (!same && !ranReplacedFile(pid, path, executable)) {
    return ToolSignal::notTheTool;
  }
  if (::kill(pid, signal) != 0) {
    return errno == ESRCH ? ToolSignal::noProcess : ToolSignal::unknown;
  }
  // A stopped process would keep the signal pending for good: it is continued.
  if (signal != 0) {
    (void)::kill(pid, SIGCONT);
  }
  // No handle to wait on: look again every few milliseconds until the id is gone.
  const auto deadline = std::chrono::steady_clock::now() + waitForExit;
  bool alive = ::kill(pid, 0) == 0;
  while (alive && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    alive = ::kill(pid, 0) == 0;
  }
  return waitForExit.count() > 0 && alive ? ToolSignal::stillRunning : ToolSignal::sent;
}

std::string ownExecutable() {
  return executableOf(getpid());
}

std::string executableOf(int pid) {
  char path[PROC_PIDPATHINFO_MAXSIZE];
  const int n = pid > 0 ? proc_pidpath(pid, path, sizeof path) : 0;
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace tool
