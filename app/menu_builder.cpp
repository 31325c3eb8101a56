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

// Makes `text` exactly `count` runs long, keeping the storage of the runs it already has.
void resizeRuns(StyledText& text, std::size_t count) {
  if (text.size() > count) {
    text.erase(text.begin() + static_cast<std::ptrdiff_t>(count), text.end());
  }
  while (text.size() < count) {
    text.emplace_back();
  }
}

void setRun(StyledRun& run, std::string_view text, FontRole font, std::optional<ColorRole> color) {
  run.text.assign(text);
  run.font = font;
  run.color = color;
}

// One run of `text` in `font` and `color`.
void singleRun(StyledText& styled, std::string_view text, FontRole font,
               std::optional<ColorRole> color) {
  resizeRuns(styled, 1);
  setRun(styled[0], text, font, color);
}

// The three runs of a row: name, gap, value.
void writeRow(std::string_view name, std::string_view value, ColorRole valueColor,
              StyledText& text) {
  const std::size_t chars = characterCount(name);
  const std::size_t gap = std::max(kNameColumn > chars ? kNameColumn - chars : 0, kMinimumGap);
  resizeRuns(text, 3);
  setRun(text[0], name, FontRole::monoRegular12, ColorRole::label);
  text[1].text.assign(gap, ' ');
  text[1].font = FontRole::monoRegular12;
  text[1].color.reset();
  setRun(text[2], value, FontRole::monoMedium12, valueColor);
}

// A fan's speed as its row shows it.
std::string fanSpeedText(double rpm) {
  return formatFixed(rpm, 0) + " RPM";
}

// The styled title of an item, kept when the item had one.
StyledText& styledTitleOf(MenuItem& item) {
  if (!item.styledTitle) {
    item.styledTitle.emplace();
  }
  return *item.styledTitle;
}

}  // namespace

// ---- Rows ----

void formatTempInto(std::string_view name, double temp, std::string_view unit, double celsius,
                    StyledText& row) {
  writeRow(name, formatDegrees(temp, 1, unit), temperatureColor(celsius), row);
}

void formatFanInto(std::string_view name, double rpm, StyledText& row) {
  writeRow(name, fanSpeedText(rpm), ColorRole::systemCyan, row);
}

void formatFanErrorInto(std::string_view name, StyledText& row) {
  writeRow(name, "N/A", ColorRole::secondaryLabel, row);
}

// ---- Writing items ----

MenuWriter::~MenuWriter() {
  auto& items = menu_.items;
  if (items.size() > count_) {
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(count_), items.end());
  }
}

MenuItem& MenuWriter::next() {
  auto& items = menu_.items;
  if (count_ == items.size()) {
    items.emplace_back();
  }
  return items[count_++];
}

void MenuWriter::separator() {
  MenuItem& item = next();
  item.isSeparator = true;
  item.title.clear();
  item.styledTitle.reset();
  item.action.reset();
  item.keyEquivalent.clear();
}

MenuItem& MenuWriter::nextInfoItem() {
  MenuItem& item = next();
  item.isSeparator = false;
  item.action.reset();
  item.keyEquivalent.clear();
  return item;
}

void MenuWriter::infoItem(std::string_view title, FontRole font, std::optional<ColorRole> color) {
  MenuItem& item = nextInfoItem();
  item.title.assign(title);
  singleRun(styledTitleOf(item), title, font, color);
}

void MenuWriter::row(std::string_view name, std::string_view value, ColorRole valueColor) {
  MenuItem& item = nextInfoItem();
  writeRow(name, value, valueColor, styledTitleOf(item));
  // The plain title shows the same value text as the styled one: name, a space, the value.
  item.title.assign(name);
  item.title += ' ';
  item.title += value;
}

void MenuWriter::actionItem(std::string_view title, MenuAction action, std::string_view key) {
  MenuItem& item = next();
  item.isSeparator = false;
  item.title.assign(title);
  item.styledTitle.reset();
  item.action = action;
  item.keyEquivalent.assign(key);
}

void MenuWriter::sectionHeader(std::string_view title) {
  infoItem(title, FontRole::bold11, ColorRole::secondaryLabel);
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
    row(reading.name, formatDegrees(temp, 1, unit), temperatureColor(reading.celsius));
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
  singleRun(title, formatDegrees(value, 0, useFahrenheit ? "F" : "C"), FontRole::monoMedium12,
            temperatureColor(first->celsius));
  return true;
}

void buildMenu(const Readings& readings, const MenuState& state, MenuModel& menu) {
  MenuWriter writer(menu, 0);
  writer.infoItem("Quillomatics", FontRole::bold13, std::nullopt);
  writer.separator();
  writer.section("CPU", readings.cpu, state.useFahrenheit);
  writer.section("GPU", readings.gpu, state.useFahrenheit);
  writer.section("OTHER", readings.other, state.useFahrenheit);

  if (!readings.fans.empty()) {
    writer.sectionHeader("FANS");
    for (const FanInfo& fan : readings.fans) {
      const std::string name = "Fan " + std::to_string(fan.index + 1);
      if (fan.actual < 0) {
        writer.row(name, "N/A", ColorRole::secondaryLabel);
      } else {
        writer.row(name, fanSpeedText(fan.actual), ColorRole::systemCyan);
      }
    }
    writer.separator();

    const FanModeInfo& current = fanModeInfo(state.fanMode);
    writer.infoItem(current.modeLine, FontRole::systemMedium12, current.color);
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
