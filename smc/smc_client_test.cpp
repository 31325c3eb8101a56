// SMCClient against the in-process simulated SMC, with every exchange recorded.
#include "smc/smc_client.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "smc/testing/fake_smc.h"

namespace smc {

namespace {

class SmcClientTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(client.open()); }

  const SMCKeyData_t& lastInput() const { return recorder.exchanges.back().input; }

  FakeSMC smc;
  RecordingIOService recorder{smc};
  SMCClient client{recorder};
};

TEST(SmcClientOpen, OpensTheAppleSmcServiceAndReleasesIt) {
  FakeSMC smc;
  SMCClient client(smc);
  EXPECT_TRUE(client.open());
  EXPECT_EQ(smc.openCount, 1);
  EXPECT_EQ(smc.releaseCount, 1);
  client.close();
  EXPECT_EQ(smc.closeCount, 1);
}

// The connection is closed once whichever way its owner ends: close(), destruction, or a move
// that hands it on; a client that never opened closes nothing.
TEST(SmcClientOpen, TheConnectionIsClosedExactlyOnce) {
  FakeSMC smc;
  {
    SMCClient client(smc);
    ASSERT_TRUE(client.open());
    client.close();
    client.close();
  }
  EXPECT_EQ(smc.closeCount, 1);
  {
    SMCClient client(smc);
    ASSERT_TRUE(client.open());
  }
  EXPECT_EQ(smc.closeCount, 2);
  {
    SMCConnection first;
    ASSERT_EQ(first.open(smc), SMCConnection::OpenResult::opened);
    SMCConnection second = std::move(first);
    EXPECT_FALSE(first.isOpen());
    EXPECT_EQ(second.handle(), FakeSMC::kConnection);
  }
  EXPECT_EQ(smc.closeCount, 3);
  {
    FakeSMC refused;
    refused.openResult = kIOReturnNotPrivileged;
    SMCClient client(refused);
    EXPECT_FALSE(client.open());
    client.close();
    EXPECT_EQ(refused.closeCount, 0);
  }
}

TEST(SmcClientOpen, FailsWithoutServiceOrWhenOpenIsRefused) {
  FakeSMC missing;
  missing.serviceMissing = true;
  SMCClient a(missing);
  EXPECT_FALSE(a.open());
  EXPECT_EQ(missing.openCount, 0);
  EXPECT_EQ(missing.releaseCount, 0);

  FakeSMC refused;
  refused.openResult = kIOReturnNotPrivileged;
  SMCClient b(refused);
  EXPECT_FALSE(b.open());
  EXPECT_EQ(refused.releaseCount, 1);  // released whatever the open returned
}

TEST_F(SmcClientTest, ReadRawAsksKeyInfoThenReadsTheBytes) {
  smc.addKey("TC0P", "sp78", 2, {0x19, 0x80}, 0x80);
  const auto raw = client.readRaw("TC0P");
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->bytes, (ByteList{0x19, 0x80}));
  EXPECT_EQ(raw->dataType, fourCC("sp78"));
  EXPECT_EQ(raw->dataSize, 2);

  ASSERT_EQ(recorder.exchanges.size(), 2u);
  const auto& info = recorder.exchanges[0];
  EXPECT_EQ(info.selector, 2u);
  EXPECT_EQ(info.inputSize, 80u);
  EXPECT_EQ(info.outputSizeIn, 80u);
  EXPECT_EQ(info.input.key, fourCC("TC0P"));
  EXPECT_EQ(info.input.data8, SMC_CMD_READ_KEYINFO);
  EXPECT_EQ(info.input.keyInfo.dataSize, 0u);
  const auto& read = recorder.exchanges[1];
  EXPECT_EQ(read.input.data8, SMC_CMD_READ_BYTES);
  EXPECT_EQ(read.input.keyInfo.dataSize, 2u);
  EXPECT_EQ(read.input.keyInfo.dataType, 0u);  // never sent
}

TEST_F(SmcClientTest, ReadRawSizesZeroAndAboveThirtyTwo) {
  smc.addKey("ZERO", "flag", 0, {});
  const auto empty = client.readRaw("ZERO");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->bytes.empty());
  EXPECT_EQ(empty->dataSize, 0);
  EXPECT_EQ(empty->dataType, fourCC("flag"));

  std::vector<std::uint8_t> big(40);
  for (std::size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<std::uint8_t>(i);
  smc.addKey("BIG!", "hex_", 40, big);
  const auto raw = client.readRaw("BIG!");
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->bytes.size(), 32u);
  EXPECT_EQ(raw->bytes[31], 31);
  EXPECT_EQ(raw->dataSize, 40);
}

TEST_F(SmcClientTest, ReadFailuresGiveNoValue) {
  EXPECT_FALSE(client.readRaw("NONE"));
  EXPECT_EQ(recorder.exchanges.size(), 1u);  // unknown key fails at key info, no byte read
  smc.addKey("TC0P", "sp78", 2, {0x19, 0x80});
  smc.key("TC0P").readable = false;
  EXPECT_FALSE(client.readRaw("TC0P"));
  EXPECT_FALSE(client.readValue("TC0P"));
}

TEST_F(SmcClientTest, NonZeroResultByteWithSuccessfulCallCountsAsSuccess) {
  smc.addKey("TC0P", "sp78", 2, {0x19, 0x80});
  recorder.forceResultByte = 0x84;
  EXPECT_EQ(client.readValue("TC0P"), 25.5);
  EXPECT_TRUE(client.writeRaw("TC0P", ByteList{0x20, 0x00}));
}

TEST_F(SmcClientTest, WriteRawSendsTheKeysOwnSizeAndAtMostThirtyTwoBytes) {
  smc.addKey("WIDE", "hex_", 6, {});
  std::vector<std::uint8_t> many(40, 0xAA);
  EXPECT_TRUE(client.writeRaw("WIDE", many));
  const SMCKeyData_t& in = lastInput();
  EXPECT_EQ(in.data8, SMC_CMD_WRITE_BYTES);
  EXPECT_EQ(in.keyInfo.dataSize, 6u);
  EXPECT_EQ(in.keyInfo.dataType, 0u);
  EXPECT_EQ(in.bytes[31], 0xAA);

  // Fewer bytes than the size: zeros follow, the full size is still announced.
  EXPECT_TRUE(client.writeRaw("WIDE", ByteList{1, 2}));
  EXPECT_EQ(lastInput().keyInfo.dataSize, 6u);
  EXPECT_EQ(lastInput().bytes[1], 2);
  EXPECT_EQ(lastInput().bytes[2], 0);
  EXPECT_EQ(smc.bytes("WIDE"), (std::vector<std::uint8_t>{1, 2, 0, 0, 0, 0}));

  // No bytes at all still performs the write exchange.
  const auto before = recorder.exchanges.size();
  EXPECT_TRUE(client.writeRaw("WIDE", ByteList{}));
  EXPECT_EQ(recorder.exchanges.size(), before + 2);
  EXPECT_TRUE(client.writeRaw("WIDE", std::vector<std::uint8_t>{}));
  EXPECT_EQ(smc.bytes("WIDE"), std::vector<std::uint8_t>(6, 0));
}

TEST_F(SmcClientTest, WriteRawReportsRefusalAndUnknownKeys) {
  smc.addKey("F0Md", "ui8 ", 1, {0});
  smc.privileged = false;
  EXPECT_FALSE(client.writeRaw("F0Md", ByteList{1}));
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{0});
  const auto before = recorder.exchanges.size();
  EXPECT_FALSE(client.writeRaw("NONE", ByteList{1}));
  EXPECT_EQ(recorder.exchanges.size(), before + 1);  // no write exchange without key info
}

TEST_F(SmcClientTest, FanCountTruncatesAndStaysInRange) {
  EXPECT_EQ(client.readFanCount(), 0);  // no FNum
  smc.addFlt("FNum", 2.9f);
  EXPECT_EQ(client.readFanCount(), 2);
  smc.addFlt("FNum", std::nanf(""));
  EXPECT_EQ(client.readFanCount(), 0);
  smc.addFlt("FNum", 1e30f);
  EXPECT_EQ(client.readFanCount(), 255);
  smc.addKey("FNum", "ui8 ", 1, {3});
  EXPECT_EQ(client.readFanCount(), 3);
}

TEST_F(SmcClientTest, FanSpeedsReadTheirOwnKeys) {
  smc.addKey("F1Ac", "fpe2", 2, {0x1F, 0x40});
  smc.addFlt("F1Mn", 1200.0f);
  smc.addFlt("F1Mx", 6000.0f);
  smc.addFlt("F10Ac", 999.0f);  // stored under its last four characters
  EXPECT_EQ(client.readFanActual(1), 2000.0);
  EXPECT_EQ(client.readFanMin(1), 1200.0);
  EXPECT_EQ(client.readFanMax(1), 6000.0);
  EXPECT_EQ(client.readFanActual(10), 999.0);
  EXPECT_EQ(recorder.exchanges.back().input.key, fourCC("10Ac"));
  EXPECT_FALSE(client.readFanActual(0));
}

TEST_F(SmcClientTest, ForcedBitsFollowTheMaskKeysSize) {
  EXPECT_FALSE(client.setForcedBits(0));
  smc.addKey("FS! ", "ui16", 2, {0xFF, 0xFF});
  EXPECT_TRUE(client.setForcedBits(0x0103));
  EXPECT_EQ(smc.bytes("FS! "), (std::vector<std::uint8_t>{0x01, 0x03}));
  EXPECT_TRUE(client.setForcedBits(0));
  EXPECT_EQ(smc.bytes("FS! "), (std::vector<std::uint8_t>{0x00, 0x00}));
  smc.addKey("FS! ", "ui8 ", 1, {0xFF});
  EXPECT_TRUE(client.setForcedBits(0x0103));
  EXPECT_EQ(smc.bytes("FS! "), std::vector<std::uint8_t>{0x03});
}

TEST_F(SmcClientTest, FanModeWritesOnlyOneByteModeKeys) {
  smc.addKey("F0Md", "ui8 ", 1, {0});
  EXPECT_TRUE(client.setFanMode(0, true));
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{1});
  EXPECT_TRUE(client.setFanMode(0, false));
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{0});

  smc.addKey("F1Md", "ui16", 2, {0, 0});
  const auto before = recorder.exchanges.size();
  EXPECT_FALSE(client.setFanMode(1, true));
  EXPECT_EQ(recorder.exchanges.size(), before + 2);  // one read, no write
  EXPECT_FALSE(client.setFanMode(2, true));          // no key
}

TEST_F(SmcClientTest, FanTargetPrefersTheTargetKeyThenTheMinimum) {
  smc.addFlt("F0Tg", 0.0f);
  smc.addFlt("F0Mn", 1200.0f);
  EXPECT_TRUE(client.setFanTarget(0, 5500.0));
  EXPECT_EQ(smc.fltValue("F0Tg"), 5500.0f);
  EXPECT_EQ(smc.fltValue("F0Mn"), 1200.0f);

  // Target key of a type without an encoding: the minimum takes the speed.
  smc.addKey("F1Tg", "ui8 ", 1, {0});
  smc.addKey("F1Mn", "fpe2", 2, {0x12, 0xC0});
  EXPECT_TRUE(client.setFanTarget(1, 2000.0));
  EXPECT_EQ(smc.bytes("F1Mn"), (std::vector<std::uint8_t>{0x1F, 0x40}));
  EXPECT_EQ(smc.bytes("F1Tg"), std::vector<std::uint8_t>{0});

  // Target key refusing the write falls back too.
  smc.addKey("F2Tg", "ui16", 2, {0, 0});
  smc.key("F2Tg").refuseWrites = true;
  smc.addKey("F2Mn", "ui16", 2, {0, 0});
  EXPECT_TRUE(client.setFanTarget(2, 6500.7));
  EXPECT_EQ(smc.bytes("F2Mn"), (std::vector<std::uint8_t>{0x19, 0x64}));

  // Neither key: false, nothing written.
  const int writes = smc.writeCount;
  EXPECT_FALSE(client.setFanTarget(3, 1000.0));
  EXPECT_EQ(smc.writeCount, writes);
}

TEST_F(SmcClientTest, FanTargetMissingTargetKeyWritesTheMinimum) {
  smc.addFlt("F10Mn", 1000.0f);
  EXPECT_TRUE(client.setFanTarget(10, 4321.0));
  EXPECT_EQ(smc.fltValue("10Mn"), 4321.0f);
}

}  // namespace

}  // namespace smc
