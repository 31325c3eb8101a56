// Numbers to key bytes and back, by data type.
#include "sim/key_codec.h"

#include <array>
#include <bit>
#include <cmath>
#include <limits>

#include "base/hex.h"
#include "smc/byte_list.h"
#include "smc/smc_codec.h"
#include "smc/smc_record.h"

namespace sim {
namespace {

struct IntegerShape {
  bool isSigned;
  int bytes;
  int fractionBits;
};

// The plain integer types; the fixed-point ones are told by their name.
constexpr struct {
  std::uint32_t type;
  IntegerShape shape;
} kIntegerTypes[] = {
    {smc::fourCC("ui8 "), {false, 1, 0}}, {smc::fourCC("si8 "), {true, 1, 0}},
    {smc::fourCC("ui16"), {false, 2, 0}}, {smc::fourCC("si16"), {true, 2, 0}},
    {smc::fourCC("ui32"), {false, 4, 0}}, {smc::fourCC("si32"), {true, 4, 0}},
};

std::optional<IntegerShape> integerShape(std::uint32_t type) {
  for (const auto& t : kIntegerTypes) {
    if (t.type == type) {
      return t.shape;
    }
  }
  const char c1 = static_cast<char>(type >> 24);
  const char c2 = static_cast<char>(type >> 16);
  const int fraction = base::hexDigit(static_cast<char>(type));
  if ((c1 == 's' || c1 == 'f') && c2 == 'p' && fraction >= 0) {
    return IntegerShape{c1 == 's', 2, fraction};
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::size_t> encodeValue(std::uint32_t dataType, std::uint32_t dataSize, double value,
                                       std::span<std::uint8_t, 4> out) {
  if (dataType == smc::fourCC("flt ")) {
    if (dataSize != 4) {
      return std::nullopt;
    }
    const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
    for (std::size_t i = 0; i < 4; ++i) {
      out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    return 4;
  }
  const auto shape = integerShape(dataType);
  if (!shape || dataSize < static_cast<std::uint32_t>(shape->bytes)) {
    return std::nullopt;
  }
  // Powers of two exactly: at most 32 bits and 15 fraction bits.
  const int bits = shape->bytes * 8;
  const auto power = [](int n) { return static_cast<double>(std::uint64_t{1} << n); };
  const double lowest = shape->isSigned ? -power(bits - 1) : 0.0;
  const double highest = shape->isSigned ? power(bits - 1) - 1 : power(bits) - 1;
  double scaled;
  if (std::isnan(value)) {
    scaled = shape->isSigned ? lowest : highest;
  } else {
    scaled = std::nearbyint(value * power(shape->fractionBits));
    scaled = std::fmin(std::fmax(scaled, lowest), highest);
  }
  const auto pattern = static_cast<std::uint64_t>(static_cast<std::int64_t>(scaled));
  const auto count = static_cast<std::size_t>(shape->bytes);
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<std::uint8_t>(pattern >> (8 * (count - 1 - i)));
  }
  return count;
}

std::optional<std::vector<std::uint8_t>> encodeValue(std::uint32_t dataType, std::uint32_t dataSize,
                                                     double value) {
  std::array<std::uint8_t, 4> bytes{};
  const auto count = encodeValue(dataType, dataSize, value, bytes);
  if (!count) {
    return std::nullopt;
  }
  return std::vector<std::uint8_t>(bytes.begin(),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(*count));
}

std::optional<double> decodeValue(std::uint32_t dataType, std::uint32_t dataSize,
                                  std::span<const std::uint8_t> bytes) {
  smc::SMCRawValue raw;
  raw.bytes = smc::ByteList(bytes);
  raw.dataType = dataType;
  raw.dataSize = static_cast<std::int32_t>(dataSize);
  if (dataType == smc::fourCC("si32") && bytes.size() >= 4) {
    const std::uint32_t u = static_cast<std::uint32_t>(bytes[0]) << 24 |
                            static_cast<std::uint32_t>(bytes[1]) << 16 |
                            static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
    return static_cast<double>(static_cast<std::int32_t>(u));
  }
  return smc::decodeNumeric(raw);
}

std::optional<std::vector<std::uint8_t>> parseHex(std::string_view text) {
  std::vector<std::uint8_t> out;
  int high = -1;
  for (char c : text) {
    if (c == ' ') {
      continue;
    }
    const int d = base::hexDigit(c);
    if (d < 0) {
      return std::nullopt;
    }
    if (high < 0) {
      high = d;
    } else {
      out.push_back(static_cast<std::uint8_t>(high << 4 | d));
      high = -1;
    }
  }
  if (high >= 0) {
    return std::nullopt;
  }
  return out;
}

std::string toHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  return out;
}

std::string typeName(std::uint32_t code) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<char>(code >> (8 * (3 - i)));
    s[static_cast<std::size_t>(i)] = (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return s;
}

}  // namespace sim
