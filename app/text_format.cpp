// Number text through std::to_chars (never the C locale) and UTF-8 scanning.
#include "app/text_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

namespace app {

std::string formatFixed(double value, int decimals) {
  // Fixed notation rounded exactly, ties to even, as printf("%.*f") rounds; "nan", "-inf" and
  // the like for values that are not numbers. Large enough for any double at the menu's places.
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return std::string(buffer, result.ptr);
}

std::string formatDegrees(double value, int decimals, std::string_view unit) {
  std::string text = formatFixed(value, decimals);
  text += "\u00B0";
  text += unit;
  return text;
}

namespace {

// The code point starting at `i` and its length in bytes; none for an invalid sequence.
std::optional<std::pair<char32_t, std::size_t>> decodeAt(std::string_view s, std::size_t i) {
  const auto b0 = static_cast<std::uint8_t>(s[i]);
  std::size_t length = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if (b0 < 0x80) {
    return std::pair{char32_t{b0}, std::size_t{1}};
  } else if ((b0 & 0xE0) == 0xC0) {
    length = 2;
    cp = b0 & 0x1F;
    minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3;
    cp = b0 & 0x0F;
    minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4;
    cp = b0 & 0x07;
    minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (i + length > s.size()) {
    return std::nullopt;
  }
  for (std::size_t k = 1; k < length; ++k) {
    const auto b = static_cast<std::uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      return std::nullopt;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return std::nullopt;
  }
  return std::pair{cp, length};
}

bool isCombining(char32_t cp) {
  return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x1AB0 && cp <= 0x1AFF) ||
         (cp >= 0x1DC0 && cp <= 0x1DFF) || (cp >= 0x20D0 && cp <= 0x20FF) ||
         (cp >= 0xFE20 && cp <= 0xFE2F) || (cp >= 0xFE00 && cp <= 0xFE0F) ||
         (cp >= 0x1F3FB && cp <= 0x1F3FF) || (cp >= 0xE0100 && cp <= 0xE01EF);
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto decoded = decodeAt(text, i);
    if (!decoded) {
      return false;
    }
    i += decoded->second;
  }
  return true;
}

std::size_t characterCount(std::string_view text) {
  if (std::all_of(text.begin(), text.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return text.size();
  }
  std::size_t count = 0;
  bool joined = false;
  for (std::size_t i = 0; i < text.size();) {
    const auto decoded = decodeAt(text, i);
    if (!decoded) {
      ++count;
      ++i;
      joined = false;
      continue;
    }
    const char32_t cp = decoded->first;
    i += decoded->second;
    if (cp == 0x200D) {
      joined = true;
      continue;
    }
    if (!joined && !isCombining(cp)) {
      ++count;
    }
    joined = false;
  }
  return count;
}

}  // namespace app
