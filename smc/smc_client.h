// The application's connection to the SMC: the three exchanges, value decoding and fan access.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "smc/byte_list.h"
#include "smc/io_service.h"
#include "smc/smc_codec.h"
#include "smc/smc_connection.h"
#include "smc/smc_record.h"

namespace smc {

// Per-fan key text: "F", the index in decimal, then a two-letter suffix ("Ac", "Mn", ...).
std::string fanKey(long long index, std::string_view suffix);

class SMCClient {
 public:
  explicit SMCClient(IOService& io) : io_(io) {}
  SMCClient(const SMCClient&) = delete;
  SMCClient& operator=(const SMCClient&) = delete;

  bool open();
  void close();

  std::optional<SMCRawValue> readRaw(std::string_view key);
  bool writeRaw(std::string_view key, std::span<const std::uint8_t> bytes);

  static std::optional<double> decodeNumeric(const SMCRawValue& raw) {
    return smc::decodeNumeric(raw);
  }
  std::optional<double> readValue(std::string_view key);

  int readFanCount();
  std::optional<double> readFanActual(long long index);
  std::optional<double> readFanMin(long long index);
  std::optional<double> readFanMax(long long index);
  // The forced-fan mask "FS! " as a number (its bytes big-endian); none when it cannot be read.
  std::optional<std::uint32_t> readForcedBits();
  // Whether fan `index` reads as forced: its mode key reads non-zero, or its bit is set in
  // `mask` (as readForcedBits gives it). False when neither can be read.
  bool readFanForced(long long index, std::uint32_t mask);
  bool setForcedBits(std::uint16_t mask);
  bool setFanMode(long long index, bool forced);
  bool setFanTarget(long long index, double rpm);

 private:
  std::optional<SMCKeyData_keyInfo_t> readKeyInfo(std::uint32_t key);
  static ByteList extractBytes(const SMCKeyData_t& from, std::int64_t count);
  IOReturn call(const SMCKeyData_t& input, SMCKeyData_t& output);
  std::optional<double> readFanSpeed(long long index, std::string_view suffix);
  bool encodeAndWrite(std::string_view key, double rpm, std::uint32_t dataType,
                      std::int32_t dataSize);

  IOService& io_;
  SMCConnection conn;  // closed by close(), or when the client goes
};

}  // namespace smc
