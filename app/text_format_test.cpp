// Number text that ignores the process locale, and counting characters.
#include "app/text_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

namespace {

TEST(TextFormat, NumbersMatchPrintfRounding) {
  for (double v : {0.0, 0.05, 0.15, 1.25, 47.5, 52.6, 899.5, 899.6, 1200.4, 1e6, -3.45, 129.95}) {
    for (int decimals : {0, 1}) {
      char expected[64];
      std::snprintf(expected, sizeof expected, "%.*f", decimals, v);
      EXPECT_EQ(formatFixed(v, decimals), expected) << v;
    }
  }
  EXPECT_EQ(formatFixed(std::nan(""), 1), "nan");
  EXPECT_EQ(formatFixed(-INFINITY, 0), "-inf");
  EXPECT_EQ(formatDegrees(47.5, 1, "C"), "47.5\u00B0C");
}

TEST(TextFormat, NumbersIgnoreTheLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      switched = true;
      break;
    }
  }
  EXPECT_EQ(formatFixed(1234.5, 1), "1234.5");
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!switched) {
    GTEST_SKIP() << "no locale with a decimal comma installed";
  }
}

TEST(TextFormat, CountsUserPerceivedCharacters) {
  EXPECT_EQ(characterCount("CPU Die"), 7u);
  EXPECT_EQ(characterCount("\u00B0C"), 2u);
  EXPECT_EQ(characterCount("e\u0301"), 1u);
  EXPECT_EQ(characterCount("\U0001F468\u200D\U0001F469"), 1u);
  EXPECT_EQ(characterCount("\xFF"), 1u);
  EXPECT_TRUE(isValidUtf8("Fan 1 \u00B0"));
  EXPECT_FALSE(isValidUtf8("\xC0\x80"));      // overlong
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // surrogate
}

}  // namespace
