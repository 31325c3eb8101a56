// The delegate bridge: AppKit's callbacks and the menu's action messages become calls on the core
// AppDelegate. It decides nothing itself.
#include "app/mac/app_delegate_bridge.h"

#include <memory>

#include "app/app_delegate.h"
#include "app/mac/services.h"
#include "app/mac/status_bar.h"
#include "smc/io_service.h"

namespace {

// The platform services and the core delegate, declared so that the delegate is destroyed first:
// it holds references to everything above it.
struct MacShell {
  explicit MacShell(id<QuillMenuActions> target) : statusBar(target) {}

  std::unique_ptr<smc::IOService> smcService = smc::makeSystemIOService();
  MacStatusBar statusBar;
  MacAlerts alerts;
  MacTimerScheduler timers;
  MacUserDefaults defaults;
  MacBundle bundle;
  AppleScriptRunner scripts;
  MacProcessControl processes;
  MacApplication application;
  std::shared_ptr<app::AppDelegate> core = std::make_shared<app::AppDelegate>(app::AppEnvironment{
      .smcService = *smcService,
      .statusBar = statusBar,
      .alerts = alerts,
      .timers = timers,
      .defaults = defaults,
      .bundle = bundle,
      .scripts = scripts,
      .processes = processes,
      .application = application,
  });
};

}  // namespace

@implementation AppDelegateBridge {
  std::unique_ptr<MacShell> _shell;
}

- (instancetype)init {
  self = [super init];
  if (self != nil) {
    // Menu items refer to this object weakly; it lives as long as the program.
    _shell = std::make_unique<MacShell>(self);
  }
  return self;
}

- (void)applicationDidFinishLaunching:(NSNotification *)notification {
  (void)notification;
  // Logout, restart and shut down announce themselves before the application is asked to
  // terminate: no administrator prompt may hold them up.
  [[[NSWorkspace sharedWorkspace] notificationCenter]
      addObserver:self
         selector:@selector(sessionWillEnd:)
             name:NSWorkspaceWillPowerOffNotification
           object:nil];
  _shell->core->applicationDidFinishLaunching();
}

- (void)sessionWillEnd:(NSNotification *)notification {
  (void)notification;
  _shell->core->sessionWillEnd();
}

- (void)applicationWillTerminate:(NSNotification *)notification {
  (void)notification;
  _shell->core->applicationWillTerminate();
}

- (void)setFansMax {
  _shell->core->setFansMax();
}

- (void)setFansProactive {
  _shell->core->setFansProactive();
}

- (void)setFansAuto {
  _shell->core->setFansAuto();
}

- (void)toggleUnit {
  _shell->core->toggleUnit();
}

- (void)quitApp {
  _shell->core->quitApp();
}

@end
