// The 80-byte key record exchanged with the SMC user client, its command codes and key packing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace smc {

struct SMCKeyData_vers_t {
  std::uint8_t major = 0;
  std::uint8_t minor = 0;
  std::uint8_t build = 0;
  std::uint8_t reserved = 0;
  std::uint16_t release = 0;
};

struct SMCKeyData_pLimitData_t {
  std::uint16_t version = 0;
  std::uint16_t length = 0;
  std::uint32_t cpuPLimit = 0;
  std::uint32_t gpuPLimit = 0;
  std::uint32_t memPLimit = 0;
};

// The controller lays the key info out as nine data bytes aligned to two, so the record's
// `padding` follows at offset 38 rather than where a naturally padded 12-byte block would put it.
#pragma pack(push, 2)
struct SMCKeyData_keyInfo_t {
  std::uint32_t dataSize = 0;
  std::uint32_t dataType = 0;
  std::uint8_t dataAttributes = 0;
};
#pragma pack(pop)

struct SMCKeyData_t {
  std::uint32_t key = 0;
  SMCKeyData_vers_t vers;
  SMCKeyData_pLimitData_t pLimitData;
  SMCKeyData_keyInfo_t keyInfo;
  std::uint16_t padding = 0;
  std::uint8_t result = 0;
  std::uint8_t status = 0;
  std::uint8_t data8 = 0;
  std::uint32_t data32 = 0;
  std::uint8_t bytes[32] = {};
};

inline constexpr std::size_t kSMCRecordSize = 80;
inline constexpr std::size_t kSMCMaxBytes = 32;
inline constexpr std::uint32_t kSMCSelector = 2;

static_assert(sizeof(SMCKeyData_vers_t) == 6);
static_assert(sizeof(SMCKeyData_pLimitData_t) == 16);
static_assert(sizeof(SMCKeyData_t) == kSMCRecordSize);
static_assert(offsetof(SMCKeyData_t, key) == 0);
static_assert(offsetof(SMCKeyData_t, vers) == 4);
static_assert(offsetof(SMCKeyData_t, vers.release) == 8);
static_assert(offsetof(SMCKeyData_t, pLimitData) == 12);
static_assert(offsetof(SMCKeyData_t, pLimitData.length) == 14);
static_assert(offsetof(SMCKeyData_t, pLimitData.cpuPLimit) == 16);
static_assert(offsetof(SMCKeyData_t, pLimitData.gpuPLimit) == 20);
static_assert(offsetof(SMCKeyData_t, pLimitData.memPLimit) == 24);
static_assert(offsetof(SMCKeyData_t, keyInfo.dataSize) == 28);
static_assert(offsetof(SMCKeyData_t, keyInfo.dataType) == 32);
static_assert(offsetof(SMCKeyData_t, keyInfo.dataAttributes) == 36);
static_assert(offsetof(SMCKeyData_t, padding) == 38);
static_assert(offsetof(SMCKeyData_t, result) == 40);
static_assert(offsetof(SMCKeyData_t, status) == 41);
static_assert(offsetof(SMCKeyData_t, data8) == 42);
static_assert(offsetof(SMCKeyData_t, data32) == 44);
static_assert(offsetof(SMCKeyData_t, bytes) == 48);

// Command codes carried in `data8`.
inline constexpr std::uint8_t SMC_CMD_READ_BYTES = 5;
inline constexpr std::uint8_t SMC_CMD_WRITE_BYTES = 6;
inline constexpr std::uint8_t SMC_CMD_READ_KEYINFO = 9;

// Packs a key or type name into a 32-bit code, first byte on top. Longer texts keep their last
// four bytes (fan 10's five-character keys), shorter ones leave the high bytes zero.
constexpr std::uint32_t fourCC(std::string_view text) {
  std::uint32_t code = 0;
  for (char c : text) {
    code = (code << 8) | static_cast<std::uint8_t>(c);
  }
  return code;
}

static_assert(fourCC("FNum") == 0x464E756Du);
static_assert(fourCC("flt ") == 0x666C7420u);

}  // namespace smc
