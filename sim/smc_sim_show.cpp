// What smc-sim prints of a machine: its state at a glance, its key table and its faults.
#include "sim/smc_sim_show.h"

#include <cstdio>
#include <sstream>

#include "sim/key_codec.h"

namespace {

std::string formatValue(std::optional<double> v, const char* format = "%.2f") {
  if (!v) {
    return "-";
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, format, *v);
  return buf;
}

const char* writersName(sim::Writers w) {
  switch (w) {
    case sim::Writers::root:
      return "root";
    case sim::Writers::owner:
      return "owner";
    case sim::Writers::anyone:
      return "anyone";
  }
  return "?";
}

std::string faultTarget(std::uint32_t key) {
  if (key == sim::layout::kAllKeys) {
    return "all";
  }
  if (key == sim::layout::kTemperatureKeys) {
    return "temps";
  }
  // Appended rather than "'" + name: GCC 12 at -O3 warns falsely (-Wrestrict) about the latter.
  std::string quoted = "'";
  quoted.append(sim::typeName(key)).append("'");
  return quoted;
}

}  // namespace

std::string describeFault(const sim::Fault& f) {
  std::ostringstream out;
  switch (f.kind) {
    case sim::FaultKind::keyInfoFails:
      out << "keyinfo " << faultTarget(f.key);
      break;
    case sim::FaultKind::readFails:
      out << "read " << faultTarget(f.key);
      break;
    case sim::FaultKind::writeRefused:
      out << "write " << faultTarget(f.key);
      break;
    case sim::FaultKind::value:
      out << "value " << faultTarget(f.key) << " " << f.value;
      break;
    case sim::FaultKind::slow:
      out << "slow " << f.value << " us";
      break;
    case sim::FaultKind::openRefused:
      out << "open";
      break;
  }
  if (f.every > 1) {
    out << " (one in " << f.every << ")";
  }
  return out.str();
}

void printSnapshot(const sim::Snapshot& s, const std::vector<sim::KeyView>& keys) {
  std::printf("%s  %s\n", s.profile.c_str(), s.description.c_str());
  const char* mode = s.loadMode == sim::layout::LoadMode::pattern ? "pattern"
                     : s.loadMode == sim::layout::LoadMode::host  ? "this computer's CPU"
                                                                  : "fixed";
  std::printf("time: %s   writers: %s   load: %s   ambient: %.1f °C   keys: %u\n",
              s.frozen ? "frozen" : "running", writersName(s.writers), mode, s.ambientC,
              s.keyCount);
  std::printf("\nHeat sources\n");
  for (const auto& src : s.sources) {
    std::printf("  %-8s %6.1f °C   load %.2f\n", src.name.c_str(), src.temp, src.load);
  }
  std::printf("\nTemperatures (°C)\n");
  for (const auto& src : s.sources) {
    std::string line;
    int n = 0;
    for (const auto& t : s.temps) {
      if (t.source != src.name) {
        continue;
      }
      if (n > 0 && n % 6 == 0) {
        line += "\n        ";
      }
      char cell[32];
      std::snprintf(cell, sizeof cell, "  %-5s %6s", t.key.c_str(),
                    formatValue(t.value, "%.1f").c_str());
      line += cell;
      ++n;
    }
    if (n > 0) {
      std::printf("  %-6s%s\n", src.name.c_str(), line.c_str());
    }
  }
  std::printf("\nFans");
  if (s.forcedMask) {
    std::printf("   forced mask FS! = 0x%04X", *s.forcedMask);
  }
  std::printf("\n");
  if (s.fans.empty()) {
    std::printf("  none (fanless)\n");
  } else {
    std::printf("  fan   actual   target      min      max   mode\n");
    for (const auto& f : s.fans) {
      std::printf("  %3d %8s %8s %8s %8s   %s\n", f.index, formatValue(f.actual, "%.0f").c_str(),
                  formatValue(f.target, "%.0f").c_str(), formatValue(f.min, "%.0f").c_str(),
                  formatValue(f.max, "%.0f").c_str(), f.forced ? "forced" : "auto");
    }
  }
  std::printf("\nFaults\n");
  bool anyFault = false;
  for (const auto& f : s.faults) {
    std::printf("  %s\n", describeFault(f).c_str());
    anyFault = true;
  }
  for (const auto& k : keys) {
    if (k.state == sim::KeyState::missing) {
      std::printf("  missing '%s'\n", k.text.c_str());
      anyFault = true;
    } else if (k.state == sim::KeyState::unreadable && !k.recordedUnreadable) {
      std::printf("  unreadable '%s'\n", k.text.c_str());
      anyFault = true;
    }
  }
  if (!anyFault) {
    std::printf("  none\n");
  }
}

void printKeys(const std::vector<sim::KeyView>& keys) {
  for (const auto& k : keys) {
    const std::string hex = k.recordedUnreadable ? "-" : sim::toHex(k.bytes);
    const auto v = sim::decodeValue(k.dataType, k.dataSize, k.bytes);
    std::printf("%-5s|%s|%u|%02X|%s", k.text.c_str(), sim::typeName(k.dataType).c_str(), k.dataSize,
                k.attributes, hex.c_str());
    if (k.state == sim::KeyState::missing) {
      std::printf("|missing");
    } else if (k.state == sim::KeyState::unreadable) {
      std::printf("|unreadable");
    } else if (v && k.dataSize <= 4) {
      std::printf("|%g", *v);
    }
    std::printf("\n");
  }
}
