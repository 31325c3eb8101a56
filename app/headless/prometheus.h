// The snapshot's readings in Prometheus' text exposition format, for a scrape or for
// node_exporter's textfile collector. Every family is a gauge; temperatures are in degrees
// Celsius whatever unit the menu shows.
#pragma once

#include <string>
#include <string_view>

#include "app/headless/snapshot.h"

namespace app {

// `text` as a label value goes between double quotes: backslash, double quote and line feed
// escaped, everything else (UTF-8 included) as it is.
std::string prometheusLabelValue(std::string_view text);

// Every family with its HELP and TYPE lines, then its samples:
//   quillomatics_smc_up                                  1, or 0 with nothing else
//   quillomatics_temperature_celsius{group,key,name}     one per reading, in menu order
//   quillomatics_fan_speed_rpm{fan}                      fans whose speed is plausible
//   quillomatics_fan_min_rpm{fan}, _max_rpm{fan}         as gathered
//   quillomatics_fan_forced{fan}                         1 or 0
//   quillomatics_fan_mode{mode}                          1 for `mode`, 0 for the other two
// `fan` is the SMC's fan number (0 for the menu's Fan 1). A family without samples is left out.
std::string prometheusText(const SnapshotReadings& readings, FanMode mode, bool smcUp);

}  // namespace app
