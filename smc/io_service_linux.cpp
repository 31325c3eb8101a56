// Placeholder until the simulated SMC device exists: no service is found.
#include "smc/io_service.h"

namespace {

class NoSMCService final : public IOService {
 public:
  IOHandle getMatchingService(std::string_view) override { return 0; }
  IOReturn serviceOpen(IOHandle, std::uint32_t, IOHandle&) override { return kIOReturnNotFound; }
  void objectRelease(IOHandle) override {}
  IOReturn callStructMethod(IOHandle, std::uint32_t, const void*, std::size_t, void*,
                            std::size_t*) override {
    return kIOReturnNotFound;
  }
  IOReturn serviceClose(IOHandle) override { return kIOReturnSuccess; }
};

}  // namespace

std::unique_ptr<IOService> makeSystemIOService() {
  return std::make_unique<NoSMCService>();
}
