// The Linux implementations of the application's platform services, for the headless and the
// terminal shells.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/headless/recording_status_bar.h"
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
// output with one trailing line end removed. The command runs in a process group of its own,
// with standard input from /dev/null unless a prompt is on the terminal.
//
// sudo's password prompt, when standard input is a terminal in the foreground, runs on a
// pseudo-terminal of this process's own (its controlling terminal and standard input), relayed:
// keys from the user's terminal, which is in raw, no-echo mode meanwhile and restored exactly
// after, go to the pseudo-terminal, and what sudo writes there goes to the user's terminal. So
// Ctrl-C and Ctrl-\ reach sudo through the pseudo-terminal and cancel it, Ctrl-Z cancels the
// prompt too, and none of them reaches this process. When this process dies, however it dies,
// the pseudo-terminal hangs up and sudo ends with it: no prompt is left reading the user's
// terminal. pkexec gets the terminal itself instead: while it runs, the terminal's foreground
// process group is pkexec's own, with the same effect on those keys.
class SudoScriptRunner final : public AdminScriptRunner {
 public:
  // Called around an interactive prompt, so that a full-screen terminal front end can give the
  // terminal to the prompt and take it back. afterPrompt gets the last line sudo or pkexec (or
  // the command) wrote to standard error, such as "sudo: 3 incorrect password attempts", or "".
  std::function<void()> beforePrompt;
  std::function<void(const std::string&)> afterPrompt;
  // When not -1: a descriptor that becomes readable when this process is asked to end (the event
  // loop's signal descriptor). While the command (a prompt, or the command it runs) is under
  // way, a readable descriptor ends the command's whole process group (SIGTERM, then SIGKILL
  // after a short grace) and the run fails, so that the action is not carried out; when it is
  // readable already, nothing is run. It is only polled, never read: its owner reads it after.
  int cancelDescriptor = -1;
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
  // On standard error at once, or to `onFailure` when a front end shows it on screen instead.
  void reportFailure(std::string_view line) override;
  std::function<void(std::string_view)> onFailure;

 private:
  std::function<void()> onTerminate_;
  std::vector<std::string> reports_;
  bool requested_ = false;
};
