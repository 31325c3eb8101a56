// The status item and its menu in AppKit: the core's menu model becomes NSMenuItems, its styled
// runs become NSAttributedStrings.
#pragma once

#import <AppKit/AppKit.h>

#include <memory>

#include "app/mac/menu_actions.h"
#include "app/menu_model.h"
#include "app/platform.h"
#include "app/styled_text.h"

// The runs joined into one attributed string, each with its font and, when it has one, its colour.
NSAttributedString *attributedString(const app::StyledText &text);

// The message a menu action sends to the delegate bridge.
SEL actionSelector(app::MenuAction action);

// A menu item for `item`; items with an action send it to `target`.
NSMenuItem *menuItem(const app::MenuItem &item, id<QuillMenuActions> target);

class MacStatusItem final : public app::StatusItem {
 public:
  MacStatusItem(NSStatusItem *item, id<QuillMenuActions> target);
  ~MacStatusItem() override;
  MacStatusItem(const MacStatusItem &) = delete;
  MacStatusItem &operator=(const MacStatusItem &) = delete;

  bool hasButton() const override;
  void setTitle(std::string_view title) override;
  void setAttributedTitle(const app::StyledText &title) override;
  void setMenu(const app::MenuModel &menu) override;

 private:
  NSStatusItem *item_;
  NSMenu *menu_ = nil;  // created and attached by the first setMenu, then refilled
  __weak id<QuillMenuActions> target_;
};

// The system status bar. Menu actions go to `target`, held weakly: the bridge owns this object.
class MacStatusBar final : public app::StatusBar {
 public:
  explicit MacStatusBar(id<QuillMenuActions> target) : target_(target) {}
  std::unique_ptr<app::StatusItem> statusItemWithLength(double length) override;

 private:
  __weak id<QuillMenuActions> target_;
};
