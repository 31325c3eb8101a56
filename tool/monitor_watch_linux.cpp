// The monitor watch on Linux: a pidfd pins the process and becomes readable when it ends, so one
// poll() waits for the monitor and the stop signals together.
#include "tool/monitor_watch.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "base/tool_contract.h"
#include "base/unique_fd.h"

namespace {

class PidfdWatch final : public MonitorWatch {
 public:
  explicit PidfdWatch(base::UniqueFd pin) : pin_(std::move(pin)) {}

  MonitorWake wait(int stopFd, std::chrono::milliseconds timeout) override {
    pollfd fds[2] = {{pin_.get(), POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(timeout.count()));
    if (ready == 0) {
      return MonitorWake::timedOut;
    }
    // A pidfd reads as ready once its process has ended; an error on it (it cannot have one
    // while we hold it) counts the same, so that the fans are never held blind.
    if (ready > 0 && fds[0].revents != 0) {
      return MonitorWake::ended;
    }
    return MonitorWake::woken;  // the stop pipe, or a signal interrupted the poll
  }

 private:
  base::UniqueFd pin_;
};

bool running(const base::UniqueFd& pin) {
  pollfd p{pin.get(), POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&p, 1, 0);
  } while (ready < 0 && errno == EINTR);
  return ready == 0;
}

}  // namespace

std::unique_ptr<MonitorWatch> watchMonitor(std::int32_t pid, const std::string& executable) {
  if (pid <= 0 || executable.empty()) {
    return nullptr;
  }
  struct stat monitor {};
  if (::stat(executable.c_str(), &monitor) != 0) {
    return nullptr;
  }
  base::UniqueFd pin(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  if (!pin) {
    return nullptr;
  }
  // Pinned first: while the pinned process runs its id stays its own, so what /proc shows under
  // the id is that process as long as it still runs after the look.
  struct stat watched {};
  const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
  if (::stat(exe.c_str(), &watched) != 0 || !running(pin)) {
    return nullptr;
  }
  if (watched.st_dev != monitor.st_dev || watched.st_ino != monitor.st_ino) {
    return nullptr;
  }
  return std::make_unique<PidfdWatch>(std::move(pin));
}

std::string monitorBesideTool() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", error);
  if (error) {
    return {};
  }
  return (self.parent_path() / kMonitorFileName).string();
}
