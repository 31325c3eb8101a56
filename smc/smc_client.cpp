// SMCClient: the record exchanges over the IOService seam, and fan access built on them.
#include "smc/smc_client.h"

#include <algorithm>
#include <cmath>

namespace smc {

std::string fanKey(long long index, std::string_view suffix) {
  std::string key = "F";
  key += std::to_string(index);
  key += suffix;
  return key;
}

bool SMCClient::open() {
  return conn.open(io_) == SMCConnection::OpenResult::opened;
}

void SMCClient::close() {
  conn.close();
}

IOReturn SMCClient::call(const SMCKeyData_t& input, SMCKeyData_t& output) {
  std::size_t outputSize = sizeof(SMCKeyData_t);
  return io_.callStructMethod(conn.handle(), kSMCSelector, &input, sizeof(SMCKeyData_t), &output,
                              &outputSize);
}

std::optional<SMCKeyData_keyInfo_t> SMCClient::readKeyInfo(std::uint32_t key) {
  SMCKeyData_t input{};
  input.key = key;
  input.data8 = SMC_CMD_READ_KEYINFO;
  SMCKeyData_t output{};
  if (call(input, output) != kIOReturnSuccess) {
    return std::nullopt;
  }
  return output.keyInfo;
}

ByteList SMCClient::extractBytes(const SMCKeyData_t& from, std::int64_t count) {
  const auto n = static_cast<std::size_t>(std::clamp<std::int64_t>(count, 0, kSMCMaxBytes));
  return ByteList(std::span<const std::uint8_t>(from.bytes, n));
}

std::optional<SMCRawValue> SMCClient::readRaw(std::string_view key) {
  const std::uint32_t code = fourCC(key);
  const auto info = readKeyInfo(code);
  if (!info) {
    return std::nullopt;
  }
  SMCKeyData_t input{};
  input.key = code;
  input.keyInfo.dataSize = info->dataSize;
  input.data8 = SMC_CMD_READ_BYTES;
  SMCKeyData_t output{};
  if (call(input, output) != kIOReturnSuccess) {
    return std::nullopt;
  }
  return SMCRawValue{extractBytes(output, info->dataSize), info->dataType,
                     static_cast<std::int32_t>(info->dataSize)};
}

bool SMCClient::writeRaw(std::string_view key, std::span<const std::uint8_t> bytes) {
  const std::uint32_t code = fourCC(key);
  const auto info = readKeyInfo(code);
  if (!info) {
    return false;
  }
  SMCKeyData_t input{};
  input.key = code;
  input.keyInfo.dataSize = info->dataSize;
  input.data8 = SMC_CMD_WRITE_BYTES;
  std::copy_n(bytes.begin(), std::min(bytes.size(), kSMCMaxBytes), input.bytes);
  SMCKeyData_t output{};
  return call(input, output) == kIOReturnSuccess;
}

std::optional<double> SMCClient::readValue(std::string_view key) {
  const auto raw = readRaw(key);
  if (!raw) {
    return std::nullopt;
  }
  return decodeNumeric(*raw);
}

int SMCClient::readFanCount() {
  const auto value = readValue("FNum");
  // A count that is not finite reads as none; the SMC's own count is one byte, so anything
  // beyond 255 is clamped rather than probed fan by fan.
  if (!value || !std::isfinite(*value)) {
    return 0;
  }
  return static_cast<int>(std::clamp(std::trunc(*value), 0.0, 255.0));
}

std::optional<double> SMCClient::readFanSpeed(long long index, std::string_view suffix) {
  return readValue(fanKey(index, suffix));
}

std::optional<double> SMCClient::readFanActual(long long index) {
  return readFanSpeed(index, "Ac");
}

std::optional<double> SMCClient::readFanMin(long long index) {
  return readFanSpeed(index, "Mn");
}

std::optional<double> SMCClient::readFanMax(long long index) {
  return readFanSpeed(index, "Mx");
}

std::optional<std::uint32_t> SMCClient::readForcedBits() {
  const auto raw = readRaw("FS! ");
  if (!raw) {
    return std::nullopt;
  }
  std::uint32_t mask = 0;
  for (std::uint8_t byte : raw->bytes) {
    mask = (mask << 8) | byte;
  }
  return mask;
}

bool SMCClient::readFanForced(long long index, std::uint32_t mask) {
  if (index >= 0 && index < 32 && (mask >> index & 1u) != 0) {
    return true;
  }
  const auto mode = readRaw(fanKey(index, "Md"));
  return mode &&
         std::any_of(mode->bytes.begin(), mode->bytes.end(), [](std::uint8_t b) { return b != 0; });
}

bool SMCClient::setForcedBits(std::uint16_t mask) {
  const auto current = readRaw("FS! ");
  if (!current) {
    return false;
  }
  const auto low = static_cast<std::uint8_t>(mask & 0xFF);
  if (current->dataSize == 2) {
    const ByteList bytes{static_cast<std::uint8_t>(mask >> 8), low};
    return writeRaw("FS! ", bytes);
  }
  const ByteList bytes{low};
  return writeRaw("FS! ", bytes);
}

bool SMCClient::setFanMode(long long index, bool forced) {
  const std::string key = fanKey(index, "Md");
  const auto current = readRaw(key);
  if (!current || current->dataSize != 1) {
    return false;
  }
  const ByteList bytes{static_cast<std::uint8_t>(forced ? 1 : 0)};
  return writeRaw(key, bytes);
}

bool SMCClient::encodeAndWrite(std::string_view key, double rpm, std::uint32_t dataType,
                               std::int32_t dataSize) {
  const auto bytes = encodeSpeed(dataType, dataSize, rpm);
  if (!bytes) {
    return false;
  }
  return writeRaw(key, *bytes);
}

bool SMCClient::setFanTarget(long long index, double rpm) {
  for (const char* suffix : {"Tg", "Mn"}) {
    const std::string key = fanKey(index, suffix);
    const auto current = readRaw(key);
    if (current && encodeAndWrite(key, rpm, current->dataType, current->dataSize)) {
      return true;
    }
  }
  return false;
}

}  // namespace smc
