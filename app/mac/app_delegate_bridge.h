// The application delegate AppKit talks to: an NSObject that owns the portable AppDelegate and the
// platform services it runs on, and forwards the delegate callbacks and the menu actions to it.
#pragma once

#import <AppKit/AppKit.h>

#include "app/mac/menu_actions.h"

@interface AppDelegateBridge : NSObject <NSApplicationDelegate, QuillMenuActions>
// Creates the core delegate, which reads the stored temperature unit; the SMC is opened only when
// launching finishes.
- (instancetype)init;
- (void)applicationDidFinishLaunching:(NSNotification *)notification;
- (void)applicationWillTerminate:(NSNotification *)notification;
@end
