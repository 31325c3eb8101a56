// The identity check on Linux: a pidfd pins the process, /proc/<pid>/exe names its executable,
// and pidfd_send_signal signals through the pin.
#include "tool/process_identity.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "base/unique_fd.h"

namespace {

class Pin {
 public:
  explicit Pin(int pid) : fd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}
  int get() const { return fd_.get(); }
  // Whether the pinned process is still running after up to `wait`; an exited one reads as
  // ready.
  bool running(std::chrono::milliseconds wait = {}) const {
    pollfd p{fd_.get(), POLLIN, 0};
    int ready;
    do {
      ready = ::poll(&p, 1, static_cast<int>(wait.count()));
    } while (ready < 0 && errno == EINTR);
    return ready == 0;
  }

 private:
  base::UniqueFd fd_;
};

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
  const Pin pin(pid);
  if (pin.get() < 0) {
    return errno == ESRCH ? ToolSignal::noProcess : ToolSignal::unknown;
  }
  // The pin is taken first: while the pinned process runs, its id cannot be given to another,
  // so what /proc shows under that id now is the pinned process as long as it still runs after
  // the look.
  struct stat running {};
  const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
  if (::stat(exe.c_str(), &running) != 0) {
    // ENOENT: a process that has exited and waits to be reaped has no executable any more.
    return errno == ENOENT ? ToolSignal::noProcess : ToolSignal::unknown;
  }
  if (!pin.running()) {
    return ToolSignal::noProcess;
  }
  if (running.st_dev != tool.st_dev || running.st_ino != tool.st_ino) {
    return ToolSignal::notTheTool;
  }
  if (::syscall(SYS_pidfd_send_signal, pin.get(), signal, nullptr, 0) != 0) {
    return errno == ESRCH ? ToolSignal::noProcess : ToolSignal::unknown;
  }
  if (waitForExit.count() > 0) {
    (void)pin.running(waitForExit);
  }
  return ToolSignal::sent;
}

std::string ownExecutable() {
  return "/proc/self/exe";
}
