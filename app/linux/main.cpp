// The Linux Quillomatics: the application core in a terminal.
//   Quillomatics                       on a terminal: the status line and its menu, interactive;
//                                      otherwise refreshes every 3 seconds and prints the status
//                                      title and the menu as text; a key equivalent and Enter
//                                      runs its item
//   Quillomatics --help | -h | --version
//   Quillomatics --snapshot [--do ACTION]... [--format json|prometheus]
//                                      launch, the named menu actions in order, one JSON object
//                                      (or the Prometheus text) on standard output, then
//                                      termination; a fan-mode action that failed is named on
//                                      standard error and makes the exit status 3
//   Quillomatics --textfile PATH [--interval SECONDS]
//                                      the Prometheus text written to PATH atomically every
//                                      interval (3 s), for node_exporter's textfile collector
//   --unit celsius|fahrenheit          the unit for this run; the persisted one stays
//   --admin-socket PATH                hand administrator commands to an authorising agent
//                                      listening on PATH instead of pkexec/sudo
// SIGTERM, SIGINT and SIGHUP end either mode through the termination sequence.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/admin_script.h"
#include "app/app_delegate.h"
#include "app/headless/headless_options.h"
#include "app/headless/headless_run.h"
#include "app/headless/recording_status_bar.h"
#include "app/headless/unit_defaults.h"
#include "app/linux/application.h"
#include "app/linux/event_loop.h"
#include "app/linux/executable_bundle.h"
#include "app/linux/settings_file.h"
#include "app/linux/snapshot.h"
#include "app/linux/sudo_script_runner.h"
#include "app/linux/terminal/terminal_front_end.h"
#include "app/posix/process_control.h"
#include "app/run_application.h"
#include "sim/sim_device.h"
#include "smc/io_service.h"

// The application's one delegate, for the life of the process: runApplication() makes it for the
// run and releases it after termination.
std::shared_ptr<app::AppDelegate> delegate;

namespace {

// The command lines; --do takes every menu action's selector name but quitting's.
std::string usage() {
  std::string actions;
  for (const auto& [action, name] : app::kMenuActionNames) {
    if (action != app::MenuAction::quitApp) {
      actions += actions.empty() ? "" : "|";
      actions += name;
    }
  }
  return "usage: Quillomatics [--unit celsius|fahrenheit] [--admin-socket PATH]\n"
         "       Quillomatics --help | -h | --version\n"
         "       Quillomatics --snapshot [--do " +
         actions +
         "]... [--format json|prometheus] [--unit celsius|fahrenheit] [--admin-socket PATH]\n"
         "       Quillomatics --textfile PATH [--interval SECONDS] [--unit celsius|fahrenheit]\n";
}

constexpr const char* kEnvironmentHelp =
    "With --snapshot the menu is printed once as JSON after the actions; an action that failed\n"
    "(administrator rights refused, the tool reported no success) is named on standard error\n"
    "and the exit status is 3. Fans an action forced are handed back when the snapshot ends;\n"
    "for a change that lasts, run ventwarden (next to this program) with max, auto or\n"
    "proactive. --textfile keeps PATH up to date in Prometheus' format for node_exporter's\n"
    "textfile collector until SIGTERM or SIGINT, then removes it; it drives no fan. --unit\n"
    "chooses the unit for one run without changing the setting.\n"
    "\n"
    "Environment:\n"
    "  QUILLOMATICS_SMC_DEVICE  the simulated SMC device file to use (default: the built-in\n"
    "                           simulated Mac, created on first start)\n"
    "  NO_COLOR                 when set and not empty, the terminal shows no colours\n"
    "\n"
    "Settings: the temperature unit is kept in $XDG_CONFIG_HOME/quillomatics/settings\n"
    "(~/.config/quillomatics/settings when XDG_CONFIG_HOME is not set).\n";

struct Options {
  app::HeadlessOptions headless;
  std::optional<std::string> agentSocket;
};

// Says on standard error what was wrong with the command line; none then.
std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const app::ArgumentParse parsed = app::parseHeadlessArgument(argc, argv, i, options.headless);
    if (parsed == app::ArgumentParse::invalid) {
      return std::nullopt;
    }
    if (parsed == app::ArgumentParse::taken) {
      continue;
    }
    if (arg == "--admin-socket" && i + 1 < argc) {
      options.agentSocket = argv[++i];
    } else if (arg == "--admin-socket") {
      std::fprintf(stderr, "missing value after %.*s\n", static_cast<int>(arg.size()), arg.data());
      return std::nullopt;
    } else {
      std::fprintf(stderr, "unknown option: %.*s\n", static_cast<int>(arg.size()), arg.data());
      return std::nullopt;
    }
  }
  if (!app::headlessOptionsAgree(options.headless)) {
    return std::nullopt;
  }
  return options;
}

// The services of the Linux shell, alive for the whole run.
struct Shell {
  app::EventLoop loop;
  std::unique_ptr<smc::IOService> io = smc::makeSystemIOService();
  app::RecordingStatusBar statusBar;
  app::StderrAlerts alerts;
  app::SettingsFileDefaults settings{app::SettingsFileDefaults::defaultLocation()};
  // The settings file, or the one run's unit over it (--unit).
  std::optional<app::OneRunUnitDefaults> oneRunUnit;
  app::ExecutableBundle bundle;
  app::SudoScriptRunner scripts;
  app::PosixProcessControl processes;
  app::LinuxApplication application{[this] { loop.stop(); }};
  // The exporter refreshes at its own interval, so the delegate's timer never fires, and it
  // never acts on the fans.
  app::IdleTimers idleTimers;
  app::ReadOnlyProcessControl readOnlyProcesses{processes};
  app::RefusedAdminScripts refusedScripts;
  bool exporter = false;

  app::UserDefaults& defaults() {
    return oneRunUnit ? static_cast<app::UserDefaults&>(*oneRunUnit) : settings;
  }
  app::AppEnvironment environment() {
    if (exporter) {
      return app::AppEnvironment{*io,        statusBar, alerts,         idleTimers,
                                 defaults(), bundle,    refusedScripts, readOnlyProcesses,
                                 application};
    }
    return app::AppEnvironment{*io,    statusBar, alerts,    loop,       defaults(),
                               bundle, scripts,   processes, application};
  }
  app::HeadlessShell headless() {
    return app::HeadlessShell{
        .delegate = delegate,
        .environment = environment(),
        .statusBar = statusBar,
        .signalled = [this] { return loop.pollSignals(); },
        .terminateRequested = [this] { return application.terminateRequested(); },
        .repeatUntilSignalled =
            [this](double interval, const std::function<void()>& tick) {
              const auto timer = loop.scheduledTimer(interval, tick);
              loop.run();
            },
    };
  }
};

int exitStatus(const Shell& shell, int normal) {
  const auto signal = shell.loop.terminationSignal();
  return signal ? 128 + *signal : normal;
}

int runMonitor(Shell& shell) {
  const auto monitor = [&shell](app::AppDelegate& app) {
    app::RecordingStatusItem* item = shell.statusBar.item();
    // One write per refresh, from a buffer kept across refreshes.
    auto print = [item, text = std::string()]() mutable {
      text.clear();
      app::appendSnapshotText(text, item->title(), *item->menu());
      text += '\n';
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fflush(stdout);
    };
    print();
    item->onChange = std::move(print);

    // A line holding a key equivalent runs that item, as the key would in the menu.
    shell.loop.watchReadable(STDIN_FILENO, [&shell, &app, item] {
      char buffer[256];
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n <= 0) {
        // End of input (or no input at all, as from /dev/null): keep refreshing without it.
        shell.loop.unwatch(STDIN_FILENO);
        return;
      }
      const std::string_view line(buffer, static_cast<std::size_t>(n));
      for (const app::MenuItem& menuItem : item->menu()->items) {
        if (menuItem.action && !menuItem.keyEquivalent.empty() &&
            line.substr(0, line.find_first_of("\r\n")) == menuItem.keyEquivalent) {
          app.perform(*menuItem.action);
          break;
        }
      }
    });
    shell.loop.run();
    return exitStatus(shell, 0);
  };
  return app::runApplication(
      delegate, shell.environment(),
      app::ApplicationRun{
          .terminateRequested = [&shell] { return shell.application.terminateRequested(); },
          .run = monitor,
          .launchFailed = nullptr});
}

int run(const Options& options) {
  Shell shell;
  shell.scripts.agentSocket = options.agentSocket;
  // A termination signal cancels an administrator command under way (a password prompt), so
  // that the loop, or the snapshot's next check, ends the run through its termination.
  shell.scripts.cancelDescriptor = shell.loop.signalDescriptor();
  if (options.headless.useFahrenheit) {
    shell.oneRunUnit.emplace(shell.settings, *options.headless.useFahrenheit);
  }
  const app::HeadlessOptions& headless = options.headless;
  if (!headless.headless() && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO)) {
    // A terminal curses cannot drive (TERM unset, unknown or without cursor addressing) gets the
    // line-by-line monitor below instead.
    const auto status = app::runTerminalFrontEnd(
        app::TerminalServices{shell.loop, *shell.io, shell.defaults(), shell.bundle, shell.scripts,
                              shell.processes, shell.application},
        delegate);
    if (status) {
      // The screen is gone: what termination could not do is read on the terminal now.
      shell.application.printReports();
      return *status;
    }
  }
  shell.exporter = headless.textfile.has_value();
  int status = 0;
  if (headless.headless()) {
    app::HeadlessShell run = shell.headless();
    status = exitStatus(shell, headless.snapshot ? app::runHeadlessSnapshot(run, headless)
                                                 : app::runHeadlessTextfile(run, headless));
  } else {
    status = runMonitor(shell);
  }
  shell.application.printReports();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s\n%s\n%s", usage().c_str(), app::terminalHelp().c_str(), kEnvironmentHelp);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\n", app::versionText().c_str());
    return 0;
  }
  const auto options = parseOptions(argc, argv);
  if (!options) {
    std::fputs(usage().c_str(), stderr);
    return 2;
  }
  // Both modes start against the built-in simulated Mac when the default device does not exist
  // yet; a device the user named is never made. What is wrong with a device that cannot be used
  // follows the alert, on one line of its own.
  std::string deviceProblem;
  if (auto device = sim::openDefaultDevice(); !device) {
    deviceProblem = device.error();
  }
  const int status = run(*options);
  if (status != 0 && !deviceProblem.empty()) {
    std::fprintf(stderr, "%s\n", deviceProblem.c_str());
  }
  return status;
}
