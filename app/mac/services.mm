// The application's platform services other than the status item, in AppKit and Foundation.
#include "app/mac/services.h"

#include "app/mac/ns_string.h"

// The core's alert styles carry AppKit's values, so they convert without a table.
static_assert(static_cast<NSAlertStyle>(app::AlertStyle::warning) == NSAlertStyleWarning);
static_assert(static_cast<NSAlertStyle>(app::AlertStyle::informational) ==
              NSAlertStyleInformational);
static_assert(static_cast<NSAlertStyle>(app::AlertStyle::critical) == NSAlertStyleCritical);

void MacAlerts::runModal(const app::Alert &alert) {
  NSAlert *panel = [[NSAlert alloc] init];
  [panel setMessageText:nsString(alert.messageText)];
  [panel setInformativeText:nsString(alert.informativeText)];
  [panel setAlertStyle:static_cast<NSAlertStyle>(alert.style)];
  for (const std::string &title : alert.buttons) {
    [panel addButtonWithTitle:nsString(title)];
  }
  // An accessory application is not active by itself, and its alert could open behind other
  // applications' windows.
  [NSApp activateIgnoringOtherApps:YES];
  [panel runModal];
}

MacRepeatingTimer::~MacRepeatingTimer() { [timer_ invalidate]; }

void MacRepeatingTimer::invalidate() { [timer_ invalidate]; }

bool MacRepeatingTimer::isValid() const { return [timer_ isValid]; }

std::unique_ptr<app::RepeatingTimer> MacTimerScheduler::scheduledTimer(
    double interval, std::function<void()> action) {
  // The block keeps its own copy of the action. The core's action refers to the delegate only
  // weakly, so a tick after the delegate is gone does nothing.
  NSTimer *timer = [NSTimer timerWithTimeInterval:interval
                                          repeats:YES
                                            block:^(NSTimer *) {
                                              action();
                                            }];
  // One registration for the common modes, the default mode among them: the timer also fires
  // while the menu is open and tracking.
  [[NSRunLoop mainRunLoop] addTimer:timer forMode:NSRunLoopCommonModes];
  return std::make_unique<MacRepeatingTimer>(timer);
}

bool MacUserDefaults::boolForKey(std::string_view key) {
  return [[NSUserDefaults standardUserDefaults] boolForKey:nsString(key)];
}

void MacUserDefaults::setBool(bool value, std::string_view key) {
  [[NSUserDefaults standardUserDefaults] setBool:value forKey:nsString(key)];
}

std::string MacBundle::bundlePath() { return stdString([[NSBundle mainBundle] bundlePath]); }

app::ScriptResult AppleScriptRunner::runWithAdministratorPrivileges(
    const app::AdminScript &script) {
  NSAppleScript *appleScript =
      [[NSAppleScript alloc] initWithSource:nsString(script.appleScriptSource)];
  if (appleScript == nil) {
    return {};
  }
  NSDictionary *error = nil;
  NSAppleEventDescriptor *result = [appleScript executeAndReturnError:&error];
  if (result == nil || error != nil) {
    return {};
  }
  app::ScriptResult outcome;
  outcome.succeeded = true;
  if (NSString *text = [result stringValue]) {
    outcome.stringValue = stdString(text);
  }
  return outcome;
}

void MacProcessControl::removeFile(std::string_view path) {
  [[NSFileManager defaultManager] removeItemAtPath:nsString(path) error:nil];
}

void MacApplication::terminate() { [NSApp terminate:nil]; }

void MacApplication::reportOnExit(std::string_view line) { NSLog(@"%@", nsString(line)); }

void MacApplication::reportFailure(std::string_view line) { NSLog(@"%@", nsString(line)); }
