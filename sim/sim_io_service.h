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

class DeviceIOService final : public smc::IOService {
 public:
  // The device at `path`, looked up when the service is matched.
  explicit DeviceIOService(std::string path) : path_(std::move(path)) {}

  smc::IOHandle getMatchingService(std::string_view name) override;
  smc::IOReturn serviceOpen(smc::IOHandle service, std::uint32_t type,
                            smc::IOHandle& connection) override;
  void objectRelease(smc::IOHandle service) override;
  smc::IOReturn callStructMethod(smc::IOHandle connection, std::uint32_t selector,
                                 const void* input, std::size_t inputSize, void* output,
                                 std::size_t* outputSize) override;
  smc::IOReturn serviceClose(smc::IOHandle connection) override;

  const std::string& path() const { return path_; }

  static constexpr smc::IOHandle kService = 0x5D;

 private:
  std::string path_;
  // The device of the last match, until a connection takes it or the service is released.
  std::optional<Device> matched_;
  std::map<smc::IOHandle, Device> connections_;
  smc::IOHandle nextConnection_ = 0x1001;
  // The last connection used, so a run of calls on one connection skips the lookup.
  smc::IOHandle lastHandle_ = 0;
  Device* last_ = nullptr;
};

}  // namespace sim
