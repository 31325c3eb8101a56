// Fuzzes the simulated SMC device against a hostile device file. ventwarden maps the device it is
// pointed at with root's rights, and the file's owner can change every byte of it, so no content
// may make the device code read or write outside the mapping or reach undefined behaviour.
// ventwarden's max and auto run on it too. Each input patches a valid device image (the eleven-fan
// workstation: every fan encoding); the identity fields are put back unless the input asks for them
// to be left damaged (then the open must refuse it).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/device_layout.h"
#include "sim/sim_device.h"
#include "sim/sim_io_service.h"
#include "smc/smc_record.h"
#include "tool/ventwarden.h"

namespace {

struct Base {
  std::string path;
  std::vector<std::uint8_t> image;
  ~Base() {
    if (!path.empty()) {
      ::unlink(path.c_str());  // the run's device goes with the run
    }
  }
};

const Base& baseDevice() {
  static const Base b = [] {
    Base made;
    made.path = "/dev/shm/quill-device-fuzz-" + std::to_string(getpid()) + ".dev";
    sim::CreateOptions options;
    options.replace = true;
    if (!sim::createDevice(made.path, sim::ProfileSource::builtin("workstation-11-fans"),
                           options)) {
      std::abort();
    }
    std::ifstream in(made.path, std::ios::binary);
    made.image.assign(std::istreambuf_iterator<char>(in), {});
    return made;
  }();
  return b;
}

class Lines final : public tool::ToolOutput {
 public:
  void line(std::string_view text) override { lines.emplace_back(text); }
  std::vector<std::string> lines;
};

class NoSignals final : public tool::StopSignals {
 public:
  bool arm() override { return true; }
  bool stopRequested() override { return false; }
  bool waitForStop(std::chrono::milliseconds) override { return false; }
};

// ventwarden's one-shot commands against the device, as root runs them: one line, "OK".
void runTheTool(const std::string& path, std::string_view command) {
  sim::DeviceIOService io(path);
  Lines out;
  NoSignals signals;
  const tool::PidFile pidFile(path + ".pid");
  tool::ToolPlatform platform{out, signals, pidFile, 1};
  const std::string_view args[] = {command};
  const int status = runTool(io, args, platform);
  if (status != 0 || out.lines != std::vector<std::string>{"OK"}) {
    std::abort();
  }
}

bool writeImage(const std::string& path, const std::vector<std::uint8_t>& image) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool ok = ::write(fd, image.data(), image.size()) == static_cast<ssize_t>(image.size());
  ::close(fd);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Base& b = baseDevice();
  if (size < 1) {
    return 0;
  }
  const bool keepIdentityDamage = (data[0] & 0x80) != 0;
  std::vector<std::uint8_t> image = b.image;
  // Patches: offset (2 bytes, little-endian, within the image), length (1 byte), bytes.
  std::size_t i = 1;
  while (i + 3 <= size) {
    const std::size_t offset = (data[i] | (data[i + 1] << 8)) % image.size();
    std::size_t length = data[i + 2];
    i += 3;
    length = std::min<std::size_t>({length, size - i, image.size() - offset});
    std::memcpy(image.data() + offset, data + i, length);
    i += length;
  }
  if (!keepIdentityDamage) {
    std::memcpy(image.data(), b.image.data(), offsetof(sim::layout::Header, seq));
  }
  // A "slow" fault is the device's own delay feature (up to 10 s an exchange): kept, but short,
  // so that a run measures the code rather than the sleeps.
  auto* header = reinterpret_cast<sim::layout::Header*>(image.data());
  for (sim::layout::Fault& fault : header->faults) {
    if (fault.kind == sim::FaultKind::slow) {
      fault.value = std::min(fault.value, 5.0);
    }
  }
  if (!writeImage(b.path, image)) {
    std::abort();
  }
  auto device = sim::Device::open(b.path);
  if (!device) {
    if (!keepIdentityDamage) {
      std::abort();  // only the identity fields decide whether a device opens
    }
    return 0;
  }
  const std::uint8_t op = data[0];
  // Exchanges on every key the table lists, as the application and the tool make them.
  const std::uint32_t keyCount = std::min<std::uint32_t>(header->keyCount, sim::layout::kMaxKeys);
  for (std::uint32_t k = 0; k < keyCount; ++k) {
    const auto* entry = reinterpret_cast<const sim::layout::KeyEntry*>(
        image.data() + sizeof(sim::layout::Header) + k * sizeof(sim::layout::KeyEntry));
    smc::SMCKeyData_t in{};
    smc::SMCKeyData_t out{};
    in.key = entry->code;
    in.data8 = smc::SMC_CMD_READ_KEYINFO;
    (void)device->exchange(in, out);
    in.keyInfo.dataSize = (op & 1) ? out.keyInfo.dataSize : entry->dataSize;
    in.data8 = smc::SMC_CMD_READ_BYTES;
    (void)device->exchange(in, out);
    if (op & 2) {
      in.data8 = smc::SMC_CMD_WRITE_BYTES;
      std::memcpy(in.bytes, out.bytes, sizeof in.bytes);
      (void)device->exchange(in, out);
    }
  }
  if (op & 4) {
    (void)device->setFrozen(false);
    (void)device->setLoadFromHost();
  }
  (void)device->advance((op & 8) ? 1.0 : 0.1);
  device->catchUp();
  (void)device->snapshot();
  (void)device->keys();
  (void)device->faults();
  if (op & 16) {
    (void)device->addFault(
        sim::Fault{sim::FaultKind::value, sim::layout::kTemperatureKeys, 2, 1e9});
    (void)device->setLoad(0.7, "cpu");
    (void)device->clearFaults();
  }
  device = sim::Result<sim::Device>(sim::Status::failure("closed"));
  runTheTool(b.path, (op & 32) ? "max" : "auto");
  struct stat st {};
  if (::stat(b.path.c_str(), &st) != 0 || static_cast<std::size_t>(st.st_size) != image.size()) {
    std::abort();  // the device never grows or shrinks
  }
  return 0;
}
