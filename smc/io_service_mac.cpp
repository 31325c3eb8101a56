// The IOKit calls behind the SMC seam (macOS only). The service owns every service reference and
// connection it hands out until the caller releases or closes it, and gives back whatever is left
// when it is destroyed, so no early return of a caller leaks a handle.
#include "smc/io_service.h"

#include <IOKit/IOKitLib.h>
#include <mach/mach.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "smc/scoped_io_handle_mac.h"

namespace smc {

namespace {

// Takes the entry for `handle` out of `owned`; false when it is not there.
template <typename Scoped>
bool take(std::vector<Scoped>& owned, IOHandle handle, Scoped& taken) {
  const auto it = std::find_if(owned.begin(), owned.end(),
                               [handle](const Scoped& entry) { return entry.get() == handle; });
  if (it == owned.end()) {
    return false;
  }
  taken = std::move(*it);
  owned.erase(it);
  return true;
}

class IOKitService final : public IOService {
 public:
  IOHandle getMatchingService(std::string_view name) override {
    const std::string owned(name);
    // IOServiceGetMatchingService consumes the matching dictionary's reference.
    CFMutableDictionaryRef matching = IOServiceMatching(owned.c_str());
    if (matching == nullptr) {
      return 0;
    }
    const io_service_t service = IOServiceGetMatchingService(kIOMainPortDefault, matching);
    if (service != IO_OBJECT_NULL) {
      services_.emplace_back(service);
    }
    return service;
  }

  IOReturn serviceOpen(IOHandle service, std::uint32_t type, IOHandle& connection) override {
    io_connect_t connect = IO_OBJECT_NULL;
    const kern_return_t result = IOServiceOpen(service, mach_task_self(), type, &connect);
    if (result == KERN_SUCCESS) {
      connections_.emplace_back(connect);
      connection = connect;
    }
    return result;
  }

  // A handle this object did not hand out, or already released, is left alone: its name may
  // since have been reused for another port.
  void objectRelease(IOHandle service) override {
    ScopedService taken(IO_OBJECT_NULL);
    if (take(services_, service, taken)) {
      taken.reset();
    }
  }

  IOReturn callStructMethod(IOHandle connection, std::uint32_t selector, const void* input,
                            std::size_t inputSize, void* output, std::size_t* outputSize) override {
    return IOConnectCallStructMethod(connection, selector, input, inputSize, output, outputSize);
  }

  // Closing a connection that is not open here (never opened, or closed before) is refused
  // without calling IOKit.
  IOReturn serviceClose(IOHandle connection) override {
    ScopedConnection taken(IO_OBJECT_NULL);
    if (!take(connections_, connection, taken)) {
      return kIOReturnBadArgument;
    }
    return taken.reset();
  }

 private:
  // Connections are declared last so that they close before their services are released.
  std::vector<ScopedService> services_;
  std::vector<ScopedConnection> connections_;
};

}  // namespace

std::unique_ptr<IOService> makeSystemIOService() {
  return std::make_unique<IOKitService>();
}

}  // namespace smc
