// AppKit and Foundation declarations the shell uses that GNUstep's headers lack, with the
// signatures of Apple's documentation (macOS 12). Declarations only: the compile check includes
// this before each file; a Mac build never sees it.
#pragma once

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

// NSApplication: the activation policy (macOS 10.6). GNUstep declares the policy type with
// NSRunningApplication but not the setter.
@interface NSApplication (QuillCompat)
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy;
@end

// NSStatusItem: its button (macOS 10.10).
@interface NSStatusItem (QuillCompat)
@property(readonly, strong) NSStatusBarButton *button;
@end

// NSMenu: removing every item at once (macOS 10.6).
@interface NSMenu (QuillCompat)
- (void)removeAllItems;
@end

// NSFont: system fonts by weight (macOS 10.11) and the monospaced system font (macOS 10.15).
@interface NSFont (QuillCompat)
+ (NSFont *)systemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight;
+ (NSFont *)monospacedSystemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight;
@end

// NSColor: the system cyan (macOS 12).
@interface NSColor (QuillCompat)
@property(class, strong, readonly) NSColor *systemCyanColor;
@end

// NSAlertStyle's current names (macOS 10.12); GNUstep has only the older NS...AlertStyle ones.
enum : NSAlertStyle {
  NSAlertStyleWarning = 0,
  NSAlertStyleInformational = 1,
  NSAlertStyleCritical = 2,
};

// NSAppleScript (macOS 10.2): GNUstep declares the class without its methods.
@interface NSAppleScript (QuillCompat)
- (instancetype)initWithSource:(NSString *)source;
- (NSAppleEventDescriptor *)executeAndReturnError:(NSDictionary<NSString *, id> **)errorInfo;
@end

// NSAppleEventDescriptor: the descriptor's text (macOS 10.0).
@interface NSAppleEventDescriptor (QuillCompat)
@property(readonly, copy) NSString *stringValue;
@end

// NSMenuItem: Apple's separator item is an NSMenuItem; GNUstep returns its menu-item protocol.
@interface NSMenuItem (QuillCompat)
+ (NSMenuItem *)separatorItem;
@end
