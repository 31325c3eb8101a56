// What the application core needs from its platform, one small interface per service. The macOS
// shell implements them with AppKit/Foundation, the Linux shell with a terminal, files and
// processes; tests implement them with fakes. Nothing here decides anything: every choice (texts,
// layout, the script source, the pid-file rules) is the core's.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/menu_model.h"
#include "app/styled_text.h"

namespace smc {
class IOService;
}  // namespace smc

namespace app {

// The item in the system status bar, with its drop-down menu.
class StatusItem {
 public:
  virtual ~StatusItem() = default;
  // Whether the item has a button that shows a title (an NSStatusItem's button may be nil).
  virtual bool hasButton() const = 0;
  // The button's plain title (setTitle:).
  virtual void setTitle(std::string_view title) = 0;
  // The button's styled title (setAttributedTitle:).
  virtual void setAttributedTitle(const StyledText& title) = 0;
  // Shows `menu` as the item's drop-down menu, replacing every item shown before
  // (removeAllItems, then addItem: per item). Choosing an item with an action is reported to the
  // core through AppDelegate::perform. The model stays the caller's, who keeps it alive as long
  // as the item and changes it only during a refresh, which ends with setMenu again: an item may
  // refer to it until then (the recording item does) or copy it into its own menu items.
  virtual void setMenu(const MenuModel& menu) = 0;
};

class StatusBar {
 public:
  virtual ~StatusBar() = default;
  // A new item in the system status bar; length −1.0 is the variable length (as wide as its
  // content).
  virtual std::unique_ptr<StatusItem> statusItemWithLength(double length) = 0;
};

enum class AlertStyle { warning = 0, informational = 1, critical = 2 };

struct Alert {
  std::string messageText;
  std::string informativeText;
  AlertStyle style = AlertStyle::warning;
  std::vector<std::string> buttons;  // titles, in the order they are added
};

class Alerts {
 public:
  virtual ~Alerts() = default;
  // Shows the alert modally and returns once the user has dismissed it.
  virtual void runModal(const Alert& alert) = 0;
};

class RepeatingTimer {
 public:
  virtual ~RepeatingTimer() = default;
  // Stops the timer for good; later ticks never come.
  virtual void invalidate() = 0;
  virtual bool isValid() const = 0;
};

class TimerScheduler {
 public:
  virtual ~TimerScheduler() = default;
  // A repeating timer on the main loop that calls `action` every `interval` seconds, also while
  // the menu is open (on macOS: scheduled, then added for the common modes). No tolerance.
  virtual std::unique_ptr<RepeatingTimer> scheduledTimer(double interval,
                                                         std::function<void()> action) = 0;
};

// The standard user defaults; only Booleans are needed.
class UserDefaults {
 public:
  virtual ~UserDefaults() = default;
  // False when the key has never been written or cannot be read.
  virtual bool boolForKey(std::string_view key) = 0;
  // Stores the value at once (best effort; failures are not reported).
  virtual void setBool(bool value, std::string_view key) = 0;
};

class Bundle {
 public:
  virtual ~Bundle() = default;
  // The main bundle's path, e.g. "/Applications/Quillomatics.app". Empty when it cannot be
  // told; the core runs nothing with administrator rights from a path that is not absolute.
  virtual std::string bundlePath() = 0;
};

// A command to run with administrator rights, in both forms the platforms need: the AppleScript
// source for NSAppleScript ("do shell script \"...\" with administrator privileges"), and the
// shell command that source runs, for platforms that run it through sudo or pkexec.
struct AdminScript {
  std::string appleScriptSource;
  std::string shellCommand;
};

struct ScriptResult {
  // False when the script could not be created or run, the authorisation was refused or
  // cancelled, or the command failed.
  bool succeeded = false;
  // The result's text (stringValue); none when the result has no text.
  std::optional<std::string> stringValue;
};

class AdminScriptRunner {
 public:
  virtual ~AdminScriptRunner() = default;
  // Runs the script synchronously with administrator rights, asking the user for them if needed.
  virtual ScriptResult runWithAdministratorPrivileges(const AdminScript& script) = 0;
};

// A process pinned by its id, so that its end is noticed even if the id is given to another
// process afterwards.
class ProcessWatch {
 public:
  virtual ~ProcessWatch() = default;
  // Whether the process has ended; never waits.
  virtual bool ended() = 0;
};

// Files, processes and signals: the fan tool's pid file, the tool's processes, and running the
// tool with this process's own rights.
class ProcessControl {
 public:
  virtual ~ProcessControl() = default;
  // This process's id: the monitor's, which the tool's guard watches.
  virtual int currentProcessId() = 0;
  // Whether `pid` runs the executable at `toolPath` (an absolute path), by the same check as
  // signalTool. A process that cannot be looked at (a tool started with administrator rights,
  // seen from an application without them) counts when it is alive and carries the tool's name.
  virtual bool toolRunning(int pid, std::string_view toolPath) = 0;
  // The process's arguments after the program name; empty when they cannot be read.
  virtual std::vector<std::string> processArguments(int pid) = 0;
  // Pins the process to notice its end; null when there is no such process.
  virtual std::unique_ptr<ProcessWatch> watchProcess(int pid) = 0;
  // Runs the executable at `toolPath` with `args`, with this process's own rights, and waits for
  // it: for the tool's commands when this process may write the fans itself. The result is
  // as the administrator runner's: its standard output, and success for exit status 0.
  virtual ScriptResult runTool(std::string_view toolPath, const std::vector<std::string>& args) = 0;
  // The file's bytes, or none when it is missing or unreadable, is not a regular file, is a
  // symbolic link, is owned by anyone but root or the current user, or is longer than
  // `maxBytes`. Never blocks (a FIFO is refused without waiting for a writer).
  virtual std::optional<std::string> readPidFile(std::string_view path, std::size_t maxBytes) = 0;
  // Removes the file; errors are ignored.
  virtual void removeFile(std::string_view path) = 0;
  // Sends `signal` to `pid` only when that process runs the executable at `toolPath` (an
  // absolute path): a pid file that outlived its tool names a process id the system may have
  // given to any other process since. Nothing is sent for anything else, a process that cannot
  // be looked at included; the outcome is not reported. A signalled tool is given a moment to
  // end (and hand the fans back) before this returns.
  virtual void signalTool(int pid, std::string_view toolPath, int signal) = 0;
};

class Application {
 public:
  virtual ~Application() = default;
  // Asks the application to terminate (NSApp terminate:). The shell then runs
  // AppDelegate::applicationWillTerminate once and ends the process; it may return first.
  virtual void terminate() = 0;
  // Tells the user, on the way out, what termination could not do (one line, no line end): in a
  // terminal after the screen is restored, on macOS in the log.
  virtual void reportOnExit(std::string_view line) = 0;
  // Tells the user now that an action could not do what it said (one line, no line end): on the
  // terminal's status line, on standard error without a terminal, on macOS in the log.
  virtual void reportFailure(std::string_view line) = 0;
};

// Everything the delegate is given by its shell. The referenced objects outlive the delegate.
struct AppEnvironment {
  smc::IOService& smcService;
  StatusBar& statusBar;
  Alerts& alerts;
  TimerScheduler& timers;
  UserDefaults& defaults;
  Bundle& bundle;
  AdminScriptRunner& scripts;
  ProcessControl& processes;
  Application& application;
};

}  // namespace app
