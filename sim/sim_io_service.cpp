// The IOKit-shaped service over a simulated SMC device.
#include "sim/sim_io_service.h"

#include <cstring>

namespace sim {

IOHandle DeviceIOService::getMatchingService(std::string_view name) {
  if (name != "AppleSMC") {
    return 0;
  }
  return openSystemDevice(path_) ? kService : 0;
}

IOReturn DeviceIOService::serviceOpen(IOHandle service, std::uint32_t type, IOHandle& connection) {
  if (service != kService || type != 0) {
    return kIOReturnBadArgument;
  }
  auto device = openSystemDevice(path_);
  if (!device) {
    return kIOReturnNotFound;
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

void DeviceIOService::objectRelease(IOHandle) {}

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
