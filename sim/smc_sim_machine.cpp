// smc-sim's commands on a whole machine: profiles, making and removing devices, showing them,
// their load, and time (freezing, stepping, sleeping and running it).
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "base/signal_pipe.h"
#include "sim/smc_sim_cli.h"
#include "sim/smc_sim_show.h"

namespace sim::cli {

int cmdProfiles(const Args&) {
  for (const auto& p : builtinProfiles()) {
    auto parsed = parseProfile(p.text, p.file);
    std::printf("%-22s %s%s\n", std::string(p.name).c_str(),
                parsed ? parsed->description.c_str() : "(does not parse)",
                p.name == kDefaultProfile ? "  [default]" : "");
  }
  return 0;
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
  CreateOptions options;
  options.frozen = a.options.contains("--frozen");
  options.replace = a.options.contains("--replace");
  if (auto w = a.options.find("--writers"); w != a.options.end()) {
    if (w->second == "root") {
      options.writers = Writers::root;
    } else if (w->second == "owner") {
      options.writers = Writers::owner;
    } else if (w->second == "anyone") {
      options.writers = Writers::anyone;
    } else {
      return usageError("create", "--writers is root, owner or anyone, not '" + w->second + "'");
    }
  }
  const auto source = hasDump ? ProfileSource::file(a.options.at("--dump"))
                              : ProfileSource::named(a.options.at("--profile"));
  const std::string path = deviceArg(a);
  if (path == defaultDevicePath()) {
    if (const Status dir = prepareDefaultDeviceDirectory(); !dir) {
      return failure(dir.error());
    }
  }
  const Status st = createDevice(path, source, options);
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
  std::vector<layout::PatternStep> steps;
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
  Status st;
  if (pattern) {
    st = device->setLoadPattern(steps);
  } else if (host) {
    st = device->setLoadFromHost();
  } else {
    const auto src = a.options.find("--source");
    st = device->setLoad(*level, src == a.options.end() ? std::string() : src->second);
  }
  return reported(st);
}

namespace {

int setFrozen(const Args& a, bool frozen) {
  int status = 0;
  auto device = openOrReport(deviceArg(a), status);
  if (!device) {
    return status;
  }
  return reported(device->setFrozen(frozen));
}

}  // namespace

int cmdFreeze(const Args& a) {
  return setFrozen(a, true);
}

int cmdThaw(const Args& a) {
  return setFrozen(a, false);
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
  return reported(device->advance(*seconds));
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
  return reported(device->sleepAndWake());
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
  std::printf("%s\n", devicePath().c_str());
  return 0;
}

int cmdDestroy(const Args& a) {
  if (a.positional.size() > 1) {
    return usageError("destroy", "one DEVICE only");
  }
  return reported(destroyDevice(deviceArg(a)));
}

}  // namespace sim::cli
