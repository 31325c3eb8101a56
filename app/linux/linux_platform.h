// The Linux implementations of the application's platform services, for the headless and the
// terminal shells.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/posix/process_control.h"

// "useFahrenheit" and any other Boolean in a small text file, one "key=true|false" per line,
// rewritten atomically (temporary file in the same directory, then rename). A missing, empty or
// corrupt file reads as false.
class SettingsFileDefaults final : public UserDefaults {
 public:
  explicit SettingsFileDefaults(std::filesystem::path file) : file_(std::move(file)) {}
  // $XDG_CONFIG_HOME/quillomatics/settings, or ~/.config/quillomatics/settings.
  static std::filesystem::path defaultLocation();

  bool boolForKey(std::string_view key) override;
  void setBool(bool value, std::string_view key) override;
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

// The bundle the executable runs from: for .../Quillomatics.app/Contents/MacOS/Quillomatics the
// path .../Quillomatics.app; for an executable outside such a layout its own directory; empty when
// the executable cannot be told (no /proc, or a path too long to read whole).
class ExecutableBundle final : public Bundle {
 public:
  std::string bundlePath() override;
  // The same rule for a given executable path.
  static std::string bundlePathFor(const std::filesystem::path& executable);
};

// Runs the shell command with administrator rights: directly with /bin/sh when already root,
// otherwise through pkexec (when a desktop session can answer it) or sudo. A refused or cancelled
// authorisation, or a non-zero exit status, is a failure. The output is the command's standard
// output with one trailing line end removed.
class SudoScriptRunner final : public AdminScriptRunner {
 public:
  // Called around an interactive prompt, so that a full-screen terminal front end can give the
  // terminal to sudo and take it back. afterPrompt gets the last line sudo or pkexec (or the
  // command) wrote to standard error, such as "sudo: 3 incorrect password attempts", or "".
  // While the prompt runs, the terminal's foreground process group is the prompt's own: Ctrl-C,
  // Ctrl-\ and Ctrl-Z cancel the prompt and never reach this process.
  std::function<void()> beforePrompt;
  std::function<void(const std::string&)> afterPrompt;
  // When set and not root: hand the command to an authorising agent listening on this Unix
  // socket instead of pkexec/sudo (used by automated tests with an agent they run as root).
  std::optional<std::string> agentSocket;

  ScriptResult runWithAdministratorPrivileges(const AdminScript& script) override;

  // How the command is raised: pkexec (a desktop session answers) or sudo (a prompt on the
  // terminal when there is one, else none), and the simulated SMC device to pass on.
  struct Elevation {
    bool usePkexec = false;
    bool canPrompt = false;
    std::string smcDevice;
  };
  static std::vector<std::string> elevatedCommandLine(const std::string& command,
                                                      const Elevation& how);
  // The simulated SMC device this process uses, handed to the tool so that both act on one
  // machine: QUILLOMATICS_SMC_DEVICE when set, else the default device as this process finds it
  // (in $XDG_RUNTIME_DIR, say, which sudo and pkexec do not pass on and root would not take).
  static std::string toolDevice();
};

// The pid file read with O_NOFOLLOW|O_NONBLOCK and checked with fstat; a signal only to the tool;
// unlink.
// terminate() asks the shell to end: it stops the loop and is remembered.
class LinuxApplication final : public Application {
 public:
  explicit LinuxApplication(std::function<void()> onTerminate = {})
      : onTerminate_(std::move(onTerminate)) {}
  void terminate() override;
  bool terminateRequested() const { return requested_; }
  // Kept until printReports(), which writes them to standard error: a full-screen front end
  // prints them after it has given the terminal back.
  void reportOnExit(std::string_view line) override;
  void printReports();

 private:
  std::function<void()> onTerminate_;
  std::vector<std::string> reports_;
  bool requested_ = false;
};

// A status item that keeps what it was last given, for the headless snapshot and for front ends
// that draw on their own schedule. Like an NSStatusItem with its NSMenu, it refers to the menu it
// was given rather than copying it: the caller owns the model and keeps it alive as long as the
// item, so a refresh does not copy every row a second time.
class RecordingStatusItem final : public StatusItem {
 public:
  struct Title {
    std::optional<std::string> plain;  // set with setTitle
    std::optional<StyledText> styled;  // set with setAttributedTitle
  };

  bool hasButton() const override { return true; }
  void setTitle(std::string_view title) override;
  void setAttributedTitle(const StyledText& title) override;
  void setMenu(const MenuModel& menu) override;

  const Title& title() const { return title_; }
  // The menu last given to setMenu; null before the first.
  const MenuModel* menu() const { return menu_; }
  // Called after every setMenu (the end of every refresh).
  std::function<void()> onChange;

 private:
  Title title_;
  const MenuModel* menu_ = nullptr;
};

class RecordingStatusBar final : public StatusBar {
 public:
  std::unique_ptr<StatusItem> statusItemWithLength(double length) override;
  // The item made last, owned by the delegate; null before launch created one.
  RecordingStatusItem* item() const { return item_; }

 private:
  RecordingStatusItem* item_ = nullptr;
};

// The alert on standard error: message text, then informative text, one line each.
class StderrAlerts final : public Alerts {
 public:
  void runModal(const Alert& alert) override;
};
