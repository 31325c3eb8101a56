// smc-sim fault: switches the device's faults on and off, lists and clears them.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "sim/key_codec.h"
#include "sim/smc_sim_cli.h"
#include "sim/smc_sim_show.h"

namespace sim::cli {
namespace {

// One `fault` command line: the device it changes, the kind of fault, and how it applies.
struct FaultRequest {
  const Args& a;
  Device& device;
  const std::string& kind;
  bool off;
  std::uint32_t every;
};

int listFaults(const Device& device) {
  for (const auto& f : device.faults()) {
    std::printf("%s\n", describeFault(f).c_str());
  }
  for (const auto& k : device.keys()) {
    if (k.state == KeyState::missing) {
      std::printf("missing '%s'\n", k.text.c_str());
    } else if (k.state == KeyState::unreadable && !k.recordedUnreadable) {
      std::printf("unreadable '%s'\n", k.text.c_str());
    }
  }
  return 0;
}

// The key (or, with `allowGroups`, 'all' or 'temps') the fault applies to: TARGET, the third
// positional. None when it is missing or names no key of the device.
std::optional<std::uint32_t> faultTarget(const FaultRequest& r, bool allowGroups) {
  if (r.a.positional.size() <= 2) {
    return std::nullopt;
  }
  const std::string& t = r.a.positional[2];
  if (allowGroups && t == "all") {
    return layout::kAllKeys;
  }
  if (allowGroups && t == "temps") {
    return layout::kTemperatureKeys;
  }
  if (!r.device.key(t)) {
    return std::nullopt;
  }
  return smc::fourCC(t);
}

// The report for a TARGET faultTarget refused: not given, or no key of the device.
int badTarget(const FaultRequest& r) {
  if (r.a.positional.size() <= 2) {
    return usageError("fault", r.kind + " needs a key");
  }
  return failure("unknown key '" + r.a.positional[2] + "'");
}

int keyStateFault(const FaultRequest& r) {
  if (!faultTarget(r, false)) {
    return badTarget(r);
  }
  const KeyState state = r.off                 ? KeyState::present
                         : r.kind == "missing" ? KeyState::missing
                                               : KeyState::unreadable;
  return reported(r.device.setKeyState(r.a.positional[2], state));
}

int exchangeFault(const FaultRequest& r) {
  const auto key = faultTarget(r, true);
  if (!key) {
    return badTarget(r);
  }
  const auto kind = r.kind == "keyinfo" ? FaultKind::keyInfoFails
                    : r.kind == "read"  ? FaultKind::readFails
                                        : FaultKind::writeRefused;
  return reported(r.off ? r.device.removeFaults(kind, *key)
                        : r.device.addFault({kind, *key, r.every, 0}));
}

// The value a `value` fault makes reads give: a name for an awkward value, or a number.
std::optional<double> faultValue(const std::string& text) {
  if (text == "nan") {
    return std::nan("");
  }
  if (text == "inf") {
    return INFINITY;
  }
  if (text == "-inf") {
    return -INFINITY;
  }
  if (text == "negative") {
    return -40;
  }
  if (text == "absurd") {
    return 1e6;
  }
  return number(text);
}

int valueFault(const FaultRequest& r) {
  const auto key = faultTarget(r, true);
  if (!key) {
    return badTarget(r);
  }
  if (r.off) {
    return reported(r.device.removeFaults(FaultKind::value, *key));
  }
  if (r.a.positional.size() < 4) {
    return usageError(
        "fault", "value needs the value to read: nan, inf, -inf, negative, absurd or a number");
  }
  const std::string& text = r.a.positional[3];
  const auto v = faultValue(text);
  if (!v) {
    return usageError("fault",
                      "'" + text + "' is not nan, inf, -inf, negative, absurd or a number");
  }
  return reported(r.device.addFault({FaultKind::value, *key, r.every, *v}));
}

int slowFault(const FaultRequest& r) {
  if (r.off) {
    return reported(r.device.removeFaults(FaultKind::slow, layout::kAllKeys));
  }
  const auto us = r.a.positional.size() > 2 ? number(r.a.positional[2]) : std::nullopt;
  if (!us || *us < 0 || *us > 10e6) {
    return usageError("fault", "slow needs microseconds from 0 to 10000000");
  }
  return reported(r.device.addFault({FaultKind::slow, layout::kAllKeys, r.every, *us}));
}

int openFault(const FaultRequest& r) {
  return reported(r.off ? r.device.removeFaults(FaultKind::openRefused, layout::kAllKeys)
                        : r.device.addFault({FaultKind::openRefused, layout::kAllKeys, 0, 0}));
}

// --every N: 0 (every exchange) when not given, none when N is not a whole number from 1.
std::optional<std::uint32_t> everyOption(const Args& a) {
  const auto e = a.options.find("--every");
  if (e == a.options.end()) {
    return 0;
  }
  const auto n = number(e->second);
  if (!n || *n < 1 || *n > 1e9 || *n != std::floor(*n)) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(*n);
}

}  // namespace

int cmdFault(const Args& a) {
  if (a.positional.size() < 2) {
    return usageError("fault", "give DEVICE and a fault");
  }
  int status = 0;
  auto device = openOrReport(a.positional[0], status);
  if (!device) {
    return status;
  }
  const std::string& kind = a.positional[1];
  if (kind == "list") {
    return listFaults(*device);
  }
  if (kind == "clear") {
    return reported(device->clearFaults());
  }
  const auto every = everyOption(a);
  if (!every) {
    return usageError("fault", "--every needs a whole number of at least 1");
  }
  const FaultRequest r{a, *device, kind, a.options.contains("--off"), *every};
  if (kind == "missing" || kind == "unreadable") {
    return keyStateFault(r);
  }
  if (kind == "keyinfo" || kind == "read" || kind == "write") {
    return exchangeFault(r);
  }
  if (kind == "value") {
    return valueFault(r);
  }
  if (kind == "slow") {
    return slowFault(r);
  }
  if (kind == "open") {
    return openFault(r);
  }
  return usageError("fault", "unknown fault '" + kind + "'");
}

}  // namespace sim::cli
