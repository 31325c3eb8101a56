// The snapshot and the textfile exporter, on top of the delegate and the shell's services.
#include "app/headless/headless_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/admin_script.h"
#include "app/headless/prometheus.h"
#include "app/headless/snapshot.h"
#include "app/run_application.h"
#include "base/io.h"
#include "base/pid_file_contract.h"
#include "base/unique_fd.h"

namespace app {

namespace {

void print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

class NeverFires final : public RepeatingTimer {
 public:
  void invalidate() override { valid_ = false; }
  bool isValid() const override { return valid_; }

 private:
  bool valid_ = true;
};

}  // namespace

std::unique_ptr<RepeatingTimer> IdleTimers::scheduledTimer(double, std::function<void()>) {
  return std::make_unique<NeverFires>();
}

int runHeadlessSnapshot(HeadlessShell& shell, const HeadlessOptions& options) {
  const bool prometheus = options.format == SnapshotFormat::prometheus;
  const auto actionsThenReport = [&](AppDelegate& delegate) {
    bool failed = false;
    for (MenuAction action : options.actions) {
      if (shell.signalled()) {
        break;
      }
      if (!delegate.perform(action)) {
        const std::string_view name = selectorName(action);
        std::fprintf(stderr, "Quillomatics: %.*s failed; the fans were left as they were\n",
                     static_cast<int>(name.size()), name.data());
        failed = true;
      }
    }
    if (!shell.signalled()) {
      // The menu and the readings of one moment: a refresh, then the same rows with their keys.
      delegate.updateReadings();
      const SnapshotReadings readings = gatherSnapshotReadings(delegate);
      if (prometheus) {
        print(prometheusText(readings, delegate.fanMode(), true));
      } else {
        const RecordingStatusItem* item = shell.statusBar.item();
        print(snapshotJson(item->title(), *item->menu(), delegate, readings) + "\n");
      }
    }
    return failed ? kActionFailedStatus : 0;
  };
  return runApplication(shell.delegate, shell.environment,
                        ApplicationRun{.terminateRequested = shell.terminateRequested,
                                       .run = actionsThenReport,
                                       .launchFailed = [prometheus](AppDelegate& delegate) {
                                         if (prometheus) {
                                           print(prometheusText({}, delegate.fanMode(), false));
                                         }
                                       }});
}

int runHeadlessTextfile(HeadlessShell& shell, const HeadlessOptions& options) {
  const std::string& path = *options.textfile;
  const auto report = [&path](const std::string& why) {
    std::fprintf(stderr, "Quillomatics: cannot write %s: %s\n", path.c_str(), why.c_str());
  };
  const auto writeUntilSignalled = [&](AppDelegate& delegate) {
    bool wrote = true;
    const auto tick = [&] {
      delegate.updateReadings();
      const auto problem = writeFileAtomically(
          path, prometheusText(gatherSnapshotReadings(delegate), delegate.fanMode(), true));
      // Said once when writing starts failing, not every interval.
      if (problem && wrote) {
        report(*problem);
      }
      wrote = !problem;
    };
    tick();
    if (!wrote) {
      return 1;
    }
    shell.repeatUntilSignalled(options.textfileInterval(), tick);
    unlink(path.c_str());
    return 0;
  };
  return runApplication(
      shell.delegate, shell.environment,
      ApplicationRun{.terminateRequested = shell.terminateRequested,
                     .run = writeUntilSignalled,
                     .launchFailed = [&](AppDelegate& delegate) {
                       if (const auto problem = writeFileAtomically(
                               path, prometheusText({}, delegate.fanMode(), false))) {
                         report(*problem);
                       }
                     }});
}

std::optional<std::string> writeFileAtomically(const std::string& path, std::string_view text) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
    name.resize(dot);
  }
  std::string temp = directory + "." + name + ".XXXXXX";
  std::vector<char> pattern(temp.begin(), temp.end());
  pattern.push_back('\0');
  base::UniqueFd fd(mkostemp(pattern.data(), O_CLOEXEC));
  if (!fd) {
    return std::string(std::strerror(errno));
  }
  temp.assign(pattern.data());
  // A file system may report a failed write only at the close.
  const bool written = fchmod(fd.get(), 0644) == 0 && base::writeAll(fd.get(), text) && fd.reset();
  const int writeError = errno;
  if (!written || rename(temp.c_str(), path.c_str()) != 0) {
    const int error = written ? errno : writeError;
    unlink(temp.c_str());
    return std::string(std::strerror(error));
  }
  return std::nullopt;
}

}  // namespace app
