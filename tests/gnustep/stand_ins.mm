// Real behaviour for the AppKit calls of the macOS shell that GNUstep's gui 0.29 lacks or does
// differently, so that the unmodified shell runs on it. Methods GNUstep lacks are added in
// categories; methods it has but that behave otherwise are replaced once at start-up. Everything
// a test checks and cannot see through AppKit itself (the timer's registration, the alert, the
// AppleScript source, the activation) is reported to the driver's record.
#include "tests/gnustep/stand_ins.h"

#include <objc/runtime.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>

#include "app/linux/snapshot.h"

namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string utf8(NSString* text) {
  return text != nil ? std::string([text UTF8String]) : std::string();
}

// Replaces the implementation of `selector` in `cls` (pass the metaclass for a class method) and
// returns the one it had. libobjc2 keeps a selector per type encoding, and Debian's GNUstep
// (built by gcc) registers its own encodings, so every method of that name in the class is
// replaced, not only the one whose types match ours. A method the class only inherits gets an
// override. A method that is not there at all is a broken assumption about GNUstep.
IMP replaceMethod(Class cls, SEL selector, id block) {
  IMP replacement = imp_implementationWithBlock((__bridge void*)block);
  IMP previous = nullptr;
  unsigned count = 0;
  Method* methods = class_copyMethodList(cls, &count);
  for (unsigned i = 0; i < count; ++i) {
    if (std::strcmp(sel_getName(method_getName(methods[i])), sel_getName(selector)) == 0) {
      IMP replaced = method_setImplementation(methods[i], replacement);
      previous = previous != nullptr ? previous : replaced;
    }
  }
  std::free(methods);
  if (previous == nullptr) {
    Method inherited = class_getInstanceMethod(cls, selector);
    if (inherited == nullptr) {
      std::fprintf(stderr, "stand-ins: %s has no %s\n", class_getName(cls), sel_getName(selector));
      std::abort();
    }
    previous = method_getImplementation(inherited);
    class_addMethod(cls, selector, replacement, method_getTypeEncoding(inherited));
  }
  return previous;
}

// Whether the application was activated since the last alert; Apple's alert of an accessory
// application needs it to come to the front.
bool activatedSinceAlert = false;

// The nearest real font for a system font by weight: GNUstep's system or fixed-pitch font, its
// bold face from semibold up.
NSFont* nearestFont(BOOL monospaced, CGFloat size, NSFontWeight weight) {
  NSFont* font =
      monospaced ? [NSFont userFixedPitchFontOfSize:size] : [NSFont systemFontOfSize:size];
  if (weight >= NSFontWeightSemibold) {
    font = [[NSFontManager sharedFontManager] convertFont:font toHaveTrait:NSBoldFontMask];
  }
  return font;
}

std::unordered_map<const void*, NSAttributedString*>& attributedTitles() {
  static std::unordered_map<const void*, NSAttributedString*> titles;
  return titles;
}

NSNotificationCenter* processLocalCenter() {
  static NSNotificationCenter* center = [[NSNotificationCenter alloc] init];
  return center;
}

}  // namespace

@implementation QuillWeightedFont {
  NSFont* _font;
}

- (instancetype)initWithFont:(NSFont*)font monospaced:(BOOL)monospaced weight:(CGFloat)weight {
  _font = font;
  _monospaced = monospaced;
  _weight = weight;
  return self;
}

- (CGFloat)pointSize {
  return [_font pointSize];
}

- (NSMethodSignature*)methodSignatureForSelector:(SEL)selector {
  return [_font methodSignatureForSelector:selector];
}

- (void)forwardInvocation:(NSInvocation*)invocation {
  [invocation invokeWithTarget:_font];
}

- (BOOL)isKindOfClass:(Class)cls {
  return [_font isKindOfClass:cls];
}

// Two weights of one family may share GNUstep's face; they stay different fonts.
- (BOOL)isEqual:(id)other {
  if (object_getClass(other) != [QuillWeightedFont class]) {
    return NO;
  }
  QuillWeightedFont* font = other;
  return font.monospaced == _monospaced && font.weight == _weight &&
         font.pointSize == self.pointSize;
}

- (NSUInteger)hash {
  return [_font hash] ^ static_cast<NSUInteger>(_weight * 1000.0 + 1000.0);
}

- (id)copyWithZone:(NSZone*)zone {
  (void)zone;
  return self;
}

@end

@implementation QuillStatusBarButton

- (void)setTitle:(NSString*)title {
  _lastPlainTitle = [title copy];
  _lastAttributedTitle = nil;
  [super setTitle:title];
}

- (void)setAttributedTitle:(NSAttributedString*)title {
  _lastAttributedTitle = [title copy];
  _lastPlainTitle = nil;
  [super setTitle:[title string]];
}

@end

@implementation QuillStatusItem {
  QuillStatusBarButton* _button;
  NSMenu* _menu;
  CGFloat _length;
}

- (instancetype)initWithLength:(CGFloat)length {
  self = [super init];
  if (self != nil) {
    _length = length;
    _button = [[QuillStatusBarButton alloc] initWithFrame:NSMakeRect(0, 0, 60, 22)];
  }
  return self;
}

- (NSStatusBarButton*)button {
  return _button;
}

- (NSMenu*)menu {
  return _menu;
}

- (void)setMenu:(NSMenu*)menu {
  _menu = menu;
}

- (CGFloat)length {
  return _length;
}

@end

@implementation QuillStatusBar {
  NSMutableArray<QuillStatusItem*>* _items;
}

- (instancetype)init {
  self = [super init];
  if (self != nil) {
    _items = [NSMutableArray array];
  }
  return self;
}

- (NSStatusItem*)statusItemWithLength:(CGFloat)length {
  QuillStatusItem* item = [[QuillStatusItem alloc] initWithLength:length];
  [_items addObject:item];
  return item;
}

- (void)removeStatusItem:(NSStatusItem*)item {
  [_items removeObjectIdenticalTo:static_cast<QuillStatusItem*>(item)];
}

- (NSArray<QuillStatusItem*>*)liveItems {
  return [_items copy];
}

- (CGFloat)thickness {
  return 22.0;
}

- (BOOL)isVertical {
  return NO;
}

@end

// An AppleScript's result with text, as Apple's descriptor gives it.
@interface QuillScriptResult : NSAppleEventDescriptor
- (instancetype)initWithText:(NSString*)text;
@end

@implementation QuillScriptResult {
  NSString* _text;
}

- (instancetype)initWithText:(NSString*)text {
  self = [super init];
  if (self != nil) {
    _text = [text copy];
  }
  return self;
}

- (NSString*)stringValue {
  return _text;
}

@end

@implementation NSMenu (QuillCompat)

- (void)removeAllItems {
  for (NSInteger i = [self numberOfItems]; i > 0; --i) {
    [self removeItemAtIndex:i - 1];
  }
}

@end

@implementation NSFont (QuillCompat)

+ (NSFont*)systemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight {
  return (NSFont*)[[QuillWeightedFont alloc] initWithFont:nearestFont(NO, fontSize, weight)
                                               monospaced:NO
                                                   weight:weight];
}

+ (NSFont*)monospacedSystemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight {
  return (NSFont*)[[QuillWeightedFont alloc] initWithFont:nearestFont(YES, fontSize, weight)
                                               monospaced:YES
                                                   weight:weight];
}

@end

@implementation NSColor (QuillCompat)

+ (NSColor*)systemCyanColor {
  static NSColor* cyan = [NSColor colorWithCalibratedRed:0.35 green:0.78 blue:0.98 alpha:1.0];
  return cyan;
}

@end

@implementation NSApplication (QuillCompat)

- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy {
  driverRecord("{\"activationPolicy\": " + std::to_string(activationPolicy) + "}");
  return YES;
}

@end

static char scriptSourceKey;

// The shell command inside a "do shell script" source: the string literal between the first
// double quote and the closing one, its escapes undone as AppleScript reads them. None for a
// source of any other shape.
static std::optional<std::string> shellCommandOf(const std::string& source) {
  const std::string head = "do shell script \"";
  const std::string tail = "\" with administrator privileges";
  if (!source.starts_with(head) || !source.ends_with(tail) ||
      source.size() < head.size() + tail.size()) {
    return std::nullopt;
  }
  const std::string literal = source.substr(head.size(), source.size() - head.size() - tail.size());
  std::string command;
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (literal[i] == '"') {
      return std::nullopt;  // the literal would have ended here
    }
    if (literal[i] != '\\') {
      command += literal[i];
      continue;
    }
    if (++i == literal.size()) {
      return std::nullopt;
    }
    const char escaped = literal[i];
    command += escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped == 't' ? '\t' : escaped;
  }
  return command;
}

// What "do shell script" does with administrator rights granted: the command through /bin/sh,
// its standard output as the result (one trailing line end removed), a failure for a non-zero
// exit status.
static std::optional<std::string> runShellCommand(const std::string& command) {
  std::FILE* pipe = ::popen(command.c_str(), "r");  // popen runs /bin/sh -c COMMAND
  if (pipe == nullptr) {
    return std::nullopt;
  }
  std::string output;
  char buffer[512];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    output.append(buffer, n);
  }
  const int status = ::pclose(pipe);
  if (output.ends_with('\n')) {
    output.pop_back();
  }
  if (status != 0) {
    return std::nullopt;
  }
  return output;
}

// The administrator prompt is the user's: the test answers for it through QUILL_SCRIPT_ANSWER,
// "refuse" (the user cancelled), "run" (granted: the script's shell command runs with this
// process's rights) or the text the script returns (empty by default).
@implementation NSAppleScript (QuillCompat)

- (instancetype)initWithSource:(NSString*)source {
  self = [self init];
  if (self != nil) {
    objc_setAssociatedObject(self, &scriptSourceKey, [source copy],
                             OBJC_ASSOCIATION_RETAIN_NONATOMIC);
  }
  return self;
}

- (NSAppleEventDescriptor*)executeAndReturnError:(NSDictionary<NSString*, id>**)errorInfo {
  NSString* source = objc_getAssociatedObject(self, &scriptSourceKey);
  driverRecord("{\"appleScript\": " + app::jsonString(utf8(source)) + "}");
  const char* answer = std::getenv("QUILL_SCRIPT_ANSWER");
  if (answer != nullptr && std::string(answer) == "refuse") {
    if (errorInfo != nullptr) {
      *errorInfo = @{@"NSAppleScriptErrorNumber" : @(-128)};
    }
    return nil;
  }
  if (answer != nullptr && std::string(answer) == "run") {
    const auto command = shellCommandOf(utf8(source));
    const auto output = command ? runShellCommand(*command) : std::nullopt;
    if (!output) {
      if (errorInfo != nullptr) {
        *errorInfo = @{@"NSAppleScriptErrorNumber" : @(-2700)};
      }
      return nil;
    }
    return [[QuillScriptResult alloc] initWithText:@(output->c_str())];
  }
  return [[QuillScriptResult alloc] initWithText:@(answer != nullptr ? answer : "")];
}

@end

NSAttributedString* standInAttributedTitle(NSMenuItem* item) { return [item attributedTitle]; }

// The replacements of methods GNUstep has, installed before main runs.
__attribute__((constructor)) static void installStandIns() {
  @autoreleasepool {
    // The system status bar: GNUstep's is nil.
    replaceMethod(object_getClass([NSStatusBar class]), @selector(systemStatusBar), ^(id) {
      static QuillStatusBar* bar = [[QuillStatusBar alloc] init];
      return bar;
    });

    // A menu item's attributed title keeps its attributes; GNUstep keeps only the text. The
    // titles are kept by item, and a new item starts without one (an address may be reused).
    static IMP initItem = replaceMethod(
        [NSMenuItem class], @selector(initWithTitle:action:keyEquivalent:),
        ^(NSMenuItem* item, NSString* title, SEL action, NSString* key) {
          attributedTitles().erase((__bridge const void*)item);
          return reinterpret_cast<NSMenuItem* (*)(id, SEL, NSString*, SEL, NSString*)>(initItem)(
              item, @selector(initWithTitle:action:keyEquivalent:), title, action, key);
        });
    replaceMethod([NSMenuItem class], @selector(setAttributedTitle:),
                  ^(NSMenuItem* item, NSAttributedString* title) {
                    attributedTitles()[(__bridge const void*)item] = [title copy];
                  });
    replaceMethod([NSMenuItem class], @selector(attributedTitle), ^(NSMenuItem* item) {
      const auto found = attributedTitles().find((__bridge const void*)item);
      return found != attributedTitles().end() ? found->second : nil;
    });

    // The common modes are the default, modal-panel and event-tracking modes, as on macOS;
    // GNUstep never fires a timer added for NSRunLoopCommonModes alone.
    static IMP addTimer = replaceMethod(
        [NSRunLoop class], @selector(addTimer:forMode:),
        ^(NSRunLoop* loop, NSTimer* timer, NSString* mode) {
          auto add = reinterpret_cast<void (*)(id, SEL, NSTimer*, NSString*)>(addTimer);
          if (![mode isEqualToString:NSRunLoopCommonModes]) {
            add(loop, @selector(addTimer:forMode:), timer, mode);
            return;
          }
          driverRecord("{\"timerAdded\": {\"interval\": " + number([timer timeInterval]) +
                       ", \"modes\": \"common\", " + "\"mainRunLoop\": " +
                       (loop == [NSRunLoop mainRunLoop] ? "true" : "false") + "}}");
          for (NSString* each in
               @[ NSDefaultRunLoopMode, NSModalPanelRunLoopMode, NSEventTrackingRunLoopMode ]) {
            add(loop, @selector(addTimer:forMode:), timer, each);
          }
        });
    static IMP scheduleTimer = replaceMethod(
        object_getClass([NSTimer class]), @selector(scheduledTimerWithTimeInterval:repeats:block:),
        ^(id cls, NSTimeInterval interval, BOOL repeats, void (^block)(NSTimer*)) {
          driverRecord("{\"timerScheduled\": {\"interval\": " + number(interval) + "}}");
          auto schedule =
              reinterpret_cast<NSTimer* (*)(id, SEL, NSTimeInterval, BOOL, void (^)(NSTimer*))>(
                  scheduleTimer);
          return schedule(cls, @selector(scheduledTimerWithTimeInterval:repeats:block:), interval,
                          repeats, block);
        });

    static IMP activate =
        replaceMethod([NSApplication class], @selector(activateIgnoringOtherApps:),
                      ^(NSApplication* app, BOOL flag) {
                        activatedSinceAlert = true;
                        reinterpret_cast<void (*)(id, SEL, BOOL)>(activate)(
                            app, @selector(activateIgnoringOtherApps:), flag);
                      });

    // GNUstep activates the application itself while launching finishes; what counts is the
    // shell's own activation before its alert. This observer comes before the delegate's.
    [[NSNotificationCenter defaultCenter]
        addObserverForName:NSApplicationDidFinishLaunchingNotification
                    object:nil
                     queue:nil
                usingBlock:^(NSNotification*) {
                  activatedSinceAlert = false;
                }];

    // The alert: what it says is recorded and its first button answered. GNUstep's modal panel
    // cannot be ended from a timer, so a run would otherwise wait for a person.
    replaceMethod([NSAlert class], @selector(runModal), ^(NSAlert* alert) {
      std::string buttons;
      for (NSButton* button in [alert buttons]) {
        buttons += (buttons.empty() ? "" : ", ") + app::jsonString(utf8([button title]));
      }
      const char* style = "other";
      switch ([alert alertStyle]) {
        case NSAlertStyleWarning:
          style = "warning";
          break;
        case NSAlertStyleInformational:
          style = "informational";
          break;
        case NSAlertStyleCritical:
          style = "critical";
          break;
      }
      driverRecord("{\"alert\": {\"messageText\": " + app::jsonString(utf8([alert messageText])) +
                   ", \"informativeText\": " + app::jsonString(utf8([alert informativeText])) +
                   ", \"style\": \"" + style + "\", \"buttons\": [" + buttons +
                   "], \"activatedFirst\": " + (activatedSinceAlert ? "true" : "false") + "}}");
      activatedSinceAlert = false;
      return static_cast<NSModalResponse>(NSAlertFirstButtonReturn);
    });

    // Distributed notifications stay in the process: GNUstep would otherwise start its gdnc
    // daemon, which outlives the test.
    Class distributed = [NSDistributedNotificationCenter class];
    replaceMethod(distributed, @selector(addObserver:selector:name:object:),
                  ^(id, id observer, SEL selector, NSString* name, id object) {
                    [processLocalCenter() addObserver:observer
                                             selector:selector
                                                 name:name
                                               object:object];
                  });
    replaceMethod(distributed, @selector(addObserver:selector:name:object:suspensionBehavior:),
                  ^(id, id observer, SEL selector, NSString* name, id object, NSUInteger) {
                    [processLocalCenter() addObserver:observer
                                             selector:selector
                                                 name:name
                                               object:object];
                  });
    replaceMethod(distributed, @selector(postNotification:), ^(id, NSNotification* note) {
      [processLocalCenter() postNotification:note];
    });
    replaceMethod(distributed, @selector(postNotificationName:object:),
                  ^(id, NSString* name, id object) {
                    [processLocalCenter() postNotificationName:name object:object];
                  });
    replaceMethod(distributed, @selector(postNotificationName:object:userInfo:),
                  ^(id, NSString* name, id object, NSDictionary* info) {
                    [processLocalCenter() postNotificationName:name object:object userInfo:info];
                  });
    replaceMethod(distributed, @selector(postNotificationName:object:userInfo:deliverImmediately:),
                  ^(id, NSString* name, id object, NSDictionary* info, BOOL) {
                    [processLocalCenter() postNotificationName:name object:object userInfo:info];
                  });
    replaceMethod(distributed, @selector(removeObserver:name:object:),
                  ^(id, id observer, NSString* name, id object) {
                    [processLocalCenter() removeObserver:observer name:name object:object];
                  });
    replaceMethod(distributed, @selector(removeObserver:), ^(id, id observer) {
      [processLocalCenter() removeObserver:observer];
    });
  }
}
