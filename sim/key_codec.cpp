// Numbers to key bytes and back, by data type.
#include "sim/key_codec.h"

#include <bit>
#include <cmath>
#include <limits>

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

int hexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

std::optional<IntegerShape> integerShape(std::uint32_t type) {
  switch (type) {
    case fourCC("ui8 "):
      return IntegerShape{false, 1, 0};
    case fourCC("si8 "):
      return IntegerShape{true, 1, 0};
    case fourCC("ui16"):
      return IntegerShape{false, 2, 0};
    case fourCC("si16"):
      return IntegerShape{true, 2, 0};
    case fourCC("ui32"):
      return IntegerShape{false, 4, 0};
    case fourCC("si32"):
      return IntegerShape{true, 4, 0};
    default:
      break;
  }
  const char c1 = static_cast<char>(type >> 24);
  const char c2 = static_cast<char>(type >> 16);
  const int fraction = hexDigit(static_cast<char>(type));
  if ((c1 == 's' || c1 == 'f') && c2 == 'p' && fraction >= 0) {
    return IntegerShape{c1 == 's', 2, fraction};
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> encodeValue(std::uint32_t dataType, std::uint32_t dataSize,
                                                     double value) {
  if (dataType == fourCC("flt ")) {
    if (dataSize != 4) {
      return std::nullopt;
    }
    const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
    return std::vector<std::uint8_t>{
        static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
        static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
  }
  const auto shape = integerShape(dataType);
  if (!shape || dataSize < static_cast<std::uint32_t>(shape->bytes)) {
    return std::nullopt;
  }
  const int bits = shape->bytes * 8;
  const double lowest = shape->isSigned ? -std::ldexp(1.0, bits - 1) : 0.0;
  const double highest =
      shape->isSigned ? std::ldexp(1.0, bits - 1) - 1 : std::ldexp(1.0, bits) - 1;
  double scaled;
  if (std::isnan(value)) {
    scaled = shape->isSigned ? lowest : highest;
  } else {
    scaled = std::nearbyint(value * std::ldexp(1.0, shape->fractionBits));
    scaled = std::fmin(std::fmax(scaled, lowest), highest);
  }
  const auto raw = static_cast<std::int64_t>(scaled);
  const auto pattern = static_cast<std::uint64_t>(raw);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(shape->bytes));
  for (int i = 0; i < shape->bytes; ++i) {
    out[static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(pattern >> (8 * (shape->bytes - 1 - i)));
  }
  return out;
}

std::optional<double> decodeValue(std::uint32_t dataType, std::uint32_t dataSize,
                                  std::span<const std::uint8_t> bytes) {
  SMCRawValue raw;
  raw.bytes = ByteList(bytes);
  raw.dataType = dataType;
  raw.dataSize = static_cast<std::int32_t>(dataSize);
  if (dataType == fourCC("si32") && bytes.size() >= 4) {
    const std::uint32_t u = static_cast<std::uint32_t>(bytes[0]) << 24 |
                            static_cast<std::uint32_t>(bytes[1]) << 16 |
                            static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
    return static_cast<double>(static_cast<std::int32_t>(u));
  }
  return decodeNumeric(raw);
}

std::optional<std::vector<std::uint8_t>> parseHex(std::string_view text) {
  std::vector<std::uint8_t> out;
  int high = -1;
  for (char c : text) {
    if (c == ' ') {
      continue;
    }
    const int d = hexDigit(c);
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
