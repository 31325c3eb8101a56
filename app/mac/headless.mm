// The headless runs on the Mac: IOKit's SMC, NSUserDefaults (or the one run's unit over them), the
// bundle, the administrator script and the pid-file calls of the application, with a status item
// that only records what it was given and the alert on standard error. Termination signals come
// through a self-pipe; the textfile's interval is a poll on it.
#include "app/mac/headless.h"

#import <Foundation/Foundation.h>
#include <poll.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "app/headless/headless_options.h"
#include "app/headless/headless_run.h"
#include "app/headless/recording_status_bar.h"
#include "app/headless/unit_defaults.h"
#include "app/mac/services.h"
#include "base/signal_pipe.h"
#include "smc/io_service.h"

namespace {

// terminate() is remembered: the run ends by itself once launching has asked for it.
class HeadlessApplication final : public app::Application {
 public:
  void terminate() override { requested_ = true; }
  void reportOnExit(std::string_view line) override {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
  }
  void reportFailure(std::string_view line) override { reportOnExit(line); }
  bool terminateRequested() const { return requested_; }

 private:
  bool requested_ = false;
};

// Calls `tick` every `interval` seconds, at a fixed rate, until one of `signals` arrives.
void repeatUntilSignalled(base::SignalPipe& signals, double interval,
                          const std::function<void()>& tick) {
  using Clock = std::chrono::steady_clock;
  const auto period =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval));
  auto next = Clock::now() + period;
  while (!signals.caught()) {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    pollfd fd{signals.fd(), POLLIN, 0};
    poll(&fd, 1, wait < 0 ? 0 : static_cast<int>(wait));
    if (signals.caught()) {
      break;
    }
    if (Clock::now() >= next) {
      // A late tick is not made up with a burst.
      while (next <= Clock::now()) {
        next += period;
      }
      tick();
    }
  }
}

}  // namespace

bool headlessRunAsked(int argc, char** argv) { return app::wantsHeadlessRun(argc, argv); }

int runHeadless(int argc, char** argv) {
  app::HeadlessOptions options;
  for (int i = 1; i < argc; ++i) {
    const app::ArgumentParse parsed = app::parseHeadlessArgument(argc, argv, i, options);
    if (parsed == app::ArgumentParse::invalid) {
      return 2;
    }
    if (parsed == app::ArgumentParse::notOurs) {
      std::fprintf(stderr, "unknown option: %s\n", argv[i]);
      return 2;
    }
  }
  if (!app::headlessOptionsAgree(options)) {
    return 2;
  }
  @autoreleasepool {
    // Before anything can force a fan: a signal from now on ends the run through termination,
    // and a reader that goes away does not end it before the fans are handed back.
    base::SignalPipe signals{SIGTERM, SIGINT, SIGHUP};
    base::IgnoredSignal brokenPipe{SIGPIPE};

    std::unique_ptr<smc::IOService> smcService = smc::makeSystemIOService();
    app::RecordingStatusBar statusBar;
    app::StderrAlerts alerts;
    app::IdleTimers timers;
    MacUserDefaults persisted;
    std::optional<app::OneRunUnitDefaults> oneRunUnit;
    if (options.useFahrenheit) {
      oneRunUnit.emplace(persisted, *options.useFahrenheit);
    }
    MacBundle bundle;
    AppleScriptRunner scripts;
    MacProcessControl processes;
    // The exporter never acts on the fans (app/headless/headless_run.h).
    const bool exporter = options.textfile.has_value();
    app::ReadOnlyProcessControl readOnlyProcesses{processes};
    app::RefusedAdminScripts refusedScripts;
    HeadlessApplication application;
    std::shared_ptr<app::AppDelegate> delegate;
    app::HeadlessShell shell{
        .delegate = delegate,
        .environment =
            app::AppEnvironment{
                .smcService = *smcService,
                .statusBar = statusBar,
                .alerts = alerts,
                .timers = timers,
                .defaults = oneRunUnit ? static_cast<app::UserDefaults&>(*oneRunUnit) : persisted,
                .bundle = bundle,
                .scripts =
                    exporter ? static_cast<app::AdminScriptRunner&>(refusedScripts) : scripts,
                .processes =
                    exporter ? static_cast<app::ProcessControl&>(readOnlyProcesses) : processes,
                .application = application,
            },
        .statusBar = statusBar,
        .signalled = [&signals] { return signals.caught(); },
        .terminateRequested = [&application] { return application.terminateRequested(); },
        .repeatUntilSignalled =
            [&signals](double interval, const std::function<void()>& tick) {
              repeatUntilSignalled(signals, interval, tick);
            },
    };
    const int status = options.snapshot ? app::runHeadlessSnapshot(shell, options)
                                        : app::runHeadlessTextfile(shell, options);
    const std::optional<int> signal = signals.drain();
    return signal ? 128 + *signal : status;
  }
}
