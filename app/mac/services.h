// The application's other platform services in AppKit and Foundation: the alert, the refresh
// timer, the user defaults, the bundle path, the administrator script runner, the pid-file and
// signal calls, and termination.
#pragma once

#import <AppKit/AppKit.h>

#include <functional>
#include <memory>

#include "app/platform.h"
#include "app/posix/process_control.h"

class MacAlerts final : public app::Alerts {
 public:
  void runModal(const app::Alert& alert) override;
};

// An NSTimer on the main run loop; invalidated at the latest when this object goes away.
class MacRepeatingTimer final : public app::RepeatingTimer {
 public:
  explicit MacRepeatingTimer(NSTimer* timer) : timer_(timer) {}
  ~MacRepeatingTimer() override;
  MacRepeatingTimer(const MacRepeatingTimer&) = delete;
  MacRepeatingTimer& operator=(const MacRepeatingTimer&) = delete;

  void invalidate() override;
  bool isValid() const override;

 private:
  NSTimer* timer_;
};

class MacTimerScheduler final : public app::TimerScheduler {
 public:
  std::unique_ptr<app::RepeatingTimer> scheduledTimer(double interval,
                                                      std::function<void()> action) override;
};

class MacUserDefaults final : public app::UserDefaults {
 public:
  bool boolForKey(std::string_view key) override;
  void setBool(bool value, std::string_view key) override;
};

class MacBundle final : public app::Bundle {
 public:
  std::string bundlePath() override;
};

// NSAppleScript: the "do shell script ... with administrator privileges" source as the core built
// it; the system asks the user for administrator credentials.
class AppleScriptRunner final : public app::AdminScriptRunner {
 public:
  app::ScriptResult runWithAdministratorPrivileges(const app::AdminScript& script) override;
};

// The pid file is read and signalled through the shared POSIX code; NSFileManager removes it.
class MacProcessControl final : public app::PosixProcessControl {
 public:
  void removeFile(std::string_view path) override;
};

class MacApplication final : public app::Application {
 public:
  void terminate() override;
  // NSLog: the application has no window left to show it in.
  void reportOnExit(std::string_view line) override;
  void reportFailure(std::string_view line) override;
};
