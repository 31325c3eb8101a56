// The fan tool's SMC functions over the IOService seam.
#include "tool/tool_smc.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "base/hex.h"
#include "smc/smc_record.h"

namespace tool {

namespace {

constexpr std::uint32_t kFlt = smc::fourCC("flt ");
constexpr std::uint32_t kSp78 = smc::fourCC("sp78");

smc::IOReturn call(ToolState& s, const smc::SMCKeyData_t& input, smc::SMCKeyData_t& output) {
  const auto size = static_cast<std::size_t>(s.stride);
  std::size_t outputSize = size;
  return s.io.callStructMethod(s.conn.handle(), smc::kSMCSelector, &input, size, &output,
                               &outputSize);
}

float littleEndianFloat(std::span<const std::uint8_t> b) {
  const std::uint32_t bits =
      static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
      static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
  return std::bit_cast<float>(bits);
}

}  // namespace

std::optional<KeyInfo> readKI(ToolState& s, std::string_view key) {
  smc::SMCKeyData_t input{};
  input.key = smc::fourCC(key);
  input.data8 = smc::SMC_CMD_READ_KEYINFO;
  smc::SMCKeyData_t output{};
  if (call(s, input, output) != smc::kIOReturnSuccess) {
    return std::nullopt;
  }
  return KeyInfo{output.keyInfo.dataSize, output.keyInfo.dataType};
}

std::optional<smc::ByteList> readBytes(ToolState& s, std::string_view key, std::uint32_t ds) {
  smc::SMCKeyData_t input{};
  input.key = smc::fourCC(key);
  input.keyInfo.dataSize = ds;
  input.data8 = smc::SMC_CMD_READ_BYTES;
  smc::SMCKeyData_t output{};
  if (call(s, input, output) != smc::kIOReturnSuccess) {
    return std::nullopt;
  }
  const std::size_t n = std::min<std::size_t>(ds, smc::kSMCMaxBytes);
  return smc::ByteList(std::span<const std::uint8_t>(output.bytes, n));
}

bool writeBytes(ToolState& s, std::string_view key, std::uint32_t ds,
                std::span<const std::uint8_t> b) {
  smc::SMCKeyData_t input{};
  input.key = smc::fourCC(key);
  input.keyInfo.dataSize = ds;
  input.data8 = smc::SMC_CMD_WRITE_BYTES;
  std::memcpy(input.bytes, b.data(), std::min(b.size(), smc::kSMCMaxBytes));
  smc::SMCKeyData_t output{};
  return call(s, input, output) == smc::kIOReturnSuccess;
}

std::optional<float> readFlt(ToolState& s, std::string_view key) {
  const auto info = readKI(s, key);
  if (!info || info->dataType != kFlt || info->dataSize != 4) {
    return std::nullopt;
  }
  const auto bytes = readBytes(s, key, 4);
  if (!bytes || bytes->size() < 4) {
    return std::nullopt;
  }
  return littleEndianFloat(*bytes);
}

bool writeFlt(ToolState& s, std::string_view key, float value) {
  const auto info = readKI(s, key);
  if (!info || info->dataType != kFlt || info->dataSize != 4) {
    return false;
  }
  const auto bits = std::bit_cast<std::uint32_t>(value);
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                             static_cast<std::uint8_t>(bits >> 16),
                             static_cast<std::uint8_t>(bits >> 24)};
  return writeBytes(s, key, 4, b);
}

std::optional<double> decodeTemp(std::uint32_t dataType, std::uint32_t dataSize,
                                 std::span<const std::uint8_t> bytes) {
  if (dataType == kFlt && dataSize == 4 && bytes.size() >= 4) {
    return static_cast<double>(littleEndianFloat(bytes));
  }
  if (dataSize < 2 || bytes.size() < 2) {
    return std::nullopt;
  }
  const auto raw = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
  if (dataType == kSp78) {
    return static_cast<std::int16_t>(raw) * 0.00390625;
  }
  const auto first = static_cast<char>(dataType >> 24);
  const auto second = static_cast<char>(dataType >> 16);
  const auto fourth = static_cast<char>(dataType);
  if ((first != 's' && first != 'f') || second != 'p') {
    return std::nullopt;
  }
  const double value =
      first == 's' ? static_cast<double>(static_cast<std::int16_t>(raw)) : static_cast<double>(raw);
  // A fourth character that is no hexadecimal digit counts as 0 fraction bits.
  return std::ldexp(value, -std::max(base::hexDigit(fourth), 0));
}

std::optional<double> readTemp(ToolState& s, std::string_view key) {
  const auto info = readKI(s, key);
  if (!info) {
    return std::nullopt;
  }
  const auto bytes = readBytes(s, key, info->dataSize);
  if (!bytes || bytes->empty()) {
    return std::nullopt;
  }
  return decodeTemp(info->dataType, info->dataSize, *bytes);
}

}  // namespace tool
