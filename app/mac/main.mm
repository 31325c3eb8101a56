// The entry of Quillomatics on macOS: the shared application, its one delegate, an accessory
// activation policy (no Dock icon, no main menu: the status item is the whole interface), and the
// event loop. The SMC command codes and the sensor tables are constants of the core, fixed before
// this runs.
#import <AppKit/AppKit.h>

#include "app/mac/app_delegate_bridge.h"

// The shared application object, and the one delegate. The application refers to its delegate
// without owning it, so this global is the delegate's only strong reference, for the whole run.
static NSApplication *app = nil;
static AppDelegateBridge *delegate = nil;

int main() {
  @autoreleasepool {
    app = [NSApplication sharedApplication];
    delegate = [[AppDelegateBridge alloc] init];
    [app setDelegate:delegate];
    [app setActivationPolicy:NSApplicationActivationPolicyAccessory];
    [app run];
  }
  return 0;
}
