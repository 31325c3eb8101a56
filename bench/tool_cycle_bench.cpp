// CPU time of one proactive cooling cycle: ten temperature reads and one target write per fan,
// against the in-process simulated SMC and against the shared simulated device the real tool uses.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "sim/sim_device.h"
#include "sim/sim_io_service.h"
#include "smc/testing/fake_smc.h"
#include "tool/cooling.h"
#include "tool/ventwarden.h"

namespace {

// A two-fan laptop: CPU sensors in sp78 and flt, GPU die present, the rest missing as on many
// models, so the cycle pays for failing key-info calls too.
void addMachine(smc::FakeSMC& smc) {
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
  smc::FakeSMC smc;
  addMachine(smc);
  tool::ToolState s(smc);
  s.conn.open(smc);
  s.stride = 80;
  tool::readFanTable(s);
  for (auto _ : state) {
    tool::coolingCycle(s);
  }
  benchmark::DoNotOptimize(smc.writeCount);
}
BENCHMARK(BM_CoolingCycle);

// The same machine as a frozen device file; every exchange goes through the mapping and its lock.
void BM_CoolingCycleSharedDevice(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("bench_tool_cycle." + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "smc.dev").string();
  auto profile = sim::parseProfile(R"(FNum|ui8 |1|80|02
F0Mn|flt |4|80|0000E144
F0Mx|flt |4|80|00E0AB45
F0Md|ui8 |1|D0|01
F0Tg|flt |4|D4|00000000
F1Mn|flt |4|80|0000FA44
F1Mx|flt |4|80|0000C845
F1Md|ui8 |1|D0|01
F1Tg|flt |4|D4|00000000
TC0P|sp78|2|80|3A40
TC0E|flt |4|80|00007442
TC0D|sp78|2|80|3F80
TG0D|flt |4|80|00005C42
)",
                                   "bench.dump");
  sim::CreateOptions options;
  options.frozen = true;
  options.replace = true;
  if (!profile || !sim::createDevice(path, sim::ProfileSource::parsed(*profile), options)) {
    state.SkipWithError("cannot create the simulated device");
    fs::remove_all(dir);
    return;
  }
  {
    sim::DeviceIOService io(path);
    tool::ToolState s(io);
    if (s.conn.open(io) != smc::SMCConnection::OpenResult::opened) {
      state.SkipWithError("cannot open the simulated device");
    } else {
      s.stride = 80;
      tool::readFanTable(s);
      for (auto _ : state) {
        tool::coolingCycle(s);
      }
    }
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_CoolingCycleSharedDevice);

}  // namespace
