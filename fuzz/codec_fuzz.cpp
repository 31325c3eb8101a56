// Fuzzes the value decoder and the speed encoders: no input may crash or reach undefined
// behaviour, and what is encoded must read back as the value that was meant, within the
// encoding's resolution and range.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "smc/smc_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 13) {
    return 0;
  }
  std::uint32_t type;
  std::memcpy(&type, data, 4);
  const auto dataSize = static_cast<std::int32_t>(static_cast<std::int8_t>(data[4]));
  double value;
  std::memcpy(&value, data + 5, 8);
  const std::span<const std::uint8_t> rest(data + 13, size - 13);

  (void)smc::decodeNumeric(smc::SMCRawValue{smc::ByteList(rest), type, dataSize});

  const auto bytes = smc::encodeSpeed(type, dataSize, value);
  if (!bytes) {
    return 0;
  }
  if (!std::isfinite(value)) {
    std::abort();  // a speed that is not finite must never be written
  }
  const auto back = smc::decodeNumeric(smc::SMCRawValue{*bytes, type, dataSize});
  if (!back) {
    std::abort();
  }
  if (type == smc::kTypeFlt) {
    if (std::fabs(value) < 1e30 && *back != static_cast<double>(static_cast<float>(value))) {
      std::abort();
    }
  } else if (type == smc::kTypeUi16 || (type >> 24) == 'f') {
    // Unsigned encodings clamp to their range and never exceed the value asked for.
    if (value >= 0.0 && value <= 1000.0 && *back > value) {
      std::abort();
    }
    if (*back < 0.0) {
      std::abort();
    }
  }
  return 0;
}
