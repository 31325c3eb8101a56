// Styled runs: joining and role names.
#include "app/styled_text.h"

namespace app {

std::string plainText(const StyledText& styled) {
  std::string text;
  for (const auto& run : styled) {
    text += run.text;
  }
  return text;
}

std::string_view fontRoleName(FontRole font) {
  switch (font) {
    case FontRole::bold13:
      return "bold-13";
    case FontRole::bold11:
      return "bold-11";
    case FontRole::monoRegular12:
      return "mono-12-regular";
    case FontRole::monoMedium12:
      return "mono-12-medium";
    case FontRole::systemMedium12:
      return "system-12-medium";
  }
  return "mono-12-regular";
}

std::string_view colorRoleName(ColorRole color) {
  switch (color) {
    case ColorRole::label:
      return "label";
    case ColorRole::secondaryLabel:
      return "secondaryLabel";
    case ColorRole::systemGreen:
      return "systemGreen";
    case ColorRole::systemOrange:
      return "systemOrange";
    case ColorRole::systemRed:
      return "systemRed";
    case ColorRole::systemCyan:
      return "systemCyan";
  }
  return "label";
}

}  // namespace app
