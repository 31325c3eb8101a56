// The Prometheus text of a snapshot: its families, labels and the SMC-down form.
#include "app/headless/prometheus.h"

#include <gtest/gtest.h>

namespace app {

namespace {

TEST(Prometheus, LabelValuesAreEscaped) {
  EXPECT_EQ(prometheusLabelValue("a\\b\"c\nd/\u00B0"), "a\\\\b\\\"c\\nd/\u00B0");
}

TEST(Prometheus, EveryFamilyWithHelpAndTypeBeforeItsSamples) {
  SnapshotReadings readings;
  readings.readings = {{"cpu", "TC0P", "CPU Proximity", 53.25},
                       {"other", "TW0P", "Airport/WiFi", 39.5}};
  readings.fans = {{FanInfo{.index = 0, .actual = 2876, .min = 1200, .max = 5700}, true},
                   {FanInfo{.index = 1, .actual = -1, .min = 0, .max = 6500}, false}};
  EXPECT_EQ(prometheusText(readings, FanMode::max, true),
            "# HELP quillomatics_smc_up Whether the SMC could be opened (1) or not (0).\n"
            "# TYPE quillomatics_smc_up gauge\n"
            "quillomatics_smc_up 1\n"
            "# HELP quillomatics_temperature_celsius A temperature sensor of the SMC, in degrees "
            "Celsius.\n"
            "# TYPE quillomatics_temperature_celsius gauge\n"
            "quillomatics_temperature_celsius{group=\"cpu\",key=\"TC0P\",name=\"CPU Proximity\"} "
            "53.25\n"
            "quillomatics_temperature_celsius{group=\"other\",key=\"TW0P\",name=\"Airport/WiFi\"} "
            "39.5\n"
            "# HELP quillomatics_fan_speed_rpm The fan's current speed, in revolutions per "
            "minute.\n"
            "# TYPE quillomatics_fan_speed_rpm gauge\n"
            "quillomatics_fan_speed_rpm{fan=\"0\"} 2876\n"
            "# HELP quillomatics_fan_min_rpm The fan's minimum speed, in revolutions per minute.\n"
            "# TYPE quillomatics_fan_min_rpm gauge\n"
            "quillomatics_fan_min_rpm{fan=\"0\"} 1200\n"
            "quillomatics_fan_min_rpm{fan=\"1\"} 0\n"
            "# HELP quillomatics_fan_max_rpm The fan's maximum speed, in revolutions per minute.\n"
            "# TYPE quillomatics_fan_max_rpm gauge\n"
            "quillomatics_fan_max_rpm{fan=\"0\"} 5700\n"
            "quillomatics_fan_max_rpm{fan=\"1\"} 6500\n"
            "# HELP quillomatics_fan_forced Whether the fan is forced to a target speed (1) or "
            "left to the system (0).\n"
            "# TYPE quillomatics_fan_forced gauge\n"
            "quillomatics_fan_forced{fan=\"0\"} 1\n"
            "quillomatics_fan_forced{fan=\"1\"} 0\n"
            "# HELP quillomatics_fan_mode The application's fan mode: 1 for the current one, 0 "
            "for the others.\n"
            "# TYPE quillomatics_fan_mode gauge\n"
            "quillomatics_fan_mode{mode=\"auto\"} 0\n"
            "quillomatics_fan_mode{mode=\"proactive\"} 0\n"
            "quillomatics_fan_mode{mode=\"max\"} 1\n");
}

// A fanless machine without sensors keeps only the families that have samples; without an SMC
// there is only the one that says so.
TEST(Prometheus, FamiliesWithoutSamplesAreLeftOut) {
  const std::string empty = prometheusText({}, FanMode::automatic, true);
  EXPECT_EQ(empty.find("temperature"), std::string::npos);
  EXPECT_EQ(empty.find("quillomatics_fan_speed"), std::string::npos);
  EXPECT_NE(empty.find("quillomatics_fan_mode{mode=\"auto\"} 1\n"), std::string::npos);
  SnapshotReadings readings;
  readings.readings = {{"cpu", "TC0P", "CPU Proximity", 53}};
  EXPECT_EQ(prometheusText(readings, FanMode::automatic, false),
            "# HELP quillomatics_smc_up Whether the SMC could be opened (1) or not (0).\n"
            "# TYPE quillomatics_smc_up gauge\n"
            "quillomatics_smc_up 0\n");
}

}  // namespace

}  // namespace app
