// smc-sim: creates, shows, drives and breaks simulated Macs for the monitor and the fan tool.
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/signal_pipe.h"
#include "sim/key_codec.h"
#include "sim/sim_device.h"
#include "sim/smc_sim_show.h"
#include "smc/smc_record.h"

namespace {

constexpr const char* kOverviewHead = R"(smc-sim: the simulated Mac's SMC device

Usage: smc-sim COMMAND [ARGS...]      smc-sim COMMAND --help for each command

Commands:
)";

// After the list of commands.
constexpr const char* kOverviewTail = R"(
DEVICE is a device file. Where it is optional, the default is $QUILLOMATICS_SMC_DEVICE, else
quillomatics-smc.dev in a directory of your own (mode 0700): $XDG_RUNTIME_DIR, else
/run/user/<uid>, else /tmp/quillomatics-<uid> (<uid>: yours, or under sudo/pkexec the invoking
user's). 'smc-sim path' prints it.
)";

int usageError(const std::string& command, const std::string& what) {
  std::cerr << "smc-sim " << command << ": " << what << "\n"
            << "Try 'smc-sim " << command << " --help'.\n";
  return 2;
}

int failure(const std::string& what) {
  std::cerr << "smc-sim: " << what << "\n";
  return 1;
}

std::string hexCode(IOReturn r) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(r));
  return buf;
}

std::optional<double> number(const std::string& s) {
  if (s.empty()) {
    return std::nullopt;
  }
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (*end != '\0') {
    return std::nullopt;
  }
  return v;
}

// Splits the arguments into options (with the given ones taking a value) and positionals.
struct Args {
  std::map<std::string, std::string> options;
  std::vector<std::string> positional;
  std::string error;
};

Args parseArgs(const std::vector<std::string>& argv, const std::vector<std::string>& flags,
               const std::vector<std::string>& valued) {
  Args a;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (arg.size() > 1 && arg.rfind("--", 0) == 0) {
      if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
        a.options[arg] = "";
      } else if (std::find(valued.begin(), valued.end(), arg) != valued.end()) {
        if (i + 1 >= argv.size()) {
          a.error = arg + " needs a value";
          return a;
        }
        a.options[arg] = argv[++i];
      } else {
        a.error = "unknown option " + arg;
        return a;
      }
    } else {
      a.positional.push_back(arg);
    }
  }
  return a;
}

std::optional<sim::Device> openOrReport(const std::string& path, int& status) {
  auto device = sim::Device::open(path);
  if (!device) {
    status = failure(device.error());
    return std::nullopt;
  }
  return std::move(*device);
}

int cmdProfiles(const Args&) {
  for (const auto& p : sim::builtinProfiles()) {
    auto parsed = sim::parseProfile(p.text, p.file);
    std::printf("%-22s %s%s\n", std::string(p.name).c_str(),
                parsed ? parsed->description.c_str() : "(does not parse)",
                p.name == sim::kDefaultProfile ? "  [default]" : "");
  }
  return 0;
}

std::string deviceArg(const Args& a, std::size_t index = 0) {
  return a.positional.size() > index ? a.positional[index] : sim::devicePath();
}

int cmdCreate(const Args& a) {
  const bool hasProfile = a.options.contains("--profile");
  const bool hasDump = a.options.contains("--dump");
  if (hasProfile == hasDump) {
    return usageError("create", "give either --profile NAME|FILE or --dump FILE");
  }
  if (a.positional.size() > 1) {
    return usageError("create", "one DEVICE only");
  }
  sim::CreateOptions options;
  options.frozen = a.options.contains("--frozen");
  options.replace = a.options.contains("--replace");
  if (auto w = a.options.find("--writers"); w != a.options.end()) {
    if (w->second == "root") {
      options.writers = sim::Writers::root;
    } else if (w->second == "owner") {
      options.writers = sim::Writers::owner;
    } else if (w->second == "anyone") {
      options.writers = sim::Writers::anyone;
    } else {
      return usageError("create", "--writers is root, owner or anyone, not '" + w->second + "'");
    }
  }
  const auto source = hasDump ? sim::ProfileSource::file(a.options.at("--dump"))
                              : sim::ProfileSource::named(a.options.at("--profile"));
  const std::string path = deviceArg(a);
  if (path == sim::defaultDevicePath()) {
    if (const sim::Status dir = sim::prepareDefaultDeviceDirectory(); !dir) {
      return failure(dir.error());
    }
  }
  const sim::Status st = sim::createDevice(path, source, options);
  if (!st) {
    return failure(st.error());
  }
  std::printf("created %s\n", path.c_str());
  return 0;
}

int cmdShow(const Args& a) {
  if (a.positional.size() > 1) {
    return usageError("show", "one DEVICE only");
  }
  std::optional<double> watch;
  if (auto w = a.options.find("--watch"); w != a.options.end()) {
    watch = number(w->second);
    if (!watch || *watch <= 0) {
      return usageError("show", "--watch needs a number of seconds above 0");
    }
  }
  int status = 0;
  auto device = openOrReport(deviceArg(a), status);
  if (!device) {
    return status;
  }
  // Signals 2 and 15 end the watch between two pictures; one interrupts the sleep.
  const base::SignalPipe stop{SIGINT, SIGTERM};
  do {
    device->catchUp();
    if (watch) {
      std::printf("\033[H\033[2J");
    }
    if (a.options.contains("--keys")) {
      printKeys(device->keys());
    } else {
      printSnapshot(device->snapshot(), device->keys());
    }
    std::fflush(stdout);
    if (watch) {
      const double s = *watch;
      timespec ts{static_cast<time_t>(s), static_cast<long>(std::fmod(s, 1.0) * 1e9)};
      nanosleep(&ts, nullptr);
    }
  } while (watch && !stop.caught());
  return 0;
}

// One exchange on the device, as a client of the SMC would send it.
IOReturn exchange(sim::Device& d, std::uint32_t code, std::uint8_t command, std::uint32_t size,
                  SMCKeyData_t& out, const std::vector<std::uint8_t>& bytes = {}) {
  SMCKeyData_t in{};
  in.key = code;
  in.data8 = command;
  in.keyInfo.dataSize = size;
  std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), kSMCMaxBytes), in.bytes);
  return d.exchange(in, out);
}

// The device for a command on one KEY: none, with `status` set, when KEY cannot be a key or
// the device does not open.
std::optional<sim::Device> openForKey(const std::string& path, const std::string& key,
                                      int& status) {
  if (key.empty() || key.size() > 5) {
    status = failure("'" + key + "' is not a key (four characters)");
    return std::nullopt;
  }
  return openOrReport(path, status);
}

int cmdRead(const Args& a) {
  if (a.positional.size() != 2) {
    return usageError("read", "give DEVICE and KEY");
  }
  const std::string& key = a.positional[1];
  int status = 0;
  auto device = openForKey(a.positional[0], key, status);
  if (!device) {
    return status;
  }
  SMCKeyData_t info{};
  const std::uint32_t code = fourCC(key);
  IOReturn r = exchange(*device, code, SMC_CMD_READ_KEYINFO, 0, info);
  if (r == kIOReturnNotFound) {
    return failure("unknown key '" + key + "' (" + hexCode(r) + ")");
  }
  if (r != kIOReturnSuccess) {
    return failure("key info of '" + key + "' failed (" + hexCode(r) + ")");
  }
  SMCKeyData_t out{};
  r = exchange(*device, code, SMC_CMD_READ_BYTES, info.keyInfo.dataSize, out);
  if (r == kIOReturnNotReadable) {
    return failure("key '" + key + "' cannot be read (" + hexCode(r) + ")");
  }
  if (r != kIOReturnSuccess) {
    return failure("reading '" + key + "' failed (" + hexCode(r) + ")");
  }
  const std::uint32_t n = std::min<std::uint32_t>(info.keyInfo.dataSize, kSMCMaxBytes);
  const std::vector<std::uint8_t> bytes(out.bytes, out.bytes + n);
  const auto v = sim::decodeValue(info.keyInfo.dataType, info.keyInfo.dataSize, bytes);
  std::printf("%s|%s|%u|%02X|%s", key.c_str(), sim::typeName(info.keyInfo.dataType).c_str(),
              info.keyInfo.dataSize, info.keyInfo.dataAttributes, sim::toHex(bytes).c_str());
  if (v) {
    std::printf("  = %.17g", *v);
  }
  std::printf("\n");
  return 0;
}

int cmdWrite(const Args& a) {
  const bool raw = a.options.contains("--raw");
  if (a.positional.size() != (raw ? 2u : 3u)) {
    return usageError("write", raw ? "give DEVICE KEY --raw HEX" : "give DEVICE, KEY and VALUE");
  }
  const std::string& key = a.positional[1];
  int status = 0;
  auto device = openForKey(a.positional[0], key, status);
  if (!device) {
    return status;
  }
  const auto view = device->key(key);
  if (!view) {
    return failure("unknown key '" + key + "'");
  }
  std::vector<std::uint8_t> bytes;
  if (raw) {
    const auto parsed = sim::parseHex(a.options.at("--raw"));
    if (!parsed) {
      return failure("'" + a.options.at("--raw") + "' is not hexadecimal bytes");
    }
    if (parsed->size() != view->dataSize) {
      return failure("key '" + key + "' holds " + std::to_string(view->dataSize) + " byte(s); " +
                     std::to_string(parsed->size()) + " given");
    }
    bytes = *parsed;
  } else {
    const auto v =
        a.positional[2] == "nan" ? std::optional<double>(std::nan("")) : number(a.positional[2]);
    if (!v) {
      return failure("'" + a.positional[2] + "' is not a number");
    }
    const auto encoded = sim::encodeValue(view->dataType, view->dataSize, *v);
    if (!encoded) {
      return failure("key '" + key + "' has type '" + sim::typeName(view->dataType) +
                     "', which takes no number; use --raw HEX");
    }
    bytes = view->bytes;
    std::copy(encoded->begin(), encoded->end(), bytes.begin());
  }
  if (a.options.contains("--direct")) {
    const sim::Status st = device->setBytes(key, bytes);
    return st ? 0 : failure(st.error());
  }
  SMCKeyData_t info{};
  const std::uint32_t code = fourCC(key);
  IOReturn r = exchange(*device, code, SMC_CMD_READ_KEYINFO, 0, info);
  if (r != kIOReturnSuccess) {
    return failure(r == kIOReturnNotFound
                       ? "unknown key '" + key + "' (" + hexCode(r) + ")"
                       : "key info of '" + key + "' failed (" + hexCode(r) + ")");
  }
  SMCKeyData_t out{};
  r = exchange(*device, code, SMC_CMD_WRITE_BYTES, info.keyInfo.dataSize, out, bytes);
  if (r == kIOReturnNotPrivileged) {
    if (!device->privileged()) {
      return failure("permission refused: writing '" + key +
                     "' needs root or the device's write permission (" + hexCode(r) + ")");
    }
    if (!(info.keyInfo.dataAttributes & 0x40)) {
      char attr[8];
      std::snprintf(attr, sizeof attr, "%02X", info.keyInfo.dataAttributes);
      return failure("key '" + key + "' is not writable (attributes " + attr + "; " + hexCode(r) +
                     ")");
    }
    return failure("writing '" + key + "' was refused (" + hexCode(r) + ")");
  }
  if (r != kIOReturnSuccess) {
    return failure("writing '" + key + "' failed (" + hexCode(r) + ")");
  }
  return 0;
}

int cmdLoad(const Args& a) {
  if (a.positional.empty()) {
    return usageError("load", "give DEVICE");
  }
  int status = 0;
  const bool pattern = a.options.contains("--pattern");
  const bool host = a.options.contains("--host");
  if (pattern + host + (a.positional.size() == 2) != 1 || a.positional.size() > 2) {
    return usageError("load", "give one of LEVEL, --pattern or --host");
  }
  std::vector<sim::layout::PatternStep> steps;
  std::optional<double> level;
  if (pattern) {
    std::stringstream in(a.options.at("--pattern"));
    std::string item;
    while (std::getline(in, item, ',')) {
      const auto colon = item.find(':');
      const auto l = colon == std::string::npos ? std::nullopt : number(item.substr(0, colon));
      const auto s = colon == std::string::npos ? std::nullopt : number(item.substr(colon + 1));
      if (!l || !s) {
        return usageError("load", "pattern step '" + item + "' is not LEVEL:SECONDS");
      }
      steps.push_back({*l, *s});
    }
  } else if (!host) {
    level = number(a.positional[1]);
    if (!level) {
      return usageError("load", "'" + a.positional[1] + "' is not a number from 0 to 1");
    }
  }
  auto device = openOrReport(a.positional[0], status);
  if (!device) {
    return status;
  }
  sim::Status st;
  if (pattern) {
    st = device->setLoadPattern(steps);
  } else if (host) {
    st = device->setLoadFromHost();
  } else {
    const auto src = a.options.find("--source");
    st = device->setLoad(*level, src == a.options.end() ? std::string() : src->second);
  }
  return st ? 0 : failure(st.error());
}

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
  const bool off = a.options.contains("--off");
  if (kind == "list") {
    for (const auto& f : device->faults()) {
      std::printf("%s\n", describeFault(f).c_str());
    }
    for (const auto& k : device->keys()) {
      if (k.state == sim::KeyState::missing) {
        std::printf("missing '%s'\n", k.text.c_str());
      } else if (k.state == sim::KeyState::unreadable && !k.recordedUnreadable) {
        std::printf("unreadable '%s'\n", k.text.c_str());
      }
    }
    return 0;
  }
  if (kind == "clear") {
    const sim::Status st = device->clearFaults();
    return st ? 0 : failure(st.error());
  }
  std::uint32_t every = 0;
  if (auto e = a.options.find("--every"); e != a.options.end()) {
    const auto n = number(e->second);
    if (!n || *n < 1 || *n > 1e9 || *n != std::floor(*n)) {
      return usageError("fault", "--every needs a whole number of at least 1");
    }
    every = static_cast<std::uint32_t>(*n);
  }
  auto target = [&](std::size_t i, bool allowGroups) -> std::optional<std::uint32_t> {
    if (a.positional.size() <= i) {
      return std::nullopt;
    }
    const std::string& t = a.positional[i];
    if (allowGroups && t == "all") {
      return sim::layout::kAllKeys;
    }
    if (allowGroups && t == "temps") {
      return sim::layout::kTemperatureKeys;
    }
    if (!device->key(t)) {
      return std::nullopt;
    }
    return fourCC(t);
  };
  auto needTarget = [&](std::size_t i) {
    if (a.positional.size() <= i) {
      return usageError("fault", kind + " needs a key");
    }
    return failure("unknown key '" + a.positional[i] + "'");
  };
  sim::Status st;
  if (kind == "missing" || kind == "unreadable") {
    const auto key = target(2, false);
    if (!key) {
      return needTarget(2);
    }
    st = device->setKeyState(a.positional[2], off                 ? sim::KeyState::present
                                              : kind == "missing" ? sim::KeyState::missing
                                                                  : sim::KeyState::unreadable);
  } else if (kind == "keyinfo" || kind == "read" || kind == "write") {
    const auto key = target(2, true);
    if (!key) {
      return needTarget(2);
    }
    const auto fk = kind == "keyinfo" ? sim::FaultKind::keyInfoFails
                    : kind == "read"  ? sim::FaultKind::readFails
                                      : sim::FaultKind::writeRefused;
    st = off ? device->removeFaults(fk, *key) : device->addFault({fk, *key, every, 0});
  } else if (kind == "value") {
    const auto key = target(2, true);
    if (!key) {
      return needTarget(2);
    }
    double v = 0;
    if (!off) {
      if (a.positional.size() < 4) {
        return usageError(
            "fault", "value needs the value to read: nan, inf, -inf, negative, absurd or a number");
      }
      const std::string& text = a.positional[3];
      if (text == "nan") {
        v = std::nan("");
      } else if (text == "inf") {
        v = INFINITY;
      } else if (text == "-inf") {
        v = -INFINITY;
      } else if (text == "negative") {
        v = -40;
      } else if (text == "absurd") {
        v = 1e6;
      } else if (auto n = number(text)) {
        v = *n;
      } else {
        return usageError("fault",
                          "'" + text + "' is not nan, inf, -inf, negative, absurd or a number");
      }
    }
    st = off ? device->removeFaults(sim::FaultKind::value, *key)
             : device->addFault({sim::FaultKind::value, *key, every, v});
  } else if (kind == "slow") {
    if (off) {
      st = device->removeFaults(sim::FaultKind::slow, sim::layout::kAllKeys);
    } else {
      const auto us = a.positional.size() > 2 ? number(a.positional[2]) : std::nullopt;
      if (!us || *us < 0 || *us > 10e6) {
        return usageError("fault", "slow needs microseconds from 0 to 10000000");
      }
      st = device->addFault({sim::FaultKind::slow, sim::layout::kAllKeys, every, *us});
    }
  } else if (kind == "open") {
    st = off ? device->removeFaults(sim::FaultKind::openRefused, sim::layout::kAllKeys)
             : device->addFault({sim::FaultKind::openRefused, sim::layout::kAllKeys, 0, 0});
  } else {
    return usageError("fault", "unknown fault '" + kind + "'");
  }
  return st ? 0 : failure(st.error());
}

int cmdFreeze(const Args& a, bool frozen) {
  int status = 0;
  auto device = openOrReport(deviceArg(a), status);
  if (!device) {
    return status;
  }
  const sim::Status st = device->setFrozen(frozen);
  return st ? 0 : failure(st.error());
}

int cmdStep(const Args& a) {
  if (a.positional.size() != 2) {
    return usageError("step", "give DEVICE and SECONDS");
  }
  const auto seconds = number(a.positional[1]);
  if (!seconds) {
    return usageError("step", "'" + a.positional[1] + "' is not a number of seconds");
  }
  int status = 0;
  auto device = openOrReport(a.positional[0], status);
  if (!device) {
    return status;
  }
  const sim::Status st = device->advance(*seconds);
  return st ? 0 : failure(st.error());
}

int cmdSleep(const Args& a) {
  if (a.positional.size() != 1) {
    return usageError("sleep", "give DEVICE");
  }
  int status = 0;
  auto device = openOrReport(a.positional[0], status);
  if (!device) {
    return status;
  }
  const sim::Status st = device->sleepAndWake();
  return st ? 0 : failure(st.error());
}

int cmdRun(const Args& a) {
  double intervalMs = 250;
  if (auto i = a.options.find("--interval"); i != a.options.end()) {
    const auto n = number(i->second);
    if (!n || *n < 10 || *n > 60000) {
      return usageError("run", "--interval is 10 to 60000 milliseconds");
    }
    intervalMs = *n;
  }
  int status = 0;
  auto device = openOrReport(deviceArg(a), status);
  if (!device) {
    return status;
  }
  if (!device->writable()) {
    return failure(device->path() +
                   ": permission denied (running the machine needs root or the device's owner)");
  }
  // Signals 2 and 15 end the run between two steps; one interrupts the sleep.
  const base::SignalPipe stop{SIGINT, SIGTERM};
  while (!stop.caught()) {
    device->catchUp();
    timespec ts{static_cast<time_t>(intervalMs / 1000),
                static_cast<long>(std::fmod(intervalMs, 1000.0) * 1e6)};
    nanosleep(&ts, nullptr);
  }
  return 0;
}

int cmdPath(const Args&) {
  std::printf("%s\n", sim::devicePath().c_str());
  return 0;
}

int cmdDestroy(const Args& a) {
  if (a.positional.size() > 1) {
    return usageError("destroy", "one DEVICE only");
  }
  const sim::Status st = sim::destroyDevice(deviceArg(a));
  return st ? 0 : failure(st.error());
}

// Every command in one place: its name, its line in the overview (none for a command that shares
// another's line), its options (flags, then options that take a value), its help and what carries
// it out. The overview lists them in this order.
struct Command {
  const char* name;
  const char* summary;
  std::vector<std::string> flags, valued;
  const char* help;
  int (*run)(const Args&);
};

const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"profiles",
       "list the built-in machine profiles",
       {},
       {},
       R"(Usage: smc-sim profiles
List the machine profiles built into the programs, by name, with what they model.
)",
       cmdProfiles},
      {"create",
       "make a device from a profile or a key dump",
       {"--frozen", "--replace"},
       {"--profile", "--dump", "--writers"},
       R"(Usage: smc-sim create [--frozen] [--replace] [--writers root|owner|anyone]
                      (--profile NAME|FILE | --dump FILE) [DEVICE]
Make a simulated SMC device from a built-in profile (by name), a profile file, or a key dump
recorded on a real Mac (key|type|size|attr|hex lines). The device is written whole and then
moved into place.
  --frozen      hold every value still (exact tests); 'smc-sim thaw' lets time run
  --replace     replace a device already at DEVICE (never anything else)
  --writers W   who may write keys through the SMC: root (default, as on a Mac), owner (root and
                the device file's owner), anyone (anyone who can open the file for writing;
                the file is made writable by everyone)
)",
       cmdCreate},
      {"show",
       "show the machine: temperatures, fans, modes, targets, faults",
       {"--keys"},
       {"--watch"},
       R"(Usage: smc-sim show [--keys] [--watch SECONDS] [DEVICE]
Show the machine: heat sources and load, every modelled temperature, each fan's actual speed,
target, minimum, maximum and mode, the forced-fan mask and the faults switched on.
  --keys            list every key with type, size, attributes and bytes instead
  --watch SECONDS   show again every SECONDS until interrupted
)",
       cmdShow},
      {"read",
       "read a key through the SMC (decoded and raw)",
       {},
       {},
       R"(Usage: smc-sim read DEVICE KEY
Read KEY through the SMC as this user: key info, then its bytes. Prints the key, type, size,
attributes, the bytes in hexadecimal and the value decoded as the monitor decodes it. Faults
apply. Keys with a trailing space are written in quotes: 'FS! '.
)",
       cmdRead},
      {"write",
       "write a key through the SMC, or straight into the device",
       {"--direct"},
       {"--raw"},
       R"(Usage: smc-sim write [--direct] DEVICE KEY VALUE
       smc-sim write [--direct] DEVICE KEY --raw HEX
Write KEY through the SMC as this user: only root (or a holder of the device's write
permission) may, and only keys whose attributes have the writable bit (0x40). VALUE is encoded
for the key's type (flt, ui8..ui32, sp78, fpe2, ...); --raw gives the bytes themselves.
  --direct   store the bytes straight into the device, bypassing the SMC's rules (any key;
             needs write access to the device file: root or its owner)
)",
       cmdWrite},
      {"load",
       "set the load: a level, a repeating pattern, or this computer's CPU",
       {"--host"},
       {"--pattern", "--source"},
       R"(Usage: smc-sim load DEVICE LEVEL [--source NAME]
       smc-sim load DEVICE --pattern LEVEL:SECONDS[,LEVEL:SECONDS...]
       smc-sim load DEVICE --host
Set the machine's load, from 0 (idle) to 1 (flat out): one level for every heat source or for
the one named; a pattern of levels held for so many seconds, repeated; or the load of this
computer's own processors, so that the simulated Mac warms up when this computer works.
)",
       cmdLoad},
      {"fault",
       "switch faults on and off",
       {"--off"},
       {"--every"},
       R"(Usage: smc-sim fault DEVICE KIND [TARGET] [--every N] [--off]
       smc-sim fault DEVICE list | clear
Switch a fault on (or off with --off) while programs run. TARGET is a key, 'all' (every key) or
'temps' (every modelled temperature).
  missing KEY               the key is gone: key info fails
  unreadable KEY            key info answers, reading fails
  keyinfo all|temps|KEY     key info fails (0xE00002BC)
  read all|temps|KEY        reading fails (0xE00002BC)
  write all|KEY             writing is refused (0xE00002C1)
  value temps|KEY V         reads give V: nan, inf, -inf, negative (-40), absurd (1e6) or a number,
                            encoded for the key's type (fixed-point types clamp)
  slow MICROSECONDS         every exchange takes this much longer
  open                      new connections are refused (0xE00002C1); open ones go on
  --every N                 fail only one in N exchanges of each connection
  clear                     switch every fault off;  list: show them
)",
       cmdFault},
      {"freeze",
       "hold every value still;  thaw: let time run again",
       {},
       {},
       R"(Usage: smc-sim freeze [DEVICE]
Hold every value of the machine still until 'smc-sim thaw'.
)",
       [](const Args& a) { return cmdFreeze(a, true); }},
      {"thaw",
       nullptr,
       {},
       {},
       R"(Usage: smc-sim thaw [DEVICE]
Let time run again on a frozen machine, from now.
)",
       [](const Args& a) { return cmdFreeze(a, false); }},
      {"step",
       "move a device on by some seconds of simulated time",
       {},
       {},
       R"(Usage: smc-sim step DEVICE SECONDS
Move the machine on by SECONDS of simulated time, frozen or not.
)",
       cmdStep},
      {"sleep",
       "let the machine sleep and wake: the firmware takes the fans back",
       {},
       {},
       R"(Usage: smc-sim sleep DEVICE
The machine sleeps and wakes, as a Mac does when its lid closes and opens: the firmware takes
every fan back. Each fan's mode key (F<i>Md) and the forced-fan mask (FS! ) go to 0, and each
fan's target (F<i>Tg) to its minimum speed (F<i>Mn). A program that forced the fans sees them
on automatic from here on, until it forces them again.
)",
       cmdSleep},
      {"run",
       "keep a device's machine moving (for devices only read by others)",
       {},
       {"--interval"},
       R"(Usage: smc-sim run [--interval MILLISECONDS] [DEVICE]
Keep the machine moving in real time until interrupted (signal 2 or 15). Programs that may
write the device move it themselves as they use it; this is for devices only read by others.
)",
       cmdRun},
      {"destroy",
       "remove a device",
       {},
       {},
       R"(Usage: smc-sim destroy [DEVICE]
Remove a device. Anything that is not a valid simulated device is left alone.
)",
       cmdDestroy},
      {"path",
       "print the device our programs use",
       {},
       {},
       R"(Usage: smc-sim path
Print the device our programs use: $QUILLOMATICS_SMC_DEVICE, or the default location.
)",
       cmdPath},
  };
  return table;
}

void printOverview() {
  std::cout << kOverviewHead;
  for (const Command& c : commands()) {
    if (c.summary != nullptr) {
      std::string name = c.name;
      name.resize(std::max<std::size_t>(name.size() + 1, 11), ' ');
      std::cout << "  " << name << c.summary << "\n";
    }
  }
  std::cout << kOverviewTail;
}

const Command* findCommand(const std::string& name) {
  for (const Command& c : commands()) {
    if (name == c.name) {
      return &c;
    }
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    printOverview();
    return args.empty() ? 2 : 0;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  const Command* found = findCommand(command);
  if (found == nullptr) {
    std::cerr << "smc-sim: unknown command '" << command << "'\nTry 'smc-sim --help'.\n";
    return 2;
  }
  if (std::find(args.begin(), args.end(), "--help") != args.end() ||
      std::find(args.begin(), args.end(), "-h") != args.end()) {
    std::cout << found->help;
    return 0;
  }
  const Args a = parseArgs(args, found->flags, found->valued);
  if (!a.error.empty()) {
    return usageError(command, a.error);
  }
  return found->run(a);
}
