// Value codecs for the SMC's data types.
#include "smc/smc_codec.h"

#include <bit>
#include <cmath>
#include <limits>

#include "base/hex.h"

namespace smc {

namespace {

std::uint16_t bigEndian16(std::uint8_t high, std::uint8_t low) {
  return static_cast<std::uint16_t>((high << 8) | low);
}

float littleEndianFloat(const ByteList& bytes) {
  std::uint32_t bits =
      static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
      static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return std::bit_cast<float>(bits);
}

// The fraction bits named by a fixed-point type's fourth character, with its signedness.
struct FixedPointShape {
  bool isSigned;
  int fractionBits;
};

std::optional<FixedPointShape> fixedPointShape(std::uint32_t typeCode) {
  const char c1 = static_cast<char>(typeCode >> 24);
  const char c2 = static_cast<char>(typeCode >> 16);
  const char c4 = static_cast<char>(typeCode);
  if ((c1 != 's' && c1 != 'f') || c2 != 'p') {
    return std::nullopt;
  }
  const int bits = base::hexDigit(c4);
  if (bits < 0) {
    return std::nullopt;
  }
  return FixedPointShape{c1 == 's', bits};
}

}  // namespace

std::optional<double> decodeFixedPoint(std::uint32_t typeCode, std::uint8_t byte0,
                                       std::uint8_t byte1) {
  const auto shape = fixedPointShape(typeCode);
  if (!shape) {
    return std::nullopt;
  }
  const std::uint16_t raw = bigEndian16(byte0, byte1);
  const double value = shape->isSigned ? static_cast<double>(static_cast<std::int16_t>(raw))
                                       : static_cast<double>(raw);
  // Dividing by a power of two is exact.
  return value / static_cast<double>(1u << shape->fractionBits);
}

std::optional<ByteList> encodeFixedPoint(std::uint32_t typeCode, double value) {
  const auto shape = fixedPointShape(typeCode);
  if (!shape || !std::isfinite(value)) {
    return std::nullopt;
  }
  // Clamp before converting, so that no value is out of the integer's range.
  const double scaled = std::trunc(value * static_cast<double>(1u << shape->fractionBits));
  const double clamped = std::fmin(std::fmax(scaled, 0.0), 65535.0);
  const auto x = static_cast<std::uint16_t>(clamped);
  return ByteList{static_cast<std::uint8_t>(x >> 8), static_cast<std::uint8_t>(x & 0xFF)};
}

std::optional<double> decodeNumeric(const SMCRawValue& raw) {
  const ByteList& b = raw.bytes;
  const std::size_t n = b.size();
  const std::uint32_t type = raw.dataType;
  if (type == kTypeFlt && raw.dataSize == 4 && n >= 4) {
    return static_cast<double>(littleEndianFloat(b));
  }
  if (type == kTypeUi8 && n >= 1) {
    return static_cast<double>(b[0]);
  }
  if (type == kTypeSi8 && n >= 1) {
    return static_cast<double>(static_cast<std::int8_t>(b[0]));
  }
  if (type == kTypeUi16 && n >= 2) {
    return static_cast<double>(bigEndian16(b[0], b[1]));
  }
  if (type == kTypeSi16 && n >= 2) {
    return static_cast<double>(static_cast<std::int16_t>(bigEndian16(b[0], b[1])));
  }
  if (type == kTypeUi32 && n >= 4) {
    return static_cast<double>(static_cast<std::uint32_t>(b[0]) << 24 |
                               static_cast<std::uint32_t>(b[1]) << 16 |
                               static_cast<std::uint32_t>(b[2]) << 8 | b[3]);
  }
  if (raw.dataSize >= 2 && n >= 2) {
    if (auto fixed = decodeFixedPoint(type, b[0], b[1])) {
      return fixed;
    }
    return static_cast<double>(bigEndian16(b[0], b[1]));
  }
  if (raw.dataSize >= 1 && n >= 1) {
    return static_cast<double>(b[0]);
  }
  return std::nullopt;
}

std::optional<ByteList> encodeSpeed(std::uint32_t dataType, std::int32_t dataSize, double value) {
  if (!std::isfinite(value)) {
    return std::nullopt;
  }
  if (dataType == kTypeFlt && dataSize == 4) {
    constexpr double kMax = std::numeric_limits<float>::max();
    const auto f = static_cast<float>(std::fmin(std::fmax(value, -kMax), kMax));
    const auto bits = std::bit_cast<std::uint32_t>(f);
    return ByteList{static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                    static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
  }
  if (dataType == kTypeUi16 && dataSize >= 2) {
    // Negative speeds are the callers' to avoid; clamping them to 0 keeps the cast defined.
    const double clamped = std::fmax(std::fmin(value, 65535.0), 0.0);
    const auto x = static_cast<std::uint16_t>(clamped);
    return ByteList{static_cast<std::uint8_t>(x >> 8), static_cast<std::uint8_t>(x & 0xFF)};
  }
  if (dataSize >= 2) {
    return encodeFixedPoint(dataType, value);
  }
  return std::nullopt;
}

}  // namespace smc
