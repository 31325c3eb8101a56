// The status item, its menu and the styled texts in AppKit. Only translation happens here: what
// the menu holds and how each run looks is decided by the core.
#include "app/mac/status_bar.h"

#include "app/mac/ns_string.h"

namespace {

NSFont *font(app::FontRole role) {
  switch (role) {
    case app::FontRole::bold13:
      return [NSFont boldSystemFontOfSize:13.0];
    case app::FontRole::bold11:
      return [NSFont boldSystemFontOfSize:11.0];
    case app::FontRole::monoRegular12:
      return [NSFont monospacedSystemFontOfSize:12.0 weight:NSFontWeightRegular];
    case app::FontRole::monoMedium12:
      return [NSFont monospacedSystemFontOfSize:12.0 weight:NSFontWeightMedium];
    case app::FontRole::systemMedium12:
      return [NSFont systemFontOfSize:12.0 weight:NSFontWeightMedium];
  }
  return [NSFont systemFontOfSize:12.0];
}

NSColor *color(app::ColorRole role) {
  switch (role) {
    case app::ColorRole::label:
      return [NSColor labelColor];
    case app::ColorRole::secondaryLabel:
      return [NSColor secondaryLabelColor];
    case app::ColorRole::systemGreen:
      return [NSColor systemGreenColor];
    case app::ColorRole::systemOrange:
      return [NSColor systemOrangeColor];
    case app::ColorRole::systemRed:
      return [NSColor systemRedColor];
    case app::ColorRole::systemCyan:
      return [NSColor systemCyanColor];
  }
  return [NSColor labelColor];
}

}  // namespace

NSAttributedString *attributedString(const app::StyledText &text) {
  NSMutableAttributedString *result = [[NSMutableAttributedString alloc] init];
  for (const app::StyledRun &run : text) {
    NSMutableDictionary *attributes = [NSMutableDictionary dictionary];
    if (NSFont *runFont = font(run.font)) {
      [attributes setObject:runFont forKey:NSFontAttributeName];
    }
    if (run.color) {
      if (NSColor *runColor = color(*run.color)) {
        [attributes setObject:runColor forKey:NSForegroundColorAttributeName];
      }
    }
    [result appendAttributedString:[[NSAttributedString alloc] initWithString:nsString(run.text)
                                                                   attributes:attributes]];
  }
  return result;
}

// The message a menu item sends: the action's selector name, which the delegate bridge answers
// (menu_actions.h declares them all).
SEL actionSelector(app::MenuAction action) {
  return NSSelectorFromString(nsString(app::selectorName(action)));
}

NSMenuItem *menuItem(const app::MenuItem &item, id<QuillMenuActions> target) {
  if (item.isSeparator) {
    return [NSMenuItem separatorItem];
  }
  NSMenuItem *result =
      [[NSMenuItem alloc] initWithTitle:nsString(item.title)
                                 action:item.action ? actionSelector(*item.action) : nullptr
                          keyEquivalent:nsString(item.keyEquivalent)];
  if (item.action) {
    [result setTarget:target];
  }
  if (item.styledTitle) {
    [result setAttributedTitle:attributedString(*item.styledTitle)];
  }
  return result;
}

MacStatusItem::MacStatusItem(NSStatusItem *item, id<QuillMenuActions> target)
    : item_(item), target_(target) {}

MacStatusItem::~MacStatusItem() { [[NSStatusBar systemStatusBar] removeStatusItem:item_]; }

bool MacStatusItem::hasButton() const { return [item_ button] != nil; }

void MacStatusItem::setTitle(std::string_view title) { [[item_ button] setTitle:nsString(title)]; }

void MacStatusItem::setAttributedTitle(const app::StyledText &title) {
  [[item_ button] setAttributedTitle:attributedString(title)];
}

void MacStatusItem::setMenu(const app::MenuModel &menu) {
  if (menu_ == nil) {
    menu_ = [[NSMenu alloc] init];
    [item_ setMenu:menu_];
  }
  [menu_ removeAllItems];
  for (const app::MenuItem &item : menu.items) {
    [menu_ addItem:menuItem(item, target_)];
  }
}

std::unique_ptr<app::StatusItem> MacStatusBar::statusItemWithLength(double length) {
  NSStatusItem *item = [[NSStatusBar systemStatusBar] statusItemWithLength:length];
  return std::make_unique<MacStatusItem>(item, target_);
}
