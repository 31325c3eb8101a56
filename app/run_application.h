// The life of the application in a shell that runs its own loop: the delegate made, launching,
// the shell's run, termination, and the delegate released. The monitor, the terminal front end
// and the runs without a screen all go through here, so that the sequence is written once.
#pragma once

#include <functional>
#include <memory>

#include "app/app_delegate.h"
#include "app/platform.h"

namespace app {

struct ApplicationRun {
  // Whether launching asked the application to terminate (the SMC could not be opened and the
  // alert was shown).
  std::function<bool()> terminateRequested;
  // What runs between a launch that succeeded and termination; its result is the exit status.
  std::function<int(AppDelegate&)> run;
  // What runs instead when launching ended the application, before termination (a report that
  // the SMC is down, say); the exit status is then 1.
  std::function<void(AppDelegate&)> launchFailed;
};

// Makes the delegate with `environment` and keeps it in `delegate` (the process's one) for the
// run, launches it, runs the shell's part, terminates it and releases it; the delegate is
// released on every way out, an exception too, before the services `environment` refers to.
// Returns the exit status.
int runApplication(std::shared_ptr<AppDelegate>& delegate, const AppEnvironment& environment,
                   const ApplicationRun& run);

}  // namespace app
