// Drives the macOS shell, linked beside its real main, through its real menu once launching has
// finished. The steps come from QUILL_DRIVER_STEPS, separated by commas:
//   snapshot        the status item's title and the menu, in the monitor's --snapshot schema
//   choose:ACTION   the menu item whose action is ACTION, performed through the menu
//   heat            QUILL_DRIVER_HEAT ("KEY=VALUE;...") written to the simulated device
//   awaitRefresh    waits until the title changes (the refresh timer fired), at most 2.5 times
//                   the refresh interval
//   quit            the Quit item, performed through the menu
// Every record is one JSON object a line, appended to QUILL_DRIVER_OUT as it happens, so that a
// run that terminates or hangs still leaves what it did.
#import <AppKit/AppKit.h>
#include <objc/runtime.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_delegate.h"
#include "app/linux/snapshot.h"
#include "app/styled_text.h"
#include "sim/sim_device.h"
#include "tests/gnustep/stand_ins.h"

namespace {

// A run that has not quit by then has hung (a modal loop, a lost timer): it ends with status 3.
constexpr auto kWatchdog = std::chrono::seconds(20);

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, separator)) {
    if (!part.empty()) {
      parts.push_back(part);
    }
  }
  return parts;
}

std::string utf8(NSString* text) {
  return text != nil ? std::string([text UTF8String]) : std::string();
}

// The font role a run's font stands for, by what the shell asked AppKit for.
std::string fontName(id font) {
  if (font == nil) {
    return "none";
  }
  if (object_getClass(font) == [QuillWeightedFont class]) {
    QuillWeightedFont* weighted = font;
    const CGFloat size = weighted.pointSize;
    if (size == 12.0 && weighted.monospaced && weighted.weight == NSFontWeightRegular) {
      return std::string(app::fontRoleName(app::FontRole::monoRegular12));
    }
    if (size == 12.0 && weighted.monospaced && weighted.weight == NSFontWeightMedium) {
      return std::string(app::fontRoleName(app::FontRole::monoMedium12));
    }
    if (size == 12.0 && !weighted.monospaced && weighted.weight == NSFontWeightMedium) {
      return std::string(app::fontRoleName(app::FontRole::systemMedium12));
    }
    char other[96];
    std::snprintf(other, sizeof other, "%s-%g-weight-%g", weighted.monospaced ? "mono" : "system",
                  size, weighted.weight);
    return other;
  }
  if ([font isEqual:[NSFont boldSystemFontOfSize:13.0]]) {
    return std::string(app::fontRoleName(app::FontRole::bold13));
  }
  if ([font isEqual:[NSFont boldSystemFontOfSize:11.0]]) {
    return std::string(app::fontRoleName(app::FontRole::bold11));
  }
  return "unknown:" + utf8([font fontName]) + "-" + std::to_string([font pointSize]);
}

std::string colorName(NSColor* color) {
  const std::pair<app::ColorRole, NSColor*> roles[] = {
      {app::ColorRole::label, [NSColor labelColor]},
      {app::ColorRole::secondaryLabel, [NSColor secondaryLabelColor]},
      {app::ColorRole::systemGreen, [NSColor systemGreenColor]},
      {app::ColorRole::systemOrange, [NSColor systemOrangeColor]},
      {app::ColorRole::systemRed, [NSColor systemRedColor]},
      {app::ColorRole::systemCyan, [NSColor systemCyanColor]},
  };
  for (const auto& [role, candidate] : roles) {
    if ([color isEqual:candidate]) {
      return app::jsonString(app::colorRoleName(role));
    }
  }
  return app::jsonString("unknown:" + utf8([color description]));
}

// The runs of an attributed string, one per stretch of equal attributes.
std::string runsJson(NSAttributedString* text) {
  std::string out = "[";
  const NSUInteger length = [text length];
  NSUInteger at = 0;
  while (at < length) {
    NSRange range;
    NSDictionary* attributes = [text attributesAtIndex:at effectiveRange:&range];
    NSColor* color = [attributes objectForKey:NSForegroundColorAttributeName];
    out += (at == 0 ? "" : ", ");
    out +=
        "{\"text\": " + app::jsonString(utf8([[text string] substringWithRange:range])) +
        ", \"font\": " + app::jsonString(fontName([attributes objectForKey:NSFontAttributeName])) +
        ", \"color\": " + (color != nil ? colorName(color) : std::string("null")) + "}";
    at = NSMaxRange(range);
  }
  return out + "]";
}

QuillStatusItem* statusItem() {
  QuillStatusBar* bar = static_cast<QuillStatusBar*>([NSStatusBar systemStatusBar]);
  return [bar.liveItems lastObject];
}

std::string titleJson() {
  QuillStatusBarButton* button = static_cast<QuillStatusBarButton*>([statusItem() button]);
  if (button == nil) {
    return "null";
  }
  if (button.lastAttributedTitle != nil) {
    return "{\"runs\": " + runsJson(button.lastAttributedTitle) + "}";
  }
  return "{\"plain\": " + app::jsonString(utf8(button.lastPlainTitle)) + "}";
}

// The action's name, marked when the item has no target that answers it.
std::string actionJson(NSMenuItem* item) {
  SEL action = [item action];
  if (action == nullptr) {
    return "null";
  }
  std::string name = sel_getName(action);
  id target = [item target];
  if (target == nil || ![target respondsToSelector:action]) {
    name += " (no target)";
  }
  return app::jsonString(name);
}

std::string menuJson() {
  NSMenu* menu = [statusItem() menu];
  std::string out = "[";
  for (NSInteger i = 0; i < [menu numberOfItems]; ++i) {
    NSMenuItem* item = static_cast<NSMenuItem*>([menu itemAtIndex:i]);
    out += i == 0 ? "" : ", ";
    if ([item isSeparatorItem]) {
      out += "{\"separator\": true}";
      continue;
    }
    NSAttributedString* styled = standInAttributedTitle(item);
    out += "{\"title\": " + app::jsonString(utf8([item title])) +
           ", \"runs\": " + (styled != nil ? runsJson(styled) : std::string("null")) +
           ", \"action\": " + actionJson(item) +
           ", \"key\": " + app::jsonString(utf8([item keyEquivalent])) + "}";
  }
  return out + "]";
}

}  // namespace

void driverRecord(const std::string& json) {
  const char* path = std::getenv("QUILL_DRIVER_OUT");
  FILE* out = path != nullptr ? std::fopen(path, "a") : stderr;
  if (out == nullptr) {
    return;
  }
  std::fprintf(out, "%s\n", json.c_str());
  if (out != stderr) {
    std::fclose(out);
  }
}

@interface QuillDriver : NSObject
- (void)start;
@end

@implementation QuillDriver {
  std::vector<std::string> _steps;
  std::size_t _next;
  std::string _titleBeforeHeat;
  std::chrono::steady_clock::time_point _heatedAt;
}

- (void)start {
  const char* steps = std::getenv("QUILL_DRIVER_STEPS");
  _steps = split(steps != nullptr ? steps : "snapshot,quit", ',');
  _next = 0;
  [self scheduleNextAfter:0.0];
}

- (void)scheduleNextAfter:(NSTimeInterval)delay {
  NSTimer* timer = [NSTimer timerWithTimeInterval:delay
                                           target:self
                                         selector:@selector(step:)
                                         userInfo:nil
                                          repeats:NO];
  [[NSRunLoop mainRunLoop] addTimer:timer forMode:NSDefaultRunLoopMode];
}

- (void)fail:(const std::string&)why {
  driverRecord("{\"error\": " + app::jsonString(why) + "}");
  std::_Exit(4);
}

- (void)choose:(const std::string&)name {
  NSMenu* menu = [statusItem() menu];
  SEL wanted = sel_registerName(name.c_str());
  for (NSInteger i = 0; i < [menu numberOfItems]; ++i) {
    SEL action = [static_cast<NSMenuItem*>([menu itemAtIndex:i]) action];
    if (action != nullptr && sel_isEqual(action, wanted)) {
      driverRecord("{\"chose\": " + app::jsonString(name) + "}");
      [menu performActionForItemAtIndex:i];
      return;
    }
  }
  [self fail:"no menu item with the action " + name];
}

- (void)heat {
  const char* path = std::getenv("QUILLOMATICS_SMC_DEVICE");
  const char* heat = std::getenv("QUILL_DRIVER_HEAT");
  auto device = sim::Device::open(path != nullptr ? path : "");
  if (!device || heat == nullptr) {
    [self fail:"cannot heat the simulated device"];
    return;
  }
  for (const std::string& assignment : split(heat, ';')) {
    const auto equals = assignment.find('=');
    if (equals == std::string::npos ||
        !device->setValue(assignment.substr(0, equals),
                          std::strtod(assignment.c_str() + equals + 1, nullptr))) {
      [self fail:"cannot write " + assignment];
      return;
    }
  }
  _titleBeforeHeat = titleJson();
  _heatedAt = std::chrono::steady_clock::now();
}

- (void)step:(NSTimer*)timer {
  (void)timer;
  if (_next >= _steps.size()) {
    [self fail:"the steps ended without quit"];
    return;
  }
  const std::string step = _steps[_next];
  if (step == "awaitRefresh") {
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - _heatedAt).count();
    if (titleJson() == _titleBeforeHeat) {
      if (waited > 2.5 * app::kRefreshInterval) {
        driverRecord("{\"refreshed\": false}");
        ++_next;
        [self scheduleNextAfter:0.0];
      } else {
        [self scheduleNextAfter:0.05];
      }
      return;
    }
    driverRecord("{\"refreshed\": true}");
    ++_next;
    [self scheduleNextAfter:0.0];
    return;
  }
  ++_next;
  if (step == "snapshot") {
    driverRecord("{\"snapshot\": {\"title\": " + titleJson() + ", \"menu\": " + menuJson() + "}}");
  } else if (step.starts_with("choose:")) {
    [self choose:step.substr(7)];
  } else if (step == "heat") {
    [self heat];
  } else if (step == "quit") {
    [self choose:"quitApp"];
    [self fail:"still running after Quit"];
  } else {
    [self fail:"unknown step " + step];
  }
  [self scheduleNextAfter:0.0];
}

@end

// Hears of the launch (the driver starts once the delegate has had its turn) and of termination.
// It registers from +load, which the runtime calls once this program's classes are in place: a
// plain constructor may run before that, when messages to them still go to nil.
@interface QuillLifecycleObserver : NSObject
- (void)launched:(NSNotification*)note;
- (void)terminating:(NSNotification*)note;
@end

namespace {

QuillDriver* driver = nil;
QuillLifecycleObserver* lifecycle = nil;  // the center does not keep its observers alive

}  // namespace

@implementation QuillLifecycleObserver

+ (void)load {
  @autoreleasepool {
    NSNotificationCenter* center = [NSNotificationCenter defaultCenter];
    lifecycle = [[QuillLifecycleObserver alloc] init];
    [center addObserver:lifecycle
               selector:@selector(launched:)
                   name:NSApplicationDidFinishLaunchingNotification
                 object:nil];
    [center addObserver:lifecycle
               selector:@selector(terminating:)
                   name:NSApplicationWillTerminateNotification
                 object:nil];
  }
}

- (void)launched:(NSNotification*)note {
  (void)note;
  driverRecord("{\"launched\": true}");
  driver = [[QuillDriver alloc] init];
  [driver start];
}

- (void)terminating:(NSNotification*)note {
  (void)note;
  driverRecord("{\"terminating\": true}");
}

@end

namespace {

// The watchdog: a run that hangs ends with a record saying so.
__attribute__((constructor)) void startWatchdog() {
  std::thread([] {
    std::this_thread::sleep_for(kWatchdog);
    driverRecord("{\"error\": \"watchdog: still running\"}");
    std::_Exit(3);
  }).detach();
}

}  // namespace
