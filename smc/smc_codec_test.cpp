// Decoding every SMC data type and encoding speeds, with the fall-through order and the clamps.
#include "smc/smc_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace smc {

namespace {

std::optional<double> decode(std::string_view type, std::int32_t size, ByteList bytes) {
  return decodeNumeric(SMCRawValue{bytes, fourCC(type), size});
}

TEST(SmcDecode, NamedTypes) {
  EXPECT_EQ(decode("flt ", 4, {0x00, 0x00, 0xC8, 0x42}), 100.0);
  EXPECT_EQ(decode("ui8 ", 1, {0xFF}), 255.0);
  EXPECT_EQ(decode("si8 ", 1, {0xFF}), -1.0);
  EXPECT_EQ(decode("ui16", 2, {0x12, 0x34}), 4660.0);
  EXPECT_EQ(decode("si16", 2, {0xFF, 0xFE}), -2.0);
  EXPECT_EQ(decode("ui32", 4, {0xFF, 0xFF, 0xFF, 0xFF}), 4294967295.0);
  // One-byte types use byte 0 alone whatever the size.
  EXPECT_EQ(decode("ui8 ", 4, {0x07, 0x09, 0x09, 0x09}), 7.0);
}

TEST(SmcDecode, FixedPointBySignAndFractionDigit) {
  EXPECT_EQ(decode("sp78", 2, {0x19, 0x80}), 25.5);
  EXPECT_EQ(decode("sp78", 2, {0xFF, 0x00}), -1.0);
  EXPECT_EQ(decode("fpe2", 2, {0x1F, 0x40}), 2000.0);
  EXPECT_EQ(decode("fpXA", 2, {0x04, 0x00}), 1.0);  // hex digit A: 10 fraction bits
  EXPECT_EQ(decode("spZ0", 2, {0x80, 0x00}), -32768.0);
  // Not a hexadecimal digit: plain big-endian unsigned bytes.
  EXPECT_EQ(decode("fp1g", 2, {0x1F, 0x40}), 8000.0);
}

TEST(SmcDecode, FailedConditionsFallThroughToLaterRules) {
  // "flt " with size 2 falls to the two-byte rule; its second letter is not "p".
  EXPECT_EQ(decode("flt ", 2, {0x01, 0x02}), 258.0);
  // "ui32" with fewer than four bytes.
  EXPECT_EQ(decode("ui32", 2, {0x01, 0x02}), 258.0);
  // Unknown types by size.
  EXPECT_EQ(decode("ch8*", 1, {0x41}), 65.0);
  EXPECT_EQ(decode("hex_", 6, {0xAB, 0xCD, 0xEF}), 43981.0);
  EXPECT_EQ(decode("hex_", 0, {}), std::nullopt);
  EXPECT_EQ(decode("ui8 ", 1, {}), std::nullopt);
}

TEST(SmcDecode, FloatsPassThroughUnfiltered) {
  EXPECT_TRUE(std::isnan(*decode("flt ", 4, {0x00, 0x00, 0xC0, 0x7F})));
  EXPECT_EQ(*decode("flt ", 4, {0x00, 0x00, 0x80, 0xFF}), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(*decode("flt ", 4, {0x00, 0x00, 0x20, 0xC1}), -10.0);
}

TEST(SmcEncode, FloatUi16AndFixedPoint) {
  EXPECT_EQ(encodeSpeed(kTypeFlt, 4, 100.0), (ByteList{0x00, 0x00, 0xC8, 0x42}));
  EXPECT_EQ(encodeSpeed(kTypeFlt, 4, 3650.0), (ByteList{0x00, 0x20, 0x64, 0x45}));
  EXPECT_EQ(encodeSpeed(kTypeUi16, 2, 6500.7), (ByteList{0x19, 0x64}));
  EXPECT_EQ(encodeSpeed(kTypeUi16, 2, 70000.0), (ByteList{0xFF, 0xFF}));
  EXPECT_EQ(encodeSpeed(fourCC("fpe2"), 2, 2000.0), (ByteList{0x1F, 0x40}));
  EXPECT_EQ(encodeSpeed(fourCC("fpe2"), 2, 20000.0), (ByteList{0xFF, 0xFF}));
  // Signed and unsigned clamp alike: 200 °C as sp78 reads back as negative.
  const auto sp = encodeSpeed(fourCC("sp78"), 2, 200.0);
  EXPECT_EQ(sp, (ByteList{0xC8, 0x00}));
  EXPECT_EQ(decode("sp78", 2, *sp), -56.0);
  EXPECT_EQ(encodeFixedPoint(fourCC("sp78"), -3.0), (ByteList{0x00, 0x00}));
}

TEST(SmcEncode, TypesWithoutAnEncodingWriteNothing) {
  EXPECT_EQ(encodeSpeed(kTypeFlt, 2, 100.0), std::nullopt);  // flt of the wrong size
  EXPECT_EQ(encodeSpeed(kTypeUi8, 1, 100.0), std::nullopt);
  EXPECT_EQ(encodeSpeed(kTypeUi16, 1, 100.0), std::nullopt);
  EXPECT_EQ(encodeSpeed(fourCC("fp1g"), 2, 100.0), std::nullopt);
  EXPECT_EQ(encodeSpeed(fourCC("fpe2"), 1, 100.0), std::nullopt);
}

TEST(SmcEncode, NonFiniteSpeedsAreNeverEncodedAndHugeOnesClamp) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const double nan = std::nan("");
  for (double v : {nan, kInf, -kInf}) {
    EXPECT_EQ(encodeSpeed(kTypeFlt, 4, v), std::nullopt);
    EXPECT_EQ(encodeSpeed(kTypeUi16, 2, v), std::nullopt);
    EXPECT_EQ(encodeSpeed(fourCC("fpe2"), 2, v), std::nullopt);
  }
  EXPECT_EQ(encodeSpeed(kTypeUi16, 2, -1e300), (ByteList{0x00, 0x00}));
  EXPECT_EQ(encodeSpeed(fourCC("fpe2"), 2, 1e300), (ByteList{0xFF, 0xFF}));
  EXPECT_EQ(encodeSpeed(fourCC("fpf0"), 2, 1e300), (ByteList{0xFF, 0xFF}));
  // Beyond float range: the largest float, not infinity.
  EXPECT_EQ(encodeSpeed(kTypeFlt, 4, 1e300), (ByteList{0xFF, 0xFF, 0x7F, 0x7F}));
}

}  // namespace

}  // namespace smc
