// One SMC exchange against the shared simulated device, as a program makes it through the
// Linux IOService: the median and 99th percentile of single exchanges, with this process
// reading alone and with three more processes reading the same device at the same time.
//
//   readers:N    N processes reading at once (this one measures)
//   mapping:0    a connection that may write the device (root): it also moves the model on
//   mapping:1    a read-only connection (an unprivileged user)
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/sim_device.h"
#include "sim/sim_io_service.h"
#include "smc/smc_record.h"

namespace {

std::int64_t nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

smc::SMCKeyData_t readRequest(const char* key, std::uint32_t size) {
  smc::SMCKeyData_t in{};
  in.key = smc::fourCC(key);
  in.data8 = smc::SMC_CMD_READ_BYTES;
  in.keyInfo.dataSize = size;
  return in;
}

// Another process reading the device flat out until it is stopped.
pid_t startReader(const std::string& path) {
  const pid_t pid = fork();
  if (pid == 0) {
    sim::DeviceIOService service(path);
    smc::IOHandle conn = 0;
    if (service.serviceOpen(sim::DeviceIOService::kService, 0, conn) != smc::kIOReturnSuccess) {
      _exit(1);
    }
    const smc::SMCKeyData_t in = readRequest("TC0D", 2);
    for (;;) {
      smc::SMCKeyData_t out{};
      std::size_t size = sizeof out;
      service.callStructMethod(conn, smc::kSMCSelector, &in, sizeof in, &out, &size);
    }
  }
  return pid;
}

void BM_SimExchange(benchmark::State& state) {
  const int readers = static_cast<int>(state.range(0));
  const bool readOnly = state.range(1) == 1;
  char dir[] = "/tmp/quill-sim-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const std::string path = std::string(dir) + "/mac.dev";
  if (!sim::createDevice(path, sim::ProfileSource::builtin("MacBookPro16,1"))) {
    state.SkipWithError("cannot create the device");
    return;
  }
  std::vector<pid_t> others;
  for (int i = 1; i < readers; ++i) {
    others.push_back(startReader(path));
  }

  // Enough exchanges for a steady 99th percentile, without growing without bound.
  constexpr std::size_t kMaxSamples = 1 << 21;
  std::vector<std::int64_t> samples;
  samples.reserve(kMaxSamples);
  const smc::SMCKeyData_t in = readRequest("TC0P", 2);
  if (readOnly) {
    auto device = sim::Device::open(path, sim::Device::Access::readOnly);
    for (auto _ : state) {
      smc::SMCKeyData_t out{};
      const std::int64_t t0 = nowNs();
      benchmark::DoNotOptimize(device->exchange(in, out));
      const std::int64_t t1 = nowNs();
      if (samples.size() < kMaxSamples) {
        samples.push_back(t1 - t0);
      }
    }
  } else {
    sim::DeviceIOService service(path);
    smc::IOHandle conn = 0;
    service.serviceOpen(sim::DeviceIOService::kService, 0, conn);
    for (auto _ : state) {
      smc::SMCKeyData_t out{};
      std::size_t size = sizeof out;
      const std::int64_t t0 = nowNs();
      benchmark::DoNotOptimize(
          service.callStructMethod(conn, smc::kSMCSelector, &in, sizeof in, &out, &size));
      const std::int64_t t1 = nowNs();
      if (samples.size() < kMaxSamples) {
        samples.push_back(t1 - t0);
      }
    }
    service.serviceClose(conn);
  }

  for (pid_t pid : others) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  sim::destroyDevice(path);
  rmdir(dir);

  std::sort(samples.begin(), samples.end());
  if (!samples.empty()) {
    state.counters["median_ns"] = static_cast<double>(samples[samples.size() / 2]);
    state.counters["p99_ns"] = static_cast<double>(samples[samples.size() * 99 / 100]);
  }
}

BENCHMARK(BM_SimExchange)
    ->ArgNames({"readers", "mapping"})
    ->Args({1, 0})
    ->Args({4, 0})
    ->Args({1, 1})
    ->Args({4, 1})
    ->MinTime(1.0);

// What the clock reading around each exchange costs by itself, to subtract in the mind.
void BM_ClockReading(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(nowNs());
  }
}
BENCHMARK(BM_ClockReading);

}  // namespace
