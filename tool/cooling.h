// The proactive cooling curve: hottest CPU/GPU reading to a fraction between each fan's minimum
// (40 °C and below) and maximum (75 °C and above) speed.
#pragma once

#include <array>
#include <string_view>

#include "tool/tool_smc.h"

namespace tool {

class StopSignals;

// CPU proximity, E-cluster and die, GPU proximity and die, each in both letter cases.
inline constexpr std::array<std::string_view, 10> tempKeys = {
    "TC0P", "TC0p", "TC0E", "TC0e", "TC0D", "TC0d", "TG0P", "TG0p", "TG0D", "TG0d"};

// Hottest reading with 0 < t < 130 among tempKeys, 0.0 when none. With `stop`, gives up between
// keys once a stop is requested.
double getMaxTemp(ToolState& s, StopSignals* stop = nullptr);
double fanCurve(double t);
// (max - min) × fraction + min, each step in single precision.
float fanTarget(float min, float max, float fraction);
// One cycle: read the temperatures, then write every fan's target. Stops between SMC calls once
// a stop is requested, so no write follows the request.
void coolingCycle(ToolState& s, StopSignals* stop = nullptr);

}  // namespace tool
