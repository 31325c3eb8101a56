// The SMC service on Linux: the simulated Mac's device, at $QUILLOMATICS_SMC_DEVICE or the
// user's default location.
#include "smc/io_service.h"

#include "sim/sim_io_service.h"

std::unique_ptr<IOService> makeSystemIOService() {
  return std::make_unique<sim::DeviceIOService>(sim::devicePath());
}
