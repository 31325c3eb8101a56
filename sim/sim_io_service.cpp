// The IOKit-shaped service over a simulated SMC device.
#include "sim/sim_io_service.h"

#include <cstring>
#include <optional>

namespace sim {

smc::IOHandle DeviceIOService::getMatchingService(std::string_view name) {
  if (name != "AppleSMC") {
    return 0;
  }
  // The device found here is the one the next connection uses, as a matched IOKit service is:
  // the file is opened, checked and mapped once, not again by serviceOpen.
  auto device = openSystemDevice(path_);
  if (!device) {
    matched_.reset();
    return 0;
  }
  matched_.emplace(std::move(*device));
  return kService;
}

smc::IOReturn DeviceIOService::serviceOpen(smc::IOHandle service, std::uint32_t type,
                                           smc::IOHandle& connection) {
  if (service != kService || type != 0) {
    return smc::kIOReturnBadArgument;
  }
  std::optional<Device> device = std::move(matched_);
  matched_.reset();
  if (!device) {
    auto opened = openSystemDevice(path_);
    if (!opened) {
      return smc::kIOReturnNotFound;
    }
    device.emplace(std::move(*opened));
  }
  for (const Fault& f : device->faults()) {
    if (f.kind == FaultKind::openRefused) {
      return smc::kIOReturnNotPrivileged;
    }
  }
  const smc::IOHandle handle = nextConnection_++;
  connections_.emplace(handle, std::move(*device));
  lastHandle_ = 0;
  last_ = nullptr;
  connection = handle;
  return smc::kIOReturnSuccess;
}

void DeviceIOService::objectRelease(smc::IOHandle service) {
  if (service == kService) {
    matched_.reset();
  }
}

smc::IOReturn DeviceIOService::callStructMethod(smc::IOHandle connection, std::uint32_t selector,
                                                const void* input, std::size_t inputSize,
                                                void* output, std::size_t* outputSize) {
  if (selector != smc::kSMCSelector || input == nullptr || output == nullptr ||
      inputSize != sizeof(smc::SMCKeyData_t) || outputSize == nullptr ||
      *outputSize < sizeof(smc::SMCKeyData_t)) {
    return smc::kIOReturnBadArgument;
  }
  if (connection != lastHandle_ || last_ == nullptr) {
    const auto it = connections_.find(connection);
    if (it == connections_.end()) {
      return smc::kIOReturnBadArgument;
    }
    lastHandle_ = connection;
    last_ = &it->second;
  }
  smc::SMCKeyData_t in;
  std::memcpy(&in, input, sizeof in);
  smc::SMCKeyData_t out{};
  const smc::IOReturn result = last_->exchange(in, out);
  if (result == smc::kIOReturnSuccess) {
    std::memcpy(output, &out, sizeof out);
    *outputSize = sizeof out;
  }
  return result;
}

smc::IOReturn DeviceIOService::serviceClose(smc::IOHandle connection) {
  if (connection == lastHandle_) {
    lastHandle_ = 0;
    last_ = nullptr;
  }
  return connections_.erase(connection) == 1 ? smc::kIOReturnSuccess : smc::kIOReturnBadArgument;
}

}  // namespace sim
