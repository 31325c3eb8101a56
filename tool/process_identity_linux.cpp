// The identity check on Linux: a pidfd pins the process, /proc/<pid>/exe names its executable,
// and pidfd_send_signal signals through the pin.
#include "tool/process_identity.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "base/process_pin.h"

namespace tool {

namespace {

// Whether the process's executable is the file that stood at `executable` when it started and
// has been replaced since: the kernel names an executable whose last link is gone by its path
// and " (deleted)". A file that merely carries such a name still has a link, and a process of
// another user (one that is neither root nor the caller) never counts.
bool ranReplacedFile(const std::string& proc, const struct stat& running,
                     const std::string& executable) {
  char real[PATH_MAX];
  if (running.st_nlink != 0 || ::realpath(executable.c_str(), real) == nullptr) {
    return false;
  }
  char named[PATH_MAX];
  const ssize_t n = ::readlink((proc + "/exe").c_str(), named, sizeof named);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof named) {
    return false;
  }
  struct stat owner {};
  if (::stat(proc.c_str(), &owner) != 0 || (owner.st_uid != 0 && owner.st_uid != ::geteuid())) {
    return false;
  }
  return std::string(named, static_cast<std::size_t>(n)) == std::string(real) + " (deleted)";
}

}  // namespace

ToolSignal signalIfRunning(int pid, const std::string& executable, int signal,
                           std::chrono::milliseconds waitForExit) {
  if (pid <= 0) {
    return ToolSignal::notTheTool;  // a process group, or every process
  }
  struct stat tool {};
  if (::stat(executable.c_str(), &tool) != 0) {
    return ToolSignal::unknown;
  }
  auto pin = base::ProcessPin::pin(pid);
  if (!pin) {
    return errno == ESRCH ? ToolSignal::noProcess : ToolSignal::unknown;
  }
  // The pin is taken first: while the pinned process runs, its id cannot be given to another,
  // so what /proc shows under that id now is the pinned process as long as it still runs after
  // the look.
  struct stat running {};
  const std::string proc = "/proc/" + std::to_string(pid);
  if (::stat((proc + "/exe").c_str(), &running) != 0) {
    // ENOENT: a process that has exited and waits to be reaped has no executable any more.
    return errno == ENOENT ? ToolSignal::noProcess : ToolSignal::unknown;
  }
  const bool same = running.st_dev == tool.st_dev && running.st_ino == tool.st_ino;
  const bool replaced = !same && ranReplacedFile(proc, running, executable);
  if (pin->ended()) {
    return ToolSignal::noProcess;
  }
  if (!same && !replaced) {
    return ToolSignal::notTheTool;
  }
  if (!pin->send(signal)) {
    return errno == ESRCH ? ToolSignal::noProcess : ToolSignal::unknown;
  }
  // A stopped process would keep the signal pending for good: it is continued through the same
  // pin, so that a stop it was sent is carried out.
  if (signal != 0) {
    (void)pin->send(SIGCONT);
  }
  if (waitForExit.count() > 0 && !pin->ended(waitForExit)) {
    return ToolSignal::stillRunning;
  }
  return ToolSignal::sent;
}

std::string ownExecutable() {
  return "/proc/self/exe";
}

std::string executableOf(int pid) {
  return pid > 0 ? "/proc/" + std::to_string(pid) + "/exe" : std::string();
}

}  // namespace tool
