// The IOKit-shaped seam through which every SMC exchange passes: IOKit on macOS, the simulated
// SMC device on Linux, and in-process fakes in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace smc {

// kern_return_t-like result: 0 is success, anything else a failure.
using IOReturn = std::int32_t;

// IOKit's own header defines these names as macros with the same values. Whichever header comes
// first, the constants are declared with the macros set aside, and the macros (if any) are
// restored afterwards, so both spellings mean the same number in every file.
#pragma push_macro("kIOReturnSuccess")
#pragma push_macro("kIOReturnError")
#pragma push_macro("kIOReturnNotPrivileged")
#pragma push_macro("kIOReturnBadArgument")
#pragma push_macro("kIOReturnNotFound")
#pragma push_macro("kIOReturnNotReadable")
#undef kIOReturnSuccess
#undef kIOReturnError
#undef kIOReturnNotPrivileged
#undef kIOReturnBadArgument
#undef kIOReturnNotFound
#undef kIOReturnNotReadable
inline constexpr IOReturn kIOReturnSuccess = 0;
inline constexpr IOReturn kIOReturnError = static_cast<IOReturn>(0xE00002BCu);
inline constexpr IOReturn kIOReturnNotPrivileged = static_cast<IOReturn>(0xE00002C1u);
inline constexpr IOReturn kIOReturnBadArgument = static_cast<IOReturn>(0xE00002C2u);
inline constexpr IOReturn kIOReturnNotFound = static_cast<IOReturn>(0xE00002F0u);
inline constexpr IOReturn kIOReturnNotReadable = static_cast<IOReturn>(0xE00002DAu);
#pragma pop_macro("kIOReturnNotReadable")
#pragma pop_macro("kIOReturnNotFound")
#pragma pop_macro("kIOReturnBadArgument")
#pragma pop_macro("kIOReturnNotPrivileged")
#pragma pop_macro("kIOReturnError")
#pragma pop_macro("kIOReturnSuccess")

// Handles are 32-bit like mach ports; 0 means "none".
using IOHandle = std::uint32_t;

class IOService {
 public:
  virtual ~IOService() = default;

  // IOServiceMatching + IOServiceGetMatchingService: the service's handle, 0 when there is none.
  virtual IOHandle getMatchingService(std::string_view name) = 0;
  // IOServiceOpen on the task's own port: writes the connection on success.
  virtual IOReturn serviceOpen(IOHandle service, std::uint32_t type, IOHandle& connection) = 0;
  // IOObjectRelease of a service handle.
  virtual void objectRelease(IOHandle service) = 0;
  // IOConnectCallStructMethod: one request record in, one reply record out.
  virtual IOReturn callStructMethod(IOHandle connection, std::uint32_t selector, const void* input,
                                    std::size_t inputSize, void* output,
                                    std::size_t* outputSize) = 0;
  // IOServiceClose.
  virtual IOReturn serviceClose(IOHandle connection) = 0;
};

// The platform's SMC service: IOKit on macOS, the simulated device on Linux.
std::unique_ptr<IOService> makeSystemIOService();

}  // namespace smc
