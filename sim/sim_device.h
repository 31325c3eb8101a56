// The simulated Mac's SMC device: a file mapped into every process that opens it, answering the
// three SMC exchanges with the privileges of a Mac, and moved along by its thermal model.
//
// Where the device is
//   devicePath()            $QUILLOMATICS_SMC_DEVICE when set and not empty, else
//   defaultDevicePath()     quillomatics-smc.dev in defaultDeviceDirectory().
//   defaultDeviceDirectory()
//                           a directory of the real user's own (a directory, not a link, owned
//                           by them, mode 0700): $XDG_RUNTIME_DIR when it is one, else
//                           /run/user/<uid> when it is one, else /tmp/quillomatics-<uid>. The
//                           real user is actingUser(); root working for a user never reads
//                           XDG_RUNTIME_DIR.
//   actingUser()            whom this process works for: the caller, or for root the uid in
//                           SUDO_UID / PKEXEC_UID when the kernel's login uid agrees with it (or
//                           the kernel keeps none), so that a tool started through sudo or
//                           pkexec finds the user's device; otherwise no user (root).
//   prepareDefaultDeviceDirectory()
//                           makes /tmp/quillomatics-<uid> when it is the place and missing
//                           (never as root for someone else), and checks it as above.
//
// Making and removing devices
//   createDevice(path, source, options)   writes a complete device next to `path` and moves it
//                                         into place in one step; `source` is a profile name
//                                         (builtin), a profile or dump file, or a parsed Profile.
//   destroyDevice(path)                   removes a valid device, nothing else.
//   openDefaultDevice()                   opens devicePath(), creating it from the built-in
//                                         default profile (MacBookPro16,1) when it is the
//                                         default device and missing; a named device is never
//                                         created.
//   openSystemDevice(path)                opens as the Linux IOService does (refuses a default
//                                         device that another user owns, or in a directory that
//                                         is not the user's own).
//
// Device (one connection; movable, closes itself)
//   Device::open(path)      validates (no symlinks, a regular file, magic, version, sizes) and maps
//                           it, for writing when the file allows it and the owner is trusted.
//   exchange(in, out)       one SMC exchange with this connection's privileges: what the
//                           Linux IOService does for IOConnectCallStructMethod.
//   privileged()            whether this connection's SMC writes are accepted: root, or a
//                           connection holding the device's write permission (Writers::owner
//                           for the file's owner, Writers::anyone for anyone who can open it
//                           for writing).
//   key(name) / keys()      a key's type, size, attributes, state and bytes, bypassing faults.
//   setBytes(name, bytes)   stores bytes directly, bypassing privilege and the writable bit
//   setValue(name, v)       (test set-up); setValue encodes `v` for the key's type.
//   value(name)             a key's bytes decoded as the application would.
//   setKeyState(name, s)    present / missing (key info fails) / unreadable (reads fail).
//   addFault(f), removeFaults(kind, key), clearFaults(), faults()
//   setLoad(level[, source]), setLoadPattern(steps), setLoadFromHost()
//   setFrozen(b), advance(seconds)   freeze time, or move the model on by hand.
//   sleepAndWake()          what a Mac that slept and woke shows: every fan's mode key and
//                           "FS! " 0, every fan's target at its minimum speed.
//   snapshot()              the machine at a glance: sources, temperatures, fans, faults.
// Direct changes need a connection mapped for writing (root, or the file's owner).
//
// Exchange results: unknown or switched-missing key kIOReturnNotFound (at key info, and for
// reads and writes alike); unreadable key kIOReturnNotReadable on read bytes; refused write
// kIOReturnNotPrivileged (no privilege, no writable bit 0x40, or the write fault); a write whose
// data size is not the key's kIOReturnBadArgument; failure faults kIOReturnError. Read bytes
// answers min(size, 32) bytes whatever size the request names. A refused exchange changes
// nothing. Connections that may write the device catch the model up with real time (in slices
// of at most 0.1 s, at most every 50 ms) before each exchange; frozen devices never move.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/mapped_file.h"
#include "base/unique_fd.h"
#include "sim/device_layout.h"
#include "sim/profile.h"
#include "sim/result.h"
#include "smc/io_service.h"
#include "smc/smc_record.h"

namespace sim {

inline constexpr std::string_view kDeviceEnvironmentVariable = "QUILLOMATICS_SMC_DEVICE";

// Whom this process works for, with the reason when root does not take the user its caller
// names (a SUDO_UID another user set, say): then only root's own devices are written.
struct ActingUser {
  uid_t uid = 0;
  std::string refused;
};
ActingUser actingUser();

std::string devicePath();
std::string defaultDevicePath();
std::string defaultDeviceDirectory();
Status prepareDefaultDeviceDirectory();

using layout::FaultKind;
using layout::Writers;

struct CreateOptions {
  bool frozen = false;
  bool replace = false;  // replace a device already at the path (never anything else)
  Writers writers = Writers::root;
};

// Where a device's keys and model come from.
struct ProfileSource {
  static ProfileSource builtin(std::string_view name) {
    return {Kind::builtin, std::string(name), {}};
  }
  static ProfileSource file(std::string_view path) { return {Kind::file, std::string(path), {}}; }
  // A built-in profile by name, or else a file by path.
  static ProfileSource named(std::string_view nameOrPath) {
    return {Kind::named, std::string(nameOrPath), {}};
  }
  static ProfileSource parsed(Profile profile) { return {Kind::parsed, {}, std::move(profile)}; }

  enum class Kind { builtin, file, named, parsed };
  Kind kind;
  std::string name;
  Profile profile;
};

Result<Profile> loadProfile(const ProfileSource& source);
Status createDevice(const std::string& path, const ProfileSource& source,
                    const CreateOptions& options = {});
Status destroyDevice(const std::string& path);

enum class KeyState { present, missing, unreadable };

struct KeyView {
  std::string text;
  std::uint32_t code = 0;
  std::uint32_t dataType = 0;
  std::uint32_t dataSize = 0;
  std::uint8_t attributes = 0;
  bool recordedUnreadable = false;  // "-" in the profile
  KeyState state = KeyState::present;
  std::vector<std::uint8_t> bytes;  // dataSize bytes
};

struct Fault {
  FaultKind kind = FaultKind::readFails;
  std::uint32_t key = layout::kAllKeys;  // a key code, layout::kAllKeys or kTemperatureKeys
  std::uint32_t every = 0;               // 0: always; N: one in N exchanges of a connection
  double value = 0;                      // the value read (FaultKind::value), microseconds (slow)
};

struct Snapshot {
  struct SourceView {
    std::string name;
    double load;
    double temp;
  };
  struct TempView {
    std::string key;
    std::string source;
    std::optional<double> value;
  };
  struct FanView {
    int index;
    std::optional<double> actual, min, max, target;
    bool forced;
    std::optional<int> mode;  // F?Md byte, when the key exists
  };
  std::string profile;
  std::string description;
  bool frozen = false;
  Writers writers = Writers::root;
  layout::LoadMode loadMode = layout::LoadMode::fixed;
  double ambientC = 0;
  std::optional<std::uint16_t> forcedMask;
  std::vector<SourceView> sources;
  std::vector<TempView> temps;
  std::vector<FanView> fans;
  std::vector<Fault> faults;
  std::uint32_t keyCount = 0;
};

class Device {
 public:
  enum class Access { automatic, readOnly };

  static Result<Device> open(const std::string& path, Access access = Access::automatic);

  // The mapping and descriptor move with the device; the moved-from device may only go.
  Device(Device&& other) noexcept = default;
  Device& operator=(Device&& other) noexcept = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  ~Device() = default;

  smc::IOReturn exchange(const smc::SMCKeyData_t& input, smc::SMCKeyData_t& output);

  bool writable() const { return writable_; }
  bool privileged() const { return privileged_; }
  const std::string& path() const { return path_; }

  std::optional<KeyView> key(std::string_view name) const;
  std::vector<KeyView> keys() const;
  std::optional<double> value(std::string_view name) const;
  Status setBytes(std::string_view name, std::span<const std::uint8_t> bytes);
  Status setValue(std::string_view name, double value);
  Status setKeyState(std::string_view name, KeyState state);

  Status addFault(const Fault& fault);
  // Removes the faults of this kind for this key (layout::kAllKeys matches only "all keys").
  Status removeFaults(FaultKind kind, std::uint32_t key);
  Status clearFaults();  // faults, missing and unreadable switches; recorded states stay
  std::vector<Fault> faults() const;

  // Load from 0 to 1, for every heat source or one by name.
  Status setLoad(double level, std::string_view source = {});
  Status setLoadPattern(std::span<const layout::PatternStep> steps);
  Status setLoadFromHost();

  Status setFrozen(bool frozen);
  // Moves the model on by `seconds` of simulated time, frozen or not.
  Status advance(double seconds);
  // The machine slept and woke: the firmware has taken every fan back (mode keys "F<i>Md" and
  // the mask "FS! " 0) and set each target ("F<i>Tg") to that fan's minimum ("F<i>Mn"), for the
  // fans "FNum" counts (every fan index the table can hold when it has none).
  Status sleepAndWake();
  // What a writable connection does before each exchange: catch the model up with real time.
  void catchUp();

  Snapshot snapshot() const;

 private:
  Device() = default;
  const layout::KeyEntry* findKey(std::uint32_t code) const;
  std::uint32_t indexOf(std::uint32_t code) const;
  Status requireWritable() const;
  Result<std::uint32_t> keyIndex(std::string_view name) const;
  // Runs `change` on the mapping with the writer lock held and the sequence odd.
  template <class Change>
  void write(Change change);
  template <class Read>
  void read(Read reader) const;
  // On a connection mapped for writing: the model caught up with now, then `change` as write()
  // runs it, so that a change of load, time or fans takes effect from now.
  template <class Change>
  Status changeFromNow(Change change);
  smc::IOReturn writeExchange(const smc::SMCKeyData_t& input, std::uint32_t index);
  bool isTemperatureKey(std::uint32_t index) const;
  // The answer of the first failure fault that fires for this exchange on the key at `index`,
  // kIOReturnSuccess when none does; `valueFault` is set to a value fault that fires for a read.
  smc::IOReturn firingFault(const smc::SMCKeyData_t& input, std::uint32_t index,
                            std::span<const layout::Fault> faults,
                            const layout::Fault*& valueFault);
  bool faultFires(std::size_t slot, std::uint32_t every);

  std::string path_;
  // The mapping goes before the descriptor (members end in reverse order).
  base::UniqueFd fd_;
  base::MappedFile map_;
  layout::Header* header_ = nullptr;
  layout::KeyEntry* keys_ = nullptr;
  std::uint32_t keyCount_ = 0;
  bool writable_ = false;
  bool privileged_ = false;
  std::uint32_t faultCounters_[layout::kMaxFaults] = {};
  // Where the keys asked for lately sit in the table (which does not change while it is mapped):
  // a small cache in front of the binary search, so that a program reading the same keys every
  // few seconds touches one line of memory per key rather than a dozen pages of the table.
  struct LookupSlot {
    std::uint32_t code = 0;
    std::uint32_t index = 0;
    bool filled = false;
  };
  static constexpr std::uint32_t kLookupProbes = 4;
  mutable std::array<LookupSlot, 256> lookup_{};
};

// Opens a device the way our programs find it: `path` as given, except that at the default
// location (no QUILLOMATICS_SMC_DEVICE) a file owned by anyone but the user or root is refused.
Result<Device> openSystemDevice(const std::string& path);

// Opens devicePath(), creating it from the built-in default profile first when it is the default
// device and missing. A missing or invalid named device is an error naming the path.
Result<Device> openDefaultDevice();

}  // namespace sim
