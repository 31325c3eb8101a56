// Prometheus' text format: "# HELP", "# TYPE", then one "name{labels} value" line per sample.
#include "app/headless/prometheus.h"

#include <functional>

namespace app {

std::string prometheusLabelValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

namespace {

// One family: its HELP and TYPE lines, written before its first sample only, so that a family
// with no samples leaves no lines.
class Family {
 public:
  Family(std::string& out, std::string_view name, std::string_view help)
      : out_(out), name_(name), help_(help) {}

  void sample(std::string_view labels, double value) {
    if (!started_) {
      started_ = true;
      out_ += "# HELP ";
      out_ += name_;
      out_ += ' ';
      out_ += help_;
      out_ += "\n# TYPE ";
      out_ += name_;
      out_ += " gauge\n";
    }
    out_ += name_;
    if (!labels.empty()) {
      out_ += '{';
      out_ += labels;
      out_ += '}';
    }
    out_ += ' ';
    out_ += decimalNumber(value);
    out_ += '\n';
  }

 private:
  std::string& out_;
  std::string_view name_;
  std::string_view help_;
  bool started_ = false;
};

std::string fanLabel(const SnapshotFan& fan) {
  return "fan=\"" + std::to_string(fan.info.index) + "\"";
}

void fanFamily(std::string& out, const SnapshotReadings& readings, std::string_view name,
               std::string_view help, const std::function<void(Family&, const SnapshotFan&)>& add) {
  Family family(out, name, help);
  for (const SnapshotFan& fan : readings.fans) {
    add(family, fan);
  }
}

}  // namespace

std::string prometheusText(const SnapshotReadings& readings, FanMode mode, bool smcUp) {
  std::string out;
  Family(out, "quillomatics_smc_up", "Whether the SMC could be opened (1) or not (0).")
      .sample("", smcUp ? 1 : 0);
  if (!smcUp) {
    return out;
  }

  Family temperatures(out, "quillomatics_temperature_celsius",
                      "A temperature sensor of the SMC, in degrees Celsius.");
  for (const SnapshotReading& r : readings.readings) {
    temperatures.sample("group=\"" + prometheusLabelValue(r.group) + "\",key=\"" +
                            prometheusLabelValue(r.key) + "\",name=\"" +
                            prometheusLabelValue(r.name) + "\"",
                        r.celsius);
  }

  fanFamily(out, readings, "quillomatics_fan_speed_rpm",
            "The fan's current speed, in revolutions per minute.",
            [](Family& family, const SnapshotFan& fan) {
              // An implausible speed (beyond what any fan turns) is no reading at all.
              if (fan.info.actual >= 0.0) {
                family.sample(fanLabel(fan), fan.info.actual);
              }
            });
  fanFamily(
      out, readings, "quillomatics_fan_min_rpm",
      "The fan's minimum speed, in revolutions per minute.",
      [](Family& family, const SnapshotFan& fan) { family.sample(fanLabel(fan), fan.info.min); });
  fanFamily(
      out, readings, "quillomatics_fan_max_rpm",
      "The fan's maximum speed, in revolutions per minute.",
      [](Family& family, const SnapshotFan& fan) { family.sample(fanLabel(fan), fan.info.max); });
  fanFamily(out, readings, "quillomatics_fan_forced",
            "Whether the fan is forced to a target speed (1) or left to the system (0).",
            [](Family& family, const SnapshotFan& fan) {
              family.sample(fanLabel(fan), fan.forced ? 1 : 0);
            });

  Family modes(out, "quillomatics_fan_mode",
               "The application's fan mode: 1 for the current one, 0 for the others.");
  for (const FanModeInfo& each : kFanModes) {
    modes.sample("mode=\"" + std::string(each.word) + "\"", each.mode == mode ? 1 : 0);
  }
  return out;
}

}  // namespace app
