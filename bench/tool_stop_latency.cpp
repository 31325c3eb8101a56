// Time from SIGTERM to exit of a running `ventwarden proactive`, over many runs against a frozen
// simulated device. The signal is sent at a random moment of the tool's 3-second sleep, where a
// tool that slept the interval out would need up to 3000 ms.
//
// Usage: bench_tool_stop_latency [runs]   (default 60; needs root, as the tool writes the fans)
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_device.h"
#include "tests/support/ventwarden_process.h"

namespace {

constexpr const char* kProfile = R"(FNum|ui8 |1|80|02
F0Mn|flt |4|80|0000E144
F0Mx|flt |4|80|00E0AB45
F0Md|ui8 |1|D0|00
F0Tg|flt |4|D4|00000000
F1Mn|flt |4|80|0000FA44
F1Mx|flt |4|80|0000C845
F1Md|ui8 |1|D0|00
F1Tg|flt |4|D4|00000000
TC0P|sp78|2|80|3980
TG0D|sp78|2|80|3400
)";

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("tool_stop_latency." + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string device = (dir / "smc.dev").string();

  auto profile = sim::parseProfile(kProfile, "bench.dump");
  sim::CreateOptions options;
  options.frozen = true;
  options.replace = true;
  if (!profile || !sim::createDevice(device, sim::ProfileSource::parsed(*profile), options)) {
    std::fprintf(stderr, "cannot create the simulated device\n");
    return 1;
  }

  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delayMs(20, 400);
  std::vector<double> latencies;
  int failures = 0;
  for (int i = 0; i < runs; ++i) {
    auto tool = ToolProcess::start(VENTWARDEN_PATH, {"proactive"}, device);
    if (!tool || tool->readLine(std::chrono::seconds(5)) != "OK") {
      ++failures;
      continue;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
    const auto sent = std::chrono::steady_clock::now();
    tool->signal(SIGTERM);
    const ToolRun run = tool->wait();
    const auto ended = std::chrono::steady_clock::now();
    if (run.exitStatus != 0) {
      ++failures;
      continue;
    }
    latencies.push_back(std::chrono::duration<double, std::milli>(ended - sent).count());
  }
  fs::remove_all(dir);

  if (latencies.empty()) {
    std::fprintf(stderr, "no run completed\n");
    return 1;
  }
  std::sort(latencies.begin(), latencies.end());
  const double median =
      latencies.size() % 2
          ? latencies[latencies.size() / 2]
          : (latencies[latencies.size() / 2 - 1] + latencies[latencies.size() / 2]) / 2;
  std::printf("SIGTERM to exit of ventwarden proactive, %zu runs (%d failed)\n", latencies.size(),
              failures);
  std::printf("  min %.3f ms  median %.3f ms  max %.3f ms  (goal: under 20 ms)\n",
              latencies.front(), median, latencies.back());
  return failures == 0 && latencies.back() < 20.0 ? 0 : 2;
}
