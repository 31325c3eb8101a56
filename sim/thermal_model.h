// The simulated Mac's physics: heat sources that warm with load and cool with airflow, fans that
// spin up and down towards their targets, and the firmware's own fan curve when no fan is forced.
#pragma once

#include <cstdint>
#include <span>

#include "sim/device_layout.h"
#include "sim/profile.h"
#include "sim/result.h"

namespace sim::model {

// Fills the model part of a new device's header from the profile and its key table (already
// in `keys`, sorted by code). Key bytes are left exactly as the profile recorded them.
Status setUp(layout::Header& header, std::span<layout::KeyEntry> keys, const Profile& profile);

// Moves the machine on by `seconds` and writes the new temperatures, fan speeds and, for fans
// the firmware drives, targets into their keys. Fans and temperatures follow each other in at
// most a couple of dozen slices, so the cost does not grow with the time that passed. Samples
// this computer's load first when the machine follows it; `nowNs` places a load pattern in time.
void run(layout::Header& header, std::span<layout::KeyEntry> keys, double seconds,
         std::int64_t nowNs);

// The level a load pattern gives `elapsed` seconds after it started.
double patternLevel(std::span<const layout::PatternStep> steps, double elapsed);

// Index of a key in the sorted table, layout::kNoKey when absent.
std::uint32_t findKey(std::span<const layout::KeyEntry> keys, std::uint32_t code);

}  // namespace sim::model
