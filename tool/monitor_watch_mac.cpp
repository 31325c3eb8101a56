// The monitor watch on macOS: a kqueue holding EVFILT_PROC with NOTE_EXIT for the process, which
// attaches to the process itself, so that one kevent() waits for the monitor's end and the stop
// signals' descriptor together.
#include "tool/monitor_watch.h"

#include <libproc.h>
#include <sys/event.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "base/tool_contract.h"
#include "base/unique_fd.h"
#include "tool/process_identity.h"

namespace {

class KqueueWatch final : public MonitorWatch {
 public:
  explicit KqueueWatch(base::UniqueFd queue) : queue_(std::move(queue)) {}

  MonitorWake wait(int stopFd, std::chrono::milliseconds timeout) override {
    struct kevent change {};
    int changes = 0;
    if (stopFd >= 0) {
      EV_SET(&change, static_cast<uintptr_t>(stopFd), EVFILT_READ, EV_ADD, 0, 0, nullptr);
      changes = 1;
    }
    const timespec limit{static_cast<time_t>(timeout.count() / 1000),
                         static_cast<long>(timeout.count() % 1000) * 1'000'000L};
    struct kevent events[2] = {};
    const int ready = ::kevent(queue_.get(), &change, changes, events, 2, &limit);
    if (ready == 0) {
      return MonitorWake::timedOut;
    }
    for (int i = 0; i < ready; ++i) {
      if (events[i].filter == EVFILT_PROC) {
        return MonitorWake::ended;
      }
    }
    return MonitorWake::woken;  // the stop pipe, or a signal interrupted the wait
  }

 private:
  base::UniqueFd queue_;
};

// Whether the exit the queue watches for has not been reported yet.
bool running(const base::UniqueFd& queue) {
  struct kevent event {};
  const timespec now{0, 0};
  int ready;
  do {
    ready = ::kevent(queue.get(), nullptr, 0, &event, 1, &now);
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
  base::UniqueFd queue(::kqueue());
  if (!queue) {
    return nullptr;
  }
  // Registering fails (ESRCH) for an id no process has. From here on the queue reports this
  // process's exit, so the look below is at the pinned process as long as no exit came meanwhile.
  struct kevent pin {};
  EV_SET(&pin, static_cast<uintptr_t>(pid), EVFILT_PROC, EV_ADD, NOTE_EXIT, 0, nullptr);
  if (::kevent(queue.get(), &pin, 1, nullptr, 0, nullptr) != 0) {
    return nullptr;
  }
  char path[PROC_PIDPATHINFO_MAXSIZE];
  struct stat watched {};
  if (proc_pidpath(pid, path, sizeof path) <= 0 || ::stat(path, &watched) != 0 || !running(queue)) {
    return nullptr;
  }
  if (watched.st_dev != monitor.st_dev || watched.st_ino != monitor.st_ino) {
    return nullptr;
  }
  return std::make_unique<KqueueWatch>(std::move(queue));
}

std::string monitorBesideTool() {
  const std::string self = ownExecutable();  // proc_pidpath: already the real path
  if (self.empty()) {
    return {};
  }
  return (std::filesystem::path(self).parent_path() / kMonitorFileName).string();
}
