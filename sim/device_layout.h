// The simulated SMC device as it lies in its file: a fixed header (identity, model state,
// faults) followed by the key table sorted by key code. Only fixed-size records, no pointers, so
// that every process maps the same bytes. Everything after the identity fields is guarded by
// `seq`: writers hold an exclusive flock on the file and make `seq` odd while they change
// anything; readers copy what they need and retry when `seq` was odd or moved meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace sim::layout {

inline constexpr char kMagic[8] = {'Q', 'U', 'I', 'L', 'L', 'S', 'M', 'C'};
inline constexpr std::uint32_t kVersion = 1;

inline constexpr std::uint32_t kValueBytes = 128;
inline constexpr std::uint32_t kMaxKeys = 8192;
inline constexpr std::uint32_t kMaxSources = 8;
inline constexpr std::uint32_t kMaxTemps = 512;
inline constexpr std::uint32_t kMaxFans = 32;
inline constexpr std::uint32_t kMaxFaults = 32;
inline constexpr std::uint32_t kMaxPatternSteps = 16;
inline constexpr std::uint32_t kNoKey = 0xFFFFFFFFu;

// KeyEntry::state bits.
inline constexpr std::uint8_t kStateUnreadable = 0x01;       // recorded unreadable ("-")
inline constexpr std::uint8_t kStateMissing = 0x02;          // switched missing (fault)
inline constexpr std::uint8_t kStateUnreadableFault = 0x04;  // switched unreadable (fault)

struct KeyEntry {
  std::uint32_t code;
  std::uint32_t dataType;
  std::uint32_t dataSize;
  std::uint8_t attributes;
  std::uint8_t state;
  std::uint8_t reserved[2];
  char text[8];  // the key as written, NUL-padded ("F10Ac")
  std::uint8_t bytes[kValueBytes];
};

struct Source {
  char name[16];
  double idleC;
  double riseC;
  double cooling;
  double tauS;
  double load;
  double temp;  // current temperature of the source, °C
};

struct Temp {
  std::uint32_t key;  // index into the key table
  std::uint32_t source;
  double offsetC;
};

struct Fan {
  std::uint32_t index;
  std::uint32_t ac, mn, mx, md, tg;  // key indexes, kNoKey when absent
  double lowC;
  double highC;
  std::uint32_t stopWhenCool;
  std::uint32_t reserved;
  double actual;  // current speed, rpm, unrounded
  double target;  // what the fan is moving towards, rpm
};

enum class FaultKind : std::uint32_t {
  keyInfoFails = 1,  // key info answers kIOReturnError
  readFails = 2,     // read bytes answers kIOReturnError
  writeRefused = 3,  // write bytes answers kIOReturnNotPrivileged
  value = 4,         // read bytes answers `value` encoded for the key's type
  slow = 5,          // every exchange takes `value` microseconds longer
  openRefused = 6,   // opening a new connection answers kIOReturnNotPrivileged
};

inline constexpr std::uint32_t kAllKeys = 0;          // Fault::key: every key
inline constexpr std::uint32_t kTemperatureKeys = 1;  // Fault::key: every modelled temperature

struct Fault {
  FaultKind kind;
  std::uint32_t key;    // key code, kAllKeys or kTemperatureKeys
  std::uint32_t every;  // 0 or 1: every exchange; N: one in N of a connection's exchanges
  std::uint32_t reserved;
  double value;
};

enum class LoadMode : std::uint32_t { fixed = 0, pattern = 1, host = 2 };

struct PatternStep {
  double level;
  double seconds;
};

// Header::flags
inline constexpr std::uint32_t kFlagFrozen = 0x1;

enum class Writers : std::uint32_t { root = 0, owner = 1, anyone = 2 };

struct Header {
  char magic[8];
  std::uint32_t version;
  std::uint32_t headerSize;
  std::uint64_t fileSize;
  std::uint32_t keyCount;
  std::uint32_t seq;
  std::uint32_t flags;
  Writers writers;
  std::int64_t lastAdvanceNs;  // CLOCK_MONOTONIC of the last model step
  std::int64_t loadStartNs;    // start of the load pattern
  double ambientC;
  char profile[64];
  char description[128];
  std::uint32_t sourceCount, tempCount, fanCount, faultCount;
  LoadMode loadMode;
  std::uint32_t patternCount;
  std::uint32_t forcedMaskKey;  // index of "FS! ", kNoKey when absent
  std::uint32_t reserved;
  std::uint64_t hostPrevTotal, hostPrevIdle;
  double hostLoad;
  PatternStep pattern[kMaxPatternSteps];
  Source sources[kMaxSources];
  Temp temps[kMaxTemps];
  Fan fans[kMaxFans];
  Fault faults[kMaxFaults];
};

static_assert(std::is_trivially_copyable_v<Header>);
static_assert(std::is_trivially_copyable_v<KeyEntry>);
static_assert(sizeof(KeyEntry) == 152);
static_assert(sizeof(Header) % 8 == 0);

inline constexpr std::uint64_t fileSizeFor(std::uint32_t keyCount) {
  return sizeof(Header) + std::uint64_t{keyCount} * sizeof(KeyEntry);
}

}  // namespace sim::layout
