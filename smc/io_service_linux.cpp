// The SMC service on Linux: the simulated Mac's device, at $QUILLOMATICS_SMC_DEVICE or the
// user's default location.
#include "smc/io_service.h"

#include <cstdio>

#include "sim/sim_io_service.h"

namespace smc {

std::unique_ptr<IOService> makeSystemIOService() {
  // Root told to act for a user the kernel does not name works for nobody, and says so.
  if (const sim::ActingUser who = sim::actingUser(); !who.refused.empty()) {
    std::fprintf(stderr, "%s\n", who.refused.c_str());
  }
  return std::make_unique<sim::DeviceIOService>(sim::devicePath());
}

}  // namespace smc
