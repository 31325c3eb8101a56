// What smc-sim prints of a machine: `show`'s picture, `show --keys`' table and `fault list`'s
// lines.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_device.h"

// One fault as `fault list` shows it: "read 'TC0P' (one in 3)".
std::string describeFault(const sim::Fault& f);
// Heat sources and load, the modelled temperatures, the fans, the forced mask and the faults.
void printSnapshot(const sim::Snapshot& s, const std::vector<sim::KeyView>& keys);
// Every key: name|type|size|attributes|bytes and its state or value.
void printKeys(const std::vector<sim::KeyView>& keys);
