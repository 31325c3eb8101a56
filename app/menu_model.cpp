// Menu actions and their selector names.
#include "app/menu_model.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<MenuAction, std::string_view>, 5> kSelectors{{
    {MenuAction::setFansMax, "setFansMax"},
    {MenuAction::setFansProactive, "setFansProactive"},
    {MenuAction::setFansAuto, "setFansAuto"},
    {MenuAction::toggleUnit, "toggleUnit"},
    {MenuAction::quitApp, "quitApp"},
}};

}  // namespace

std::string_view selectorName(MenuAction action) {
  for (const auto& [a, name] : kSelectors) {
    if (a == action) {
      return name;
    }
  }
  return {};
}

std::optional<MenuAction> menuActionNamed(std::string_view selector) {
  for (const auto& [a, name] : kSelectors) {
    if (name == selector) {
      return a;
    }
  }
  return std::nullopt;
}
