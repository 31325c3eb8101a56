// The headless snapshot: its gathering with keys, its JSON, the one-run unit and the options.
#include "app/headless/snapshot.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/headless/headless_options.h"
#include "app/headless/unit_defaults.h"
#include "app/testing/fake_platform.h"
#include "smc/testing/fake_smc.h"

namespace app {

namespace {

TEST(SnapshotJson, EscapesStrings) {
  EXPECT_EQ(jsonString("a\"b\\c\n\x01\u00B0"), "\"a\\\"b\\\\c\\n\\u0001\u00B0\"");
}

TEST(SnapshotJson, NumbersReadBackExactly) {
  EXPECT_EQ(decimalNumber(53.0), "53");
  EXPECT_EQ(decimalNumber(-1.0), "-1");
  EXPECT_EQ(decimalNumber(47.25), "47.25");
  // A float's value, not its rounding to a few digits.
  EXPECT_EQ(decimalNumber(static_cast<float>(41.3)), "41.29999923706055");
}

TEST(SnapshotJson, TitleMenuStateReadingsAndFans) {
  smc::FakeSMC smc;
  FakePlatform platform(smc);
  auto delegate = std::make_shared<AppDelegate>(platform.environment());
  RecordingStatusItem::Title title;
  title.plain = "-- \u00B0C";
  MenuModel menu;
  MenuItem header;
  header.title = "FANS";
  header.styledTitle = StyledText{{"FANS", FontRole::bold11, ColorRole::secondaryLabel},
                                  {"  ", FontRole::monoRegular12, std::nullopt}};
  menu.addItem(header);
  menu.addItem(MenuItem::separatorItem());
  MenuItem quit;
  quit.title = "Quit Quillomatics";
  quit.action = MenuAction::quitApp;
  quit.keyEquivalent = "q";
  menu.addItem(quit);
  SnapshotReadings readings;
  readings.readings = {{"cpu", "TC0p", "CPU Proximity", 47.5}, {"other", "TB0T", "Battery", 30}};
  readings.fans = {{FanInfo{.index = 0, .actual = -1, .min = 0, .max = 6500}, false},
                   {FanInfo{.index = 2, .actual = 1200.5, .min = 1200, .max = 5700}, true}};
  EXPECT_EQ(snapshotJson(title, menu, *delegate, readings),
            "{\"title\": {\"plain\": \"-- \u00B0C\"}, \"menu\": ["
            "{\"title\": \"FANS\", \"runs\": [{\"text\": \"FANS\", \"font\": \"bold-11\", "
            "\"color\": \"secondaryLabel\"}, {\"text\": \"  \", \"font\": \"mono-12-regular\", "
            "\"color\": null}], \"action\": null, \"key\": \"\"}, "
            "{\"separator\": true}, "
            "{\"title\": \"Quit Quillomatics\", \"runs\": null, \"action\": \"quitApp\", "
            "\"key\": \"q\"}], "
            "\"state\": {\"fanMode\": \"auto\", \"fansForced\": false, \"useFahrenheit\": false, "
            "\"fanCount\": 0}, \"schema\": 1, \"readings\": ["
            "{\"group\": \"cpu\", \"key\": \"TC0p\", \"name\": \"CPU Proximity\", "
            "\"celsius\": 47.5}, "
            "{\"group\": \"other\", \"key\": \"TB0T\", \"name\": \"Battery\", \"celsius\": 30}], "
            "\"fans\": [{\"index\": 0, \"actual\": -1, \"min\": 0, \"max\": 6500, "
            "\"forced\": false}, "
            "{\"index\": 2, \"actual\": 1200.5, \"min\": 1200, \"max\": 5700, \"forced\": true}]}");

  RecordingStatusItem::Title styled;
  styled.styled = StyledText{{"62\u00B0C", FontRole::monoMedium12, ColorRole::systemOrange}};
  EXPECT_TRUE(snapshotJson(styled, MenuModel{}, *delegate, {})
                  .starts_with("{\"title\": {\"runs\": [{\"text\": \"62\u00B0C\", \"font\": "
                               "\"mono-12-medium\", \"color\": \"systemOrange\"}]}, \"menu\": []"));
}

// The key kept for a name is the one whose value the menu shows: a duplicate pair's first key
// that reads a plausible value, and each fan is forced by its mode key or by its mask bit.
TEST(SnapshotReadings, KeysAreTheRowsTheMenuShows) {
  smc::FakeSMC smc;
  smc.addFlt("TC0P", 130.0f);  // out of range: the name is filled from its second key
  smc.addFlt("TC0p", 47.5f);
  smc.addFlt("TC0D", 61.0f);
  smc.addFlt("TG0P", 45.0f);  // both keys plausible: the first stands
  smc.addFlt("TG0p", 49.0f);
  smc.addFlt("TB0T", 30.25f);
  for (int i = 0; i < 3; ++i) {
    smc.addFlt(smc::fanKey(i, "Ac"), i == 2 ? 12000.0f : 1800.0f);
    smc.addFlt(smc::fanKey(i, "Mn"), 1200.0f);
    smc.addFlt(smc::fanKey(i, "Mx"), 5700.0f);
    smc.addKey(smc::fanKey(i, "Md"), "ui8 ", 1, {static_cast<std::uint8_t>(i == 0 ? 1 : 0)});
  }
  smc.addKey("FNum", "ui8 ", 1, {3});
  smc.addKey("FS! ", "ui16", 2, {0x00, 0x02});  // fan 1's bit
  FakePlatform platform(smc);
  auto delegate = std::make_shared<AppDelegate>(platform.environment());
  delegate->applicationDidFinishLaunching();

  const SnapshotReadings got = gatherSnapshotReadings(*delegate);
  std::vector<std::string> rows;
  for (const SnapshotReading& r : got.readings) {
    rows.push_back(std::string(r.group) + " " + std::string(r.key) + " " + std::string(r.name) +
                   " " + decimalNumber(r.celsius));
  }
  EXPECT_EQ(rows,
            (std::vector<std::string>{"cpu TC0p CPU Proximity 47.5", "cpu TC0D CPU Die 61",
                                      "gpu TG0P GPU Proximity 45", "other TB0T Battery 30.25"}));
  std::vector<TempReading> menuRows = delegate->gatherTemps(cpuSensors);
  for (const auto& group :
       {delegate->gatherTemps(gpuSensors), delegate->gatherTemps(otherSensors)}) {
    menuRows.insert(menuRows.end(), group.begin(), group.end());
  }
  ASSERT_EQ(menuRows.size(), got.readings.size());
  for (std::size_t i = 0; i < menuRows.size(); ++i) {
    EXPECT_EQ(menuRows[i].name, got.readings[i].name);
    EXPECT_EQ(menuRows[i].celsius, got.readings[i].celsius);
  }
  ASSERT_EQ(got.fans.size(), 3u);
  EXPECT_EQ(got.fans[2].info, (FanInfo{.index = 2, .actual = -1, .min = 1200, .max = 5700}));
  EXPECT_EQ((std::vector<bool>{got.fans[0].forced, got.fans[1].forced, got.fans[2].forced}),
            (std::vector<bool>{true, true, false}));
}

TEST(OneRunUnitDefaults, AnswersTheRunsUnitAndKeepsThePersistedOne) {
  FakeDefaults persisted;
  persisted.setBool(false, kUseFahrenheitKey);
  persisted.setBool(true, "other");
  OneRunUnitDefaults once(persisted, true);
  EXPECT_TRUE(once.boolForKey(kUseFahrenheitKey));
  EXPECT_TRUE(once.boolForKey("other"));
  once.setBool(false, kUseFahrenheitKey);
  once.setBool(false, "other");
  EXPECT_FALSE(persisted.boolForKey(kUseFahrenheitKey));
  EXPECT_TRUE(persisted.boolForKey("other"));
}

std::optional<HeadlessOptions> parse(std::vector<std::string> args) {
  args.insert(args.begin(), "Quillomatics");
  std::vector<char*> argv;
  for (auto& a : args) {
    argv.push_back(a.data());
  }
  HeadlessOptions options;
  for (int i = 1; i < static_cast<int>(argv.size()); ++i) {
    if (parseHeadlessArgument(static_cast<int>(argv.size()), argv.data(), i, options) !=
        ArgumentParse::taken) {
      return std::nullopt;
    }
  }
  return headlessOptionsAgree(options) ? std::optional(options) : std::nullopt;
}

TEST(HeadlessOptions, WhatGoesTogether) {
  const auto snapshot =
      parse({"--snapshot", "--do", "setFansMax", "--format", "prometheus", "--unit", "fahrenheit"});
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(snapshot->actions, std::vector<MenuAction>{MenuAction::setFansMax});
  EXPECT_EQ(snapshot->format, SnapshotFormat::prometheus);
  EXPECT_EQ(snapshot->useFahrenheit, true);
  const auto textfile = parse({"--textfile", "/x/q.prom", "--interval", "0.5"});
  ASSERT_TRUE(textfile);
  EXPECT_EQ(textfile->textfileInterval(), 0.5);
  EXPECT_EQ(parse({"--textfile", "q.prom"})->textfileInterval(), 3.0);

  for (const auto& wrong : std::vector<std::vector<std::string>>{
           {"--textfile", "q.prom", "--do", "setFansMax"},  // the exporter never drives the fans
           {"--textfile", "q.prom", "--snapshot"},
           {"--textfile", "q.prom", "--format", "json"},
           {"--snapshot", "--interval", "5"},
           {"--textfile", "q.prom", "--interval", "0"},
           {"--textfile", "q.prom", "--interval", "5s"},
           {"--textfile", "q.prom", "--interval", "nan"},
           {"--snapshot", "--unit", "kelvin"},
           {"--snapshot", "--format", "xml"},
           {"--snapshot", "--do", "quitApp"},
           {"--snapshot", "--unit"}}) {
    EXPECT_FALSE(parse(wrong)) << wrong[wrong.size() - 2] << " " << wrong.back();
  }
}

}  // namespace

}  // namespace app
