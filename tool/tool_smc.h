// The fan tool's own SMC functions: free functions over the tool's one connection. Each sends one
// 80-byte record and reports success by the call's return code alone. Unlike the application's
// client, byte reads and writes take the data size from the caller, floats are only "flt " of
// size 4 (little-endian), and temperatures know only the float and fixed-point types.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "smc/byte_list.h"
#include "smc/io_service.h"
#include "smc/smc_connection.h"

namespace tool {

// What the tool keeps for its one run: the connection, the record size and the fan table.
struct ToolState {
  explicit ToolState(smc::IOService& service) : io(service) {}

  smc::IOService& io;
  smc::SMCConnection
      conn;        // every SMC call of the tool goes through it; closed when the state goes
  int stride = 0;  // record size used as input and output size, 80 once open
  int fanCount = 0;
  std::vector<float> fanMin;  // rpm, one entry per fan
  std::vector<float> fanMax;
  std::string cmd;
};

struct KeyInfo {
  std::uint32_t dataSize = 0;
  std::uint32_t dataType = 0;
};

std::optional<KeyInfo> readKI(ToolState& s, std::string_view key);
// The first min(ds, 32) value bytes; empty for ds 0; no value when the call fails.
std::optional<smc::ByteList> readBytes(ToolState& s, std::string_view key, std::uint32_t ds);
// Sends the first min(b.size(), 32) bytes, announcing size `ds`.
bool writeBytes(ToolState& s, std::string_view key, std::uint32_t ds,
                std::span<const std::uint8_t> b);
std::optional<float> readFlt(ToolState& s, std::string_view key);
bool writeFlt(ToolState& s, std::string_view key, float value);
std::optional<double> readTemp(ToolState& s, std::string_view key);

// The temperature rules of readTemp applied to bytes already read.
std::optional<double> decodeTemp(std::uint32_t dataType, std::uint32_t dataSize,
                                 std::span<const std::uint8_t> bytes);

}  // namespace tool
