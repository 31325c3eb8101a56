// Heat sources, airflow and fans of the simulated Mac.
#include "sim/thermal_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "sim/key_codec.h"
#include "smc/smc_client.h"
#include "smc/smc_record.h"

namespace sim::model {
namespace {

// How long a fan takes to cover about two thirds of the way to its target.
constexpr double kFanTauS = 1.5;
constexpr double kDefaultFanMax = 6000;

std::optional<double> keyValue(std::span<const layout::KeyEntry> keys, std::uint32_t index) {
  if (index >= keys.size()) {
    return std::nullopt;
  }
  const layout::KeyEntry& k = keys[index];
  const std::uint32_t n = std::min<std::uint32_t>(k.dataSize, layout::kValueBytes);
  return decodeValue(k.dataType, k.dataSize, {k.bytes, n});
}

void setKeyValue(std::span<layout::KeyEntry> keys, std::uint32_t index, double value) {
  if (index >= keys.size()) {
    return;
  }
  layout::KeyEntry& k = keys[index];
  if (k.state & layout::kStateUnreadable) {
    return;
  }
  std::array<std::uint8_t, 4> bytes{};
  if (const auto count = encodeValue(k.dataType, k.dataSize, value, bytes)) {
    std::memcpy(k.bytes, bytes.data(), *count);
  }
}

bool isTemperatureType(std::uint32_t type, std::uint32_t size) {
  if (type == smc::fourCC("flt ")) {
    return size == 4;
  }
  const char c1 = static_cast<char>(type >> 24);
  const char c2 = static_cast<char>(type >> 16);
  return (c1 == 's' || c1 == 'f') && c2 == 'p' && size == 2;
}

bool plausible(std::optional<double> v) {
  return v && *v > 10 && *v < 110;
}

std::string inferredSource(std::string_view key) {
  const auto family = key.substr(0, 2);
  if (family == "TC" || family == "Tc" || family == "Tp" || family == "Te") {
    return "cpu";
  }
  if (family == "TG" || family == "Tg") {
    return "gpu";
  }
  return "board";
}

double steadyTemp(const layout::Header& h, const layout::Source& s, double airflow) {
  return h.ambientC + (s.idleC - h.ambientC + s.riseC * s.load) * (1 - s.cooling * airflow);
}

double airflow(const layout::Header& h, std::span<const layout::KeyEntry> keys) {
  const std::uint32_t count = std::min(h.fanCount, layout::kMaxFans);
  if (count == 0) {
    return 0;
  }
  double sum = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const layout::Fan& f = h.fans[i];
    const double max = keyValue(keys, f.mx).value_or(kDefaultFanMax);
    if (max > 0 && std::isfinite(f.actual)) {
      sum += std::clamp(f.actual / max, 0.0, 1.0);
    }
  }
  return sum / count;
}

// Busy share of this computer's processors since the previous sample, from /proc/stat.
std::optional<double> sampleHostLoad(layout::Header& h) {
  std::FILE* f = std::fopen("/proc/stat", "r");
  if (f == nullptr) {
    return std::nullopt;
  }
  unsigned long long v[8] = {};
  const int n = std::fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1], &v[2],
                            &v[3], &v[4], &v[5], &v[6], &v[7]);
  std::fclose(f);
  if (n < 4) {
    return std::nullopt;
  }
  std::uint64_t total = 0;
  for (unsigned long long x : v) {
    total += x;
  }
  const std::uint64_t idle = v[3] + v[4];
  std::optional<double> load;
  if (h.hostPrevTotal != 0 && total > h.hostPrevTotal && idle >= h.hostPrevIdle) {
    const double dTotal = static_cast<double>(total - h.hostPrevTotal);
    const double dIdle = static_cast<double>(idle - h.hostPrevIdle);
    load = std::clamp(1.0 - dIdle / dTotal, 0.0, 1.0);
  }
  h.hostPrevTotal = total;
  h.hostPrevIdle = idle;
  return load;
}

}  // namespace

std::uint32_t findKey(std::span<const layout::KeyEntry> keys, std::uint32_t code) {
  const auto it =
      std::lower_bound(keys.begin(), keys.end(), code,
                       [](const layout::KeyEntry& k, std::uint32_t c) { return k.code < c; });
  if (it == keys.end() || it->code != code) {
    return layout::kNoKey;
  }
  return static_cast<std::uint32_t>(it - keys.begin());
}

double patternLevel(std::span<const layout::PatternStep> steps, double elapsed) {
  double period = 0;
  for (const auto& s : steps) {
    period += s.seconds;
  }
  if (steps.empty() || period <= 0) {
    return 0;
  }
  double t = std::fmod(std::max(elapsed, 0.0), period);
  for (const auto& s : steps) {
    if (t < s.seconds) {
      return s.level;
    }
    t -= s.seconds;
  }
  return steps.back().level;
}

namespace {

std::optional<std::uint32_t> sourceIndex(const layout::Header& h, const std::string& name) {
  for (std::uint32_t i = 0; i < h.sourceCount; ++i) {
    if (name == h.sources[i].name) {
      return i;
    }
  }
  return std::nullopt;
}

// The profile's heat sources, or a laptop's CPU, GPU and board when it names none.
Status setUpSources(layout::Header& h, const Profile& profile) {
  std::vector<HeatSource> sources = profile.sources;
  if (sources.empty()) {
    sources = {HeatSource{"cpu", 45, 50, 0.35, 6, 0.1}, HeatSource{"gpu", 42, 40, 0.35, 8, 0.05},
               HeatSource{"board", 33, 10, 0.3, 20, 0.1}};
  }
  if (sources.size() > layout::kMaxSources) {
    return Status::failure("more than " + std::to_string(layout::kMaxSources) + " heat sources");
  }
  h.sourceCount = static_cast<std::uint32_t>(sources.size());
  for (std::size_t i = 0; i < sources.size(); ++i) {
    layout::Source& s = h.sources[i];
    std::snprintf(s.name, sizeof s.name, "%s", sources[i].name.c_str());
    s.idleC = sources[i].idleC;
    s.riseC = sources[i].riseC;
    s.cooling = sources[i].cooling;
    s.tauS = sources[i].tauS;
    s.load = sources[i].load;
  }
  return {};
}

// Fans: as many as "FNum" says, or every fan whose actual-speed key exists, each with the
// profile's curve (or the firmware's usual one) and starting at its recorded speed.
void setUpFans(layout::Header& h, std::span<layout::KeyEntry> keys, const Profile& profile) {
  const std::uint32_t fnum = findKey(keys, smc::fourCC("FNum"));
  int fanLimit = static_cast<int>(layout::kMaxFans);
  if (const auto n = keyValue(keys, fnum)) {
    if (std::isfinite(*n)) {
      fanLimit = static_cast<int>(std::clamp(*n, 0.0, static_cast<double>(layout::kMaxFans)));
    }
  }
  h.fanCount = 0;
  for (int i = 0; i < fanLimit; ++i) {
    const std::uint32_t ac = findKey(keys, smc::fourCC(smc::fanKey(i, "Ac")));
    if (ac == layout::kNoKey) {
      continue;
    }
    layout::Fan& f = h.fans[h.fanCount++];
    f.index = static_cast<std::uint32_t>(i);
    f.ac = ac;
    f.mn = findKey(keys, smc::fourCC(smc::fanKey(i, "Mn")));
    f.mx = findKey(keys, smc::fourCC(smc::fanKey(i, "Mx")));
    f.md = findKey(keys, smc::fourCC(smc::fanKey(i, "Md")));
    f.tg = findKey(keys, smc::fourCC(smc::fanKey(i, "Tg")));
    f.lowC = 50;
    f.highC = 90;
    f.stopWhenCool = 0;
    for (const FanCurve& c : profile.fans) {
      if (c.index == i) {
        f.lowC = c.lowC;
        f.highC = c.highC;
        f.stopWhenCool = c.stopWhenCool ? 1 : 0;
      }
    }
    const double actual = keyValue(keys, ac).value_or(0);
    f.actual = std::isfinite(actual) ? actual : 0;
    f.target = f.actual;
  }
}

// The heat source a key the profile does not bind follows: the one its name suggests, for a
// readable temperature with a plausible recorded value; none for a key the model leaves alone.
std::optional<std::uint32_t> inferredTempSource(const layout::Header& h,
                                                const layout::KeyEntry& key,
                                                std::optional<double> recorded) {
  if (key.text[0] != 'T' || (key.state & layout::kStateUnreadable) ||
      !isTemperatureType(key.dataType, key.dataSize) || !plausible(recorded)) {
    return std::nullopt;
  }
  return sourceIndex(h, inferredSource(key.text));
}

// Temperature keys: those the profile names, then those recognised by name, each at its
// recorded distance from its source (or the profile's offset).
Status setUpTemps(layout::Header& h, std::span<layout::KeyEntry> keys, const Profile& profile) {
  h.tempCount = 0;
  for (std::uint32_t k = 0; k < keys.size(); ++k) {
    const layout::KeyEntry& key = keys[k];
    const TempBinding* bound = nullptr;
    for (const TempBinding& t : profile.temps) {
      if (smc::fourCC(t.key) == key.code) {
        bound = &t;
      }
    }
    const auto recorded = keyValue(keys, k);
    std::optional<std::uint32_t> source;
    if (bound != nullptr) {
      source = sourceIndex(h, bound->source);
      if (!source) {
        return Status::failure("[temps] names the heat source '" + bound->source +
                               "', which the machine does not have");
      }
    } else {
      source = inferredTempSource(h, key, recorded);
      if (!source) {
        continue;
      }
    }
    if (h.tempCount == layout::kMaxTemps) {
      return Status::failure("more than " + std::to_string(layout::kMaxTemps) +
                             " temperature keys");
    }
    layout::Temp& t = h.temps[h.tempCount++];
    t.key = k;
    t.source = *source;
    if (bound != nullptr && bound->hasOffset) {
      t.offsetC = bound->offsetC;
    } else if (plausible(recorded)) {
      t.offsetC = *recorded - h.sources[t.source].temp;
    } else {
      t.offsetC = 0;
    }
  }
  return {};
}

}  // namespace

Status setUp(layout::Header& h, std::span<layout::KeyEntry> keys, const Profile& profile) {
  h.ambientC = profile.ambientC;
  if (const Status st = setUpSources(h, profile); !st) {
    return st;
  }
  setUpFans(h, keys, profile);
  h.forcedMaskKey = findKey(keys, smc::fourCC("FS! "));
  // Sources start settled at their load with the recorded fan speeds.
  const double flow = airflow(h, keys);
  for (std::uint32_t i = 0; i < h.sourceCount; ++i) {
    h.sources[i].temp = steadyTemp(h, h.sources[i], flow);
  }
  return setUpTemps(h, keys, profile);
}

namespace {

// What a stretch of time cannot change: the keys are written only by exchanges, and none runs
// while the model does. Read once per stretch, so that the slices are plain arithmetic.
struct FanInputs {
  double min = 0;
  double max = kDefaultFanMax;
  bool forced = false;
  double wanted = 0;  // the target a forced fan follows
};

// The level every source takes from a load pattern or this computer's load, if any.
std::optional<double> commonLoad(const layout::Header& h, std::int64_t nowNs) {
  if (h.loadMode == layout::LoadMode::pattern) {
    const auto count = std::min(h.patternCount, layout::kMaxPatternSteps);
    return patternLevel({h.pattern, count}, static_cast<double>(nowNs - h.loadStartNs) / 1e9);
  }
  if (h.loadMode == layout::LoadMode::host) {
    return h.hostLoad;
  }
  return std::nullopt;
}

// Each fan's limits and whether (and where to) it is forced, read once for the stretch.
void readFanInputs(const layout::Header& h, std::span<const layout::KeyEntry> keys,
                   FanInputs (&fans)[layout::kMaxFans]) {
  std::uint32_t mask = 0;
  if (const auto m = keyValue(keys, h.forcedMaskKey); m && std::isfinite(*m)) {
    mask = static_cast<std::uint32_t>(std::clamp(*m, 0.0, 65535.0));
  }
  const std::uint32_t fanCount = std::min(h.fanCount, layout::kMaxFans);
  for (std::uint32_t i = 0; i < fanCount; ++i) {
    const layout::Fan& f = h.fans[i];
    FanInputs& in = fans[i];
    // Speed limits written as nonsense (NaN, negative) fall back to what a fan can do.
    const double min = keyValue(keys, f.mn).value_or(0);
    const double max = keyValue(keys, f.mx).value_or(kDefaultFanMax);
    in.min = std::isfinite(min) ? std::max(min, 0.0) : 0.0;
    in.max = std::isfinite(max) && max > 0 ? max : kDefaultFanMax;
    const bool modeForced = f.md < keys.size() && keys[f.md].bytes[0] == 1;
    const bool maskForced = f.index < 16 && (mask & (1u << f.index)) != 0;
    in.forced = modeForced || maskForced;
    if (in.forced) {
      const double wanted = keyValue(keys, f.tg).value_or(f.target);
      in.wanted = std::isfinite(wanted) ? std::clamp(wanted, 0.0, in.max) : 0;
    }
  }
}

// Moves the sources' temperatures and the fans' speeds on by `seconds`.
void advanceModel(layout::Header& h, const FanInputs (&fans)[layout::kMaxFans], double seconds) {
  const std::uint32_t sourceCount = std::min(h.sourceCount, layout::kMaxSources);
  const std::uint32_t fanCount = std::min(h.fanCount, layout::kMaxFans);
  // Equal slices, short enough for fans and temperatures to follow each other (a quarter
  // second), but never more than kMaxSlices: each slice moves every quantity exactly along its
  // exponential towards where it would settle, so a long pause costs no more than a short one
  // and still ends settled.
  constexpr double kSliceS = 0.25;
  constexpr int kMaxSlices = 24;
  const int slices = std::clamp(static_cast<int>(std::ceil(seconds / kSliceS)), 1, kMaxSlices);
  const double dt = seconds / slices;
  double sourceDecay[layout::kMaxSources];
  for (std::uint32_t i = 0; i < sourceCount; ++i) {
    const double tau = h.sources[i].tauS > 0 ? h.sources[i].tauS : 1;
    sourceDecay[i] = 1 - std::exp(-dt / tau);
  }
  const double fanDecay = 1 - std::exp(-dt / kFanTauS);

  for (int slice = 0; slice < slices; ++slice) {
    // Heat: airflow is each fan's share of its maximum, averaged over the fans.
    double flow = 0;
    for (std::uint32_t i = 0; i < fanCount; ++i) {
      if (std::isfinite(h.fans[i].actual)) {
        flow += std::clamp(h.fans[i].actual / fans[i].max, 0.0, 1.0);
      }
    }
    flow = fanCount > 0 ? flow / fanCount : 0;
    double hottest = h.ambientC;
    for (std::uint32_t i = 0; i < sourceCount; ++i) {
      layout::Source& s = h.sources[i];
      s.temp += (steadyTemp(h, s, flow) - s.temp) * sourceDecay[i];
      hottest = std::max(hottest, s.temp);
    }
    // Fans: forced ones follow their target, the others the firmware's curve.
    for (std::uint32_t i = 0; i < fanCount; ++i) {
      layout::Fan& f = h.fans[i];
      const FanInputs& in = fans[i];
      if (in.forced) {
        f.target = in.wanted;
      } else {
        const double span = f.highC - f.lowC;
        const double fraction = span > 0 ? std::clamp((hottest - f.lowC) / span, 0.0, 1.0) : 1.0;
        f.target = (f.stopWhenCool && fraction <= 0) ? 0 : in.min + fraction * (in.max - in.min);
      }
      if (!std::isfinite(f.actual)) {
        f.actual = 0;
      }
      f.actual += (f.target - f.actual) * fanDecay;
    }
  }
}

// What the model shows through the keys: every temperature, each fan's actual speed, and the
// target of each fan the firmware drives.
void writeKeys(const layout::Header& h, std::span<layout::KeyEntry> keys,
               const FanInputs (&fans)[layout::kMaxFans]) {
  const std::uint32_t sourceCount = std::min(h.sourceCount, layout::kMaxSources);
  const std::uint32_t tempCount = std::min(h.tempCount, layout::kMaxTemps);
  for (std::uint32_t i = 0; i < tempCount; ++i) {
    const layout::Temp& t = h.temps[i];
    if (t.source < sourceCount) {
      setKeyValue(keys, t.key, h.sources[t.source].temp + t.offsetC);
    }
  }
  const std::uint32_t fanCount = std::min(h.fanCount, layout::kMaxFans);
  for (std::uint32_t i = 0; i < fanCount; ++i) {
    const layout::Fan& f = h.fans[i];
    if (!fans[i].forced) {
      setKeyValue(keys, f.tg, f.target);
    }
    setKeyValue(keys, f.ac, f.actual);
  }
}

}  // namespace

void run(layout::Header& h, std::span<layout::KeyEntry> keys, double seconds, std::int64_t nowNs) {
  // This computer's load is sampled once for the whole stretch.
  if (h.loadMode == layout::LoadMode::host) {
    if (const auto sample = sampleHostLoad(h)) {
      h.hostLoad = *sample;
    }
  }
  if (const auto common = commonLoad(h, nowNs)) {
    const std::uint32_t sourceCount = std::min(h.sourceCount, layout::kMaxSources);
    for (std::uint32_t i = 0; i < sourceCount; ++i) {
      h.sources[i].load = std::clamp(*common, 0.0, 1.0);
    }
  }
  FanInputs fans[layout::kMaxFans];
  readFanInputs(h, keys, fans);
  advanceModel(h, fans, std::max(seconds, 0.0));
  writeKeys(h, keys, fans);
}

}  // namespace sim::model
