// The simulated machine's physics, by direction: load heats, airflow cools, forced fans follow
// their targets, and the firmware drives the fans when nothing is forced.
#include "sim/thermal_model.h"

#include <gtest/gtest.h>

#include "sim/sim_device.h"
#include "sim/testing/unprivileged.h"

namespace {

class Thermal : public ::testing::Test {
 protected:
  sim::Device make(std::string_view profile) {
    const auto st = sim::createDevice(path, sim::ProfileSource::builtin(profile),
                                      {.frozen = true, .replace = true});
    EXPECT_TRUE(st) << st.error();
    auto d = sim::Device::open(path);
    EXPECT_TRUE(d) << d.error();
    return std::move(*d);
  }
  double value(const sim::Device& d, std::string_view key) { return d.value(key).value_or(-999); }

  sim::testing::SharedTempDir dir;
  std::string path = dir.file("mac.dev");
};

TEST_F(Thermal, MoreLoadMeansHotterAndLessLoadCoolsAgain) {
  auto d = make("MacBookPro16,1");
  const double idle = value(d, "TC0P");
  ASSERT_TRUE(d.setLoad(1.0));
  ASSERT_TRUE(d.advance(30));
  const double busy = value(d, "TC0P");
  EXPECT_GT(busy, idle + 20);
  EXPECT_LT(busy, 130);
  EXPECT_GT(value(d, "TC0P"), value(d, "TA0V"));  // the CPU warms more than the ambient sensor
  ASSERT_TRUE(d.setLoad(0.0));
  ASSERT_TRUE(d.advance(60));
  EXPECT_LT(value(d, "TC0P"), busy - 15);
}

TEST_F(Thermal, OnlyTheNamedSourceTakesTheLoad) {
  auto d = make("MacBookPro16,1");
  const double gpu = value(d, "TG0P");
  const double cpu = value(d, "TC0P");
  ASSERT_TRUE(d.setLoad(1.0, "cpu"));
  ASSERT_TRUE(d.advance(30));
  EXPECT_GT(value(d, "TC0P"), cpu + 20);
  // The GPU takes none of the load; the fans the CPU's heat spins up even cool it a little.
  EXPECT_LT(value(d, "TG0P"), gpu + 0.5);
  EXPECT_FALSE(d.setLoad(0.5, "npu"));
  EXPECT_FALSE(d.setLoad(1.5));
}

TEST_F(Thermal, FirmwareCurveRaisesTheFansWhenNothingIsForced) {
  auto d = make("MacBookPro16,1");
  ASSERT_TRUE(d.advance(10));
  const double min = value(d, "F0Mn");
  EXPECT_NEAR(value(d, "F0Tg"), min, 1);
  EXPECT_NEAR(value(d, "F0Ac"), min, 20);
  ASSERT_TRUE(d.setLoad(1.0));
  ASSERT_TRUE(d.advance(60));
  EXPECT_GT(value(d, "F0Tg"), min + 1000);
  EXPECT_NEAR(value(d, "F0Ac"), value(d, "F0Tg"), 100);
  EXPECT_LE(value(d, "F0Ac"), value(d, "F0Mx") + 1);
}

TEST_F(Thermal, AForcedFanFollowsItsTargetWithInertia) {
  auto d = make("MacBookPro16,1");
  ASSERT_TRUE(d.setBytes("F0Md", std::vector<std::uint8_t>{1}));
  ASSERT_TRUE(d.setValue("F0Tg", 4000));
  ASSERT_TRUE(d.advance(0.5));
  const double early = value(d, "F0Ac");
  EXPECT_GT(early, value(d, "F0Mn") + 50);
  EXPECT_LT(early, 3900);  // not there at once
  ASSERT_TRUE(d.advance(10));
  EXPECT_NEAR(value(d, "F0Ac"), 4000, 5);
  EXPECT_NEAR(value(d, "F0Tg"), 4000, 0.01);            // the firmware leaves a forced target alone
  EXPECT_NEAR(value(d, "F1Ac"), value(d, "F1Mn"), 20);  // fan 1 still runs on the curve
  // Back to automatic: the firmware takes the fan down again.
  ASSERT_TRUE(d.setBytes("F0Md", std::vector<std::uint8_t>{0}));
  ASSERT_TRUE(d.advance(15));
  EXPECT_NEAR(value(d, "F0Ac"), value(d, "F0Mn"), 20);
}

TEST_F(Thermal, TheForcedMaskForcesFansOnMachinesWithoutModeKeys) {
  auto d = make("MacBookPro13,3");
  ASSERT_TRUE(d.setBytes("FS! ", std::vector<std::uint8_t>{0x00, 0x02}));
  ASSERT_TRUE(d.setValue("F1Tg", 5000));  // fpe2
  ASSERT_TRUE(d.advance(15));
  EXPECT_NEAR(value(d, "F1Ac"), 5000, 5);
  EXPECT_NEAR(value(d, "F0Ac"), value(d, "F0Mn"), 20);
  const auto snap = d.snapshot();
  ASSERT_EQ(snap.fans.size(), 2u);
  EXPECT_FALSE(snap.fans[0].forced);
  EXPECT_TRUE(snap.fans[1].forced);
}

TEST_F(Thermal, AirflowCools) {
  auto d = make("MacBookPro16,1");
  ASSERT_TRUE(d.setLoad(0.8));
  for (auto fan : {"F0Md", "F1Md"}) {
    ASSERT_TRUE(d.setBytes(fan, std::vector<std::uint8_t>{1}));
  }
  ASSERT_TRUE(d.setValue("F0Tg", 0));
  ASSERT_TRUE(d.setValue("F1Tg", 0));
  ASSERT_TRUE(d.advance(60));
  const double still = value(d, "TC0P");
  ASSERT_TRUE(d.setValue("F0Tg", 5297));
  ASSERT_TRUE(d.setValue("F1Tg", 4905));
  ASSERT_TRUE(d.advance(60));
  EXPECT_LT(value(d, "TC0P"), still - 5);
}

TEST_F(Thermal, FansThatStopWhenCoolAndMachinesWithoutFans) {
  auto m2 = make("M2Max-MacBookPro16");
  ASSERT_TRUE(m2.advance(10));
  EXPECT_EQ(value(m2, "F0Ac"), 0);
  EXPECT_GT(value(m2, "Tp01"), 20);  // the P-cores are driven, not left at their placeholder
  ASSERT_TRUE(m2.setLoad(1.0));
  ASSERT_TRUE(m2.advance(60));
  EXPECT_GT(value(m2, "F0Ac"), 1000);

  auto air = make("MacBookAir10,1");
  EXPECT_TRUE(air.snapshot().fans.empty());
  const double idle = value(air, "Tp01");
  ASSERT_TRUE(air.setLoad(1.0));
  ASSERT_TRUE(air.advance(120));
  EXPECT_GT(value(air, "Tp01"), idle + 30);
}

TEST_F(Thermal, ElevenFansAreAllModelled) {
  auto d = make("Workstation11Fans");
  ASSERT_EQ(d.snapshot().fans.size(), 11u);
  ASSERT_TRUE(d.setBytes("F10Md", std::vector<std::uint8_t>{1}));
  ASSERT_TRUE(d.setValue("F10Tg", 3333));
  ASSERT_TRUE(d.advance(15));
  EXPECT_NEAR(value(d, "F10Ac"), 3333, 5);
  EXPECT_NEAR(value(d, "F1Ac"), value(d, "F1Mn"), 20);
}

TEST_F(Thermal, AFrozenMachineHoldsStillUntilThawed) {
  auto d = make("MacBookPro16,1");
  const auto before = d.keys();
  d.catchUp();
  ASSERT_TRUE(d.setLoad(1.0));
  d.catchUp();
  const auto after = d.keys();
  ASSERT_EQ(before.size(), after.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(before[i].bytes, after[i].bytes) << before[i].text;
  }
  EXPECT_TRUE(d.snapshot().frozen);
  ASSERT_TRUE(d.setFrozen(false));
  EXPECT_FALSE(d.snapshot().frozen);
}

// However the time is cut (one read after a long pause, or a read every 3 seconds), the machine
// ends in about the same place: the stretch is sliced coarsely, not skipped.
TEST_F(Thermal, ALongStretchEndsWhereManyShortOnesDo) {
  auto once = make("MacBookPro16,1");
  ASSERT_TRUE(once.setLoad(1.0));
  ASSERT_TRUE(once.advance(45));
  const double temp = value(once, "TC0P");
  const double fan = value(once, "F0Ac");
  auto often = make("MacBookPro16,1");
  ASSERT_TRUE(often.setLoad(1.0));
  for (int i = 0; i < 15; ++i) {
    ASSERT_TRUE(often.advance(3));
  }
  EXPECT_NEAR(value(often, "TC0P"), temp, 1.0);
  EXPECT_NEAR(value(often, "F0Ac"), fan, 150);
  EXPECT_GT(fan, value(once, "F0Mn") + 500);  // the fans did spin up on the way
}

TEST(LoadPattern, RepeatsItsStepsInTurn) {
  const sim::layout::PatternStep steps[] = {{0.2, 10}, {0.9, 5}};
  EXPECT_DOUBLE_EQ(sim::model::patternLevel(steps, 0), 0.2);
  EXPECT_DOUBLE_EQ(sim::model::patternLevel(steps, 9.9), 0.2);
  EXPECT_DOUBLE_EQ(sim::model::patternLevel(steps, 10), 0.9);
  EXPECT_DOUBLE_EQ(sim::model::patternLevel(steps, 16), 0.2);
  EXPECT_DOUBLE_EQ(sim::model::patternLevel({}, 3), 0);
}

TEST_F(Thermal, PatternAndHostLoadDriveEverySource) {
  auto d = make("MacBookPro16,1");
  const sim::layout::PatternStep steps[] = {{1.0, 1000}};
  ASSERT_TRUE(d.setLoadPattern(steps));
  ASSERT_TRUE(d.advance(1));
  for (const auto& s : d.snapshot().sources) {
    EXPECT_DOUBLE_EQ(s.load, 1.0) << s.name;
  }
  EXPECT_FALSE(d.setLoadPattern(std::vector<sim::layout::PatternStep>{{1.5, 1}}));
  ASSERT_TRUE(d.setLoadFromHost());
  ASSERT_TRUE(d.advance(0.2));
  ASSERT_TRUE(d.advance(0.2));
  for (const auto& s : d.snapshot().sources) {
    EXPECT_GE(s.load, 0.0);
    EXPECT_LE(s.load, 1.0);
  }
  EXPECT_EQ(d.snapshot().loadMode, sim::layout::LoadMode::host);
}

}  // namespace
