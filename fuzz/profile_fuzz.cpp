// Fuzzes the simulated Mac's profile and dump parser, and what is built from a profile that
// parses: no text may crash it or reach undefined behaviour, every parsed key is one the device
// can hold, and a profile that parses either becomes a device that opens, answers exchanges and
// runs its thermal model, or is refused with a message.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/profile.h"
#include "sim/sim_device.h"
#include "smc/smc_record.h"

namespace {

// The run's scratch device, removed when the run ends.
struct ScratchFile {
  std::string path;
  ~ScratchFile() { ::unlink(path.c_str()); }
};

const std::string& devicePathForRun() {
  static const ScratchFile file{"/dev/shm/quill-profile-fuzz-" + std::to_string(getpid()) + ".dev"};
  return file.path;
}

void exerciseDevice(const sim::Profile& profile) {
  const std::string& path = devicePathForRun();
  sim::CreateOptions options;
  options.frozen = true;
  options.replace = true;
  if (!sim::createDevice(path, sim::ProfileSource::parsed(profile), options)) {
    return;
  }
  auto device = sim::Device::open(path);
  if (!device) {
    std::abort();  // a device just made from a parsed profile must open
  }
  for (const sim::ProfileKey& key : profile.keys) {
    smc::SMCKeyData_t in{};
    smc::SMCKeyData_t out{};
    in.key = key.code;
    in.data8 = smc::SMC_CMD_READ_KEYINFO;
    (void)device->exchange(in, out);
    in.keyInfo.dataSize = out.keyInfo.dataSize;
    in.data8 = smc::SMC_CMD_READ_BYTES;
    (void)device->exchange(in, out);
  }
  (void)device->advance(2.5);
  (void)device->snapshot();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto profile = sim::parseProfile(text, "fuzz.profile");
  if (!profile) {
    if (!profile.error().starts_with("fuzz.profile")) {
      std::abort();  // every refusal names the file
    }
    return 0;
  }
  for (const sim::ProfileKey& key : profile->keys) {
    if (key.bytes.size() != key.dataSize || key.dataSize > sim::kMaxKeyBytes ||
        key.text.size() < 4 || key.text.size() > 5) {
      std::abort();
    }
  }
  exerciseDevice(*profile);
  return 0;
}
