// An in-process simulated SMC for tests: a key table answering the three exchanges by return
// code, with switches for the failures a real controller shows. And a recorder that wraps any
// IOService and keeps every exchange for a test to inspect.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "smc/io_service.h"
#include "smc/smc_record.h"

namespace smc {

inline constexpr std::uint8_t kAttrReadable = 0x80;
inline constexpr std::uint8_t kAttrWritable = 0x40;

struct FakeKey {
  std::uint32_t dataType = 0;
  std::uint32_t dataSize = 0;
  std::uint8_t attributes = kAttrReadable | kAttrWritable;
  std::vector<std::uint8_t> bytes;  // dataSize bytes
  bool readable = true;
  bool refuseWrites = false;
};

class FakeSMC : public IOService {
 public:
  // Adds or replaces a key; bytes shorter than the size are padded with zeros.
  void addKey(std::string_view key, std::string_view type, std::uint32_t size,
              std::vector<std::uint8_t> bytes,
              std::uint8_t attributes = kAttrReadable | kAttrWritable);
  void addFlt(std::string_view key, float value);
  void addSp78(std::string_view key, double celsius);
  void removeKey(std::string_view key);
  FakeKey& key(std::string_view key);
  bool hasKey(std::string_view key) const;
  // The key's stored bytes, empty when the key does not exist.
  std::vector<std::uint8_t> bytes(std::string_view key) const;
  float fltValue(std::string_view key) const;

  // Failure switches.
  bool serviceMissing = false;
  IOReturn openResult = kIOReturnSuccess;
  bool failAllCalls = false;
  bool privileged = true;  // false: every write is refused as "not privileged"

  // What happened, for tests that count.
  int openCount = 0;
  int releaseCount = 0;
  int closeCount = 0;
  int callCount = 0;
  int writeCount = 0;  // accepted writes

  IOHandle getMatchingService(std::string_view name) override;
  IOReturn serviceOpen(IOHandle service, std::uint32_t type, IOHandle& connection) override;
  void objectRelease(IOHandle service) override;
  IOReturn callStructMethod(IOHandle connection, std::uint32_t selector, const void* input,
                            std::size_t inputSize, void* output, std::size_t* outputSize) override;
  IOReturn serviceClose(IOHandle connection) override;

  static constexpr IOHandle kService = 0x5C;
  static constexpr IOHandle kConnection = 0xC0;

 private:
  std::map<std::uint32_t, FakeKey> keys_;
};

struct RecordedExchange {
  IOHandle connection;
  std::uint32_t selector;
  std::size_t inputSize;
  std::size_t outputSizeIn;
  SMCKeyData_t input;
  SMCKeyData_t output;
  IOReturn result;
};

class RecordingIOService : public IOService {
 public:
  explicit RecordingIOService(IOService& inner) : inner_(inner) {}

  std::vector<RecordedExchange> exchanges;
  // When set, every reply record gets these result/status bytes (the call still succeeds).
  std::uint8_t forceResultByte = 0;

  IOHandle getMatchingService(std::string_view name) override;
  IOReturn serviceOpen(IOHandle service, std::uint32_t type, IOHandle& connection) override;
  void objectRelease(IOHandle service) override;
  IOReturn callStructMethod(IOHandle connection, std::uint32_t selector, const void* input,
                            std::size_t inputSize, void* output, std::size_t* outputSize) override;
  IOReturn serviceClose(IOHandle connection) override;

 private:
  IOService& inner_;
};

}  // namespace smc
