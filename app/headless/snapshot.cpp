// The snapshot's gathering and its JSON.
#include "app/headless/snapshot.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <span>

namespace app {

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string decimalNumber(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

SnapshotReadings gatherSnapshotReadings(AppDelegate& delegate) {
  struct Group {
    std::string_view name;
    std::span<const Sensor> sensors;
  };
  const Group groups[] = {{"cpu", cpuSensors}, {"gpu", gpuSensors}, {"other", otherSensors}};
  SnapshotReadings out;
  for (const Group& group : groups) {
    const std::size_t first = out.readings.size();
    for (const Sensor& sensor : group.sensors) {
      // The delegate's own acceptance of one row; the first accepted key of a name wins, as the
      // delegate's gathering of the whole table decides it.
      const std::vector<TempReading> one = delegate.gatherTemps(std::span(&sensor, 1));
      if (one.empty() ||
          std::any_of(out.readings.begin() + static_cast<std::ptrdiff_t>(first), out.readings.end(),
                      [&](const SnapshotReading& r) { return r.name == sensor.name; })) {
        continue;
      }
      out.readings.push_back({group.name, sensor.key, sensor.name, one.front().celsius});
    }
  }
  const std::uint32_t mask = delegate.smc().readForcedBits().value_or(0);
  for (const FanInfo& fan : delegate.gatherFans()) {
    out.fans.push_back({fan, delegate.smc().readFanForced(fan.index, mask)});
  }
  return out;
}

namespace {

std::string runsJson(const StyledText& runs) {
  std::string out = "[";
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const StyledRun& run = runs[i];
    out += i == 0 ? "" : ", ";
    out += "{\"text\": " + jsonString(run.text) +
           ", \"font\": " + jsonString(fontRoleName(run.font)) + ", \"color\": " +
           (run.color ? jsonString(colorRoleName(*run.color)) : std::string("null")) + "}";
  }
  return out + "]";
}

std::string titleJson(const RecordingStatusItem::Title& title) {
  if (title.plain) {
    return "{\"plain\": " + jsonString(*title.plain) + "}";
  }
  return "{\"runs\": " + runsJson(title.styled.value_or(StyledText{})) + "}";
}

std::string itemJson(const MenuItem& item) {
  if (item.isSeparator) {
    return "{\"separator\": true}";
  }
  return "{\"title\": " + jsonString(item.title) +
         ", \"runs\": " + (item.styledTitle ? runsJson(*item.styledTitle) : std::string("null")) +
         ", \"action\": " +
         (item.action ? jsonString(selectorName(*item.action)) : std::string("null")) +
         ", \"key\": " + jsonString(item.keyEquivalent) + "}";
}

}  // namespace

std::string snapshotJson(const RecordingStatusItem::Title& title, const MenuModel& menu,
                         const AppDelegate& delegate, const SnapshotReadings& readings) {
  std::string out = "{\"title\": " + titleJson(title) + ", \"menu\": [";
  for (std::size_t i = 0; i < menu.items.size(); ++i) {
    out += i == 0 ? "" : ", ";
    out += itemJson(menu.items[i]);
  }
  out += "], \"state\": {\"fanMode\": " + jsonString(fanModeName(delegate.fanMode())) +
         ", \"fansForced\": " + (delegate.fansForced() ? "true" : "false") +
         ", \"useFahrenheit\": " + (delegate.useFahrenheit() ? "true" : "false") +
         ", \"fanCount\": " + std::to_string(delegate.fanCount()) + "}";
  out += ", \"schema\": " + std::to_string(kSnapshotSchema) + ", \"readings\": [";
  for (std::size_t i = 0; i < readings.readings.size(); ++i) {
    const SnapshotReading& r = readings.readings[i];
    out += i == 0 ? "" : ", ";
    out += "{\"group\": " + jsonString(r.group) + ", \"key\": " + jsonString(r.key) +
           ", \"name\": " + jsonString(r.name) + ", \"celsius\": " + decimalNumber(r.celsius) + "}";
  }
  out += "], \"fans\": [";
  for (std::size_t i = 0; i < readings.fans.size(); ++i) {
    const SnapshotFan& fan = readings.fans[i];
    out += i == 0 ? "" : ", ";
    out += "{\"index\": " + std::to_string(fan.info.index) +
           ", \"actual\": " + decimalNumber(fan.info.actual) +
           ", \"min\": " + decimalNumber(fan.info.min) +
           ", \"max\": " + decimalNumber(fan.info.max) +
           ", \"forced\": " + (fan.forced ? "true" : "false") + "}";
  }
  return out + "]}";
}

}  // namespace app
