// The status title and the menu built from a refresh's readings and the delegate's state.
#include "app/menu_builder.h"

#include <algorithm>
#include <string>

#include "app/text_format.h"

namespace app {

namespace {

constexpr std::size_t kNameColumn = 24;
constexpr std::size_t kMinimumGap = 2;

ColorRole temperatureColor(double celsius) {
  if (celsius < 50.0) {
    return ColorRole::systemGreen;
  }
  if (celsius < 75.0) {
    return ColorRole::systemOrange;
  }
  return ColorRole::systemRed;
}

// One run of `text` in `font` and `color`.
StyledText singleRun(std::string_view text, FontRole font, std::optional<ColorRole> color) {
  return {StyledRun{std::string(text), font, color}};
}

// The three runs of a row: name, gap, value.
StyledText row(std::string_view name, std::string_view value, ColorRole valueColor) {
  const std::size_t chars = characterCount(name);
  const std::size_t gap = std::max(kNameColumn > chars ? kNameColumn - chars : 0, kMinimumGap);
  return {StyledRun{std::string(name), FontRole::monoRegular12, ColorRole::label},
          StyledRun{std::string(gap, ' '), FontRole::monoRegular12, std::nullopt},
          StyledRun{std::string(value), FontRole::monoMedium12, valueColor}};
}

}  // namespace

// ---- Rows ----

StyledText formatTempRow(std::string_view name, double temp, std::string_view unit,
                         double celsius) {
  return row(name, formatDegrees(temp, 1, unit), temperatureColor(celsius));
}

StyledText formatFanRow(std::string_view name, double rpm) {
  return row(name, formatFixed(rpm, 0) + " RPM", ColorRole::systemCyan);
}

StyledText formatFanErrorRow(std::string_view name) {
  return row(name, "N/A", ColorRole::secondaryLabel);
}

// ---- Writing items ----

void MenuWriter::separator() {
  menu_.addItem(MenuItem::separatorItem());
}

void MenuWriter::infoItem(std::string_view title, StyledText styled) {
  MenuItem item;
  item.title.assign(title);
  item.styledTitle = std::move(styled);
  menu_.addItem(std::move(item));
}

void MenuWriter::row(std::string_view name, StyledText styled) {
  std::string title(name);
  title += ' ';
  title += styled.back().text;
  infoItem(title, std::move(styled));
}

void MenuWriter::actionItem(std::string_view title, MenuAction action, std::string_view key) {
  MenuItem item;
  item.title.assign(title);
  item.action = action;
  item.keyEquivalent.assign(key);
  menu_.addItem(std::move(item));
}

void MenuWriter::sectionHeader(std::string_view title) {
  infoItem(title, singleRun(title, FontRole::bold11, ColorRole::secondaryLabel));
}

void MenuWriter::section(std::string_view title, const std::vector<TempReading>& readings,
                         bool useFahrenheit) {
  if (readings.empty()) {
    return;
  }
  sectionHeader(title);
  const std::string_view unit = useFahrenheit ? "F" : "C";
  for (const TempReading& reading : readings) {
    const double temp = useFahrenheit ? reading.celsius * 9.0 / 5.0 + 32.0 : reading.celsius;
    row(reading.name, formatTempRow(reading.name, temp, unit, reading.celsius));
  }
  separator();
}

// ---- The title and the menu ----

bool buildStatusTitle(const Readings& readings, bool useFahrenheit, StyledText& title) {
  const TempReading* first = !readings.cpu.empty()     ? &readings.cpu.front()
                             : !readings.gpu.empty()   ? &readings.gpu.front()
                             : !readings.other.empty() ? &readings.other.front()
                                                       : nullptr;
  if (first == nullptr) {
    return false;
  }
  const double value = useFahrenheit ? first->fahrenheit() : first->celsius;
  title = singleRun(formatDegrees(value, 0, useFahrenheit ? "F" : "C"), FontRole::monoMedium12,
                    temperatureColor(first->celsius));
  return true;
}

void buildMenu(const Readings& readings, const MenuState& state, MenuModel& menu) {
  menu.removeAllItems();
  MenuWriter writer(menu);
  writer.infoItem("Quillomatics", singleRun("Quillomatics", FontRole::bold13, std::nullopt));
  writer.separator();
  writer.section("CPU", readings.cpu, state.useFahrenheit);
  writer.section("GPU", readings.gpu, state.useFahrenheit);
  writer.section("OTHER", readings.other, state.useFahrenheit);

  if (!readings.fans.empty()) {
    writer.sectionHeader("FANS");
    for (const FanInfo& fan : readings.fans) {
      const std::string name = "Fan " + std::to_string(fan.index + 1);
      writer.row(name, fan.actual < 0 ? formatFanErrorRow(name) : formatFanRow(name, fan.actual));
    }
    writer.separator();

    const FanModeInfo& current = fanModeInfo(state.fanMode);
    writer.infoItem(current.modeLine,
                    singleRun(current.modeLine, FontRole::systemMedium12, current.color));
    // The way to every other mode, in the table's order.
    for (const FanModeInfo& other : kFanModes) {
      if (other.mode != state.fanMode) {
        writer.actionItem(other.itemTitle, other.action, other.key);
      }
    }
    writer.separator();
  }

  writer.actionItem(state.useFahrenheit ? "Switch to Celsius" : "Switch to Fahrenheit",
                    MenuAction::toggleUnit, "u");
  writer.separator();
  writer.actionItem("Quit Quillomatics", MenuAction::quitApp, "q");
}

MenuModel buildMenu(const Readings& readings, const MenuState& state) {
  MenuModel menu;
  buildMenu(readings, state, menu);
  return menu;
}

}  // namespace app
