// The entry of Quillomatics on macOS: the shared application, its one delegate, an accessory
// activation policy (no Dock icon, no main menu: the status item is the whole interface), and the
// event loop. With --snapshot or --textfile it runs without a status item or an event loop
// instead (app/mac/headless.h). The SMC command codes and the sensor tables are constants of the
// core, fixed before this runs.
#import <AppKit/AppKit.h>

#include "app/mac/app_delegate_bridge.h"
#include "app/mac/headless.h"

// The shared application object, and the one delegate. The application refers to its delegate
// without owning it, so this global is the delegate's only strong reference, for the whole run.
static NSApplication *app = nil;
static AppDelegateBridge *delegate = nil;

int main(int argc, char *argv[]) {
  // Any other argument is AppKit's (a launch from Finder or Xcode passes some of its own).
  if (headlessRunAsked(argc, argv)) {
    return runHeadless(argc, argv);
  }
  @autoreleasepool {
    app = [NSApplication sharedApplication];
    delegate = [[AppDelegateBridge alloc] init];
    [app setDelegate:delegate];
    [app setActivationPolicy:NSApplicationActivationPolicyAccessory];
    [app run];
  }
  return 0;
}
