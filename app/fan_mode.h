// The fan modes in one table: what the tool and the snapshot call each mode, its line in the
// menu and that line's colour, the menu item that chooses it with its key and action, and its
// line in the terminal's help. The menu builder, the delegate, the shells and the help text all
// read it; a new mode is a row here, an action, and what the delegate does for it.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "app/menu_model.h"
#include "app/styled_text.h"

namespace app {

// `automatic` is the mode the menu and the tool call "auto".
enum class FanMode { automatic, proactive, max };

struct FanModeInfo {
  FanMode mode;
  std::string_view word;       // the tool's command word and the snapshot's name
  std::string_view modeLine;   // the menu's line while the fans are in this mode
  ColorRole color;             // that line's colour
  std::string_view itemTitle;  // the menu item that chooses the mode, offered in the others
  std::string_view key;        // its key equivalent
  MenuAction action;           // its action
  std::string_view help;       // what the key does, for the terminal's help
};

// In the order the menu offers them.
inline constexpr std::array<FanModeInfo, 3> kFanModes = {{
    {FanMode::automatic, "auto", "Fans: Auto", ColorRole::systemGreen, "Switch to Auto", "a",
     MenuAction::setFansAuto, "fans back to automatic control"},
    {FanMode::proactive, "proactive", "Fans: Proactive (40-75\u00B0C)", ColorRole::systemCyan,
     "Proactive Cooling", "p", MenuAction::setFansProactive, "proactive cooling (40-75 C)"},
    {FanMode::max, "max", "Fans: Manual 100%", ColorRole::systemOrange, "Fans to Full Speed", "m",
     MenuAction::setFansMax, "fans to full speed"},
}};

constexpr const FanModeInfo& fanModeInfo(FanMode mode) {
  for (const FanModeInfo& info : kFanModes) {
    if (info.mode == mode) {
      return info;
    }
  }
  return kFanModes[0];
}

// "auto", "proactive" or "max".
constexpr std::string_view fanModeName(FanMode mode) {
  return fanModeInfo(mode).word;
}

// The mode an action chooses; none for the actions that choose no mode.
constexpr std::optional<FanMode> fanModeChosenBy(MenuAction action) {
  for (const FanModeInfo& info : kFanModes) {
    if (info.action == action) {
      return info.mode;
    }
  }
  return std::nullopt;
}

}  // namespace app
