// The key record's bytes on the wire and the key packing.
#include "smc/smc_record.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace smc {

namespace {

std::array<std::uint8_t, 80> wireBytes(const SMCKeyData_t& record) {
  std::array<std::uint8_t, 80> out{};
  std::memcpy(out.data(), &record, out.size());
  return out;
}

TEST(SmcRecord, FieldsLandAtTheirWireOffsets) {
  SMCKeyData_t r{};
  r.key = fourCC("FNum");
  r.keyInfo.dataSize = 0x11223344;
  r.keyInfo.dataType = fourCC("flt ");
  r.keyInfo.dataAttributes = 0xD4;
  r.padding = 0xBEEF;
  r.result = 0xA1;
  r.status = 0xA2;
  r.data8 = SMC_CMD_READ_KEYINFO;
  r.data32 = 0xCAFEF00D;
  r.bytes[0] = 0x42;
  r.bytes[31] = 0x24;
  const auto b = wireBytes(r);
  // Codes are native little-endian integers, so the key's characters appear reversed.
  EXPECT_EQ((std::array<std::uint8_t, 4>{b[0], b[1], b[2], b[3]}),
            (std::array<std::uint8_t, 4>{'m', 'u', 'N', 'F'}));
  EXPECT_EQ(b[28], 0x44);
  EXPECT_EQ(b[31], 0x11);
  EXPECT_EQ(b[32], ' ');
  EXPECT_EQ(b[35], 'f');
  EXPECT_EQ(b[36], 0xD4);
  EXPECT_EQ(b[38], 0xEF);
  EXPECT_EQ(b[39], 0xBE);
  EXPECT_EQ(b[40], 0xA1);
  EXPECT_EQ(b[41], 0xA2);
  EXPECT_EQ(b[42], 9);
  EXPECT_EQ(b[44], 0x0D);
  EXPECT_EQ(b[47], 0xCA);
  EXPECT_EQ(b[48], 0x42);
  EXPECT_EQ(b[79], 0x24);
}

TEST(SmcRecord, NewRecordIsAllZero) {
  const auto b = wireBytes(SMCKeyData_t{});
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (i == 10 || i == 11 || i == 37 || i == 43) {
      continue;  // alignment gaps carry no field
    }
    EXPECT_EQ(b[i], 0) << "offset " << i;
  }
}

TEST(FourCC, PacksUtf8BytesKeepingTheLastFour) {
  EXPECT_EQ(fourCC("FNum"), 0x464E756Du);
  EXPECT_EQ(fourCC(""), 0u);
  EXPECT_EQ(fourCC("ui8"), 0x00756938u);
  EXPECT_NE(fourCC("ui8"), fourCC("ui8 "));
  EXPECT_EQ(fourCC("F10Ac"), fourCC("10Ac"));
  // "é" is two UTF-8 bytes, C3 A9; both count.
  EXPECT_EQ(fourCC("T\xC3\xA9P"), 0x54C3A950u);
  EXPECT_EQ(fourCC("xT\xC3\xA9P"), 0x54C3A950u);
}

}  // namespace

}  // namespace smc
