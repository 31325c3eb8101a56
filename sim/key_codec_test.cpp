// Numbers into key bytes by type, as the simulated controller stores its own values.
#include "sim/key_codec.h"

#include <gtest/gtest.h>

#include <cmath>

#include "smc/smc_record.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(KeyCodec, EncodesEachTypeFamilyAndDecodesItBack) {
  EXPECT_EQ(sim::encodeValue(smc::fourCC("sp78"), 2, 25.5), (Bytes{0x19, 0x80}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("sp78"), 2, -1.0), (Bytes{0xFF, 0x00}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("fpe2"), 2, 2000.0), (Bytes{0x1F, 0x40}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("flt "), 4, 100.0), (Bytes{0x00, 0x00, 0xC8, 0x42}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("ui16"), 2, 6500.4), (Bytes{0x19, 0x64}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("ui8 "), 1, 3), (Bytes{0x03}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("si8 "), 1, -2), (Bytes{0xFE}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("ui32"), 4, 2409), (Bytes{0, 0, 0x09, 0x69}));
  for (double v : {-12.25, 0.0, 45.75, 99.5}) {
    const auto b = sim::encodeValue(smc::fourCC("sp78"), 2, v);
    ASSERT_TRUE(b);
    EXPECT_EQ(sim::decodeValue(smc::fourCC("sp78"), 2, *b), v);
  }
}

TEST(KeyCodec, ClampsToTheTypeAndMapsNonFiniteValuesToItsExtremes) {
  EXPECT_EQ(sim::encodeValue(smc::fourCC("sp78"), 2, 1e6), (Bytes{0x7F, 0xFF}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("fpe2"), 2, -5), (Bytes{0x00, 0x00}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("ui16"), 2, 70000), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("sp78"), 2, NAN), (Bytes{0x80, 0x00}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("fpe2"), 2, NAN), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(sim::encodeValue(smc::fourCC("sp78"), 2, -INFINITY), (Bytes{0x80, 0x00}));
  const auto nan = sim::encodeValue(smc::fourCC("flt "), 4, NAN);
  ASSERT_TRUE(nan);
  EXPECT_TRUE(std::isnan(*sim::decodeValue(smc::fourCC("flt "), 4, *nan)));
}

TEST(KeyCodec, TypesWithoutANumericEncodingGiveNothing) {
  EXPECT_FALSE(sim::encodeValue(smc::fourCC("flag"), 1, 1));
  EXPECT_FALSE(sim::encodeValue(smc::fourCC("ch8*"), 8, 1));
  EXPECT_FALSE(sim::encodeValue(smc::fourCC("flt "), 2, 1));
  EXPECT_FALSE(sim::encodeValue(smc::fourCC("ui16"), 1, 1));
}

TEST(KeyCodec, HexText) {
  EXPECT_EQ(sim::parseHex("1a2B"), (Bytes{0x1A, 0x2B}));
  EXPECT_EQ(sim::parseHex("1a 2B"), (Bytes{0x1A, 0x2B}));
  EXPECT_EQ(sim::parseHex(""), Bytes{});
  EXPECT_FALSE(sim::parseHex("123"));
  EXPECT_FALSE(sim::parseHex("0x12"));
  EXPECT_EQ(sim::toHex(Bytes{0x00, 0xAB}), "00AB");
  EXPECT_EQ(sim::typeName(smc::fourCC("ui8 ")), "ui8 ");
}

}  // namespace
