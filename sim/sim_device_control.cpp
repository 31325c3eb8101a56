// The simulated SMC device's control surface, for smc-sim and tests: keys, faults, load,
// freezing and the snapshot.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sim/key_codec.h"
#include "sim/sim_device.h"
#include "sim/sim_device_access.h"
#include "sim/thermal_model.h"
#include "smc/smc_client.h"

namespace sim {
namespace {

KeyView viewOf(const layout::KeyEntry& k) {
  KeyView v;
  v.text.assign(k.text, strnlen(k.text, sizeof k.text));
  v.code = k.code;
  v.dataType = k.dataType;
  v.dataSize = k.dataSize;
  v.attributes = k.attributes;
  v.recordedUnreadable = (k.state & layout::kStateUnreadable) != 0;
  if (k.state & layout::kStateMissing) {
    v.state = KeyState::missing;
  } else if (k.state & (layout::kStateUnreadable | layout::kStateUnreadableFault)) {
    v.state = KeyState::unreadable;
  }
  v.bytes.assign(k.bytes, k.bytes + std::min<std::uint32_t>(k.dataSize, layout::kValueBytes));
  return v;
}

}  // namespace

Status Device::requireWritable() const {
  if (!writable_) {
    return Status::failure(path_ +
                           ": permission denied (changing the device needs root or its owner)");
  }
  return {};
}

template <class Change>
Status Device::changeFromNow(Change change) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  catchUp();
  write(change);
  return {};
}

Result<std::uint32_t> Device::keyIndex(std::string_view name) const {
  if (name.size() < 1 || name.size() > 5) {
    // Appended rather than "'" + name: GCC 12 at -O3 warns falsely (-Wrestrict) about the latter.
    std::string message = "'";
    message.append(name).append("' is not a key (four characters)");
    return Status::failure(std::move(message));
  }
  const std::uint32_t index = indexOf(smc::fourCC(name));
  if (index == layout::kNoKey) {
    return Status::failure("unknown key '" + std::string(name) + "'");
  }
  return index;
}

std::optional<KeyView> Device::key(std::string_view name) const {
  const auto index = keyIndex(name);
  if (!index) {
    return std::nullopt;
  }
  layout::KeyEntry copy{};
  read([&] { copy = keys_[*index]; });
  return viewOf(copy);
}

std::vector<KeyView> Device::keys() const {
  std::vector<layout::KeyEntry> copy(keyCount_);
  read([&] { std::copy_n(keys_, keyCount_, copy.data()); });
  std::vector<KeyView> views;
  views.reserve(copy.size());
  for (const auto& k : copy) {
    views.push_back(viewOf(k));
  }
  return views;
}

std::optional<double> Device::value(std::string_view name) const {
  const auto k = key(name);
  if (!k) {
    return std::nullopt;
  }
  return decodeValue(k->dataType, k->dataSize, k->bytes);
}

Status Device::setBytes(std::string_view name, std::span<const std::uint8_t> bytes) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  const auto index = keyIndex(name);
  if (!index) {
    return Status::failure(index.error());
  }
  const std::uint32_t size = keys_[*index].dataSize;
  if (bytes.size() != size) {
    return Status::failure("key '" + std::string(name) + "' holds " + std::to_string(size) +
                           " byte(s), not " + std::to_string(bytes.size()));
  }
  write([&] { std::copy(bytes.begin(), bytes.end(), keys_[*index].bytes); });
  return {};
}

Status Device::setValue(std::string_view name, double v) {
  const auto k = key(name);
  if (!k) {
    return Status::failure("unknown key '" + std::string(name) + "'");
  }
  const auto encoded = encodeValue(k->dataType, k->dataSize, v);
  if (!encoded) {
    return Status::failure("key '" + std::string(name) + "' of type '" + typeName(k->dataType) +
                           "' has no numeric encoding; give raw bytes");
  }
  std::vector<std::uint8_t> bytes = k->bytes;
  std::copy(encoded->begin(), encoded->end(), bytes.begin());
  return setBytes(name, bytes);
}

Status Device::setKeyState(std::string_view name, KeyState state) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  const auto index = keyIndex(name);
  if (!index) {
    return Status::failure(index.error());
  }
  write([&] {
    std::uint8_t& s = keys_[*index].state;
    s = static_cast<std::uint8_t>(s & ~(layout::kStateMissing | layout::kStateUnreadableFault));
    if (state == KeyState::missing) {
      s |= layout::kStateMissing;
    } else if (state == KeyState::unreadable) {
      s |= layout::kStateUnreadableFault;
    }
  });
  return {};
}

Status Device::addFault(const Fault& fault) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  bool full = false;
  write([&] {
    std::uint32_t count = std::min(header_->faultCount, layout::kMaxFaults);
    // A fault of the same kind for the same key is replaced, not stacked.
    std::uint32_t slot = count;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (header_->faults[i].kind == fault.kind && header_->faults[i].key == fault.key) {
        slot = i;
      }
    }
    if (slot == layout::kMaxFaults) {
      full = true;
      return;
    }
    header_->faults[slot] = layout::Fault{fault.kind, fault.key, fault.every, 0, fault.value};
    header_->faultCount = std::max(count, slot + 1);
  });
  if (full) {
    return Status::failure("too many faults (" + std::to_string(layout::kMaxFaults) + ")");
  }
  return {};
}

Status Device::removeFaults(FaultKind kind, std::uint32_t key) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  write([&] {
    std::uint32_t count = std::min(header_->faultCount, layout::kMaxFaults);
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!(header_->faults[i].kind == kind && header_->faults[i].key == key)) {
        header_->faults[kept++] = header_->faults[i];
      }
    }
    header_->faultCount = kept;
  });
  return {};
}

Status Device::clearFaults() {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  write([&] {
    header_->faultCount = 0;
    for (std::uint32_t i = 0; i < keyCount_; ++i) {
      keys_[i].state &= layout::kStateUnreadable;
    }
  });
  return {};
}

std::vector<Fault> Device::faults() const {
  std::vector<Fault> out;
  read([&] {
    out.clear();
    const std::uint32_t count = std::min(header_->faultCount, layout::kMaxFaults);
    for (std::uint32_t i = 0; i < count; ++i) {
      const layout::Fault& f = header_->faults[i];
      out.push_back(Fault{f.kind, f.key, f.every, f.value});
    }
  });
  return out;
}

Status Device::setLoad(double level, std::string_view source) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  if (!(level >= 0 && level <= 1)) {
    return Status::failure("load must be between 0 and 1");
  }
  catchUp();
  bool found = source.empty();
  write([&] {
    header_->loadMode = layout::LoadMode::fixed;
    for (std::uint32_t i = 0; i < std::min(header_->sourceCount, layout::kMaxSources); ++i) {
      if (source.empty() || source == header_->sources[i].name) {
        header_->sources[i].load = level;
        found = true;
      }
    }
  });
  if (!found) {
    return Status::failure("no heat source named '" + std::string(source) + "'");
  }
  return {};
}

Status Device::setLoadPattern(std::span<const layout::PatternStep> steps) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  if (steps.empty() || steps.size() > layout::kMaxPatternSteps) {
    return Status::failure("a load pattern has 1 to " + std::to_string(layout::kMaxPatternSteps) +
                           " steps");
  }
  for (const auto& s : steps) {
    if (!(s.level >= 0 && s.level <= 1) || !(s.seconds > 0)) {
      return Status::failure("each step needs a load from 0 to 1 and a time above 0 seconds");
    }
  }
  catchUp();
  write([&] {
    header_->loadMode = layout::LoadMode::pattern;
    header_->patternCount = static_cast<std::uint32_t>(steps.size());
    std::copy(steps.begin(), steps.end(), header_->pattern);
    header_->loadStartNs = monotonicNs();
  });
  return {};
}

Status Device::setLoadFromHost() {
  return changeFromNow([&] {
    header_->loadMode = layout::LoadMode::host;
    header_->hostPrevTotal = 0;
    header_->hostPrevIdle = 0;
  });
}

Status Device::setFrozen(bool frozen) {
  return changeFromNow([&] {
    if (frozen) {
      header_->flags |= layout::kFlagFrozen;
    } else {
      header_->flags &= ~layout::kFlagFrozen;
    }
    // Time frozen does not count when the machine is thawed.
    std::atomic_ref<std::int64_t>(header_->lastAdvanceNs)
        .store(monotonicNs(), std::memory_order_relaxed);
  });
}

Status Device::advance(double seconds) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  if (!(seconds >= 0 && seconds <= 86400)) {
    return Status::failure("time steps are from 0 to 86400 seconds");
  }
  write([&] { model::run(*header_, {keys_, keyCount_}, seconds, monotonicNs()); });
  return {};
}

Status Device::sleepAndWake() {
  return changeFromNow([&] {
    const std::span<layout::KeyEntry> table(keys_, keyCount_);
    const auto entry = [&](std::uint32_t code) -> layout::KeyEntry* {
      const std::uint32_t index = indexOf(code);
      return index < table.size() ? &table[index] : nullptr;
    };
    const auto valueOf = [](const layout::KeyEntry& k) {
      return decodeValue(k.dataType, k.dataSize,
                         {k.bytes, std::min<std::uint32_t>(k.dataSize, layout::kValueBytes)});
    };
    const auto clear = [](layout::KeyEntry* k) {
      if (k != nullptr) {
        std::fill_n(k->bytes, std::min<std::uint32_t>(k->dataSize, layout::kValueBytes), 0);
      }
    };
    clear(entry(smc::fourCC("FS! ")));
    std::uint32_t fans = layout::kMaxFans;
    if (const layout::KeyEntry* fnum = entry(smc::fourCC("FNum"))) {
      if (const auto n = valueOf(*fnum); n && std::isfinite(*n)) {
        fans = static_cast<std::uint32_t>(std::clamp(*n, 0.0, double{layout::kMaxFans}));
      }
    }
    for (std::uint32_t i = 0; i < fans; ++i) {
      clear(entry(smc::fourCC(smc::fanKey(i, "Md"))));
      layout::KeyEntry* tg = entry(smc::fourCC(smc::fanKey(i, "Tg")));
      const layout::KeyEntry* mn = entry(smc::fourCC(smc::fanKey(i, "Mn")));
      const auto min = mn != nullptr ? valueOf(*mn) : std::nullopt;
      if (tg == nullptr || !min || !std::isfinite(*min)) {
        continue;
      }
      if (const auto bytes = encodeValue(tg->dataType, tg->dataSize, *min)) {
        std::copy(bytes->begin(), bytes->end(), tg->bytes);
      }
      for (std::uint32_t f = 0; f < std::min(header_->fanCount, layout::kMaxFans); ++f) {
        if (header_->fans[f].index == i) {
          header_->fans[f].target = *min;
        }
      }
    }
  });
}

Snapshot Device::snapshot() const {
  auto header = std::make_unique<layout::Header>();
  std::vector<layout::KeyEntry> keys(keyCount_);
  read([&] {
    std::memcpy(header.get(), header_, sizeof(layout::Header));
    std::copy_n(keys_, keyCount_, keys.data());
  });
  const layout::Header& h = *header;
  std::span<const layout::KeyEntry> table(keys);
  auto valueAt = [&](std::uint32_t index) -> std::optional<double> {
    if (index >= table.size()) {
      return std::nullopt;
    }
    const auto& k = table[index];
    return decodeValue(k.dataType, k.dataSize,
                       {k.bytes, std::min<std::uint32_t>(k.dataSize, layout::kValueBytes)});
  };
  Snapshot s;
  s.profile.assign(h.profile, strnlen(h.profile, sizeof h.profile));
  s.description.assign(h.description, strnlen(h.description, sizeof h.description));
  s.frozen = (h.flags & layout::kFlagFrozen) != 0;
  s.writers = h.writers;
  s.loadMode = h.loadMode;
  s.ambientC = h.ambientC;
  s.keyCount = keyCount_;
  if (const auto m = valueAt(h.forcedMaskKey); m && std::isfinite(*m)) {
    s.forcedMask = static_cast<std::uint16_t>(std::clamp(*m, 0.0, 65535.0));
  }
  for (std::uint32_t i = 0; i < std::min(h.sourceCount, layout::kMaxSources); ++i) {
    const auto& src = h.sources[i];
    s.sources.push_back(
        {std::string(src.name, strnlen(src.name, sizeof src.name)), src.load, src.temp});
  }
  for (std::uint32_t i = 0; i < std::min(h.tempCount, layout::kMaxTemps); ++i) {
    const auto& t = h.temps[i];
    if (t.key >= table.size()) {
      continue;
    }
    const auto& k = table[t.key];
    s.temps.push_back({std::string(k.text, strnlen(k.text, sizeof k.text)),
                       t.source < s.sources.size() ? s.sources[t.source].name : "?",
                       valueAt(t.key)});
  }
  for (std::uint32_t i = 0; i < std::min(h.fanCount, layout::kMaxFans); ++i) {
    const auto& f = h.fans[i];
    Snapshot::FanView v{static_cast<int>(f.index),
                        valueAt(f.ac),
                        valueAt(f.mn),
                        valueAt(f.mx),
                        valueAt(f.tg),
                        false,
                        std::nullopt};
    if (f.md < table.size()) {
      v.mode = table[f.md].bytes[0];
    }
    v.forced = (v.mode && *v.mode == 1) ||
               (s.forcedMask && f.index < 16 && (*s.forcedMask & (1u << f.index)) != 0);
    s.fans.push_back(v);
  }
  for (std::uint32_t i = 0; i < std::min(h.faultCount, layout::kMaxFaults); ++i) {
    const auto& f = h.faults[i];
    s.faults.push_back(Fault{f.kind, f.key, f.every, f.value});
  }
  return s;
}

}  // namespace sim
