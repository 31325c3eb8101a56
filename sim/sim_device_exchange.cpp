// The simulated SMC device's exchanges: the three calls of the SMC, with the faults switched on,
// and the model caught up with real time before each that reads or writes a value.

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <span>

#include "sim/key_codec.h"
#include "sim/sim_device.h"
#include "sim/sim_device_access.h"
#include "sim/thermal_model.h"

namespace sim {
namespace {

// A model step at most this often: cheap enough per exchange, smooth enough for the eye.
constexpr std::int64_t kStepIntervalNs = 50'000'000;

bool faultCoversKey(const layout::Fault& f, std::uint32_t code, bool isTemperature) {
  return f.key == layout::kAllKeys || f.key == code ||
         (f.key == layout::kTemperatureKeys && isTemperature);
}

// The copy of the shared state one exchange works from.
struct Seen {
  layout::KeyEntry key;
  std::uint32_t faultCount;
  layout::Fault faults[layout::kMaxFaults];
};

// A slow fault makes every exchange take longer, whatever it answers.
void sleepForSlowFaults(std::span<const layout::Fault> faults) {
  for (const layout::Fault& f : faults) {
    if (f.kind == FaultKind::slow && f.value > 0) {
      const double us = std::min(f.value, 10e6);
      timespec ts{static_cast<time_t>(us / 1e6), static_cast<long>(std::fmod(us, 1e6) * 1000)};
      while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
      }
    }
  }
}

// A read's answer: the key's bytes (at most 32), or a value fault's value encoded for its type.
void readBytes(const layout::KeyEntry& key, const layout::Fault* valueFault,
               smc::SMCKeyData_t& out) {
  const std::uint32_t n = std::min<std::uint32_t>(key.dataSize, smc::kSMCMaxBytes);
  std::memcpy(out.bytes, key.bytes, n);
  if (valueFault != nullptr) {
    std::array<std::uint8_t, 4> bytes{};
    if (const auto count = encodeValue(key.dataType, key.dataSize, valueFault->value, bytes)) {
      std::memcpy(out.bytes, bytes.data(), std::min<std::size_t>(*count, n));
    }
  }
}

}  // namespace

std::uint32_t Device::indexOf(std::uint32_t code) const {
  // Fibonacci hashing: the top 8 bits of the product spread codes that differ in any letter. Two
  // codes may still meet, so a code lives in the first free slot of a short run from there: keys
  // read every refresh then do not evict each other and fall back to the table's search.
  const std::uint32_t home = (code * 2654435769u) >> 24;
  // A full run (a program that read most of the table) gives up its first slot.
  LookupSlot* slot = &lookup_[home];
  for (std::uint32_t i = 0; i < kLookupProbes; ++i) {
    LookupSlot& probe = lookup_[(home + i) % lookup_.size()];
    if (probe.filled && probe.code == code) {
      return probe.index;
    }
    if (!probe.filled) {
      slot = &probe;
      break;
    }
  }
  *slot = {code, model::findKey({keys_, keyCount_}, code), true};
  return slot->index;
}

bool Device::faultFires(std::size_t slot, std::uint32_t every) {
  if (every <= 1) {
    return true;
  }
  return ++faultCounters_[slot] % every == 0;
}

void Device::catchUp() {
  if (!writable_) {
    return;
  }
  std::atomic_ref<std::int64_t> last(header_->lastAdvanceNs);
  std::atomic_ref<std::uint32_t> flags(header_->flags);
  const std::int64_t now = monotonicNs();
  if ((flags.load(std::memory_order_relaxed) & layout::kFlagFrozen) ||
      now - last.load(std::memory_order_relaxed) < kStepIntervalNs) {
    return;
  }
  write([&] {
    const std::int64_t previous = last.load(std::memory_order_relaxed);
    if ((header_->flags & layout::kFlagFrozen) || now - previous < kStepIntervalNs) {
      return;
    }
    // After a long pause (or a restart of the clock) the model settles rather than replaying.
    const double seconds = previous <= 0 || now < previous
                               ? 0.0
                               : std::min(static_cast<double>(now - previous) / 1e9, 3600.0);
    model::run(*header_, {keys_, keyCount_}, seconds, now);
    last.store(now, std::memory_order_relaxed);
  });
}

smc::IOReturn Device::exchange(const smc::SMCKeyData_t& input, smc::SMCKeyData_t& output) {
  // A key's size, type and attributes do not move with the model: only the exchanges that read
  // or write a value bring it up to date (and read the clock to see whether it is due).
  if (input.data8 != smc::SMC_CMD_READ_KEYINFO) {
    catchUp();
  }
  const std::uint32_t index = indexOf(input.key);

  // Only the parts of a key an exchange can answer are copied.
  Seen seen;
  read([&] {
    seen.faultCount = std::min(header_->faultCount, layout::kMaxFaults);
    std::memcpy(seen.faults, header_->faults, seen.faultCount * sizeof(layout::Fault));
    if (index != layout::kNoKey) {
      std::memcpy(&seen.key, &keys_[index], offsetof(layout::KeyEntry, bytes) + smc::kSMCMaxBytes);
    }
  });
  const std::span<const layout::Fault> faults(seen.faults, seen.faultCount);
  sleepForSlowFaults(faults);
  if (index == layout::kNoKey || (seen.key.state & layout::kStateMissing)) {
    return smc::kIOReturnNotFound;
  }
  const layout::Fault* valueFault = nullptr;
  if (const smc::IOReturn r = firingFault(input, index, faults, valueFault);
      r != smc::kIOReturnSuccess) {
    return r;
  }

  smc::SMCKeyData_t out{};
  out.key = input.key;
  switch (input.data8) {
    case smc::SMC_CMD_READ_KEYINFO:
      out.keyInfo.dataSize = seen.key.dataSize;
      out.keyInfo.dataType = seen.key.dataType;
      out.keyInfo.dataAttributes = seen.key.attributes;
      break;
    case smc::SMC_CMD_READ_BYTES:
      if (seen.key.state & (layout::kStateUnreadable | layout::kStateUnreadableFault)) {
        return smc::kIOReturnNotReadable;
      }
      readBytes(seen.key, valueFault, out);
      break;
    case smc::SMC_CMD_WRITE_BYTES:
      if (const smc::IOReturn r = writeExchange(input, index); r != smc::kIOReturnSuccess) {
        return r;
      }
      break;
    default:
      return smc::kIOReturnBadArgument;
  }
  output = out;
  return smc::kIOReturnSuccess;
}

bool Device::isTemperatureKey(std::uint32_t index) const {
  for (std::uint32_t i = 0; i < std::min(header_->tempCount, layout::kMaxTemps); ++i) {
    if (header_->temps[i].key == index) {
      return true;
    }
  }
  return false;
}

smc::IOReturn Device::firingFault(const smc::SMCKeyData_t& input, std::uint32_t index,
                                  std::span<const layout::Fault> faults,
                                  const layout::Fault*& valueFault) {
  // Whether the key is a modelled temperature is looked up only when a fault asks.
  const bool isTemperature =
      std::any_of(faults.begin(), faults.end(),
                  [](const layout::Fault& f) { return f.key == layout::kTemperatureKeys; }) &&
      isTemperatureKey(index);
  for (std::size_t i = 0; i < faults.size(); ++i) {
    const layout::Fault& f = faults[i];
    if (!faultCoversKey(f, input.key, isTemperature)) {
      continue;
    }
    const bool fires =
        (f.kind == FaultKind::keyInfoFails && input.data8 == smc::SMC_CMD_READ_KEYINFO) ||
        (f.kind == FaultKind::readFails && input.data8 == smc::SMC_CMD_READ_BYTES) ||
        (f.kind == FaultKind::writeRefused && input.data8 == smc::SMC_CMD_WRITE_BYTES);
    if (fires && faultFires(i, f.every)) {
      return f.kind == FaultKind::writeRefused ? smc::kIOReturnNotPrivileged : smc::kIOReturnError;
    }
    if (f.kind == FaultKind::value && input.data8 == smc::SMC_CMD_READ_BYTES &&
        faultFires(i, f.every)) {
      valueFault = &f;
    }
  }
  return smc::kIOReturnSuccess;
}

smc::IOReturn Device::writeExchange(const smc::SMCKeyData_t& input, std::uint32_t index) {
  if (!privileged_) {
    return smc::kIOReturnNotPrivileged;
  }
  smc::IOReturn result = smc::kIOReturnSuccess;
  write([&] {
    layout::KeyEntry& k = keys_[index];
    if (k.state & layout::kStateMissing) {
      result = smc::kIOReturnNotFound;
    } else if (!(k.attributes & 0x40)) {
      result = smc::kIOReturnNotPrivileged;
    } else if (input.keyInfo.dataSize != k.dataSize || k.dataSize > smc::kSMCMaxBytes) {
      result = smc::kIOReturnBadArgument;
    } else {
      std::memcpy(k.bytes, input.bytes, k.dataSize);
    }
  });
  return result;
}

}  // namespace sim
