// Machine profiles of the simulated Mac: a key table in the dump format, plus the heat sources,
// the temperature keys they drive and the fans' firmware curves.
//
// A profile is plain text. A file without any "[section]" line is a bare key dump and is read
// whole as the key table. Otherwise:
//
//   [machine]   name = MacBookPro16,1   description = ...   ambient = 24
//   [sources]   NAME idle=45 rise=50 cooling=0.35 tau=6 load=0.1      (one heat source a line)
//   [temps]     KEY SOURCE [OFFSET]                                      (a key driven by a source)
//   [fans]      INDEX low=50 high=90 [stop=yes]                          (firmware curve, °C)
//   [keys]      key|type|size|attr|hex[|note]                           (the dump format unchanged)
//
// Lines beginning "# " and empty lines are comments everywhere; in the sections other than
// [keys] any line beginning "#" is. A heat source's temperature settles at
//   ambient + (idle - ambient + rise × load) × (1 - cooling × airflow)
// with time constant tau seconds; airflow is the fans' mean actual/maximum speed. Temperature
// keys not listed under [temps] are bound by their name (TC*, Tc*, Tp*, Te* to "cpu", TG*, Tg* to
// "gpu", other T* keys to "board") when their recorded value is a plausible temperature; their
// offset keeps the recorded value at the starting load. Without [sources] the machine has the
// three sources "cpu", "gpu" and "board".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/result.h"

namespace sim {

struct ProfileKey {
  std::string text;  // four characters, or five for fans 10 and up ("F10Ac")
  std::uint32_t code = 0;
  std::uint32_t dataType = 0;
  std::uint32_t dataSize = 0;
  std::uint8_t attributes = 0;
  bool readable = true;  // false for "-" in a dump
  std::vector<std::uint8_t> bytes;
};

struct HeatSource {
  std::string name;
  double idleC = 45;
  double riseC = 50;
  double cooling = 0.35;
  double tauS = 6;
  double load = 0.1;
};

struct TempBinding {
  std::string key;
  std::string source;
  bool hasOffset = false;
  double offsetC = 0;
};

struct FanCurve {
  int index = 0;
  double lowC = 50;
  double highC = 90;
  bool stopWhenCool = false;
};

struct Profile {
  std::string name;
  std::string description;
  double ambientC = 24;
  std::vector<HeatSource> sources;
  std::vector<TempBinding> temps;
  std::vector<FanCurve> fans;
  std::vector<ProfileKey> keys;
};

// Largest value a key may hold in the device; the exchange itself carries at most 32 bytes.
inline constexpr std::uint32_t kMaxKeyBytes = 128;

// Parses a profile or a bare dump. On failure the message names the file, the line number and
// what is wrong ("MacBookPro16,1.profile:12: size 'x' is not a number").
Result<Profile> parseProfile(std::string_view text, std::string_view fileName);

// The profiles compiled into the programs.
struct BuiltinProfile {
  std::string_view name;  // the machine's name, "MacBookPro16,1"
  std::string_view file;  // the file it came from, "macbookpro16-1.profile"
  std::string_view text;
};
const std::vector<BuiltinProfile>& builtinProfiles();
// By machine name or file name (with or without ".profile"), case-insensitive.
const BuiltinProfile* findBuiltinProfile(std::string_view name);
inline constexpr std::string_view kDefaultProfile = "MacBookPro16,1";

}  // namespace sim
