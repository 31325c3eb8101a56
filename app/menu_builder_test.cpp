// The menu rows: the builders on their own, where the storage of the model they are given is
// reused and what was there before must never show through; and the rows the delegate's refresh
// shows, their layout, texts, styles and actions.
#include "app/menu_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "app/testing/app_test_fixture.h"

namespace app {

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

// ---- The rows the refresh shows ----

TEST_F(AppTest, OneCpuReadingWithoutFans) {
  smc.addSp78("TC0D", 62.3);
  launch();
  ASSERT_TRUE(item().styledTitle);
  EXPECT_EQ(*item().styledTitle,
            (StyledText{{"62\u00B0C", FontRole::monoMedium12, ColorRole::systemOrange}}));
  EXPECT_EQ(titles(),
            (std::vector<std::string>{"Quillomatics", "---", "CPU", "CPU Die 62.3\u00B0C", "---",
                                      "Switch to Fahrenheit", "---", "Quit Quillomatics"}));
  const MenuItem& header = shown().items[0];
  EXPECT_EQ(header.styledTitle, (StyledText{{"Quillomatics", FontRole::bold13, std::nullopt}}));
  EXPECT_FALSE(header.action);
  const MenuItem& unit = itemTitled("Switch to Fahrenheit");
  EXPECT_EQ(unit.action, MenuAction::toggleUnit);
  EXPECT_EQ(unit.keyEquivalent, "u");
  const MenuItem& quit = itemTitled("Quit Quillomatics");
  EXPECT_EQ(quit.action, MenuAction::quitApp);
  EXPECT_EQ(quit.keyEquivalent, "q");
}

TEST_F(AppTest, NoReadingsAndNoFans) {
  platform.defaults.values["useFahrenheit"] = true;
  launch();
  EXPECT_EQ(item().plainTitle, "-- \u00B0C");
  EXPECT_FALSE(item().styledTitle);
  EXPECT_EQ(titles(), (std::vector<std::string>{"Quillomatics", "---", "Switch to Celsius", "---",
                                                "Quit Quillomatics"}));
}

TEST_F(AppTest, FanRows) {
  addUi8(smc, "FNum", 0);
  addFan(smc, 0, 1200.4f, 1000, 6000);
  addFan(smc, 1, 1850.0f, 1000, 6000);
  addFan(smc, 2, 12000.0f, 1000, 6000);
  addFan(smc, 3, 0.0f, 0, 6000);
  launch();
  EXPECT_EQ(titles(),
            (std::vector<std::string>{"Quillomatics", "---", "FANS", "Fan 1 1200 RPM",
                                      "Fan 2 1850 RPM", "Fan 3 N/A", "Fan 4 0 RPM", "---",
                                      "Fans: Auto", "Proactive Cooling", "Fans to Full Speed",
                                      "---", "Switch to Fahrenheit", "---", "Quit Quillomatics"}));
  EXPECT_EQ(itemTitled("Fan 1 1200 RPM").styledTitle, delegate->formatFan("Fan 1", 1200.4f));
  EXPECT_EQ(itemTitled("Fan 3 N/A").styledTitle, delegate->formatFanError("Fan 3"));
  EXPECT_EQ(itemTitled("FANS").styledTitle,
            (StyledText{{"FANS", FontRole::bold11, ColorRole::secondaryLabel}}));
}

TEST_F(AppTest, FanBlockFollowsTheMode) {
  addTwoFans();
  smc.privileged = false;
  launch();
  struct Layout {
    MenuAction action;
    std::string modeText;
    ColorRole color;
    std::vector<std::string> offered;
  };
  const std::vector<Layout> layouts = {
      {MenuAction::setFansMax,
       "Fans: Manual 100%",
       ColorRole::systemOrange,
       {"Switch to Auto", "Proactive Cooling"}},
      {MenuAction::setFansProactive,
       "Fans: Proactive (40-75\u00B0C)",
       ColorRole::systemCyan,
       {"Switch to Auto", "Fans to Full Speed"}},
      {MenuAction::setFansAuto,
       "Fans: Auto",
       ColorRole::systemGreen,
       {"Proactive Cooling", "Fans to Full Speed"}},
  };
  for (const Layout& layout : layouts) {
    delegate->perform(layout.action);
    const auto t = titles();
    auto mode = std::find(t.begin(), t.end(), layout.modeText);
    ASSERT_NE(mode, t.end()) << layout.modeText;
    EXPECT_EQ(std::vector<std::string>(mode + 1, mode + 4),
              (std::vector<std::string>{layout.offered[0], layout.offered[1], "---"}));
    EXPECT_EQ(itemTitled(layout.modeText).styledTitle,
              (StyledText{{layout.modeText, FontRole::systemMedium12, layout.color}}));
  }
  const std::vector<std::tuple<std::string, MenuAction, std::string>> actions = {
      {"Switch to Auto", MenuAction::setFansAuto, "a"},
      {"Proactive Cooling", MenuAction::setFansProactive, "p"},
      {"Fans to Full Speed", MenuAction::setFansMax, "m"}};
  delegate->perform(MenuAction::setFansMax);
  delegate->perform(MenuAction::setFansAuto);
  for (const auto& [title, action, key] : actions) {
    if (title == "Switch to Auto") {
      continue;
    }
    EXPECT_EQ(itemTitled(title).action, action);
    EXPECT_EQ(itemTitled(title).keyEquivalent, key);
  }
}

TEST_F(AppTest, FanBlockDisappearsWithTheFans) {
  addTwoFans();
  launch();
  delegate->setFansMax();
  smc.removeKey("F0Ac");
  smc.removeKey("F1Ac");
  delegate->updateReadings();
  EXPECT_EQ(titles(), (std::vector<std::string>{"Quillomatics", "---", "Switch to Fahrenheit",
                                                "---", "Quit Quillomatics"}));
}

// ---- Row formatting ----

TEST_F(AppTest, NameColumnIsTwentyFourCharactersWide) {
  AppDelegate& app = make();
  const auto gapFor = [&](std::string_view name) {
    return app.formatTemp(name, 40.0, "C", 40.0)[1].text.size();
  };
  EXPECT_EQ(gapFor(std::string(13, 'n')), 11u);
  EXPECT_EQ(gapFor(std::string(22, 'n')), 2u);
  EXPECT_EQ(gapFor(std::string(23, 'n')), 2u);
  EXPECT_EQ(gapFor(std::string(40, 'n')), 2u);
  EXPECT_EQ(gapFor(""), 24u);
  // Characters, not bytes: "é" is two bytes, "e" with a combining accent is two code points.
  EXPECT_EQ(gapFor("Temp\u00E9rature"), 13u);
  EXPECT_EQ(gapFor("Tempe\u0301rature"), 13u);
}

TEST_F(AppTest, RowRunsAndTemperatureColours) {
  AppDelegate& app = make();
  const StyledText row = app.formatTemp("CPU Die", 47.5, "C", 47.5);
  EXPECT_EQ(row, (StyledText{{"CPU Die", FontRole::monoRegular12, ColorRole::label},
                             {std::string(17, ' '), FontRole::monoRegular12, std::nullopt},
                             {"47.5\u00B0C", FontRole::monoMedium12, ColorRole::systemGreen}}));
  const auto color = [&](double c) { return app.formatTemp("x", c, "C", c)[2].color; };
  EXPECT_EQ(color(49.9), ColorRole::systemGreen);
  EXPECT_EQ(color(50.0), ColorRole::systemOrange);
  EXPECT_EQ(color(74.9), ColorRole::systemOrange);
  EXPECT_EQ(color(75.0), ColorRole::systemRed);
  EXPECT_EQ(color(-4.0), ColorRole::systemGreen);
  EXPECT_EQ(color(std::nan("")), ColorRole::systemRed);

  EXPECT_EQ(app.formatTemp("x", 122.0, "F", 50.0)[2],
            (StyledRun{"122.0\u00B0F", FontRole::monoMedium12, ColorRole::systemOrange}));
  EXPECT_EQ(app.formatTemp("x", 32.0, "F", 0.0)[2].color, ColorRole::systemGreen);
  EXPECT_EQ(app.formatTemp("x", 40.0, "C", 40.0)[2].text, "40.0\u00B0C");
  EXPECT_EQ(app.formatTemp("x", 0.05, "C", 0.05)[2].text, "0.1\u00B0C");

  EXPECT_EQ(app.formatFan("Fan 1", 899.6)[2],
            (StyledRun{"900 RPM", FontRole::monoMedium12, ColorRole::systemCyan}));
  const StyledText error = app.formatFanError("Fan 1");
  EXPECT_EQ(error[1].text.size(), 19u);
  EXPECT_EQ(error[2], (StyledRun{"N/A", FontRole::monoMedium12, ColorRole::secondaryLabel}));
}

TEST_F(AppTest, SectionsAddNothingWhenEmptyAndOneSeparatorOtherwise) {
  launch();
  const std::size_t before = delegate->menu()->items.size();
  delegate->addSection("CPU", {});
  EXPECT_EQ(delegate->menu()->items.size(), before);
  delegate->addSection("GPU", {{"GPU Die", 40.0}, {"GPU VRAM", 45.0}});
  const auto& items = delegate->menu()->items;
  ASSERT_EQ(items.size(), before + 4);
  EXPECT_EQ(items[before].title, "GPU");
  EXPECT_EQ(items[before + 1].title, "GPU Die 40.0\u00B0C");
  EXPECT_EQ(items[before + 2].title, "GPU VRAM 45.0\u00B0C");
  EXPECT_TRUE(items[before + 3].isSeparator);
}

}  // namespace

}  // namespace app
