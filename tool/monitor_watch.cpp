// The guard's watch on the monitor: the process pinned first, then its executable compared with
// the monitor beside the tool, and one blocking wait on the pin and the stop descriptor together.
#include "tool/monitor_watch.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "base/tool_contract.h"
#include "tool/process_identity.h"

namespace tool {

namespace {

class PinnedMonitor final : public MonitorWatch {
 public:
  explicit PinnedMonitor(base::ProcessPin pin) : pin_(std::move(pin)) {}

  MonitorWake wait(int stopFd, std::chrono::milliseconds timeout) override {
    return pin_.wait(stopFd, timeout);
  }

 private:
  base::ProcessPin pin_;
};

}  // namespace

std::unique_ptr<MonitorWatch> watchMonitor(std::int32_t pid, const std::string& executable) {
  if (pid <= 0 || executable.empty()) {
    return nullptr;
  }
  struct stat monitor {};
  if (::stat(executable.c_str(), &monitor) != 0) {
    return nullptr;
  }
  auto pin = base::ProcessPin::pin(pid);
  if (!pin) {
    return nullptr;
  }
  // Pinned first: while the pinned process runs its id stays its own, so what the system shows
  // under the id is that process as long as it still runs after the look.
  const std::string path = executableOf(pid);
  struct stat watched {};
  if (path.empty() || ::stat(path.c_str(), &watched) != 0 || pin->ended()) {
    return nullptr;
  }
  if (watched.st_dev != monitor.st_dev || watched.st_ino != monitor.st_ino) {
    return nullptr;
  }
  return std::make_unique<PinnedMonitor>(std::move(*pin));
}

std::string monitorBesideTool() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::canonical(ownExecutable(), error);
  if (error) {
    return {};
  }
  return (self.parent_path() / kMonitorFileName).string();
}

}  // namespace tool
