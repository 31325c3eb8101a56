#include "tool/ventwarden.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "smc/testing/fake_smc.h"
#include "tool/cooling.h"
#include "tool/guard.h"

namespace tool {

namespace {

namespace fs = std::filesystem;

struct Lines final : ToolOutput {
  std::function<void()> onLine;
  std::vector<std::string> lines;
  void line(std::string_view text) override {
    lines.emplace_back(text);
    if (onLine) {
      onLine();
    }
  }
};

// Stops after a number of waits, or when `stopWhen` says so; remembers what armed it saw.
struct ScriptedStop final : StopSignals {
  int waitsBeforeStop = 1;
  std::function<bool()> stopWhen;
  std::function<void()> onArm;
  std::function<void()> onWait;
  std::vector<std::chrono::milliseconds> waits;
  bool requested = false;

  bool arm() override {
    if (onArm) {
      onArm();
    }
    return true;
  }
  bool stopRequested() override { return requested || (stopWhen && stopWhen()); }
  bool waitForStop(std::chrono::milliseconds timeout) override {
    if (onWait) {
      onWait();
    }
    waits.push_back(timeout);
    requested = requested || static_cast<int>(waits.size()) >= waitsBeforeStop;
    return stopRequested();
  }
};

// The guard's process as the test's own: split() answers `side`, reports are kept.
struct FakeLaunch final : GuardLaunch {
  Side side = Side::guard;
  std::optional<std::string> callerGets;
  std::vector<std::string> reports;
  int splits = 0;

  Side split() override {
    ++splits;
    return side;
  }
  std::optional<std::string> awaitReport() override { return callerGets; }
  std::int32_t guardPid() override { return 4711; }
  void report(std::string_view line) override { reports.emplace_back(line); }
};

// The monitor's waits in turn: each gives the next of `wakes` after `beforeWake(n)` ran, and
// "ended" once they are used up.
struct ScriptedMonitor {
  std::vector<MonitorWake> wakes;
  std::function<void(std::size_t n)> beforeWake;
  std::vector<std::chrono::milliseconds> timeouts;
  std::vector<std::int32_t> pinned;
  bool isTheMonitor = true;

  struct Watch final : MonitorWatch {
    explicit Watch(ScriptedMonitor& m) : monitor(m) {}
    MonitorWake wait(int, std::chrono::milliseconds timeout) override {
      const std::size_t n = monitor.timeouts.size();
      monitor.timeouts.push_back(timeout);
      if (monitor.beforeWake) {
        monitor.beforeWake(n);
      }
      return n < monitor.wakes.size() ? monitor.wakes[n] : MonitorWake::ended;
    }
    ScriptedMonitor& monitor;
  };
  std::unique_ptr<MonitorWatch> watch(std::int32_t pid) {
    pinned.push_back(pid);
    return isTheMonitor ? std::make_unique<Watch>(*this) : nullptr;
  }
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// "F0", "F1", ...: the prefix of a fan's keys. Built by appending, because GCC 12 at -O3 warns
// wrongly (-Wrestrict, its bug 105329) about the inlined `"F" + std::to_string(i)`.
std::string fanPrefix(int i) {
  std::string prefix = "F";
  prefix += std::to_string(i);
  return prefix;
}

class VentwardenTest : public ::testing::Test {
 protected:
  VentwardenTest() {
    dir = fs::temp_directory_path() / ("ventwarden_test." + std::to_string(getpid()));
    fs::create_directories(dir);
    pidFile = PidFile((dir / "proactive.pid").string());
    addFans(2);
  }
  ~VentwardenTest() override { fs::remove_all(dir); }

  void addFans(int count) {
    smc.addKey("FNum", "ui8 ", 1, {static_cast<std::uint8_t>(count)});
    for (int i = 0; i < count; ++i) {
      const std::string f = fanPrefix(i);
      smc.addFlt(f + "Mn", 1800.0f + 100.0f * static_cast<float>(i));
      smc.addFlt(f + "Mx", 5500.0f + 100.0f * static_cast<float>(i));
      smc.addKey(f + "Md", "ui8 ", 1, {0});
      smc.addFlt(f + "Tg", 0.0f);
    }
  }

  int run(std::vector<std::string_view> args) {
    ToolPlatform platform{out, stop, pidFile, 4711};
    return runTool(smc, args, platform);
  }
  int guard(std::vector<std::string_view> args) {
    ToolPlatform platform{out, stop, pidFile, 1};
    platform.guardLaunch = &launch;
    platform.watchMonitor = [this](std::int32_t pid) { return monitor.watch(pid); };
    platform.probeTool = [this](std::int32_t pid) {
      return pid == otherTool ? ToolSignal::sent : ToolSignal::noProcess;
    };
    return runTool(smc, args, platform);
  }

  smc::FakeSMC smc;
  Lines out;
  ScriptedStop stop;
  FakeLaunch launch;
  ScriptedMonitor monitor;
  std::int32_t otherTool = 0;  // a tool that runs, as the probe sees it
  fs::path dir;
  PidFile pidFile;
};

TEST_F(VentwardenTest, SmcFailuresComeBeforeTheArgumentCheck) {
  smc.serviceMissing = true;
  EXPECT_EQ(run({}), 1);
  EXPECT_EQ(out.lines, std::vector<std::string>{"ERR No SMC"});
  EXPECT_EQ(smc.openCount, 0);

  smc.serviceMissing = false;
  smc.openResult = smc::kIOReturnNotPrivileged;
  out.lines.clear();
  EXPECT_EQ(run({"max"}), 1);
  EXPECT_EQ(out.lines, std::vector<std::string>{"ERR Can't open SMC"});
  EXPECT_EQ(smc.callCount, 0);
  EXPECT_EQ(smc.writeCount, 0);
}

TEST_F(VentwardenTest, ArgumentLines) {
  EXPECT_EQ(run({}), 1);
  EXPECT_EQ(run({""}), 1);
  EXPECT_EQ(run({"MAX"}), 1);
  EXPECT_EQ(run({"Auto"}), 1);
  EXPECT_EQ(run({"max "}), 1);
  EXPECT_EQ(out.lines,
            (std::vector<std::string>{"Usage: ventwarden [max|auto|proactive]",
                                      "ERR Unknown command: ", "ERR Unknown command: MAX",
                                      "ERR Unknown command: Auto", "ERR Unknown command: max "}));
  EXPECT_EQ(smc.writeCount, 0);
  EXPECT_EQ(smc.openCount, 5);
  EXPECT_EQ(smc.closeCount, 5);  // every exit closes what it opened
}

TEST_F(VentwardenTest, MaxForcesModesAndWritesMaximumTargets) {
  EXPECT_EQ(run({"max", "ignored"}), 0);
  EXPECT_EQ(out.lines, std::vector<std::string>{"OK"});
  for (int i = 0; i < 2; ++i) {
    const std::string f = fanPrefix(i);
    EXPECT_EQ(smc.bytes(f + "Md"), std::vector<std::uint8_t>{1});
    EXPECT_EQ(smc.fltValue(f + "Tg"), 5500.0f + 100.0f * static_cast<float>(i));
  }
  EXPECT_EQ(smc.releaseCount, 1);
  EXPECT_EQ(smc.closeCount, 1);
}

TEST_F(VentwardenTest, AutoReleasesModesAndLeavesTargets) {
  smc.addKey("F0Md", "ui8 ", 1, {1});
  smc.addKey("F1Md", "ui16", 2, {0, 1});  // written with the size its key info reports
  smc.addFlt("F0Tg", 4000.0f);
  EXPECT_EQ(run({"auto"}), 0);
  EXPECT_EQ(out.lines, std::vector<std::string>{"OK"});
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{0});
  EXPECT_EQ(smc.bytes("F1Md"), (std::vector<std::uint8_t>{0, 0}));
  EXPECT_EQ(smc.fltValue("F0Tg"), 4000.0f);
  EXPECT_EQ(smc.writeCount, 2);
}

TEST_F(VentwardenTest, RefusedWritesStillReportOK) {
  smc.privileged = false;
  EXPECT_EQ(run({"max"}), 0);
  EXPECT_EQ(out.lines, std::vector<std::string>{"OK"});
}

TEST_F(VentwardenTest, FanCountFromFirstByteOfFNum) {
  ToolState s(smc);
  s.conn = smc::SMCConnection(s.io, smc::FakeSMC::kConnection);
  s.stride = 80;

  smc.removeKey("FNum");
  readFanTable(s);
  EXPECT_EQ(s.fanCount, 2);
  smc.addKey("FNum", "ui8 ", 0, {});
  readFanTable(s);
  EXPECT_EQ(s.fanCount, 2);
  smc.addKey("FNum", "ui32", 4, {3, 0, 0, 9});  // type not examined
  readFanTable(s);
  EXPECT_EQ(s.fanCount, 3);
  EXPECT_EQ(s.fanMin, (std::vector<float>{1800.0f, 1900.0f, 1800.0f}));
  EXPECT_EQ(s.fanMax, (std::vector<float>{5500.0f, 5600.0f, 5500.0f}));

  smc.addKey("FNum", "ui8 ", 1, {0});
  EXPECT_EQ(run({"max"}), 0);
  EXPECT_EQ(out.lines, std::vector<std::string>{"OK"});
  EXPECT_EQ(smc.writeCount, 0);
}

TEST_F(VentwardenTest, ElevenFansUseTheLastFourBytesOfFiveCharacterKeys) {
  addFans(11);
  EXPECT_EQ(run({"max"}), 0);
  // "F10Tg" packs like "10Tg"; fan 10's maximum was registered under the same code.
  EXPECT_EQ(smc.fltValue("10Tg"), 6500.0f);
  EXPECT_EQ(smc.bytes("10Md"), std::vector<std::uint8_t>{1});
}

TEST_F(VentwardenTest, NonFloatSpeedKeysFallBackAndGetNoTarget) {
  smc.addKey("F0Mn", "fpe2", 2, {0x1C, 0x20});
  smc.addKey("F0Mx", "ui16", 2, {0x15, 0x7C});
  smc.addKey("F0Tg", "fpe2", 2, {0, 0});
  ToolState s(smc);
  s.conn = smc::SMCConnection(s.io, smc::FakeSMC::kConnection);
  s.stride = 80;
  readFanTable(s);
  EXPECT_EQ(s.fanMin[0], 1800.0f);
  EXPECT_EQ(s.fanMax[0], 5500.0f);

  EXPECT_EQ(run({"max"}), 0);
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{1});
  EXPECT_EQ(smc.bytes("F0Tg"), (std::vector<std::uint8_t>{0, 0}));
}

TEST_F(VentwardenTest, SpeedLimitsThatAreNotFiniteOrAreNegativeFallBack) {
  smc.addFlt("F0Mn", std::nanf(""));
  smc.addFlt("F0Mx", std::numeric_limits<float>::infinity());
  smc.addFlt("F1Mn", -1.0f);
  smc.addFlt("F1Mx", 6000.0f);
  EXPECT_EQ(run({"max"}), 0);
  EXPECT_EQ(smc.fltValue("F0Tg"), 5500.0f);
  EXPECT_EQ(smc.fltValue("F1Tg"), 6000.0f);
  ToolState s(smc);
  s.conn = smc::SMCConnection(s.io, smc::FakeSMC::kConnection);
  s.stride = 80;
  readFanTable(s);
  EXPECT_EQ(s.fanMin[0], 1800.0f);
  EXPECT_EQ(s.fanMin[1], 1800.0f);
}

TEST(Cooling, CurveAndTargets) {
  EXPECT_EQ(fanCurve(-5.0), 0.0);
  EXPECT_EQ(fanCurve(40.0), 0.0);
  EXPECT_EQ(fanCurve(57.5), 0.5);
  EXPECT_EQ(fanCurve(75.0), 1.0);
  EXPECT_EQ(fanCurve(200.0), 1.0);
  EXPECT_EQ(fanTarget(1800.0f, 5500.0f, 0.5f), 3650.0f);
  EXPECT_EQ(fanTarget(1800.0f, 5500.0f, 1.0f), 5500.0f);
  // Inverted limits: the formula unchanged, so the target falls as it gets hotter.
  EXPECT_EQ(fanTarget(5000.0f, 2000.0f, 0.5f), 3500.0f);
}

TEST_F(VentwardenTest, HottestValidReadingCounts) {
  ToolState s(smc);
  s.conn = smc::SMCConnection(s.io, smc::FakeSMC::kConnection);
  s.stride = 80;
  EXPECT_EQ(getMaxTemp(s), 0.0);
  smc.addSp78("TC0P", 55.0);
  smc.addFlt("TC0d", 130.0f);         // upper bound excluded
  smc.addFlt("TG0P", std::nanf(""));  // not a reading
  smc.addSp78("TG0D", -3.0);
  smc.addFlt("TG0d", 61.5f);
  smc.addKey("TC0E", "ui8 ", 1, {99});  // not a temperature type here
  EXPECT_EQ(getMaxTemp(s), 61.5);
}

TEST_F(VentwardenTest, ProactiveHandlesSignalsBeforeChangingAnything) {
  bool pidFileAtArm = true;
  int writesAtArm = -1;
  int writesAtOK = -1;
  stop.onArm = [&] {
    pidFileAtArm = fs::exists(pidFile.path());
    writesAtArm = smc.writeCount;
  };
  out.onLine = [&] { writesAtOK = smc.writeCount; };
  smc.addSp78("TC0P", 57.5);
  stop.waitsBeforeStop = 2;

  EXPECT_EQ(run({"proactive"}), 0);
  EXPECT_FALSE(pidFileAtArm);
  EXPECT_EQ(writesAtArm, 0);
  EXPECT_EQ(writesAtOK, 2);  // both fans forced, no target yet
  EXPECT_EQ(out.lines, std::vector<std::string>{"OK"});
  EXPECT_EQ(stop.waits,
            (std::vector<std::chrono::milliseconds>(2, std::chrono::milliseconds(3000))));
  // Two cycles of two targets, two forced modes, then both modes back to automatic.
  EXPECT_EQ(smc.writeCount, 2 + 4 + 2);
  EXPECT_EQ(smc.fltValue("F0Tg"), 3650.0f);
  EXPECT_EQ(smc.bytes("F0Tg"), (std::vector<std::uint8_t>{0x00, 0x20, 0x64, 0x45}));
  EXPECT_EQ(smc.fltValue("F1Tg"), 3750.0f);
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{0});
  EXPECT_EQ(smc.bytes("F1Md"), std::vector<std::uint8_t>{0});
  EXPECT_FALSE(fs::exists(pidFile.path()));
  EXPECT_EQ(smc.closeCount, 1);
}

TEST_F(VentwardenTest, ProactiveTargetsAlongTheCurve) {
  const std::pair<std::optional<double>, float> cases[] = {
      {40.0, 1800.0f}, {57.5, 3650.0f}, {75.0, 5500.0f}, {90.0, 5500.0f}, {std::nullopt, 1800.0f}};
  for (const auto& [celsius, target] : cases) {
    smc.removeKey("TC0P");
    if (celsius) {
      smc.addFlt("TC0P", static_cast<float>(*celsius));
    }
    ScriptedStop once;
    ToolPlatform platform{out, once, pidFile, 4711};
    std::vector<std::string_view> args{"proactive"};
    EXPECT_EQ(runTool(smc, args, platform), 0);
    EXPECT_EQ(smc.fltValue("F0Tg"), target) << celsius.value_or(0.0);
  }
}

TEST_F(VentwardenTest, ProactiveWritesThePidAndStopsWithoutIt) {
  out.onLine = [&] {
    EXPECT_EQ(slurp(pidFile.path()), "4711");
    fs::remove(pidFile.path());  // someone removed it while we ran
  };
  EXPECT_EQ(run({"proactive"}), 0);
  EXPECT_EQ(smc.bytes("F1Md"), std::vector<std::uint8_t>{0});
}

TEST_F(VentwardenTest, ProactiveLeavesASecondInstancesPidFileInPlace) {
  out.onLine = [&] { ASSERT_TRUE(PidFile(pidFile.path()).write(98)); };
  EXPECT_EQ(run({"proactive"}), 0);
  EXPECT_EQ(slurp(pidFile.path()), "98");  // still the way to stop the other instance
}

TEST_F(VentwardenTest, ProactiveThatCannotWriteItsPidFileForcesNothing) {
  // Someone planted a directory at the path: a tool nobody could find would run on for good.
  fs::create_directory(pidFile.path());
  EXPECT_EQ(run({"proactive"}), 1);
  EXPECT_EQ(out.lines, std::vector<std::string>{"ERR Can't write pid file"});
  EXPECT_EQ(smc.writeCount, 0);
  EXPECT_TRUE(stop.waits.empty());
  EXPECT_EQ(smc.closeCount, 1);
}

TEST_F(VentwardenTest, ProactiveStartsOnlyWhileNoOtherToolRuns) {
  // The file names a running tool: it stays that tool's, and nothing is forced.
  ASSERT_TRUE(pidFile.write(98));
  std::vector<std::int32_t> probed;
  ToolSignal answer = ToolSignal::sent;
  ToolPlatform platform{out, stop, pidFile, 4711};
  platform.probeTool = [&](std::int32_t pid) {
    probed.push_back(pid);
    return answer;
  };
  std::vector<std::string_view> args{"proactive"};
  EXPECT_EQ(runTool(smc, args, platform), 1);
  EXPECT_EQ(out.lines, std::vector<std::string>{"ERR Already running"});
  EXPECT_EQ(smc.writeCount, 0);
  EXPECT_EQ(smc.closeCount, 1);
  EXPECT_EQ(slurp(pidFile.path()), "98");
  EXPECT_EQ(probed, std::vector<std::int32_t>{98});
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
      << "a temporary file was left";

  // A stale file (no process, or another program under the id), or one naming this very
  // process, is replaced and the run goes on.
  for (ToolSignal stale : {ToolSignal::noProcess, ToolSignal::notTheTool, ToolSignal::unknown}) {
    answer = stale;
    out.lines.clear();
    ASSERT_TRUE(pidFile.write(98));
    EXPECT_EQ(runTool(smc, args, platform), 0);
    EXPECT_EQ(out.lines, std::vector<std::string>{"OK"});
  }
  answer = ToolSignal::sent;
  probed.clear();
  ASSERT_TRUE(pidFile.write(4711));
  EXPECT_EQ(runTool(smc, args, platform), 0);
  EXPECT_TRUE(probed.empty());
}

TEST_F(VentwardenTest, StopSignalsThroughTheIdentityCheckAndClearsOnlyThatIdsFile) {
  std::vector<std::int32_t> asked;
  ToolSignal answer = ToolSignal::sent;
  ToolPlatform platform{out, stop, pidFile, 1};
  platform.stopTool = [&](std::int32_t pid) {
    asked.push_back(pid);
    return answer;
  };
  const auto stopRun = [&](std::vector<std::string_view> args) {
    out.lines.clear();
    return runTool(smc, args, platform);
  };
  for (std::string_view bad :
       {"", "0", "-1", "+5", "4711x", " 4711", "2147483648", "99999999999", "0x10"}) {
    EXPECT_EQ(stopRun({"stop", bad}), 1) << bad;
    EXPECT_EQ(out.lines, std::vector<std::string>{"ERR Bad process id"}) << bad;
  }
  EXPECT_EQ(stopRun({"stop"}), 1);
  EXPECT_TRUE(asked.empty());

  ASSERT_TRUE(pidFile.write(4711));
  // Cannot look, or signalled and still running after the wait: the file stays, the way to
  // stop it later.
  for (ToolSignal outcome : {ToolSignal::unknown, ToolSignal::stillRunning}) {
    answer = outcome;
    EXPECT_EQ(stopRun({"stop", "4711"}), 1);
    EXPECT_EQ(out.lines, std::vector<std::string>{"ERR Can't stop process"});
    EXPECT_EQ(slurp(pidFile.path()), "4711");
  }

  for (ToolSignal outcome : {ToolSignal::sent, ToolSignal::notTheTool, ToolSignal::noProcess}) {
    answer = outcome;
    ASSERT_TRUE(pidFile.write(4711));
    EXPECT_EQ(stopRun({"stop", "4711"}), 0);
    EXPECT_EQ(out.lines, std::vector<std::string>{"OK"});
    EXPECT_FALSE(fs::exists(pidFile.path()));
    ASSERT_TRUE(pidFile.write(98));  // since replaced by another instance: it stays
    EXPECT_EQ(stopRun({"stop", "4711"}), 0);
    EXPECT_EQ(slurp(pidFile.path()), "98");
  }
  EXPECT_EQ(asked.size(), 8u);
  EXPECT_EQ(asked.front(), 4711);
  EXPECT_EQ(smc.callCount, 0);  // no SMC needed, none opened
}

TEST_F(VentwardenTest, StopRequestedMidCycleEndsBeforeTheNextWrite) {
  smc.addSp78("TC0P", 75.0);
  int callsAtStop = 0;
  stop.stopWhen = [&] {
    // Request the stop after the temperatures and the first fan's target were written.
    if (callsAtStop == 0 && smc.fltValue("F0Tg") == 5500.0f) {
      callsAtStop = smc.callCount;
    }
    return callsAtStop != 0;
  };
  EXPECT_EQ(run({"proactive"}), 0);
  EXPECT_EQ(smc.fltValue("F1Tg"), 0.0f);
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{0});
}

TEST_F(VentwardenTest, ProactiveWithoutFansOnlyReadsTemperatures) {
  addFans(0);
  stop.waitsBeforeStop = 3;
  EXPECT_EQ(run({"proactive"}), 0);
  EXPECT_EQ(out.lines, std::vector<std::string>{"OK"});
  EXPECT_EQ(smc.writeCount, 0);
  EXPECT_EQ(stop.waits.size(), 3u);
}

TEST_F(VentwardenTest, ProactiveForcesAgainAFanTheSystemPutBackToAutomatic) {
  stop.waitsBeforeStop = 3;
  std::vector<std::uint8_t> modesAtWait;
  stop.onWait = [&] {
    modesAtWait.push_back(smc.bytes("F0Md")[0]);
    smc.addKey("F0Md", "ui8 ", 1, {0});  // slept and woke
  };
  EXPECT_EQ(run({"proactive"}), 0);
  EXPECT_EQ(modesAtWait, (std::vector<std::uint8_t>{1, 1, 1}));
  EXPECT_EQ(smc.bytes("F1Md"), std::vector<std::uint8_t>{0});
}

TEST_F(VentwardenTest, GuardMaxHoldsForcesAgainAfterSleepAndHandsBackWhenTheMonitorEnds) {
  smc.addKey("FS! ", "ui16", 2, {0, 0});
  monitor.wakes = {MonitorWake::timedOut, MonitorWake::woken, MonitorWake::timedOut};
  monitor.beforeWake = [&](std::size_t n) {
    EXPECT_EQ(slurp(pidFile.path()), "4711");
    // Forced and at full speed, except right after the wake-up that was no cycle.
    EXPECT_EQ(smc.bytes("F0Md"),
              std::vector<std::uint8_t>{n == 2 ? std::uint8_t{0} : std::uint8_t{1}})
        << n;
    EXPECT_EQ(smc.fltValue("F1Tg"), n == 2 ? 1900.0f : 5600.0f) << n;
    if (n == 1) {
      // Asleep and awake: modes back to automatic, targets at the minimum.
      smc.addKey("F0Md", "ui8 ", 1, {0});
      smc.addFlt("F0Tg", 1800.0f);
      smc.addKey("F1Md", "ui8 ", 1, {0});
      smc.addFlt("F1Tg", 1900.0f);
      smc.addKey("FS! ", "ui16", 2, {0, 2});  // and someone forced fan 1 through the mask
    }
  };
  EXPECT_EQ(guard({"guard", "max", "77"}), 0);
  EXPECT_EQ(out.lines, std::vector<std::string>{});
  EXPECT_EQ(launch.reports, std::vector<std::string>{"OK"});
  EXPECT_EQ(monitor.pinned, std::vector<std::int32_t>{77});
  EXPECT_EQ(monitor.timeouts,
            std::vector<std::chrono::milliseconds>(4, std::chrono::milliseconds(3000)));
  // The hand-back leaves the targets alone.
  EXPECT_EQ(smc.fltValue("F0Tg"), 5500.0f);
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{0});
  EXPECT_EQ(smc.bytes("F1Md"), std::vector<std::uint8_t>{0});
  EXPECT_EQ(smc.bytes("FS! "), (std::vector<std::uint8_t>{0, 0}));
  EXPECT_FALSE(fs::exists(pidFile.path()));
  EXPECT_EQ(smc.closeCount, 1);
}

TEST_F(VentwardenTest, GuardProactiveRunsTheCurveAndHandsBackOnAStop) {
  smc.addSp78("TC0P", 57.5);
  monitor.wakes = {MonitorWake::timedOut, MonitorWake::woken};
  monitor.beforeWake = [&](std::size_t n) {
    EXPECT_EQ(smc.fltValue("F0Tg"), 3650.0f) << n;
    EXPECT_EQ(smc.bytes("F1Md"), std::vector<std::uint8_t>{1}) << n;
    smc.addKey("F1Md", "ui8 ", 1, {0});
    stop.requested = n == 1;  // signal 15 or 2 wakes the second wait
  };
  EXPECT_EQ(guard({"guard", "proactive", "77"}), 0);
  EXPECT_EQ(launch.reports, std::vector<std::string>{"OK"});
  EXPECT_EQ(monitor.timeouts.size(), 2u);
  EXPECT_EQ(smc.bytes("F0Md"), std::vector<std::uint8_t>{0});
  EXPECT_EQ(smc.bytes("F1Md"), std::vector<std::uint8_t>{0});
  EXPECT_FALSE(fs::exists(pidFile.path()));
}

TEST_F(VentwardenTest, GuardThatCannotHoldTheFansLeavesNothingBehind) {
  // Arguments: nothing starts.
  EXPECT_EQ(guard({"guard"}), 1);
  EXPECT_EQ(guard({"guard", "auto", "77"}), 1);
  EXPECT_EQ(guard({"guard", "max", "0"}), 1);
  EXPECT_EQ(guard({"guard", "max"}), 1);
  EXPECT_EQ(out.lines, (std::vector<std::string>{std::string(kUsageLine), std::string(kUsageLine),
                                                 "ERR Bad process id", "ERR Bad process id"}));
  EXPECT_EQ(launch.splits, 0);

  // A process that is not the monitor: nothing opened, nothing forced.
  monitor.isTheMonitor = false;
  EXPECT_EQ(guard({"guard", "max", "77"}), 1);
  EXPECT_EQ(launch.reports, std::vector<std::string>{"ERR Not the monitor"});
  EXPECT_EQ(smc.openCount, 0);

  // Another tool drives the fans: the guard does not start beside it, and its file stays.
  monitor.isTheMonitor = true;
  launch.reports.clear();
  otherTool = 98;
  ASSERT_TRUE(pidFile.write(98));
  EXPECT_EQ(guard({"guard", "max", "77"}), 1);
  EXPECT_EQ(launch.reports, std::vector<std::string>{"ERR Already running"});
  EXPECT_EQ(smc.writeCount, 0);
  EXPECT_EQ(slurp(pidFile.path()), "98");
  EXPECT_EQ(smc.closeCount, 1);
  otherTool = 0;
  fs::remove(pidFile.path());

  // No mode keys, only the mask (MacBookPro13,3): the fans cannot be held, so they are handed
  // back at once and nothing keeps running.
  monitor.isTheMonitor = true;
  launch.reports.clear();
  smc.removeKey("F0Md");
  smc.removeKey("F1Md");
  smc.addKey("FS! ", "ui16", 2, {0, 0});
  EXPECT_EQ(guard({"guard", "max", "77"}), 1);
  EXPECT_EQ(launch.reports, std::vector<std::string>{"ERR Fans not forced"});
  EXPECT_TRUE(monitor.timeouts.empty());
  EXPECT_FALSE(fs::exists(pidFile.path()));
  EXPECT_EQ(smc.closeCount, 2);

  // The caller's side ends with the guard's line, or with its own when the guard said nothing.
  launch.side = GuardLaunch::Side::caller;
  const std::pair<std::optional<std::string>, int> replies[] = {
      {"OK", 0}, {"ERR Not the monitor", 1}, {std::nullopt, 1}};
  for (const auto& [reply, status] : replies) {
    out.lines.clear();
    launch.callerGets = reply;
    EXPECT_EQ(guard({"guard", "proactive", "77"}), status);
    EXPECT_EQ(out.lines, std::vector<std::string>{reply.value_or("ERR Guard did not start")});
  }
}

}  // namespace

}  // namespace tool
