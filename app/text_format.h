// Locale-independent number text and UTF-8 helpers for the menu rows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace app {

// value with `decimals` digits after a full stop, no grouping, rounded like printf's "%.Nf";
// "nan", "inf" and "-inf" for values that are not finite.
std::string formatFixed(double value, int decimals);

// "%.0f°%@" / "%.1f°%@": the value, the degree sign and the unit letter.
std::string formatDegrees(double value, int decimals, std::string_view unit);

bool isValidUtf8(std::string_view text);

// User-perceived characters of UTF-8 text: code points, not counting combining marks, variation
// selectors, zero-width joiners and the code point a joiner attaches. Invalid bytes count one
// each.
std::size_t characterCount(std::string_view text);

}  // namespace app
