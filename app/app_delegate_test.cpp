// The application core against the in-process simulated SMC and fakes of the platform.
#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/admin_script.h"
#include "app/testing/app_test_fixture.h"

namespace app {

namespace {

// ---- Gathering ----

TEST_F(AppTest, EmptySensorListReadsNothing) {
  AppDelegate& app = make();
  ASSERT_TRUE(app.smc().open());
  const int before = smc.callCount;
  EXPECT_TRUE(app.gatherTemps({}).empty());
  EXPECT_EQ(smc.callCount, before);
}

TEST_F(AppTest, DuplicatePairKeepsFirstAcceptedKeyInTableOrder) {
  AppDelegate& app = make();
  ASSERT_TRUE(app.smc().open());
  smc.addSp78("TC0P", 45.0);
  smc.addSp78("TC0p", 47.0);
  auto readings = app.gatherTemps(cpuSensors);
  ASSERT_EQ(readings.size(), 1u);
  EXPECT_EQ(readings[0], (TempReading{"CPU Proximity", 45.0}));

  for (double rejected : {0.0, 130.0}) {
    smc.addSp78("TC0P", rejected);
    readings = app.gatherTemps(cpuSensors);
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].celsius, 47.0);
  }
  smc.removeKey("TC0P");
  readings = app.gatherTemps(cpuSensors);
  ASSERT_EQ(readings.size(), 1u);
  EXPECT_EQ(readings[0].celsius, 47.0);
}

TEST_F(AppTest, TemperaturesOutsideTheOpenRangeAreDropped) {
  AppDelegate& app = make();
  ASSERT_TRUE(app.smc().open());
  const std::vector<std::pair<std::string_view, float>> values = {
      {"Tc0a", 0.0f},
      {"Tc1a", -5.0f},
      {"Tc2a", 130.0f},
      {"Tc3a", 250.0f},
      {"Tc4a", std::numeric_limits<float>::quiet_NaN()},
      {"Tc5a", 0.5f},
      {"Tc6a", 129.9f},
      {"Tc7a", std::numeric_limits<float>::infinity()}};
  for (const auto& [key, value] : values) {
    smc.addFlt(key, value);
  }
  const auto readings = app.gatherTemps(cpuSensors);
  EXPECT_EQ(names(readings), (std::vector<std::string>{"CPU Core 6", "CPU Core 7"}));
  EXPECT_TRUE(app.gatherTemps(gpuSensors).empty());
}

TEST_F(AppTest, SameNameMayAppearInTwoCalls) {
  AppDelegate& app = make();
  ASSERT_TRUE(app.smc().open());
  smc.addSp78("TB0T", 30.0);
  EXPECT_EQ(app.gatherTemps(otherSensors).size(), 1u);
  EXPECT_EQ(app.gatherTemps(otherSensors).size(), 1u);
}

TEST_F(AppTest, FanCountZeroProbesFourFansAndLeavesGaps) {
  addFan(smc, 0, 1000, 900, 5000);
  addFan(smc, 1, 1100, 900, 5000);
  addFan(smc, 3, 1300, 900, 5000);
  smc.addFlt("F2Mn", 900);   // no F2Ac: fan 2 is absent
  smc.addFlt("F4Ac", 1400);  // beyond the four probed
  AppDelegate& app = launch();
  EXPECT_EQ(app.fanCount(), 0);
  const auto fans = app.gatherFans();
  ASSERT_EQ(fans.size(), 3u);
  EXPECT_EQ(fans[0].index, 0);
  EXPECT_EQ(fans[1].index, 1);
  EXPECT_EQ(fans[2].index, 3);
}

TEST_F(AppTest, FanCountLimitsTheProbedFans) {
  addUi8(smc, "FNum", 2);
  for (int i = 0; i < 3; ++i) {
    addFan(smc, i, 1000, 900, 5000);
  }
  AppDelegate& app = launch();
  EXPECT_EQ(app.fanCount(), 2);
  EXPECT_EQ(app.gatherFans().size(), 2u);
}

TEST_F(AppTest, ImplausibleFanSpeedsAreReplaced) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float actual, min, max;
    double wantActual, wantMin, wantMax;
  };
  const std::vector<Case> cases = {
      {0.0f, 0.0f, 5000.0f, 0.0, 0.0, 5000.0},
      {10000.0f, -1.0f, 0.0f, -1.0, 0.0, 6500.0},
      {-3.0f, 10000.0f, -2.0f, -1.0, 0.0, 6500.0},
      {nan, nan, nan, -1.0, 0.0, 6500.0},
      {9999.0f, 9999.0f, 10000.0f, 9999.0, 9999.0, 6500.0},
  };
  AppDelegate& app = launch();
  for (const Case& c : cases) {
    addFan(smc, 0, c.actual, c.min, c.max);
    const auto fans = app.gatherFans();
    ASSERT_EQ(fans.size(), 1u);
    EXPECT_EQ(fans[0].actual, c.wantActual) << c.actual;
    EXPECT_EQ(fans[0].min, c.wantMin) << c.min;
    EXPECT_EQ(fans[0].max, c.wantMax) << c.max;
  }
  smc.removeKey("F0Mn");
  smc.removeKey("F0Mx");
  const auto fans = app.gatherFans();
  ASSERT_EQ(fans.size(), 1u);
  EXPECT_EQ(fans[0].min, 0.0);
  EXPECT_EQ(fans[0].max, 6500.0);
}

TEST(TempReading, Fahrenheit) {
  EXPECT_EQ((TempReading{"x", 0.0}).fahrenheit(), 32.0);
  EXPECT_EQ((TempReading{"x", 100.0}).fahrenheit(), 212.0);
  EXPECT_NEAR((TempReading{"x", 37.0}).fahrenheit(), 98.6, 1e-12);
}

// ---- Refresh ----

TEST_F(AppTest, TitleColourBandsAreJudgedOnCelsius) {
  const std::vector<std::pair<double, ColorRole>> bands = {{49.9, ColorRole::systemGreen},
                                                           {50.0, ColorRole::systemOrange},
                                                           {74.9, ColorRole::systemOrange},
                                                           {75.0, ColorRole::systemRed}};
  smc.addFlt("TC0P", 20.0f);
  launch();
  for (const auto& [celsius, color] : bands) {
    smc.addFlt("TC0P", static_cast<float>(celsius));
    delegate->updateReadings();
    ASSERT_TRUE(item().styledTitle);
    EXPECT_EQ((*item().styledTitle)[0].color, color) << celsius;
  }
  smc.addFlt("TC0P", 50.0f);
  delegate->toggleUnit();
  EXPECT_EQ(*item().styledTitle,
            (StyledText{{"122\u00B0F", FontRole::monoMedium12, ColorRole::systemOrange}}));
}

TEST_F(AppTest, TitleRoundsToWholeDegrees) {
  smc.addFlt("TC0P", 52.6f);
  launch();
  EXPECT_EQ(plainText(*item().styledTitle), "53\u00B0C");
}

TEST_F(AppTest, TitleFallsBackToGpuThenOther) {
  smc.addSp78("TG0D", 41.0);
  smc.addSp78("TA0P", 22.0);
  launch();
  EXPECT_EQ(plainText(*item().styledTitle), "41\u00B0C");
  const auto t = titles();
  EXPECT_EQ(std::count(t.begin(), t.end(), "CPU"), 0);
  smc.removeKey("TG0D");
  delegate->updateReadings();
  EXPECT_EQ(plainText(*item().styledTitle), "22\u00B0C");
}

TEST_F(AppTest, StatusItemWithoutButtonStillGetsItsMenu) {
  platform.statusBar.itemsHaveButton = false;
  smc.addSp78("TC0D", 62.3);
  launch();
  EXPECT_FALSE(item().styledTitle);
  EXPECT_FALSE(item().plainTitle);
  EXPECT_EQ(titles().size(), 8u);
}

TEST_F(AppTest, ToggleUnitPersistsAndRefreshes) {
  smc.addSp78("TC0D", 50.0);
  launch();
  EXPECT_FALSE(delegate->useFahrenheit());
  delegate->toggleUnit();
  EXPECT_TRUE(platform.defaults.values.at("useFahrenheit"));
  EXPECT_EQ(plainText(*item().styledTitle), "122\u00B0F");
  EXPECT_EQ(itemTitled("CPU Die 122.0\u00B0F").styledTitle,
            delegate->formatTemp("CPU Die", 122.0, "F", 50.0));
  EXPECT_EQ(titles()[5], "Switch to Celsius");

  // The next start shows the stored unit.
  delegate->applicationWillTerminate();
  launch();
  EXPECT_TRUE(delegate->useFahrenheit());
  delegate->toggleUnit();
  EXPECT_FALSE(platform.defaults.values.at("useFahrenheit"));
  EXPECT_EQ(plainText(*item().styledTitle), "50\u00B0C");
}

// ---- Fan modes ----

TEST_F(AppTest, MaxWritesModesAndTargetsDirectly) {
  addTwoFans();
  launch();
  delegate->setFansMax();
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{1});
  EXPECT_EQ(smc.bytes("F1Md"), std::vector<std::uint8_t>{1});
  EXPECT_EQ(smc.fltValue("F0Tg"), 6000.0f);
  EXPECT_EQ(smc.fltValue("F1Tg"), 5800.0f);
  EXPECT_TRUE(platform.scripts.runs.empty());
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::max);
  EXPECT_TRUE(delegate->fansForced());
  const auto t = titles();
  EXPECT_NE(std::find(t.begin(), t.end(), "Fans: Manual 100%"), t.end());
}

TEST_F(AppTest, MaxWithOneAcceptingFanStillTargetsEveryFan) {
  addTwoFans();
  smc.key("F0Md").refuseWrites = true;
  launch();
  delegate->setFansMax();
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{0});
  EXPECT_EQ(smc.bytes("F1Md"), std::vector<std::uint8_t>{1});
  EXPECT_EQ(smc.fltValue("F0Tg"), 6000.0f);
  EXPECT_EQ(smc.fltValue("F1Tg"), 5800.0f);
  EXPECT_TRUE(platform.scripts.runs.empty());
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::max);
}

TEST_F(AppTest, RefusedWritesFallBackToTheTool) {
  addTwoFans();
  smc.privileged = false;
  launch();
  platform.scripts.result = {true, std::string("OK\n")};
  delegate->setFansMax();
  ASSERT_EQ(platform.scripts.runs.size(), 1u);
  EXPECT_EQ(platform.scripts.runs[0].shellCommand,
            "'/Applications/Quillomatics.app/Contents/MacOS/ventwarden' guard max 4242");
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::max);
  EXPECT_TRUE(delegate->fansForced());

  delegate->setFansAuto();
  ASSERT_EQ(platform.scripts.runs.size(), 2u);
  EXPECT_EQ(platform.scripts.runs[1].shellCommand,
            "'/Applications/Quillomatics.app/Contents/MacOS/ventwarden' auto");
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::automatic);
  EXPECT_FALSE(delegate->fansForced());
}

TEST_F(AppTest, ToolFailuresLeaveTheStateAndMenuAlone) {
  addTwoFans();
  smc.privileged = false;
  launch();
  const std::vector<ScriptResult> failures = {
      {true, std::string("ERR cannot open SMC")},
      {true, std::string("")},
      {true, std::nullopt},
      {true, std::string("ok")},
      {false, std::string("OK")},
  };
  for (const ScriptResult& failure : failures) {
    platform.scripts.result = failure;
    const int updates = item().menuUpdates;
    delegate->setFansMax();
    EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::automatic);
    EXPECT_FALSE(delegate->fansForced());
    EXPECT_EQ(item().menuUpdates, updates);
    // The proactive start is judged by the tool's reply too.
    delegate->setFansProactive();
    EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::automatic);
    // Back to the start for the next case.
    platform.scripts.result = {true, std::string("OK")};
    delegate->setFansAuto();
  }
}

TEST_F(AppTest, NoFansRunsTheToolAtOnce) {
  launch();
  delegate->setFansMax();
  ASSERT_EQ(platform.scripts.runs.size(), 1u);
  EXPECT_EQ(smc.writeCount, 0);
  delegate->setFansAuto();
  EXPECT_EQ(platform.scripts.runs.size(), 2u);
}

TEST_F(AppTest, AutoWritesOnlyModeKeysAfterStoppingTheTool) {
  addTwoFans();
  launch();
  delegate->setFansProactive();
  ASSERT_EQ(platform.scripts.runs.size(), 1u);
  EXPECT_EQ(platform.scripts.runs[0].shellCommand,
            "'/Applications/Quillomatics.app/Contents/MacOS/ventwarden' guard proactive 4242");
  EXPECT_EQ(smc.writeCount, 0);
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::proactive);
  EXPECT_TRUE(delegate->fansForced());

  platform.processes.files[std::string(kProactivePidFile)] = "4711";
  platform.log.clear();
  delegate->setFansAuto();
  EXPECT_EQ(platform.log,
            (EventLog{"kill 4711 15", "remove pid file", "smc write F0Md", "smc write F1Md"}));
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::automatic);
}

TEST_F(AppTest, FailedActionHasStillStoppedTheTool) {
  addTwoFans();
  smc.privileged = false;
  launch();
  delegate->setFansProactive();
  platform.processes.files[std::string(kProactivePidFile)] = "4711\n";
  platform.scripts.result = {false, std::nullopt};
  delegate->setFansMax();
  EXPECT_EQ(platform.processes.signals, (std::vector<std::pair<int, int>>{{4711, 15}}));
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::proactive);
}

// ---- Pid file ----

TEST_F(AppTest, PidFileWithAProcessIdIsSignalledAndRemoved) {
  AppDelegate& app = make();
  for (std::string content : {"4711", "4711\n", "  +4711 \r\n", "\t4711\u2028"}) {
    platform.processes.signals.clear();
    platform.processes.files[std::string(kProactivePidFile)] = content;
    app.stopProactiveHelper();
    EXPECT_EQ(platform.processes.signals, (std::vector<std::pair<int, int>>{{4711, 15}}))
        << content;
    EXPECT_FALSE(platform.processes.files.contains(kProactivePidFile));
  }
  EXPECT_EQ(platform.processes.lastMaxBytes, 64u);
}

TEST_F(AppTest, PidFileWithAnythingElseStays) {
  AppDelegate& app = make();
  for (std::string content :
       {"4711x", "", "   \n", "2147483648", "0", "-0", "-1", "-4711", "-2147483648", "+", "47 11",
        "\xFF"
        "4711"}) {
    platform.processes.files[std::string(kProactivePidFile)] = content;
    app.stopProactiveHelper();
    EXPECT_TRUE(platform.processes.signals.empty()) << content;
    EXPECT_TRUE(platform.processes.files.contains(kProactivePidFile)) << content;
  }
  platform.processes.files.clear();
  app.stopProactiveHelper();
  EXPECT_TRUE(platform.processes.signals.empty());
  EXPECT_TRUE(platform.processes.removed.empty());
}

TEST_F(AppTest, ToolRunningAsRootIsStoppedWithAdministratorRights) {
  AppDelegate& app = make();
  platform.processes.foreignTool = true;
  platform.processes.files[std::string(kProactivePidFile)] = "4711";
  app.stopProactiveHelper();
  EXPECT_EQ(platform.log, (EventLog{"kill 4711 15", "remove pid file", "script"}));
  ASSERT_EQ(platform.scripts.runs.size(), 1u);
  EXPECT_EQ(platform.scripts.runs[0].shellCommand,
            "'/Applications/Quillomatics.app/Contents/MacOS/ventwarden' stop 4711");
  EXPECT_EQ(platform.scripts.runs[0].appleScriptSource,
            "do shell script \"'/Applications/Quillomatics.app/Contents/MacOS/ventwarden' stop "
            "4711\" with administrator privileges");
  // The application's own signal was meant for the bundle's tool only.
  EXPECT_EQ(platform.processes.toolPaths,
            std::vector<std::string>{"/Applications/Quillomatics.app/Contents/MacOS/ventwarden"});
}

TEST_F(AppTest, WithoutAKnownBundlePathNothingRunsWithAdministratorRights) {
  // An application that cannot tell where it runs from would otherwise run
  // ./Contents/MacOS/ventwarden from wherever it was started, as root.
  addTwoFans();
  smc.privileged = false;
  launch();
  platform.processes.foreignTool = true;
  platform.processes.files[std::string(kProactivePidFile)] = "4711";
  for (const std::string path : {"", ".", "Quillomatics.app", "./x.app"}) {
    platform.bundle.path = path;
    delegate->setFansMax();
    delegate->setFansProactive();
    delegate->setFansAuto();
    EXPECT_TRUE(platform.scripts.runs.empty()) << path;
    EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::automatic) << path;
    EXPECT_FALSE(delegate->fansForced()) << path;
  }
}

// ---- Launch and termination ----

TEST_F(AppTest, LaunchShowsTitleAndMenuBeforeTheFirstTick) {
  addTwoFans();
  smc.addSp78("TC0P", 40.0);
  launch();
  EXPECT_EQ(delegate->fanCount(), 2);
  EXPECT_EQ(platform.statusBar.created, 1);
  EXPECT_EQ(platform.statusBar.lastLength, -1.0);
  EXPECT_TRUE(item().styledTitle);
  EXPECT_GT(shown().items.size(), 5u);
  ASSERT_EQ(platform.timers.timers.size(), 1u);
  EXPECT_EQ(platform.timers.timers[0]->interval, 3.0);
  EXPECT_EQ(platform.log, (EventLog{"smc open", "timer scheduled"}));

  smc.addSp78("TC0P", 80.0);
  const int updates = item().menuUpdates;
  platform.timers.fireAll();
  EXPECT_EQ(item().menuUpdates, updates + 1);
  EXPECT_EQ(plainText(*item().styledTitle), "80\u00B0C");
}

TEST_F(AppTest, TickAfterTheDelegateIsGoneDoesNothing) {
  launch();
  const auto timer = platform.timers.timers.at(0);
  delegate.reset();
  const int calls = smc.callCount;
  timer->action();
  EXPECT_EQ(smc.callCount, calls);
}

TEST_F(AppTest, SmcUnavailableShowsOneAlertAndTerminates) {
  smc.serviceMissing = true;
  platform.processes.files[std::string(kProactivePidFile)] = "4711";
  launch();
  ASSERT_EQ(platform.alerts.shown.size(), 1u);
  const Alert& alert = platform.alerts.shown[0];
  EXPECT_EQ(alert.messageText, "Cannot Access SMC");
  EXPECT_EQ(alert.informativeText,
            "Quillomatics could not connect to the System Management Controller.");
  EXPECT_EQ(alert.style, AlertStyle::critical);
  EXPECT_EQ(alert.buttons, std::vector<std::string>{"Quit"});
  EXPECT_EQ(platform.application.terminations, 1);
  EXPECT_EQ(platform.statusBar.created, 0);
  EXPECT_TRUE(platform.timers.timers.empty());
  EXPECT_EQ(delegate->menu(), nullptr);

  platform.log.clear();
  delegate->applicationWillTerminate();
  // No connection was opened, so none is closed.
  EXPECT_EQ(platform.log, (EventLog{"kill 4711 15", "remove pid file"}));
}

TEST_F(AppTest, TerminationOrder) {
  addTwoFans();
  launch();
  delegate->setFansMax();
  platform.processes.files[std::string(kProactivePidFile)] = "4711";
  platform.log.clear();
  delegate->applicationWillTerminate();
  EXPECT_EQ(platform.log,
            (EventLog{"timer invalidated", "kill 4711 15", "remove pid file", "smc write FS! ",
                      "smc write F0Md", "smc write F1Md", "smc close"}));
  EXPECT_EQ(smc.bytes("FS! "), (std::vector<std::uint8_t>{0, 0}));
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{0});
  EXPECT_EQ(smc.bytes("F1Md"), std::vector<std::uint8_t>{0});
}

TEST_F(AppTest, TerminationLeavesFansAloneWhenNotForcedAndIgnoresARefusedMask) {
  addTwoFans();
  launch();
  platform.log.clear();
  delegate->applicationWillTerminate();
  EXPECT_EQ(platform.log, (EventLog{"timer invalidated", "smc close"}));

  launch();
  delegate->setFansMax();
  smc.key("FS! ").refuseWrites = true;
  platform.log.clear();
  delegate->applicationWillTerminate();
  EXPECT_EQ(platform.log.back(), "smc close");
}

// An application without the rights to write fan keys (as always on a Mac) forces the fans
// through the tool's guard, which runs as root: quitting asks for nothing, since the guard hands
// them back the moment the process ends. Fans found forced at launch with nothing holding them
// are handed back at quit through the tool, with one prompt, or the quit says how to.
TEST_F(AppTest, QuitAsksNothingOfAGuardedRunAndHandsBackWhatLaunchFound) {
  addTwoFans();
  smc.privileged = false;
  platform.processes.foreignTool = true;
  launch();
  delegate->setFansMax();
  ASSERT_EQ(delegate->fanMode(), AppDelegate::FanMode::max);
  platform.scripts.runs.clear();
  delegate->applicationWillTerminate();
  EXPECT_TRUE(platform.scripts.runs.empty());
  EXPECT_TRUE(platform.application.reports.empty());
  platform.processes.foreignTool = false;

  const auto playAuto = [this](const AdminScript&) {
    smc.addKey("F0Md", "ui8 ", 1, {0});
    smc.addKey("F1Md", "ui8 ", 1, {0});
  };
  const std::string autoCommand = "'/Applications/Quillomatics.app/Contents/MacOS/ventwarden' auto";
  struct Case {
    ScriptResult atQuit;
    bool sessionEnding;
    std::size_t scripts;  // the hand-back, if any
    bool reported;
  };
  for (const Case& c :
       {Case{{true, "OK"}, false, 1, false}, Case{{false, std::nullopt}, false, 1, true},
        Case{{true, "ERR No SMC"}, false, 1, true}, Case{{true, "OK"}, true, 0, true}}) {
    addTwoFans();
    smc.key("F1Md").bytes = {1};
    platform.processes.files.clear();
    platform.scripts.runs.clear();
    platform.application.reports.clear();
    platform.scripts.result = c.atQuit;
    platform.scripts.onRun = c.atQuit.succeeded && c.atQuit.stringValue == "OK"
                                 ? std::function<void(const AdminScript&)>(playAuto)
                                 : nullptr;
    launch();
    EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::max);
    EXPECT_TRUE(delegate->fansForced());
    if (c.sessionEnding) {
      delegate->sessionWillEnd();
    }
    delegate->applicationWillTerminate();
    ASSERT_EQ(platform.scripts.runs.size(), c.scripts);
    if (c.scripts == 1) {
      EXPECT_EQ(platform.scripts.runs[0].shellCommand, autoCommand);
    }
    if (c.reported) {
      EXPECT_EQ(platform.application.reports,
                std::vector<std::string>{std::string(kFansLeftForced) + autoCommand});
    } else {
      EXPECT_TRUE(platform.application.reports.empty());
      EXPECT_EQ(smc.bytes("F1Md"), std::vector<std::uint8_t>{0});
    }
  }

  // Nothing forced at launch: auto, and no prompt at quit. A forced bit in "FS! " counts as
  // forced, also for a fan whose speed cannot be read.
  addTwoFans();
  platform.scripts.runs.clear();
  platform.scripts.result = {true, "OK"};
  platform.scripts.onRun = nullptr;
  launch();
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::automatic);
  delegate->applicationWillTerminate();
  EXPECT_TRUE(platform.scripts.runs.empty());
  smc.removeKey("F1Ac");
  smc.addKey("FS! ", "ui16", 2, {0, 2});
  launch();
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::max);
  delegate->applicationWillTerminate();
  EXPECT_EQ(platform.scripts.runs.size(), 1u);
}

// A proactive tool running as root and the tool's run go to the administrator as one command; a
// cancelled prompt ends the action with nothing else tried and the state as it was.
TEST_F(AppTest, StopOfARootToolAndTheToolRunShareOnePrompt) {
  addTwoFans();
  launch();
  delegate->setFansProactive();
  platform.processes.foreignTool = true;
  platform.processes.files[std::string(kProactivePidFile)] = "4711";
  const std::string tool = "'/Applications/Quillomatics.app/Contents/MacOS/ventwarden'";
  const std::string stop = tool + " stop 4711 >/dev/null || exit 1; ";

  platform.scripts.runs.clear();
  platform.scripts.result = {false, std::nullopt};  // cancelled
  const int writes = smc.writeCount;
  EXPECT_FALSE(delegate->perform(MenuAction::setFansMax));
  ASSERT_EQ(platform.scripts.runs.size(), 1u);
  EXPECT_EQ(platform.scripts.runs[0].shellCommand, stop + tool + " guard max 4242");
  EXPECT_EQ(smc.writeCount, writes);
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::proactive);

  platform.scripts.result = {true, "OK"};
  EXPECT_TRUE(delegate->perform(MenuAction::setFansAuto));
  EXPECT_EQ(platform.scripts.runs.back().shellCommand, stop + tool + " auto");
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::automatic);
  EXPECT_TRUE(delegate->perform(MenuAction::setFansProactive));
  EXPECT_EQ(platform.scripts.runs.back().shellCommand, stop + tool + " guard proactive 4242");

  // At quit nothing is asked: the root guard this run started hands the fans back.
  platform.scripts.runs.clear();
  delegate->applicationWillTerminate();
  EXPECT_TRUE(platform.scripts.runs.empty());
}

// The mode line starts from what the pid file and the fans say, and follows the tool it shows:
// a tool that ends shows in the next refresh. Another monitor's guard is left to that monitor.
TEST_F(AppTest, TheModeLineFollowsTheToolAndTheFans) {
  addTwoFans();
  platform.processes.files[std::string(kProactivePidFile)] = "5100";
  platform.processes.runningTools.insert(5100);
  platform.processes.arguments[5100] = {"proactive"};
  smc.key("F0Md").bytes = {1};
  launch();
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::proactive);
  EXPECT_TRUE(delegate->fansForced());
  platform.processes.runningTools.erase(5100);  // killed: the fans stay forced
  platform.timers.fireAll();
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::max);
  const auto t = titles();
  EXPECT_NE(std::find(t.begin(), t.end(), "Switch to Auto"), t.end());

  delegate->setFansProactive();
  ASSERT_EQ(delegate->fanMode(), AppDelegate::FanMode::proactive);
  platform.processes.runningTools.clear();  // stopped in order: the fans were handed back
  smc.key("F0Md").bytes = {0};
  smc.key("F1Md").bytes = {0};
  platform.timers.fireAll();
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::automatic);
  EXPECT_FALSE(delegate->fansForced());

  // Another monitor's full-speed guard: shown as it is, neither stopped nor undone at quit.
  platform.processes.files[std::string(kProactivePidFile)] = "5200";
  platform.processes.runningTools.insert(5200);
  platform.processes.arguments[5200] = {"guard", "max", "5199"};
  smc.key("F0Md").bytes = {1};
  launch();
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::max);
  platform.log.clear();
  delegate->applicationWillTerminate();
  EXPECT_EQ(platform.log, (EventLog{"timer invalidated", "smc close"}));
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{1});
}

// A forcing action counts only when the tool says the fans read back forced: otherwise the state
// stays, the user is told why, and fans this process forced itself are not left unguarded.
TEST_F(AppTest, ForcingTheFansDoNotFollowFailsAndSaysSo) {
  addTwoFans();
  smc.removeKey("F0Md");  // a machine forced only through the mask: no mode keys
  smc.removeKey("F1Md");
  launch();
  platform.scripts.result = {false, std::string(kFansNotForced)};
  EXPECT_FALSE(delegate->perform(MenuAction::setFansMax));
  EXPECT_FALSE(delegate->perform(MenuAction::setFansProactive));
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::automatic);
  EXPECT_FALSE(delegate->fansForced());
  EXPECT_EQ(platform.application.failures,
            std::vector<std::string>(2, std::string(kFansNotForcedMessage)));

  platform.application.failures.clear();
  platform.scripts.result = {false, std::string(kPidFileError)};
  EXPECT_FALSE(delegate->perform(MenuAction::setFansProactive));
  EXPECT_EQ(
      platform.application.failures,
      std::vector<std::string>{std::string(kPidFileTakenMessage) + std::string(kProactivePidFile)});

  // Written directly, but no guard would hold them: handed back at once.
  addTwoFans();
  launch();
  platform.processes.toolResult = {false, std::string(kPidFileError)};
  EXPECT_FALSE(delegate->perform(MenuAction::setFansMax));
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{0});
  EXPECT_EQ(smc.bytes("F1Md"), std::vector<std::uint8_t>{0});
  EXPECT_EQ(delegate->fanMode(), AppDelegate::FanMode::automatic);
}

TEST_F(AppTest, QuitAsksTheApplicationToTerminate) {
  launch();
  delegate->perform(MenuAction::quitApp);
  EXPECT_EQ(platform.application.terminations, 1);
}

}  // namespace

}  // namespace app
