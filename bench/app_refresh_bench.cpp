// One full refresh (gathering, title, menu model, every row's styled text) against the shared
// simulated device, beside the bare cost of the same SMC exchanges replayed on their own. The
// difference is what menu building and formatting add; the goal is under a quarter of the
// exchanges' cost.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/app_delegate.h"
#include "app/testing/fake_platform.h"
#include "sim/sim_device.h"
#include "sim/sim_io_service.h"
#include "smc/testing/fake_smc.h"

namespace {

// A status item that takes the title and menu by reference and keeps nothing, so that the
// figures are the core's own.
class DiscardingStatusItem final : public app::StatusItem {
 public:
  bool hasButton() const override { return true; }
  void setTitle(std::string_view title) override { benchmark::DoNotOptimize(title.data()); }
  void setAttributedTitle(const app::StyledText& title) override {
    benchmark::DoNotOptimize(title.data());
  }
  void setMenu(const app::MenuModel& menu) override { benchmark::DoNotOptimize(menu.items.data()); }
};

class DiscardingStatusBar final : public app::StatusBar {
 public:
  std::unique_ptr<app::StatusItem> statusItemWithLength(double) override {
    return std::make_unique<DiscardingStatusItem>();
  }
};

// A frozen MacBookPro16,1 device for the whole run, a delegate reading it through the device
// service directly, and the exchanges one refresh makes.
struct Fixture {
  Fixture() {
    char pattern[] = "/tmp/quill-bench-XXXXXX";
    dir = mkdtemp(pattern);
    path = dir + "/smc.dev";
    sim::CreateOptions options;
    options.frozen = true;
    if (!sim::createDevice(path, sim::ProfileSource::builtin("macbookpro16-1"), options)) {
      std::abort();
    }
    io = std::make_unique<sim::DeviceIOService>(path);
    fakes = std::make_unique<app::FakePlatform>(*io);
    app::AppEnvironment env = fakes->environment();
    delegate = std::make_shared<app::AppDelegate>(
        app::AppEnvironment{*io, statusBar, env.alerts, env.timers, env.defaults, env.bundle,
                            env.scripts, env.processes, env.application});
    delegate->applicationDidFinishLaunching();

    // The exchanges of one refresh, recorded on a connection of their own.
    smc::RecordingIOService recorder(*io);
    app::FakePlatform recording(recorder);
    auto observed = std::make_shared<app::AppDelegate>(recording.environment());
    observed->applicationDidFinishLaunching();
    recorder.exchanges.clear();
    observed->updateReadings();
    exchanges = recorder.exchanges;
    observed->applicationWillTerminate();
  }
  ~Fixture() {
    delegate->applicationWillTerminate();
    std::filesystem::remove_all(dir);
  }

  std::string dir, path;
  std::unique_ptr<sim::DeviceIOService> io;
  std::unique_ptr<app::FakePlatform> fakes;
  DiscardingStatusBar statusBar;
  std::shared_ptr<app::AppDelegate> delegate;
  std::vector<smc::RecordedExchange> exchanges;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_UpdateReadings(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    f.delegate->updateReadings();
    benchmark::DoNotOptimize(f.delegate->menu());
  }
  state.counters["exchanges"] = static_cast<double>(f.exchanges.size());
  state.counters["menuItems"] = static_cast<double>(f.delegate->menu()->items.size());
}
BENCHMARK(BM_UpdateReadings)->Unit(benchmark::kMicrosecond);

// The same refresh as the running monitor meets it after 3 seconds asleep: with every cache
// emptied first (other programs' data pushed it out), so that what the refresh touches, not
// only what it computes, is counted. The eviction itself is not timed.
void BM_UpdateReadingsColdCaches(benchmark::State& state) {
  Fixture& f = fixture();
  // Larger than any last-level cache this runs on, walked a line at a time.
  static std::vector<unsigned char> evict(std::size_t{64} << 20, 1);
  unsigned sum = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t i = 0; i < evict.size(); i += 64) {
      evict[i] = static_cast<unsigned char>(evict[i] + 1);
      sum += evict[i];
    }
    state.ResumeTiming();
    f.delegate->updateReadings();
    benchmark::DoNotOptimize(f.delegate->menu());
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_UpdateReadingsColdCaches)->Unit(benchmark::kMicrosecond)->Iterations(500);

// The same exchanges, in the same order, straight to the device: no decoding, no menu.
void BM_BareExchanges(benchmark::State& state) {
  Fixture& f = fixture();
  smc::IOHandle connection = 0;
  smc::IOHandle service = f.io->getMatchingService("AppleSMC");
  f.io->serviceOpen(service, 0, connection);
  f.io->objectRelease(service);
  smc::SMCKeyData_t output{};
  for (auto _ : state) {
    for (const smc::RecordedExchange& e : f.exchanges) {
      std::size_t size = sizeof output;
      benchmark::DoNotOptimize(
          f.io->callStructMethod(connection, e.selector, &e.input, e.inputSize, &output, &size));
    }
  }
  f.io->serviceClose(connection);
  state.counters["exchanges"] = static_cast<double>(f.exchanges.size());
}
BENCHMARK(BM_BareExchanges)->Unit(benchmark::kMicrosecond);

// Only the reading part of the refresh (the SMC client's decoding included), to tell the SMC
// layer's share from the menu's.
void BM_GatherOnly(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.delegate->gatherTemps(app::cpuSensors));
    benchmark::DoNotOptimize(f.delegate->gatherTemps(app::gpuSensors));
    benchmark::DoNotOptimize(f.delegate->gatherTemps(app::otherSensors));
    benchmark::DoNotOptimize(f.delegate->gatherFans());
  }
}
BENCHMARK(BM_GatherOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
