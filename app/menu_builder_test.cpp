// The menu builders reuse the storage of the model they are given: what was there before must
// never show through.
#include "app/menu_builder.h"

#include <gtest/gtest.h>

namespace {

Readings fullReadings() {
  Readings r;
  r.cpu = {{"CPU Proximity", 52.6}, {"A name longer than the column", 80.0}};
  r.gpu = {{"GPU Die", 49.9}};
  r.other = {{"Memory Proximity", 75.0}};
  r.fans = {{.index = 0, .actual = 1200.4, .min = 1200, .max = 6000},
            {.index = 2, .actual = -1.0, .min = 0, .max = 6500}};
  return r;
}

TEST(MenuBuilder, RebuildingIntoAnyEarlierMenuGivesWhatAFreshBuildGives) {
  Readings onlyCpu;
  onlyCpu.cpu = {{"CPU Die", 62.3}};
  const std::vector<std::pair<Readings, MenuState>> cases = {
      {fullReadings(), {.useFahrenheit = true, .fanMode = FanMode::max}},
      {fullReadings(), {.useFahrenheit = false, .fanMode = FanMode::automatic}},
      {onlyCpu, {.useFahrenheit = false, .fanMode = FanMode::proactive}},
      {Readings{}, {.useFahrenheit = true, .fanMode = FanMode::automatic}},
      {fullReadings(), {.useFahrenheit = false, .fanMode = FanMode::proactive}},
  };
  for (const auto& [beforeReadings, beforeState] : cases) {
    for (const auto& [readings, state] : cases) {
      MenuModel menu = buildMenu(beforeReadings, beforeState);
      buildMenu(readings, state, menu);
      EXPECT_EQ(menu, buildMenu(readings, state));
    }
  }

  // The layout for one CPU reading without fans, for reference.
  const MenuModel small = buildMenu(onlyCpu, {});
  ASSERT_EQ(small.items.size(), 8u);
  EXPECT_EQ(small.items[3].title, "CPU Die 62.3\u00B0C");
  EXPECT_EQ(small.items[5].title, "Switch to Fahrenheit");
  EXPECT_EQ(small.items[7].title, "Quit Quillomatics");
}

TEST(MenuBuilder, StatusTitleTakesTheFirstListWithAReading) {
  Readings r;
  StyledText title = {{"kept", FontRole::bold11, std::nullopt}};
  EXPECT_FALSE(buildStatusTitle(r, false, title));
  EXPECT_EQ(title[0].text, "kept");
  r.other = {{"Battery", 30.0}};
  r.gpu = {{"GPU Die", 50.0}};
  ASSERT_TRUE(buildStatusTitle(r, true, title));
  EXPECT_EQ(title, (StyledText{{"122\u00B0F", FontRole::monoMedium12, ColorRole::systemOrange}}));
}

}  // namespace
