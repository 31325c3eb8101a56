// The drop-down menu as a value: the core rebuilds it on every refresh and hands it to the shell,
// which turns each item into a platform menu item (NSMenuItem, a terminal line).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/styled_text.h"

namespace app {

// The menu actions the delegate answers; the shells route a chosen item back through
// AppDelegate::perform.
enum class MenuAction {
  setFansMax,
  setFansProactive,
  setFansAuto,
  toggleUnit,
  quitApp,
};

// Each action's selector name: the Objective-C message the macOS shell's menu item sends, and the
// name the snapshot's --do takes.
inline constexpr std::array<std::pair<MenuAction, std::string_view>, 5> kMenuActionNames{{
    {MenuAction::setFansMax, "setFansMax"},
    {MenuAction::setFansProactive, "setFansProactive"},
    {MenuAction::setFansAuto, "setFansAuto"},
    {MenuAction::toggleUnit, "toggleUnit"},
    {MenuAction::quitApp, "quitApp"},
}};

constexpr std::string_view selectorName(MenuAction action) {
  for (const auto& [each, name] : kMenuActionNames) {
    if (each == action) {
      return name;
    }
  }
  return {};
}

// The action of a selector name; none for an unknown name.
constexpr std::optional<MenuAction> menuActionNamed(std::string_view selector) {
  for (const auto& [each, name] : kMenuActionNames) {
    if (name == selector) {
      return each;
    }
  }
  return std::nullopt;
}

struct MenuItem {
  bool isSeparator = false;
  std::string title;                      // the plain title
  std::optional<StyledText> styledTitle;  // shown in place of the plain title when present
  std::optional<MenuAction> action;       // none: an information row, not selectable
  std::string keyEquivalent;              // a single lower-case letter (Command) or empty

  static MenuItem separatorItem() {
    MenuItem item;
    item.isSeparator = true;
    return item;
  }
  bool operator==(const MenuItem&) const = default;
};

struct MenuModel {
  std::vector<MenuItem> items;

  void removeAllItems() { items.clear(); }
  void addItem(MenuItem item) { items.push_back(std::move(item)); }
  bool operator==(const MenuModel&) const = default;
};

}  // namespace app
