// The IOKit-shaped service over a simulated SMC device: "AppleSMC" is found when the device
// exists and is valid, each open is a connection of its own, each struct call one exchange.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "sim/sim_device.h"
#include "smc/io_service.h"

namespace sim {

class DeviceIOService final : public IOService {
 public:
  // The device at `path`, looked up when the service is matched.
  explicit DeviceIOService(std::string path) : path_(std::move(path)) {}

  IOHandle getMatchingService(std::string_view name) override;
  IOReturn serviceOpen(IOHandle service, std::uint32_t type, IOHandle& connection) override;
  void objectRelease(IOHandle service) override;
  IOReturn callStructMethod(IOHandle connection, std::uint32_t selector, const void* input,
                            std::size_t inputSize, void* output, std::size_t* outputSize) override;
  IOReturn serviceClose(IOHandle connection) override;

  const std::string& path() const { return path_; }

  static constexpr IOHandle kService = 0x5D;

 private:
  std::string path_;
  // The device of the last match, until a connection takes it or the service is released.
  std::optional<Device> matched_;
  std::map<IOHandle, Device> connections_;
  IOHandle nextConnection_ = 0x1001;
  // The last connection used, so a run of calls on one connection skips the lookup.
  IOHandle lastHandle_ = 0;
  Device* last_ = nullptr;
};

}  // namespace sim
