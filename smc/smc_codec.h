// Turning an SMC key's bytes into a number by its data type, and a speed back into bytes.
#pragma once

#include <cstdint>
#include <optional>

#include "smc/byte_list.h"
#include "smc/smc_record.h"

namespace smc {

// A key's value as read: at most 32 bytes, with the key's type and its full size.
struct SMCRawValue {
  ByteList bytes;
  std::uint32_t dataType = 0;
  std::int32_t dataSize = 0;
};

inline constexpr std::uint32_t kTypeFlt = fourCC("flt ");
inline constexpr std::uint32_t kTypeUi8 = fourCC("ui8 ");
inline constexpr std::uint32_t kTypeSi8 = fourCC("si8 ");
inline constexpr std::uint32_t kTypeUi16 = fourCC("ui16");
inline constexpr std::uint32_t kTypeSi16 = fourCC("si16");
inline constexpr std::uint32_t kTypeUi32 = fourCC("ui32");

// Decodes raw bytes by the first rule that fits: the named types, then any fixed-point shape,
// then plain unsigned bytes. No value for a key of size 0 or without bytes.
std::optional<double> decodeNumeric(const SMCRawValue& raw);

// A fixed-point type ("sp78", "fpe2", ...): sign from the first letter, "p" second, fraction bits
// from the fourth. No value when the type has another shape.
std::optional<double> decodeFixedPoint(std::uint32_t typeCode, std::uint8_t byte0,
                                       std::uint8_t byte1);
// value × 2^F truncated toward zero and clamped to 0..65535, big-endian. No value for another
// shape, or for a value that is not finite.
std::optional<ByteList> encodeFixedPoint(std::uint32_t typeCode, double value);

// The bytes a speed is written as, for a key of the given type and size: a little-endian float,
// a big-endian "ui16", or a fixed-point pair. No value when the type has no such encoding or the
// speed is not finite; finite speeds are clamped to what the encoding can hold.
std::optional<ByteList> encodeSpeed(std::uint32_t dataType, std::int32_t dataSize, double value);

}  // namespace smc
