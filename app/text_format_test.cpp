// Number text that ignores the process locale, and counting characters.
#include "app/text_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>

namespace app {

namespace {

TEST(TextFormat, NumbersMatchPrintfRounding) {
  for (double v : {0.0, 0.05, 0.15, 1.25, 47.5, 52.6, 899.5, 899.6, 1200.4, 1e6, -3.45, 129.95}) {
    for (int decimals : {0, 1}) {
      char expected[64];
      std::snprintf(expected, sizeof expected, "%.*f", decimals, v);
      EXPECT_EQ(formatFixed(v, decimals), expected) << v;
    }
  }
  // Many values, halves and near-halves included, against printf in the C locale.
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> wide(-20000.0, 20000.0);
  for (int i = 0; i < 200000; ++i) {
    double v = wide(random);
    if (i % 4 == 1) {
      v = std::round(v * 20.0) / 20.0;  // x.x5 and x.x0
    } else if (i % 4 == 2) {
      v = std::nextafter(std::round(v * 2.0) / 2.0, i % 8 < 4 ? 1e9 : -1e9);
    } else if (i % 4 == 3) {
      v = std::ldexp(wide(random), -static_cast<int>(random() % 40));
    }
    for (int decimals : {0, 1}) {
      char expected[64];
      std::snprintf(expected, sizeof expected, "%.*f", decimals, v);
      ASSERT_EQ(formatFixed(v, decimals), expected) << std::hexfloat << v;
    }
  }
  // Every value the SMC's binary fixed-point types give a temperature (256ths, -64 to 256) or a
  // fan speed (sixteenths, 0 to 8000), where exact halves at the last place shown are common.
  for (const auto& [denominator, first, last] : {std::tuple{256, -64, 256}, {16, 0, 8000}}) {
    for (int i = first * denominator; i <= last * denominator; ++i) {
      const double v = static_cast<double>(i) / denominator;
      for (int decimals : {0, 1}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.*f", decimals, v);
        ASSERT_EQ(formatFixed(v, decimals), expected) << v;
      }
    }
  }
  EXPECT_EQ(formatFixed(-0.0, 1), "-0.0");
  EXPECT_EQ(formatFixed(-0.04, 1), "-0.0");
  EXPECT_EQ(formatFixed(2.5e12, 0), "2500000000000");
  EXPECT_EQ(formatFixed(std::nan(""), 1), "nan");
  EXPECT_EQ(formatFixed(-INFINITY, 0), "-inf");
  EXPECT_EQ(formatDegrees(47.5, 1, "C"), "47.5\u00B0C");
}

// Switches LC_NUMERIC to a locale whose decimal separator is a comma, compiling one into a
// temporary directory when none is installed. False when neither works.
bool useCommaLocale(const std::string& scratch) {
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      return true;
    }
  }
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + scratch + "/de_DE.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) {
    return false;
  }
  setenv("LOCPATH", scratch.c_str(), 1);
  return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

TEST(TextFormat, NumbersIgnoreTheLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  char pattern[] = "/tmp/quill-locale-XXXXXX";
  const std::string scratch = mkdtemp(pattern);
  const bool switched = useCommaLocale(scratch);
  char printed[32];
  std::snprintf(printed, sizeof printed, "%.1f", 1234.5);
  const std::string viaPrintf = printed;
  const std::string ours = formatFixed(1234.5, 1);
  const std::string degrees = formatDegrees(47.25, 1, "C");
  std::setlocale(LC_NUMERIC, saved.c_str());
  unsetenv("LOCPATH");
  std::filesystem::remove_all(scratch);
  if (!switched) {
    GTEST_SKIP() << "no locale with a decimal comma available";
  }
  EXPECT_EQ(viaPrintf, "1234,5");  // the locale really is in force
  EXPECT_EQ(ours, "1234.5");
  EXPECT_EQ(degrees, "47.2\u00B0C");
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

}  // namespace app
