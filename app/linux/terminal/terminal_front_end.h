// The interactive front end of Quillomatics on Linux: the status item as a status line at the top
// of the terminal, its menu below it, the alert as a dialog box, keys for every menu action, all
// driven by one event loop with the 3-second refresh.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/linux/application.h"
#include "app/linux/event_loop.h"
#include "app/linux/sudo_script_runner.h"
#include "app/platform.h"

namespace app {

class AppDelegate;

// The shell's services the front end runs with. It adds the terminal-bound ones itself: the
// status bar and its item, and the alerts.
struct TerminalServices {
  // The one event loop: its timers are the application's, its watches read the keys. It must
  // exist before the front end starts, so that its signal handlers are in place before curses'.
  EventLoop& loop;
  smc::IOService& smcService;
  UserDefaults& defaults;
  Bundle& bundle;
  // Its prompt hooks are set for the run, so that a password prompt gets the whole terminal, and
  // its cancel descriptor is `loop`'s signal descriptor, so that a termination signal cancels a
  // prompt.
  SudoScriptRunner& scripts;
  ProcessControl& processes;
  // Its terminate() must stop `loop`.
  LinuxApplication& application;
};

// Runs the application in the terminal on standard input and output until it quits (the quit
// item, the alert's button, SIGINT, SIGTERM or SIGHUP), then runs its termination sequence. The
// terminal is restored on every way out. Returns the exit status: 0, 1 after the alert, 128 +
// the signal when a signal ended it; none, before anything was started, when curses cannot drive
// this terminal (the caller can fall back to plain output). `delegate` holds the application's
// delegate while it runs.
std::optional<int> runTerminalFrontEnd(const TerminalServices& services,
                                       std::shared_ptr<AppDelegate>& delegate);

// What `--help` says about the interactive mode and its keys.
std::string terminalHelp();
// "Quillomatics VERSION", for `--version`.
std::string versionText();

}  // namespace app
