// Numbers to key bytes and back, by the key's data type, for the simulated controller's own
// values (temperatures, fan speeds) and for values typed on the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The leading bytes that hold `value` in a key of this type and size: little-endian "flt ",
// big-endian integers ("ui8 " to "si32"), and the fixed-point family ("sp78", "fpe2", ...),
// rounded to the nearest step and clamped to the type's range. Values that are not finite become
// the type's extreme (NaN: all bits set for unsigned types, the most negative value for signed
// ones). No value when the type has no numeric encoding or the key is too small for it.
std::optional<std::vector<std::uint8_t>> encodeValue(std::uint32_t dataType, std::uint32_t dataSize,
                                                     double value);

// The same bytes written into `out` without allocating (the model encodes every modelled key at
// each step); the number written, or no value as above.
std::optional<std::size_t> encodeValue(std::uint32_t dataType, std::uint32_t dataSize, double value,
                                       std::span<std::uint8_t, 4> out);

// The number the application would decode from these bytes; no value when nothing decodes.
std::optional<double> decodeValue(std::uint32_t dataType, std::uint32_t dataSize,
                                  std::span<const std::uint8_t> bytes);

// "1A2b" → {0x1A, 0x2B}; no value for odd lengths or other characters. Spaces are ignored.
std::optional<std::vector<std::uint8_t>> parseHex(std::string_view text);
std::string toHex(std::span<const std::uint8_t> bytes);

// A four-character type name from its code, trailing spaces kept.
std::string typeName(std::uint32_t code);

}  // namespace sim
