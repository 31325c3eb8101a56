// What a refresh shows, as pure functions of what it gathered and the delegate's state: the
// status title and the whole drop-down menu, with the row texts they are made of. Nothing here
// reads the SMC or keeps state; AppDelegate gathers, keeps the state and calls these.
//
// The builders write into a model they are given and reuse its storage: a refresh rebuilds every
// item, but the strings and run lists of the previous refresh's items take the new texts, so a
// refresh of an unchanged menu shape allocates nothing.
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

// Appends items to a menu, reusing the storage of the items it overwrites: it starts at item
// `start` and, when done, drops every item after the last one it wrote.
class MenuWriter {
 public:
  MenuWriter(MenuModel& menu, std::size_t start) : menu_(menu), count_(start) {}
  ~MenuWriter();
  MenuWriter(const MenuWriter&) = delete;
  MenuWriter& operator=(const MenuWriter&) = delete;

  void separator();
  // An information row (no action) whose plain title is `title` and whose styled title is that
  // text as one run.
  void infoItem(std::string_view title, FontRole font, std::optional<ColorRole> color);
  // An information row of a name and a value in the name column's layout (formatTempInto); the
  // plain title is the name, a space and the value.
  void row(std::string_view name, std::string_view value, ColorRole valueColor);
  void actionItem(std::string_view title, MenuAction action, std::string_view key);

  // A section header row: the title, bold 11 pt in the secondary label colour.
  void sectionHeader(std::string_view title);
  // A temperature section: header, one row per reading in order, a separator; nothing at all
  // for no readings.
  void section(std::string_view title, const std::vector<TempReading>& readings,
               bool useFahrenheit);

 private:
  MenuItem& next();
  // The next item, made an information row: no action, no key.
  MenuItem& nextInfoItem();

  MenuModel& menu_;
  std::size_t count_;
};

// Row texts: a name column of 24 characters (at least two spaces after the name), then the value.
void formatTempInto(std::string_view name, double temp, std::string_view unit, double celsius,
                    StyledText& row);
void formatFanInto(std::string_view name, double rpm, StyledText& row);
void formatFanErrorInto(std::string_view name, StyledText& row);

}  // namespace app
