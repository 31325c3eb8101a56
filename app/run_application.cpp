// Launch, run, termination.
#include "app/run_application.h"

namespace app {

int runApplication(std::shared_ptr<AppDelegate>& delegate, const AppEnvironment& environment,
                   const ApplicationRun& run) {
  struct Release {
    std::shared_ptr<AppDelegate>& delegate;
    ~Release() { delegate.reset(); }
  } release{delegate};
  delegate = std::make_shared<AppDelegate>(environment);
  AppDelegate& app = *delegate;
  app.applicationDidFinishLaunching();
  int status = 1;
  if (run.terminateRequested && run.terminateRequested()) {
    if (run.launchFailed) {
      run.launchFailed(app);
    }
  } else {
    status = run.run ? run.run(app) : 0;
  }
  app.applicationWillTerminate();
  return status;
}

}  // namespace app
