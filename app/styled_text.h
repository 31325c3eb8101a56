// Styled text away from any platform: a row of the menu or the status title is a list of runs,
// each a piece of text with a font role and an optional colour role. The shells map the roles to
// their own fonts and colours (AppKit attributed strings, terminal attributes).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

enum class FontRole {
  bold13,          // bold system font, 13 pt (the application header)
  bold11,          // bold system font, 11 pt (section headers)
  monoRegular12,   // monospaced system font, 12 pt, regular weight
  monoMedium12,    // monospaced system font, 12 pt, medium weight
  systemMedium12,  // system font, 12 pt, medium weight (the fan-mode line)
};

enum class ColorRole {
  label,
  secondaryLabel,
  systemGreen,
  systemOrange,
  systemRed,
  systemCyan,
};

struct StyledRun {
  std::string text;  // UTF-8
  FontRole font = FontRole::monoRegular12;
  std::optional<ColorRole> color;  // none: the run carries no colour attribute

  bool operator==(const StyledRun&) const = default;
};

using StyledText = std::vector<StyledRun>;

// The runs' texts joined.
std::string plainText(const StyledText& styled);

// Stable names of the roles, as the headless snapshot prints them: "bold-13", "mono-12-regular",
// ...; "label", "systemGreen", ...
std::string_view fontRoleName(FontRole font);
std::string_view colorRoleName(ColorRole color);

}  // namespace app
