// Fakes of the application's platform services, for tests of the core and of front ends. Each
// records what it was asked; those that matter for ordering also append to a shared event log.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/platform.h"
#include "smc/io_service.h"

namespace app {

using EventLog = std::vector<std::string>;

class FakeStatusItem final : public StatusItem {
 public:
  bool button = true;
  std::optional<std::string> plainTitle;
  std::optional<StyledText> styledTitle;
  MenuModel shownMenu;
  int menuUpdates = 0;

  bool hasButton() const override { return button; }
  void setTitle(std::string_view title) override {
    plainTitle = std::string(title);
    styledTitle.reset();
  }
  void setAttributedTitle(const StyledText& title) override {
    styledTitle = title;
    plainTitle.reset();
  }
  void setMenu(const MenuModel& menu) override {
    shownMenu = menu;
    ++menuUpdates;
  }
};

class FakeStatusBar final : public StatusBar {
 public:
  bool itemsHaveButton = true;
  int created = 0;
  FakeStatusItem* last = nullptr;  // owned by whoever asked for it

  std::unique_ptr<StatusItem> statusItemWithLength(double length) override;
  double lastLength = 0.0;
};

class FakeAlerts final : public Alerts {
 public:
  explicit FakeAlerts(EventLog& log) : log_(log) {}
  std::vector<Alert> shown;
  void runModal(const Alert& alert) override {
    shown.push_back(alert);
    log_.push_back("alert");
  }

 private:
  EventLog& log_;
};

class FakeTimers final : public TimerScheduler {
 public:
  explicit FakeTimers(EventLog& log) : log_(log) {}

  struct State {
    double interval = 0.0;
    std::function<void()> action;
    bool valid = true;
  };
  std::vector<std::shared_ptr<State>> timers;

  std::unique_ptr<RepeatingTimer> scheduledTimer(double interval,
                                                 std::function<void()> action) override;
  // One tick of every valid timer.
  void fireAll();

 private:
  EventLog& log_;
};

class FakeDefaults final : public UserDefaults {
 public:
  std::map<std::string, bool, std::less<>> values;
  int writes = 0;
  bool boolForKey(std::string_view key) override {
    auto it = values.find(key);
    return it != values.end() && it->second;
  }
  void setBool(bool value, std::string_view key) override {
    values[std::string(key)] = value;
    ++writes;
  }
};

class FakeBundle final : public Bundle {
 public:
  std::string path = "/Applications/Quillomatics.app";
  std::string bundlePath() override { return path; }
};

class FakeScriptRunner final : public AdminScriptRunner {
 public:
  explicit FakeScriptRunner(EventLog& log) : log_(log) {}
  std::vector<AdminScript> runs;
  ScriptResult result{true, std::string("OK")};
  // Called with each script before the result is returned (e.g. to play the tool's part).
  std::function<void(const AdminScript&)> onRun;

  ScriptResult runWithAdministratorPrivileges(const AdminScript& script) override {
    runs.push_back(script);
    log_.push_back("script");
    if (onRun) {
      onRun(script);
    }
    return result;
  }

 private:
  EventLog& log_;
};

class FakeProcessControl final : public ProcessControl {
 public:
  explicit FakeProcessControl(EventLog& log) : log_(log) {}
  std::map<std::string, std::string, std::less<>> files;
  std::vector<std::pair<int, int>> signals;  // (pid, signal)
  std::vector<std::string> toolPaths;        // the executable each signal was meant for
  std::vector<std::string> removed;
  std::size_t lastMaxBytes = 0;
  // As for an application without rights facing a tool that runs as root: signals are not
  // delivered and the file cannot be removed.
  bool foreignTool = false;

  std::optional<std::string> readPidFile(std::string_view path, std::size_t maxBytes) override {
    lastMaxBytes = maxBytes;
    auto it = files.find(path);
    if (it == files.end()) {
      return std::nullopt;
    }
    return it->second;
  }
  void removeFile(std::string_view path) override {
    removed.emplace_back(path);
    if (!foreignTool) {
      files.erase(std::string(path));
    }
    log_.push_back("remove pid file");
  }
  void signalTool(int pid, std::string_view toolPath, int signal) override {
    signals.emplace_back(pid, signal);
    toolPaths.emplace_back(toolPath);
    log_.push_back("kill " + std::to_string(pid) + " " + std::to_string(signal));
    if (!foreignTool && signal == 15) {
      runningTools.erase(pid);
    }
  }

  int processId = 4242;
  // The processes that run the tool, with their arguments; a signal 15 this process may send
  // ends one.
  std::set<int> runningTools;
  std::map<int, std::vector<std::string>> arguments;
  // Each runTool call's arguments, the result it gives, and what the tool does meanwhile.
  std::vector<std::vector<std::string>> toolRuns;
  ScriptResult toolResult{true, std::string("OK")};
  std::function<void(const std::vector<std::string>&)> onToolRun;

  int currentProcessId() override { return processId; }
  bool toolRunning(int pid, std::string_view) override { return runningTools.contains(pid); }
  std::vector<std::string> processArguments(int pid) override {
    const auto it = arguments.find(pid);
    return it == arguments.end() ? std::vector<std::string>{} : it->second;
  }
  std::unique_ptr<ProcessWatch> watchProcess(int pid) override;
  ScriptResult runTool(std::string_view, const std::vector<std::string>& args) override {
    toolRuns.push_back(args);
    log_.push_back("tool");
    if (onToolRun) {
      onToolRun(args);
    }
    return toolResult;
  }

 private:
  EventLog& log_;
};

class FakeApplication final : public Application {
 public:
  explicit FakeApplication(EventLog& log) : log_(log) {}
  int terminations = 0;
  std::vector<std::string> reports;
  void terminate() override {
    ++terminations;
    log_.push_back("terminate");
  }
  void reportOnExit(std::string_view line) override {
    reports.emplace_back(line);
    log_.push_back("report");
  }
  std::vector<std::string> failures;
  void reportFailure(std::string_view line) override {
    failures.emplace_back(line);
    log_.push_back("failure");
  }

 private:
  EventLog& log_;
};

// Wraps an IOService and logs the connection's open and close and every accepted write, by key.
class LoggingIOService final : public smc::IOService {
 public:
  LoggingIOService(smc::IOService& inner, EventLog& log) : inner_(inner), log_(log) {}
  smc::IOHandle getMatchingService(std::string_view name) override;
  smc::IOReturn serviceOpen(smc::IOHandle service, std::uint32_t type,
                            smc::IOHandle& connection) override;
  void objectRelease(smc::IOHandle service) override { inner_.objectRelease(service); }
  smc::IOReturn callStructMethod(smc::IOHandle connection, std::uint32_t selector,
                                 const void* input, std::size_t inputSize, void* output,
                                 std::size_t* outputSize) override;
  smc::IOReturn serviceClose(smc::IOHandle connection) override;

 private:
  smc::IOService& inner_;
  EventLog& log_;
};

// Every fake together, with the environment a delegate is made from.
struct FakePlatform {
  explicit FakePlatform(smc::IOService& smc)
      : io(smc, log), alerts(log), timers(log), scripts(log), processes(log), application(log) {}

  EventLog log;
  LoggingIOService io;
  FakeStatusBar statusBar;
  FakeAlerts alerts;
  FakeTimers timers;
  FakeDefaults defaults;
  FakeBundle bundle;
  FakeScriptRunner scripts;
  FakeProcessControl processes;
  FakeApplication application;

  AppEnvironment environment() {
    return AppEnvironment{io,     statusBar, alerts,    timers,     defaults,
                          bundle, scripts,   processes, application};
  }
};

}  // namespace app
