// CPU time of one proactive cooling cycle: ten temperature reads and one target write per fan,
// against the in-process simulated SMC.
#include <benchmark/benchmark.h>

#include "smc/testing/fake_smc.h"
#include "tool/cooling.h"
#include "tool/ventwarden.h"

namespace {

// A two-fan laptop: CPU sensors in sp78 and flt, GPU die present, the rest missing as on many
// models, so the cycle pays for failing key-info calls too.
void addMachine(FakeSMC& smc) {
  smc.addKey("FNum", "ui8 ", 1, {2});
  for (const char* f : {"F0", "F1"}) {
    const std::string fan = f;
    smc.addFlt(fan + "Mn", 1200.0f);
    smc.addFlt(fan + "Mx", 6000.0f);
    smc.addKey(fan + "Md", "ui8 ", 1, {1});
    smc.addFlt(fan + "Tg", 1200.0f);
  }
  smc.addSp78("TC0P", 58.25);
  smc.addFlt("TC0E", 61.0f);
  smc.addSp78("TC0D", 63.5);
  smc.addFlt("TG0D", 55.0f);
}

void BM_CoolingCycle(benchmark::State& state) {
  FakeSMC smc;
  addMachine(smc);
  ToolState s(smc);
  smc.serviceOpen(FakeSMC::kService, 0, s.conn);
  s.stride = 80;
  readFanTable(s);
  for (auto _ : state) {
    coolingCycle(s);
  }
  benchmark::DoNotOptimize(smc.writeCount);
}
BENCHMARK(BM_CoolingCycle);

}  // namespace
