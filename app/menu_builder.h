// What a refresh shows, as pure functions of what it gathered and the delegate's state: the
// status title and the whole drop-down menu, with the row texts they are made of. Nothing here
// reads the SMC or keeps state; AppDelegate gathers, keeps the state and calls these.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "app/fan_mode.h"
#include "app/menu_model.h"
#include "app/sensors.h"
#include "app/styled_text.h"

namespace app {

// Everything one refresh gathered: the readings of the three sensor groups and the fans.
struct Readings {
  std::vector<TempReading> cpu;
  std::vector<TempReading> gpu;
  std::vector<TempReading> other;
  std::vector<FanInfo> fans;
};

// The delegate's state the menu depends on.
struct MenuState {
  bool useFahrenheit = false;
  FanMode fanMode = FanMode::automatic;
};

// The plain title shown when there is no reading at all, in either unit.
inline constexpr std::string_view kNoReadingTitle = "-- \u00B0C";

// The status title: the first reading of the CPU, GPU, other lists in that order, in the shown
// unit without decimals, coloured by its Celsius value. False (and `title` untouched) when there
// is no reading at all.
bool buildStatusTitle(const Readings& readings, bool useFahrenheit, StyledText& title);

// The whole menu, top to bottom, replacing what `menu` held.
void buildMenu(const Readings& readings, const MenuState& state, MenuModel& menu);
MenuModel buildMenu(const Readings& readings, const MenuState& state);

// Appends items to a menu.
class MenuWriter {
 public:
  explicit MenuWriter(MenuModel& menu) : menu_(menu) {}

  void separator();
  // An information row (no action) with its plain and styled titles.
  void infoItem(std::string_view title, StyledText styled);
  // An information row of a name and a value (as the format*Row functions make it): the plain
  // title is the name, a space and the value text.
  void row(std::string_view name, StyledText styled);
  void actionItem(std::string_view title, MenuAction action, std::string_view key);

  // A section header row: the title, bold 11 pt in the secondary label colour.
  void sectionHeader(std::string_view title);
  // A temperature section: header, one row per reading in order, a separator; nothing at all
  // for no readings.
  void section(std::string_view title, const std::vector<TempReading>& readings,
               bool useFahrenheit);

 private:
  MenuModel& menu_;
};

// Row texts: a name column of 24 characters (at least two spaces after the name), then the value.
StyledText formatTempRow(std::string_view name, double temp, std::string_view unit, double celsius);
StyledText formatFanRow(std::string_view name, double rpm);
StyledText formatFanErrorRow(std::string_view name);

}  // namespace app
