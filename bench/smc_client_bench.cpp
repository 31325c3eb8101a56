// What SMCClient adds to the bare exchanges: readValue against the same two record exchanges made
// by hand, both against the in-process simulated SMC.
#include <benchmark/benchmark.h>

#include "smc/smc_client.h"
#include "smc/testing/fake_smc.h"

namespace {

smc::FakeSMC& machine() {
  static smc::FakeSMC smc = [] {
    smc::FakeSMC s;
    s.addSp78("TC0P", 52.5);
    s.addFlt("F0Ac", 1843.0f);
    return s;
  }();
  return smc;
}

void BM_BareExchanges(benchmark::State& state) {
  // Through the seam's virtual calls, as SMCClient makes them.
  smc::IOService& smc = machine();
  smc::IOHandle conn = 0;
  smc.serviceOpen(smc::FakeSMC::kService, 0, conn);
  for (auto _ : state) {
    smc::SMCKeyData_t in{};
    in.key = smc::fourCC("TC0P");
    in.data8 = smc::SMC_CMD_READ_KEYINFO;
    smc::SMCKeyData_t out{};
    std::size_t size = sizeof out;
    smc.callStructMethod(conn, smc::kSMCSelector, &in, sizeof in, &out, &size);
    smc::SMCKeyData_t in2{};
    in2.key = in.key;
    in2.keyInfo.dataSize = out.keyInfo.dataSize;
    in2.data8 = smc::SMC_CMD_READ_BYTES;
    smc::SMCKeyData_t out2{};
    size = sizeof out2;
    smc.callStructMethod(conn, smc::kSMCSelector, &in2, sizeof in2, &out2, &size);
    benchmark::DoNotOptimize(out2.bytes[0]);
  }
}
BENCHMARK(BM_BareExchanges);

void BM_ReadValue(benchmark::State& state) {
  smc::SMCClient client(machine());
  client.open();
  for (auto _ : state) {
    benchmark::DoNotOptimize(client.readValue("TC0P"));
  }
}
BENCHMARK(BM_ReadValue);

void BM_ReadFanActual(benchmark::State& state) {
  smc::SMCClient client(machine());
  client.open();
  for (auto _ : state) {
    benchmark::DoNotOptimize(client.readFanActual(0));
  }
}
BENCHMARK(BM_ReadFanActual);

}  // namespace
