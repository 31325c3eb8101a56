// The runs without a screen, the same on both platforms: the one-shot snapshot (launch, the
// menu actions, one report, termination) and the textfile exporter (launch, then the readings
// in Prometheus' format written to a file every interval until a termination signal).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/app_delegate.h"
#include "app/headless/headless_options.h"
#include "app/headless/recording_status_bar.h"

namespace app {

// The exit status of a snapshot whose fan-mode action failed.
inline constexpr int kActionFailedStatus = 3;

// What a headless run needs from its shell: the process's delegate, which the run makes with
// `environment` (its status bar `statusBar`) and releases after termination.
struct HeadlessShell {
  std::shared_ptr<AppDelegate>& delegate;
  AppEnvironment environment;
  RecordingStatusBar& statusBar;
  // Whether a termination signal has arrived; never waits.
  std::function<bool()> signalled;
  // Whether launching asked the application to terminate (no SMC).
  std::function<bool()> terminateRequested;
  // Calls `tick` every `interval` seconds until a termination signal arrives.
  std::function<void(double interval, const std::function<void()>& tick)> repeatUntilSignalled;
};

// Launch, the options' actions in order, the snapshot on standard output in the options'
// format, termination. 0; 1 when the SMC could not be opened; kActionFailedStatus when an
// action failed (named on standard error). A signal skips what is left and the report.
int runHeadlessSnapshot(HeadlessShell& shell, const HeadlessOptions& options);

// Launch, then the textfile written at once and every interval, each time after a refresh; at a
// termination signal the file is removed, so that no reading outlives the run that made it. 0;
// 1 when the SMC could not be opened (the file then says quillomatics_smc_up 0) or the first
// write failed.
int runHeadlessTextfile(HeadlessShell& shell, const HeadlessOptions& options);

// Writes `text` to a new file in `path`'s directory (named after it, with a leading dot and
// without its ending, so that node_exporter's *.prom match skips it), mode 0644, then renames it
// onto `path`: a reader sees the old file or the new one, never a part. On failure, the reason
// (errno's text), and nothing is left behind.
std::optional<std::string> writeFileAtomically(const std::string& path, std::string_view text);

// The exporter's services for the fans: it only reads, so that its termination, like its run,
// leaves alone a proactive tool someone else started (termination stops the tool the pid file
// names, with administrator rights when it runs as root). The pid file is read as the
// application reads it; nothing is signalled or removed, and neither the tool nor an
// administrator command runs.
class ReadOnlyProcessControl final : public ProcessControl {
 public:
  explicit ReadOnlyProcessControl(ProcessControl& processes) : processes_(processes) {}
  std::optional<std::string> readPidFile(std::string_view path, std::size_t maxBytes) override {
    return processes_.readPidFile(path, maxBytes);
  }
  void removeFile(std::string_view) override {}
  void signalTool(int, std::string_view, int) override {}
  int currentProcessId() override { return processes_.currentProcessId(); }
  bool toolRunning(int pid, std::string_view toolPath) override {
    return processes_.toolRunning(pid, toolPath);
  }
  std::vector<std::string> processArguments(int pid) override {
    return processes_.processArguments(pid);
  }
  std::unique_ptr<ProcessWatch> watchProcess(int pid) override {
    return processes_.watchProcess(pid);
  }
  ScriptResult runTool(std::string_view, const std::vector<std::string>&) override { return {}; }

 private:
  ProcessControl& processes_;
};

class RefusedAdminScripts final : public AdminScriptRunner {
 public:
  ScriptResult runWithAdministratorPrivileges(const AdminScript&) override { return {}; }
};

// Timers that never fire: a headless delegate refreshes when its run says, not on its own.
class IdleTimers final : public TimerScheduler {
 public:
  std::unique_ptr<RepeatingTimer> scheduledTimer(double interval,
                                                 std::function<void()> action) override;
};

}  // namespace app
