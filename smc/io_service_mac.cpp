// The IOKit calls behind the SMC seam (macOS only).
#include "smc/io_service.h"

#include <IOKit/IOKitLib.h>
#include <mach/mach.h>

#include <string>

namespace {

class IOKitService final : public IOService {
 public:
  IOHandle getMatchingService(std::string_view name) override {
    const std::string owned(name);
    // IOServiceGetMatchingService consumes the matching dictionary's reference.
    CFMutableDictionaryRef matching = IOServiceMatching(owned.c_str());
    if (matching == nullptr) {
      return 0;
    }
    return IOServiceGetMatchingService(kIOMainPortDefault, matching);
  }

  IOReturn serviceOpen(IOHandle service, std::uint32_t type, IOHandle& connection) override {
    io_connect_t connect = IO_OBJECT_NULL;
    const kern_return_t result = IOServiceOpen(service, mach_task_self(), type, &connect);
    if (result == KERN_SUCCESS) {
      connection = connect;
    }
    return result;
  }

  void objectRelease(IOHandle service) override { IOObjectRelease(service); }

  IOReturn callStructMethod(IOHandle connection, std::uint32_t selector, const void* input,
                            std::size_t inputSize, void* output, std::size_t* outputSize) override {
    return IOConnectCallStructMethod(connection, selector, input, inputSize, output, outputSize);
  }

  IOReturn serviceClose(IOHandle connection) override { return IOServiceClose(connection); }
};

}  // namespace

std::unique_ptr<IOService> makeSystemIOService() {
  return std::make_unique<IOKitService>();
}
