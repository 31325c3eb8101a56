// The IOKit-shaped service over a simulated SMC device.
#include "sim/sim_io_service.h"

#include <cstring>
#include <optional>

namespace sim {

IOHandle DeviceIOService::getMatchingService(std::string_view name) {
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

IOReturn DeviceIOService::serviceOpen(IOHandle service, std::uint32_t type, IOHandle& connection) {
  if (service != kService || type != 0) {
    return kIOReturnBadArgument;
  }
  std::optional<Device> device = std::move(matched_);
  matched_.reset();
  if (!device) {
    auto opened = openSystemDevice(path_);
    if (!opened) {
      return kIOReturnNotFound;
    }
    device.emplace(std::move(*opened));
  }
  for (const Fault& f : device->faults()) {
    if (f.kind == FaultKind::openRefused) {
      return kIOReturnNotPrivileged;
    }
  }
  const IOHandle handle = nextConnection_++;
  connections_.emplace(handle, std::move(*device));
  lastHandle_ = 0;
  last_ = nullptr;
  connection = handle;
  return kIOReturnSuccess;
}

void DeviceIOService::objectRelease(IOHandle service) {
  if (service == kService) {
    matched_.reset();
  }
}

IOReturn DeviceIOService::callStructMethod(IOHandle connection, std::uint32_t selector,
                                           const void* input, std::size_t inputSize, void* output,
                                           std::size_t* outputSize) {
  if (selector != kSMCSelector || input == nullptr || output == nullptr ||
      inputSize != sizeof(SMCKeyData_t) || outputSize == nullptr ||
      *outputSize < sizeof(SMCKeyData_t)) {
    return kIOReturnBadArgument;
  }
  if (connection != lastHandle_ || last_ == nullptr) {
    const auto it = connections_.find(connection);
    if (it == connections_.end()) {
      return kIOReturnBadArgument;
    }
    lastHandle_ = connection;
    last_ = &it->second;
  }
  SMCKeyData_t in;
  std::memcpy(&in, input, sizeof in);
  SMCKeyData_t out{};
  const IOReturn result = last_->exchange(in, out);
  if (result == kIOReturnSuccess) {
    std::memcpy(output, &out, sizeof out);
    *outputSize = sizeof out;
  }
  return result;
}

IOReturn DeviceIOService::serviceClose(IOHandle connection) {
  if (connection == lastHandle_) {
    lastHandle_ = 0;
    last_ = nullptr;
  }
  return connections_.erase(connection) == 1 ? kIOReturnSuccess : kIOReturnBadArgument;
}

}  // namespace sim
