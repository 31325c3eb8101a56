// The in-process simulated SMC and the exchange recorder.
#include "smc/testing/fake_smc.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace smc {

void FakeSMC::addKey(std::string_view key, std::string_view type, std::uint32_t size,
                     std::vector<std::uint8_t> bytes, std::uint8_t attributes) {
  bytes.resize(size, 0);
  keys_[fourCC(key)] = FakeKey{fourCC(type), size, attributes, std::move(bytes), true, false};
}

void FakeSMC::addFlt(std::string_view key, float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  addKey(key, "flt ", 4,
         {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
          static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)});
}

void FakeSMC::addSp78(std::string_view key, double celsius) {
  const auto raw = static_cast<std::int16_t>(std::lround(celsius * 256.0));
  const auto u = static_cast<std::uint16_t>(raw);
  addKey(key, "sp78", 2, {static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)});
}

void FakeSMC::removeKey(std::string_view key) {
  keys_.erase(fourCC(key));
}

FakeKey& FakeSMC::key(std::string_view key) {
  auto it = keys_.find(fourCC(key));
  if (it == keys_.end()) {
    throw std::out_of_range("no such fake key");
  }
  return it->second;
}

bool FakeSMC::hasKey(std::string_view key) const {
  return keys_.contains(fourCC(key));
}

std::vector<std::uint8_t> FakeSMC::bytes(std::string_view key) const {
  auto it = keys_.find(fourCC(key));
  return it == keys_.end() ? std::vector<std::uint8_t>{} : it->second.bytes;
}

float FakeSMC::fltValue(std::string_view key) const {
  const auto b = bytes(key);
  if (b.size() < 4) {
    return std::nanf("");
  }
  const std::uint32_t bits = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
  return std::bit_cast<float>(bits);
}

IOHandle FakeSMC::getMatchingService(std::string_view name) {
  return (serviceMissing || name != "AppleSMC") ? 0 : kService;
}

IOReturn FakeSMC::serviceOpen(IOHandle service, std::uint32_t type, IOHandle& connection) {
  ++openCount;
  if (service != kService || type != 0) {
    return kIOReturnBadArgument;
  }
  if (openResult != kIOReturnSuccess) {
    return openResult;
  }
  connection = kConnection;
  return kIOReturnSuccess;
}

void FakeSMC::objectRelease(IOHandle) {
  ++releaseCount;
}

IOReturn FakeSMC::serviceClose(IOHandle) {
  ++closeCount;
  return kIOReturnSuccess;
}

IOReturn FakeSMC::callStructMethod(IOHandle connection, std::uint32_t selector, const void* input,
                                   std::size_t inputSize, void* output, std::size_t* outputSize) {
  ++callCount;
  if (connection != kConnection || selector != kSMCSelector || inputSize != sizeof(SMCKeyData_t) ||
      outputSize == nullptr || *outputSize != sizeof(SMCKeyData_t)) {
    return kIOReturnBadArgument;
  }
  if (failAllCalls) {
    return kIOReturnError;
  }
  SMCKeyData_t in;
  std::memcpy(&in, input, sizeof in);
  SMCKeyData_t out{};
  out.key = in.key;
  auto it = keys_.find(in.key);
  if (it == keys_.end()) {
    return kIOReturnNotFound;
  }
  FakeKey& k = it->second;
  switch (in.data8) {
    case SMC_CMD_READ_KEYINFO:
      out.keyInfo.dataSize = k.dataSize;
      out.keyInfo.dataType = k.dataType;
      out.keyInfo.dataAttributes = k.attributes;
      break;
    case SMC_CMD_READ_BYTES:
      if (!k.readable) {
        return kIOReturnNotReadable;
      }
      std::copy_n(k.bytes.begin(), std::min<std::size_t>(k.bytes.size(), kSMCMaxBytes), out.bytes);
      break;
    case SMC_CMD_WRITE_BYTES:
      if (!privileged) {
        return kIOReturnNotPrivileged;
      }
      if (k.refuseWrites || !(k.attributes & kAttrWritable) || in.keyInfo.dataSize != k.dataSize) {
        return kIOReturnNotPrivileged;
      }
      std::copy_n(in.bytes, std::min<std::size_t>(k.bytes.size(), kSMCMaxBytes), k.bytes.begin());
      ++writeCount;
      break;
    default:
      return kIOReturnBadArgument;
  }
  std::memcpy(output, &out, sizeof out);
  return kIOReturnSuccess;
}

IOHandle RecordingIOService::getMatchingService(std::string_view name) {
  return inner_.getMatchingService(name);
}

IOReturn RecordingIOService::serviceOpen(IOHandle service, std::uint32_t type,
                                         IOHandle& connection) {
  return inner_.serviceOpen(service, type, connection);
}

void RecordingIOService::objectRelease(IOHandle service) {
  inner_.objectRelease(service);
}

IOReturn RecordingIOService::serviceClose(IOHandle connection) {
  return inner_.serviceClose(connection);
}

IOReturn RecordingIOService::callStructMethod(IOHandle connection, std::uint32_t selector,
                                              const void* input, std::size_t inputSize,
                                              void* output, std::size_t* outputSize) {
  RecordedExchange record{};
  record.connection = connection;
  record.selector = selector;
  record.inputSize = inputSize;
  record.outputSizeIn = outputSize ? *outputSize : 0;
  std::memcpy(&record.input, input, std::min(inputSize, sizeof(SMCKeyData_t)));
  record.result =
      inner_.callStructMethod(connection, selector, input, inputSize, output, outputSize);
  if (record.result == kIOReturnSuccess && forceResultByte != 0) {
    auto* reply = static_cast<SMCKeyData_t*>(output);
    reply->result = forceResultByte;
    reply->status = forceResultByte;
  }
  std::memcpy(&record.output, output, sizeof(SMCKeyData_t));
  exchanges.push_back(record);
  return record.result;
}

}  // namespace smc
