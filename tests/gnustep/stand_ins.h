// What GNUstep's AppKit lacks for the macOS shell, supplied for its run under GNUstep: the status
// bar and its button, system fonts by weight, the system cyan, an AppleScript that records its
// source, and the alert. These classes and the events they record are what the driver reads.
#pragma once

#import <AppKit/AppKit.h>

#include <string>

// The driver's record of what happened, one JSON object a line; the stand-ins report through it.
void driverRecord(const std::string& json);

// A system font by weight: the nearest real font, with the family and weight the shell asked for.
@interface QuillWeightedFont : NSProxy
@property(nonatomic, readonly) BOOL monospaced;
@property(nonatomic, readonly) CGFloat weight;
@property(nonatomic, readonly) CGFloat pointSize;
@end

// The status item's button: keeps the last title and whether it was set plain or attributed.
@interface QuillStatusBarButton : NSStatusBarButton
@property(nonatomic, readonly) NSAttributedString* lastAttributedTitle;  // nil: set plain
@property(nonatomic, readonly) NSString* lastPlainTitle;
@end

@interface QuillStatusItem : NSStatusItem
@end

@interface QuillStatusBar : NSStatusBar
// The items created and not removed, in order.
@property(nonatomic, readonly) NSArray<QuillStatusItem*>* liveItems;
@end

// The menu item's attributed title as the shell set it (GNUstep keeps only the text).
NSAttributedString* standInAttributedTitle(NSMenuItem* item);
