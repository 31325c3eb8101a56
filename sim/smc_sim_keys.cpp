// smc-sim read and write: one key through the SMC's exchanges, as a client of the SMC sends them,
// or (write --direct) straight into the device.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "sim/key_codec.h"
#include "sim/smc_sim_cli.h"
#include "smc/smc_record.h"

namespace sim::cli {
namespace {

// One exchange on the device, as a client of the SMC would send it.
smc::IOReturn exchange(Device& d, std::uint32_t code, std::uint8_t command, std::uint32_t size,
                       smc::SMCKeyData_t& out, const std::vector<std::uint8_t>& bytes = {}) {
  smc::SMCKeyData_t in{};
  in.key = code;
  in.data8 = command;
  in.keyInfo.dataSize = size;
  std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), smc::kSMCMaxBytes), in.bytes);
  return d.exchange(in, out);
}

// The device for a command on one KEY: none, with `status` set, when KEY cannot be a key or
// the device does not open.
std::optional<Device> openForKey(const std::string& path, const std::string& key, int& status) {
  if (key.empty() || key.size() > 5) {
    status = failure("'" + key + "' is not a key (four characters)");
    return std::nullopt;
  }
  return openOrReport(path, status);
}

// KEY's key info through the SMC; none, with the refusal reported into `status`, when it fails.
std::optional<smc::SMCKeyData_t> keyInfo(Device& device, const std::string& key, int& status) {
  smc::SMCKeyData_t info{};
  const smc::IOReturn r = exchange(device, smc::fourCC(key), smc::SMC_CMD_READ_KEYINFO, 0, info);
  if (r != smc::kIOReturnSuccess) {
    status = failure(r == smc::kIOReturnNotFound
                         ? "unknown key '" + key + "' (" + hexCode(r) + ")"
                         : "key info of '" + key + "' failed (" + hexCode(r) + ")");
    return std::nullopt;
  }
  return info;
}

// The bytes `write` stores: --raw's, of the key's size, or VALUE encoded for the key's type in
// place of the key's first bytes. None, with the mistake reported into `status`, otherwise.
std::optional<std::vector<std::uint8_t>> bytesToWrite(const Args& a, const KeyView& view,
                                                      int& status) {
  const std::string& key = a.positional[1];
  if (a.options.contains("--raw")) {
    const std::string& hex = a.options.at("--raw");
    const auto parsed = parseHex(hex);
    if (!parsed) {
      status = failure("'" + hex + "' is not hexadecimal bytes");
    } else if (parsed->size() != view.dataSize) {
      status = failure("key '" + key + "' holds " + std::to_string(view.dataSize) + " byte(s); " +
                       std::to_string(parsed->size()) + " given");
    } else {
      return parsed;
    }
    return std::nullopt;
  }
  const std::string& text = a.positional[2];
  const auto v = text == "nan" ? std::optional<double>(std::nan("")) : number(text);
  if (!v) {
    status = failure("'" + text + "' is not a number");
    return std::nullopt;
  }
  const auto encoded = encodeValue(view.dataType, view.dataSize, *v);
  if (!encoded) {
    status = failure("key '" + key + "' has type '" + typeName(view.dataType) +
                     "', which takes no number; use --raw HEX");
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes = view.bytes;
  std::copy(encoded->begin(), encoded->end(), bytes.begin());
  return bytes;
}

// Writes `bytes` to KEY through the SMC, and words a refusal by what the SMC checks.
int writeThroughSmc(Device& device, const std::string& key,
                    const std::vector<std::uint8_t>& bytes) {
  int status = 0;
  const auto info = keyInfo(device, key, status);
  if (!info) {
    return status;
  }
  smc::SMCKeyData_t out{};
  const smc::IOReturn r = exchange(device, smc::fourCC(key), smc::SMC_CMD_WRITE_BYTES,
                                   info->keyInfo.dataSize, out, bytes);
  if (r == smc::kIOReturnNotPrivileged) {
    if (!device.privileged()) {
      return failure("permission refused: writing '" + key +
                     "' needs root or the device's write permission (" + hexCode(r) + ")");
    }
    if (!(info->keyInfo.dataAttributes & 0x40)) {
      char attr[8];
      std::snprintf(attr, sizeof attr, "%02X", info->keyInfo.dataAttributes);
      return failure("key '" + key + "' is not writable (attributes " + attr + "; " + hexCode(r) +
                     ")");
    }
    return failure("writing '" + key + "' was refused (" + hexCode(r) + ")");
  }
  if (r != smc::kIOReturnSuccess) {
    return failure("writing '" + key + "' failed (" + hexCode(r) + ")");
  }
  return 0;
}

}  // namespace

int cmdRead(const Args& a) {
  if (a.positional.size() != 2) {
    return usageError("read", "give DEVICE and KEY");
  }
  const std::string& key = a.positional[1];
  int status = 0;
  auto device = openForKey(a.positional[0], key, status);
  if (!device) {
    return status;
  }
  const auto info = keyInfo(*device, key, status);
  if (!info) {
    return status;
  }
  smc::SMCKeyData_t out{};
  const smc::IOReturn r =
      exchange(*device, smc::fourCC(key), smc::SMC_CMD_READ_BYTES, info->keyInfo.dataSize, out);
  if (r == smc::kIOReturnNotReadable) {
    return failure("key '" + key + "' cannot be read (" + hexCode(r) + ")");
  }
  if (r != smc::kIOReturnSuccess) {
    return failure("reading '" + key + "' failed (" + hexCode(r) + ")");
  }
  const std::uint32_t n = std::min<std::uint32_t>(info->keyInfo.dataSize, smc::kSMCMaxBytes);
  const std::vector<std::uint8_t> bytes(out.bytes, out.bytes + n);
  const auto v = decodeValue(info->keyInfo.dataType, info->keyInfo.dataSize, bytes);
  std::printf("%s|%s|%u|%02X|%s", key.c_str(), typeName(info->keyInfo.dataType).c_str(),
              info->keyInfo.dataSize, info->keyInfo.dataAttributes, toHex(bytes).c_str());
  if (v) {
    std::printf("  = %.17g", *v);
  }
  std::printf("\n");
  return 0;
}

int cmdWrite(const Args& a) {
  const bool raw = a.options.contains("--raw");
  if (a.positional.size() != (raw ? 2u : 3u)) {
    return usageError("write", raw ? "give DEVICE KEY --raw HEX" : "give DEVICE, KEY and VALUE");
  }
  const std::string& key = a.positional[1];
  int status = 0;
  auto device = openForKey(a.positional[0], key, status);
  if (!device) {
    return status;
  }
  const auto view = device->key(key);
  if (!view) {
    return failure("unknown key '" + key + "'");
  }
  const auto bytes = bytesToWrite(a, *view, status);
  if (!bytes) {
    return status;
  }
  if (a.options.contains("--direct")) {
    return reported(device->setBytes(key, *bytes));
  }
  return writeThroughSmc(*device, key, *bytes);
}

}  // namespace sim::cli
