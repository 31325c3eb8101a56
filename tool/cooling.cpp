// The cooling curve and one cycle of the proactive loop.
#include "tool/cooling.h"

#include "smc/smc_client.h"
#include "tool/stop_signals.h"

namespace tool {

namespace {

bool stopping(StopSignals* stop) {
  return stop != nullptr && stop->stopRequested();
}

}  // namespace

double getMaxTemp(ToolState& s, StopSignals* stop) {
  double best = 0.0;
  for (std::string_view key : tempKeys) {
    if (stopping(stop)) {
      break;
    }
    const auto t = readTemp(s, key);
    if (t && *t > 0.0 && *t < 130.0 && best <= *t) {
      best = *t;
    }
  }
  return best;
}

double fanCurve(double t) {
  if (t <= 40.0) {
    return 0.0;
  }
  if (t >= 75.0) {
    return 1.0;
  }
  return (t - 40.0) / 35.0;
}

float fanTarget(float min, float max, float fraction) {
  // Separate statements keep the compiler from fusing the multiply and add.
  const float span = max - min;
  const float scaled = span * fraction;
  const float target = scaled + min;
  return target;
}

void coolingCycle(ToolState& s, StopSignals* stop) {
  const double t = getMaxTemp(s, stop);
  const auto fraction = static_cast<float>(fanCurve(t));
  for (int i = 0; i < s.fanCount; ++i) {
    if (stopping(stop)) {
      return;
    }
    const auto index = static_cast<std::size_t>(i);
    writeFlt(s, smc::fanKey(i, "Tg"), fanTarget(s.fanMin[index], s.fanMax[index], fraction));
  }
}

}  // namespace tool
