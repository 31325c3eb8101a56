#include "tool/tool_smc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "smc/smc_record.h"
#include "smc/testing/fake_smc.h"

namespace tool {

namespace {

class ToolSmcTest : public ::testing::Test {
 protected:
  ToolSmcTest() {
    s.conn = smc::SMCConnection(s.io, smc::FakeSMC::kConnection);
    s.stride = 80;
  }
  const smc::RecordedExchange& last() const { return recorder.exchanges.back(); }

  smc::FakeSMC smc;
  smc::RecordingIOService recorder{smc};
  ToolState s{recorder};
};

TEST_F(ToolSmcTest, ExchangesCarryOnlyTheNamedFieldsAtTheRecordSize) {
  smc.addKey("FNum", "ui8 ", 1, {3});
  const auto info = readKI(s, "FNum");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->dataSize, 1u);
  EXPECT_EQ(info->dataType, smc::fourCC("ui8 "));
  smc::SMCKeyData_t expected{};
  expected.key = smc::fourCC("FNum");
  expected.data8 = smc::SMC_CMD_READ_KEYINFO;
  EXPECT_EQ(std::memcmp(&last().input, &expected, sizeof expected), 0);
  EXPECT_EQ(last().inputSize, 80u);
  EXPECT_EQ(last().outputSizeIn, 80u);
  EXPECT_EQ(last().selector, 2u);

  const std::vector<std::uint8_t> many(40, 0xAB);
  EXPECT_TRUE(writeBytes(s, "FNum", 1, many));
  expected.keyInfo.dataSize = 1;
  expected.data8 = smc::SMC_CMD_WRITE_BYTES;
  std::memset(expected.bytes, 0xAB, 32);
  EXPECT_EQ(std::memcmp(&last().input, &expected, sizeof expected), 0);
}

TEST_F(ToolSmcTest, ReadBytesUsesTheCallersSizeAndKeepsAtMost32) {
  smc.addKey("BIG!", "ch8*", 40, std::vector<std::uint8_t>(40, 7));
  EXPECT_EQ(readBytes(s, "BIG!", 40)->size(), 32u);
  EXPECT_EQ(last().input.keyInfo.dataSize, 40u);
  EXPECT_EQ(last().input.data8, smc::SMC_CMD_READ_BYTES);
  EXPECT_EQ(readBytes(s, "BIG!", 2)->size(), 2u);
  // Size 0 still makes the exchange and answers with no bytes.
  const auto calls = recorder.exchanges.size();
  const auto none = readBytes(s, "BIG!", 0);
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
  EXPECT_EQ(recorder.exchanges.size(), calls + 1);
  EXPECT_FALSE(readBytes(s, "NONE", 4));
}

TEST_F(ToolSmcTest, ResultByteOfAReplyIsNotExamined) {
  smc.addFlt("F0Mn", 1200.0f);
  recorder.forceResultByte = 0x84;
  EXPECT_EQ(readFlt(s, "F0Mn"), 1200.0f);
}

TEST_F(ToolSmcTest, FloatsAreOnlyFlt4LittleEndian) {
  smc.addFlt("F0Mx", 5500.0f);
  EXPECT_EQ(readFlt(s, "F0Mx"), 5500.0f);
  smc.addKey("F1Mx", "fpe2", 2, {0x55, 0xF0});
  smc.addKey("F2Mx", "flt ", 2, {0, 0});
  const auto calls = recorder.exchanges.size();
  EXPECT_FALSE(readFlt(s, "F1Mx"));
  EXPECT_FALSE(readFlt(s, "F2Mx"));
  EXPECT_EQ(recorder.exchanges.size(), calls + 2);  // key info only

  smc.addFlt("F0Tg", 0.0f);
  ASSERT_TRUE(writeFlt(s, "F0Tg", 3650.0f));
  EXPECT_EQ(smc.bytes("F0Tg"), (std::vector<std::uint8_t>{0x00, 0x20, 0x64, 0x45}));
  EXPECT_EQ(last().input.keyInfo.dataSize, 4u);

  smc.addKey("F1Tg", "fpe2", 2, {0, 0});
  EXPECT_FALSE(writeFlt(s, "F1Tg", 3650.0f));
  EXPECT_EQ(last().input.data8, smc::SMC_CMD_READ_KEYINFO);
  EXPECT_EQ(smc.bytes("F1Tg"), (std::vector<std::uint8_t>{0, 0}));

  smc.privileged = false;
  EXPECT_FALSE(writeFlt(s, "F0Tg", 1.0f));
}

TEST(ToolTemp, DecodesFloatAndFixedPointOnly) {
  const std::uint8_t flt[4] = {0x00, 0x00, 0x48, 0x42};  // 50.0f
  EXPECT_EQ(decodeTemp(smc::fourCC("flt "), 4, flt), 50.0);
  EXPECT_FALSE(decodeTemp(smc::fourCC("flt "), 2, flt));
  const std::uint8_t sp78[2] = {0x39, 0x80};  // 57.5
  EXPECT_EQ(decodeTemp(smc::fourCC("sp78"), 2, sp78), 57.5);
  const std::uint8_t negative[2] = {0xFF, 0x00};
  EXPECT_EQ(decodeTemp(smc::fourCC("sp78"), 2, negative), -1.0);
  EXPECT_EQ(decodeTemp(smc::fourCC("sp87"), 2, negative), -256.0 / 128.0);
  // Unsigned for 'f', fraction bits from the fourth character as a hex digit, the third ignored.
  EXPECT_EQ(decodeTemp(smc::fourCC("fpe2"), 2, negative), 65280.0 / 4.0);
  EXPECT_EQ(decodeTemp(smc::fourCC("fpXb"), 2, negative), 65280.0 / 2048.0);
  EXPECT_EQ(decodeTemp(smc::fourCC("fp2B"), 2, negative), 65280.0 / 2048.0);
  EXPECT_EQ(decodeTemp(smc::fourCC("spAz"), 2, negative), -256.0);
  EXPECT_FALSE(decodeTemp(smc::fourCC("sp78"), 1, negative));
  EXPECT_FALSE(decodeTemp(smc::fourCC("ui16"), 2, negative));
  EXPECT_FALSE(decodeTemp(smc::fourCC("si16"), 2, negative));
}

TEST_F(ToolSmcTest, ReadTempNeedsKeyInfoAndBytes) {
  smc.addSp78("TC0P", 61.25);
  EXPECT_EQ(readTemp(s, "TC0P"), 61.25);
  smc.addKey("TC0E", "sp78", 0, {});
  EXPECT_FALSE(readTemp(s, "TC0E"));
  EXPECT_FALSE(readTemp(s, "TC0D"));
  smc.key("TC0P").readable = false;
  EXPECT_FALSE(readTemp(s, "TC0P"));
}

}  // namespace

}  // namespace tool
