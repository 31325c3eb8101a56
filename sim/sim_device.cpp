// The simulated SMC device: creating, validating, mapping and answering exchanges.
#include "sim/sim_device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/io.h"
#include "base/mapped_file.h"
#include "base/unique_fd.h"
#include "sim/key_codec.h"
#include "sim/regular_file.h"
#include "sim/thermal_model.h"

namespace sim {
namespace {

// A model step at most this often: cheap enough per exchange, smooth enough for the eye.
constexpr std::int64_t kStepIntervalNs = 50'000'000;
// A reader gives up spinning after this many tries and waits for the writer's lock instead.
constexpr int kSpinLimit = 2000;

std::int64_t monotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

std::string errnoText(int err) {
  return std::strerror(err);
}

// A uid from SUDO_UID or PKEXEC_UID, when set to a number.
std::optional<uid_t> uidFromEnvironment(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') {
    return std::nullopt;
  }
  char* end = nullptr;
  errno = 0;
  const unsigned long n = std::strtoul(v, &end, 10);
  if (errno != 0 || *end != '\0' || n > 0x7FFFFFFFul) {
    return std::nullopt;
  }
  return static_cast<uid_t>(n);
}

// The user on whose behalf this process runs: root acting for someone through sudo or pkexec
// works on that person's device.
uid_t realUser() {
  if (geteuid() == 0) {
    if (auto u = uidFromEnvironment("SUDO_UID")) {
      return *u;
    }
    if (auto u = uidFromEnvironment("PKEXEC_UID")) {
      return *u;
    }
    return 0;
  }
  return getuid();
}

void lockFile(int fd, int operation) {
  while (::flock(fd, operation) != 0 && errno == EINTR) {
  }
}

Result<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return Status::failure(path + ": cannot read (" + errnoText(errno) + ")");
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string fileNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string directoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The complete bytes of a new device.
Result<std::vector<std::uint8_t>> buildImage(const Profile& profile, const CreateOptions& options) {
  if (profile.keys.size() > layout::kMaxKeys) {
    return Status::failure("more than " + std::to_string(layout::kMaxKeys) + " keys");
  }
  const auto keyCount = static_cast<std::uint32_t>(profile.keys.size());
  std::vector<std::uint8_t> image(layout::fileSizeFor(keyCount), 0);
  auto* header = reinterpret_cast<layout::Header*>(image.data());
  auto* keys = reinterpret_cast<layout::KeyEntry*>(image.data() + sizeof(layout::Header));
  for (std::uint32_t i = 0; i < keyCount; ++i) {
    const ProfileKey& p = profile.keys[i];
    layout::KeyEntry& k = keys[i];
    k.code = p.code;
    k.dataType = p.dataType;
    k.dataSize = p.dataSize;
    k.attributes = p.attributes;
    k.state = p.readable ? 0 : layout::kStateUnreadable;
    std::memcpy(k.text, p.text.data(), std::min(p.text.size(), sizeof k.text));
    std::copy_n(p.bytes.begin(), std::min<std::size_t>(p.bytes.size(), layout::kValueBytes),
                k.bytes);
  }
  std::memcpy(header->magic, layout::kMagic, sizeof header->magic);
  header->version = layout::kVersion;
  header->headerSize = sizeof(layout::Header);
  header->fileSize = image.size();
  header->keyCount = keyCount;
  header->flags = options.frozen ? layout::kFlagFrozen : 0;
  header->writers = options.writers;
  header->lastAdvanceNs = monotonicNs();
  header->loadStartNs = header->lastAdvanceNs;
  std::snprintf(header->profile, sizeof header->profile, "%s", profile.name.c_str());
  std::snprintf(header->description, sizeof header->description, "%s", profile.description.c_str());
  const Status st = model::setUp(*header, {keys, keyCount}, profile);
  if (!st) {
    return st;
  }
  return image;
}

KeyView viewOf(const layout::KeyEntry& k) {
  KeyView v;
  v.text.assign(k.text, strnlen(k.text, sizeof k.text));
  v.code = k.code;
  v.dataType = k.dataType;
  v.dataSize = k.dataSize;
  v.attributes = k.attributes;
  v.recordedUnreadable = (k.state & layout::kStateUnreadable) != 0;
  if (k.state & layout::kStateMissing) {
    v.state = KeyState::missing;
  } else if (k.state & (layout::kStateUnreadable | layout::kStateUnreadableFault)) {
    v.state = KeyState::unreadable;
  }
  v.bytes.assign(k.bytes, k.bytes + std::min<std::uint32_t>(k.dataSize, layout::kValueBytes));
  return v;
}

bool faultCoversKey(const layout::Fault& f, std::uint32_t code, bool isTemperature) {
  return f.key == layout::kAllKeys || f.key == code ||
         (f.key == layout::kTemperatureKeys && isTemperature);
}

}  // namespace

namespace {

constexpr const char* kDefaultDeviceName = "quillomatics-smc.dev";

// What makes `st` no place for `user`'s device, or nothing: it must be a directory itself (not
// a link to one), the user's, and closed to everyone else.
std::string privateDirectoryFault(const struct stat& st, uid_t user) {
  if (S_ISLNK(st.st_mode)) {
    return "is a symbolic link";
  }
  if (!S_ISDIR(st.st_mode)) {
    return "is not a directory";
  }
  if (st.st_uid != user) {
    return "belongs to another user";
  }
  if ((st.st_mode & 07777) != 0700) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string("is open to others (mode ") + mode + ", not 0700)";
  }
  return {};
}

// Checks that `dir` is a directory of `user`'s own with mode 0700, on a descriptor opened without
// following a link, so that what is checked is what the name leads to.
Status checkPrivateDirectory(const std::string& dir, uid_t user) {
  base::UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (fd.get() < 0) {
    const int err = errno;
    if (::lstat(dir.c_str(), &st) == 0) {
      if (const std::string fault = privateDirectoryFault(st, user); !fault.empty()) {
        return Status::failure(dir + ": " + fault + "; not used for the default device");
      }
    }
    return Status::failure(dir + ": cannot open (" + errnoText(err) + ")");
  }
  if (::fstat(fd.get(), &st) != 0) {
    return Status::failure(dir + ": cannot check (" + errnoText(errno) + ")");
  }
  if (const std::string fault = privateDirectoryFault(st, user); !fault.empty()) {
    return Status::failure(dir + ": " + fault + "; not used for the default device");
  }
  return {};
}

// Root working for the user who ran sudo or pkexec.
bool actingForAnotherUser() {
  return ::geteuid() == 0 && realUser() != 0;
}

}  // namespace

std::string defaultDeviceDirectory() {
  const uid_t user = realUser();
  // Root working for another user takes nothing from the environment to choose the place: the
  // login's runtime directory, where XDG_RUNTIME_DIR normally points, is found by uid instead.
  if (!actingForAnotherUser()) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && checkPrivateDirectory(runtime, user)) {
      return runtime;
    }
  }
  const std::string login = "/run/user/" + std::to_string(user);
  if (checkPrivateDirectory(login, user)) {
    return login;
  }
  return "/tmp/quillomatics-" + std::to_string(user);
}

std::string defaultDevicePath() {
  return defaultDeviceDirectory() + "/" + kDefaultDeviceName;
}

Status prepareDefaultDeviceDirectory() {
  const std::string dir = defaultDeviceDirectory();
  // mkdir never follows a link, and fails on anything already there, which is then checked.
  // Root working for someone makes nothing of theirs: the directory would be root's.
  if (!actingForAnotherUser() && ::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    return Status::failure(dir + ": cannot create (" + errnoText(errno) + ")");
  }
  return checkPrivateDirectory(dir, realUser());
}

std::string devicePath() {
  const char* env = std::getenv(std::string(kDeviceEnvironmentVariable).c_str());
  if (env != nullptr && *env != '\0') {
    return env;
  }
  return defaultDevicePath();
}

Result<Profile> loadProfile(const ProfileSource& source) {
  switch (source.kind) {
    case ProfileSource::Kind::parsed:
      return source.profile;
    case ProfileSource::Kind::builtin:
    case ProfileSource::Kind::named: {
      if (const BuiltinProfile* b = findBuiltinProfile(source.name)) {
        return parseProfile(b->text, b->file);
      }
      if (source.kind == ProfileSource::Kind::builtin ||
          source.name.find('/') == std::string::npos) {
        struct stat st {};
        if (source.kind == ProfileSource::Kind::builtin || ::stat(source.name.c_str(), &st) != 0) {
          return Status::failure("no profile named '" + source.name +
                                 "' (smc-sim profiles lists them)");
        }
      }
      [[fallthrough]];
    }
    case ProfileSource::Kind::file: {
      auto text = readFile(source.name);
      if (!text) {
        return Status::failure(text.error());
      }
      auto profile = parseProfile(*text, fileNameOf(source.name));
      if (profile && profile->name.empty()) {
        profile->name = fileNameOf(source.name);
      }
      return profile;
    }
  }
  return Status::failure("unknown profile source");
}

Status createDevice(const std::string& path, const ProfileSource& source,
                    const CreateOptions& options) {
  auto profile = loadProfile(source);
  if (!profile) {
    return Status::failure(profile.error());
  }
  auto image = buildImage(*profile, options);
  if (!image) {
    return Status::failure(image.error());
  }
  // Refuse to replace anything that is not one of our devices.
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0) {
    if (!options.replace) {
      return Status::failure(path + ": already exists (destroy it first, or replace it)");
    }
    auto old = Device::open(path, Device::Access::readOnly);
    if (!old) {
      return Status::failure(path + ": will not replace it: " + old.error());
    }
  }
  // The device is written whole under a temporary name and then moved into place, so no one
  // ever opens a half-written device.
  std::string temp = directoryOf(path) + "/." + fileNameOf(path) + ".XXXXXX";
  base::UniqueFd fd(::mkstemp(temp.data()));
  if (fd.get() < 0) {
    return Status::failure(path + ": cannot create (" + errnoText(errno) + ")");
  }
  const mode_t mode = options.writers == Writers::anyone ? 0666 : 0644;
  if (!base::writeAllAt(fd.get(), image->data(), image->size(), 0) ||
      ::fchmod(fd.get(), mode) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return Status::failure(path + ": cannot write (" + errnoText(err) + ")");
  }
  int moved;
  if (options.replace) {
    moved = ::rename(temp.c_str(), path.c_str());
  } else {
    // link() fails when the name exists, so two processes creating the same device at once both
    // end up using the one that got there first.
    moved = ::link(temp.c_str(), path.c_str());
    ::unlink(temp.c_str());
  }
  if (moved != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    if (err == EEXIST) {
      return Status::failure(path + ": already exists (destroy it first, or replace it)");
    }
    return Status::failure(path + ": cannot create (" + errnoText(err) + ")");
  }
  return {};
}

Status destroyDevice(const std::string& path) {
  auto device = Device::open(path, Device::Access::readOnly);
  if (!device) {
    return Status::failure(device.error());
  }
  if (::unlink(path.c_str()) != 0) {
    return Status::failure(path + ": cannot remove (" + errnoText(errno) + ")");
  }
  return {};
}

Result<Device> Device::open(const std::string& path, Access access) {
  // Only a regular file is ever opened: opening some device nodes has effects of its own.
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0) {
    if (errno == ENOENT) {
      return Status::failure(path + ": no such device (smc-sim create makes one)");
    }
    return Status::failure(path + ": cannot open (" + errnoText(errno) + ")");
  }
  if (S_ISLNK(named.st_mode)) {
    return Status::failure(path + ": is a symbolic link, not a device");
  }
  if (!S_ISREG(named.st_mode)) {
    return Status::failure(path + ": not a simulated SMC device (not a regular file)");
  }
  // Never follow a link: whatever the name points to must itself be a device. The check above
  // only words the common refusals; openRegularFile makes sure nothing but a regular file is
  // opened even when the name changes meanwhile. The file is opened read-only and checked on
  // that descriptor first: a file that is no device (a configuration file named by a hostile
  // QUILLOMATICS_SMC_DEVICE, say) is never opened for writing, which path watchers would see.
  const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  base::UniqueFd fd(openRegularFile(path, flags | O_RDONLY));
  if (fd.get() < 0) {
    const int err = errno;
    if (err == ENOENT) {
      return Status::failure(path + ": no such device (smc-sim create makes one)");
    }
    if (err == ELOOP) {
      return Status::failure(path + ": is a symbolic link, not a device");
    }
    if (err == ENODEV) {
      return Status::failure(path + ": not a simulated SMC device (not a regular file)");
    }
    return Status::failure(path + ": cannot open (" + errnoText(err) + ")");
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return Status::failure(path + ": not a simulated SMC device (not a regular file)");
  }
  if (static_cast<std::uint64_t>(st.st_size) < sizeof(layout::Header)) {
    return Status::failure(path + ": not a simulated SMC device (too small)");
  }
  layout::Header probe{};
  if (::pread(fd.get(), &probe, sizeof probe, 0) != static_cast<ssize_t>(sizeof probe)) {
    return Status::failure(path + ": cannot read (" + errnoText(errno) + ")");
  }
  if (std::memcmp(probe.magic, layout::kMagic, sizeof probe.magic) != 0) {
    return Status::failure(path + ": not a simulated SMC device (wrong magic)");
  }
  if (probe.version != layout::kVersion || probe.headerSize != sizeof(layout::Header)) {
    return Status::failure(path + ": simulated SMC device of another version (" +
                           std::to_string(probe.version) + "); create it again");
  }
  if (probe.keyCount > layout::kMaxKeys || probe.fileSize != layout::fileSizeFor(probe.keyCount) ||
      probe.fileSize != static_cast<std::uint64_t>(st.st_size)) {
    return Status::failure(path + ": damaged simulated SMC device (sizes do not agree)");
  }
  // Only a device whose owner we trust is mapped for writing: ourselves, root, or the user
  // root is acting for. The same inode is opened again for that; where its permissions refuse
  // it, the device is used read-only.
  bool writable = false;
  if (access == Access::automatic &&
      (st.st_uid == geteuid() || st.st_uid == 0 || st.st_uid == realUser())) {
    base::UniqueFd forWriting(reopenRegularFile(fd.get(), path, flags | O_RDWR));
    struct stat again {};
    if (forWriting.get() >= 0 && ::fstat(forWriting.get(), &again) == 0 &&
        again.st_ino == st.st_ino && again.st_dev == st.st_dev) {
      fd = std::move(forWriting);
      writable = true;
    }
  }
  const int protection = PROT_READ | (writable ? PROT_WRITE : 0);
  auto map = base::MappedFile::map(fd.get(), probe.fileSize, protection);
  if (!map) {
    return Status::failure(path + ": cannot map (" + errnoText(errno) + ")");
  }
  Device d;
  d.path_ = path;
  d.header_ = static_cast<layout::Header*>(map.data());
  d.keys_ =
      reinterpret_cast<layout::KeyEntry*>(static_cast<char*>(map.data()) + sizeof(layout::Header));
  d.fd_ = std::move(fd);
  d.map_ = std::move(map);
  d.keyCount_ = probe.keyCount;
  d.writable_ = writable;
  const uid_t euid = geteuid();
  d.privileged_ = writable && (euid == 0 || probe.writers == Writers::anyone ||
                               (probe.writers == Writers::owner && st.st_uid == euid));
  return d;
}

template <class Change>
void Device::write(Change change) {
  lockFile(fd_.get(), LOCK_EX);
  std::atomic_ref<std::uint32_t> seq(header_->seq);
  const std::uint32_t before = seq.load(std::memory_order_relaxed);
  // An odd count left by a writer that died mid-change stays odd until this change is done.
  seq.store(before | 1u, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  change();
  seq.store((before | 1u) + 1, std::memory_order_release);
  lockFile(fd_.get(), LOCK_UN);
}

template <class Read>
void Device::read(Read reader) const {
  std::atomic_ref<std::uint32_t> seq(header_->seq);
  for (int attempt = 0; attempt < kSpinLimit; ++attempt) {
    const std::uint32_t before = seq.load(std::memory_order_acquire);
    if (before & 1u) {
      continue;
    }
    reader();
    std::atomic_thread_fence(std::memory_order_acquire);
    if (seq.load(std::memory_order_relaxed) == before) {
      return;
    }
  }
  // The writer is slow or died mid-change: its lock tells when it is done.
  lockFile(fd_.get(), LOCK_SH);
  reader();
  lockFile(fd_.get(), LOCK_UN);
}

std::uint32_t Device::indexOf(std::uint32_t code) const {
  // Fibonacci hashing: the top 8 bits of the product spread codes that differ in any letter.
  LookupSlot& slot = lookup_[(code * 2654435769u) >> 24];
  if (!slot.filled || slot.code != code) {
    slot = {code, model::findKey({keys_, keyCount_}, code), true};
  }
  return slot.index;
}

bool Device::faultFires(std::size_t slot, std::uint32_t every) {
  if (every <= 1) {
    return true;
  }
  return ++faultCounters_[slot] % every == 0;
}

void Device::catchUp() {
  if (!writable_) {
    return;
  }
  std::atomic_ref<std::int64_t> last(header_->lastAdvanceNs);
  std::atomic_ref<std::uint32_t> flags(header_->flags);
  const std::int64_t now = monotonicNs();
  if ((flags.load(std::memory_order_relaxed) & layout::kFlagFrozen) ||
      now - last.load(std::memory_order_relaxed) < kStepIntervalNs) {
    return;
  }
  write([&] {
    const std::int64_t previous = last.load(std::memory_order_relaxed);
    if ((header_->flags & layout::kFlagFrozen) || now - previous < kStepIntervalNs) {
      return;
    }
    // After a long pause (or a restart of the clock) the model settles rather than replaying.
    const double seconds = previous <= 0 || now < previous
                               ? 0.0
                               : std::min(static_cast<double>(now - previous) / 1e9, 3600.0);
    model::run(*header_, {keys_, keyCount_}, seconds, now);
    last.store(now, std::memory_order_relaxed);
  });
}

IOReturn Device::exchange(const SMCKeyData_t& input, SMCKeyData_t& output) {
  catchUp();
  const std::uint32_t index = indexOf(input.key);

  struct Seen {
    layout::KeyEntry key;
    std::uint32_t faultCount;
    layout::Fault faults[layout::kMaxFaults];
  };
  // Only the parts of a key an exchange can answer are copied.
  Seen seen;
  read([&] {
    seen.faultCount = std::min(header_->faultCount, layout::kMaxFaults);
    std::memcpy(seen.faults, header_->faults, seen.faultCount * sizeof(layout::Fault));
    if (index != layout::kNoKey) {
      std::memcpy(&seen.key, &keys_[index], offsetof(layout::KeyEntry, bytes) + kSMCMaxBytes);
    }
  });

  bool isTemperature = false;
  auto temperatureCheck = [&] {
    for (std::uint32_t i = 0; i < std::min(header_->tempCount, layout::kMaxTemps); ++i) {
      if (header_->temps[i].key == index) {
        return true;
      }
    }
    return false;
  };
  for (std::uint32_t i = 0; i < seen.faultCount; ++i) {
    if (seen.faults[i].key == layout::kTemperatureKeys && index != layout::kNoKey) {
      isTemperature = temperatureCheck();
      break;
    }
  }
  const layout::Fault* valueFault = nullptr;
  for (std::uint32_t i = 0; i < seen.faultCount; ++i) {
    const layout::Fault& f = seen.faults[i];
    if (f.kind == FaultKind::slow && f.value > 0) {
      const double us = std::min(f.value, 10e6);
      timespec ts{static_cast<time_t>(us / 1e6), static_cast<long>(std::fmod(us, 1e6) * 1000)};
      while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
      }
    }
  }
  if (index == layout::kNoKey || (seen.key.state & layout::kStateMissing)) {
    return kIOReturnNotFound;
  }
  for (std::uint32_t i = 0; i < seen.faultCount; ++i) {
    const layout::Fault& f = seen.faults[i];
    if (!faultCoversKey(f, input.key, isTemperature)) {
      continue;
    }
    const bool fires = (f.kind == FaultKind::keyInfoFails && input.data8 == SMC_CMD_READ_KEYINFO) ||
                       (f.kind == FaultKind::readFails && input.data8 == SMC_CMD_READ_BYTES) ||
                       (f.kind == FaultKind::writeRefused && input.data8 == SMC_CMD_WRITE_BYTES);
    if (fires && faultFires(i, f.every)) {
      return f.kind == FaultKind::writeRefused ? kIOReturnNotPrivileged : kIOReturnError;
    }
    if (f.kind == FaultKind::value && input.data8 == SMC_CMD_READ_BYTES && faultFires(i, f.every)) {
      valueFault = &f;
    }
  }

  SMCKeyData_t out{};
  out.key = input.key;
  switch (input.data8) {
    case SMC_CMD_READ_KEYINFO:
      out.keyInfo.dataSize = seen.key.dataSize;
      out.keyInfo.dataType = seen.key.dataType;
      out.keyInfo.dataAttributes = seen.key.attributes;
      break;
    case SMC_CMD_READ_BYTES: {
      if (seen.key.state & (layout::kStateUnreadable | layout::kStateUnreadableFault)) {
        return kIOReturnNotReadable;
      }
      const std::uint32_t n = std::min<std::uint32_t>(seen.key.dataSize, kSMCMaxBytes);
      std::memcpy(out.bytes, seen.key.bytes, n);
      if (valueFault != nullptr) {
        if (auto bytes = encodeValue(seen.key.dataType, seen.key.dataSize, valueFault->value)) {
          std::memcpy(out.bytes, bytes->data(), std::min<std::size_t>(bytes->size(), n));
        }
      }
      break;
    }
    case SMC_CMD_WRITE_BYTES: {
      const IOReturn r = writeExchange(input, index);
      if (r != kIOReturnSuccess) {
        return r;
      }
      break;
    }
    default:
      return kIOReturnBadArgument;
  }
  output = out;
  return kIOReturnSuccess;
}

IOReturn Device::writeExchange(const SMCKeyData_t& input, std::uint32_t index) {
  if (!privileged_) {
    return kIOReturnNotPrivileged;
  }
  IOReturn result = kIOReturnSuccess;
  write([&] {
    layout::KeyEntry& k = keys_[index];
    if (k.state & layout::kStateMissing) {
      result = kIOReturnNotFound;
    } else if (!(k.attributes & 0x40)) {
      result = kIOReturnNotPrivileged;
    } else if (input.keyInfo.dataSize != k.dataSize || k.dataSize > kSMCMaxBytes) {
      result = kIOReturnBadArgument;
    } else {
      std::memcpy(k.bytes, input.bytes, k.dataSize);
    }
  });
  return result;
}

Status Device::requireWritable() const {
  if (!writable_) {
    return Status::failure(path_ +
                           ": permission denied (changing the device needs root or its owner)");
  }
  return {};
}

Result<std::uint32_t> Device::keyIndex(std::string_view name) const {
  if (name.size() < 1 || name.size() > 5) {
    return Status::failure("'" + std::string(name) + "' is not a key (four characters)");
  }
  const std::uint32_t index = indexOf(fourCC(name));
  if (index == layout::kNoKey) {
    return Status::failure("unknown key '" + std::string(name) + "'");
  }
  return index;
}

std::optional<KeyView> Device::key(std::string_view name) const {
  const auto index = keyIndex(name);
  if (!index) {
    return std::nullopt;
  }
  layout::KeyEntry copy{};
  read([&] { copy = keys_[*index]; });
  return viewOf(copy);
}

std::vector<KeyView> Device::keys() const {
  std::vector<layout::KeyEntry> copy(keyCount_);
  read([&] { std::copy_n(keys_, keyCount_, copy.data()); });
  std::vector<KeyView> views;
  views.reserve(copy.size());
  for (const auto& k : copy) {
    views.push_back(viewOf(k));
  }
  return views;
}

std::optional<double> Device::value(std::string_view name) const {
  const auto k = key(name);
  if (!k) {
    return std::nullopt;
  }
  return decodeValue(k->dataType, k->dataSize, k->bytes);
}

Status Device::setBytes(std::string_view name, std::span<const std::uint8_t> bytes) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  const auto index = keyIndex(name);
  if (!index) {
    return Status::failure(index.error());
  }
  const std::uint32_t size = keys_[*index].dataSize;
  if (bytes.size() != size) {
    return Status::failure("key '" + std::string(name) + "' holds " + std::to_string(size) +
                           " byte(s), not " + std::to_string(bytes.size()));
  }
  write([&] { std::copy(bytes.begin(), bytes.end(), keys_[*index].bytes); });
  return {};
}

Status Device::setValue(std::string_view name, double v) {
  const auto k = key(name);
  if (!k) {
    return Status::failure("unknown key '" + std::string(name) + "'");
  }
  const auto encoded = encodeValue(k->dataType, k->dataSize, v);
  if (!encoded) {
    return Status::failure("key '" + std::string(name) + "' of type '" + typeName(k->dataType) +
                           "' has no numeric encoding; give raw bytes");
  }
  std::vector<std::uint8_t> bytes = k->bytes;
  std::copy(encoded->begin(), encoded->end(), bytes.begin());
  return setBytes(name, bytes);
}

Status Device::setKeyState(std::string_view name, KeyState state) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  const auto index = keyIndex(name);
  if (!index) {
    return Status::failure(index.error());
  }
  write([&] {
    std::uint8_t& s = keys_[*index].state;
    s = static_cast<std::uint8_t>(s & ~(layout::kStateMissing | layout::kStateUnreadableFault));
    if (state == KeyState::missing) {
      s |= layout::kStateMissing;
    } else if (state == KeyState::unreadable) {
      s |= layout::kStateUnreadableFault;
    }
  });
  return {};
}

Status Device::addFault(const Fault& fault) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  bool full = false;
  write([&] {
    std::uint32_t count = std::min(header_->faultCount, layout::kMaxFaults);
    // A fault of the same kind for the same key is replaced, not stacked.
    std::uint32_t slot = count;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (header_->faults[i].kind == fault.kind && header_->faults[i].key == fault.key) {
        slot = i;
      }
    }
    if (slot == layout::kMaxFaults) {
      full = true;
      return;
    }
    header_->faults[slot] = layout::Fault{fault.kind, fault.key, fault.every, 0, fault.value};
    header_->faultCount = std::max(count, slot + 1);
  });
  if (full) {
    return Status::failure("too many faults (" + std::to_string(layout::kMaxFaults) + ")");
  }
  return {};
}

Status Device::removeFaults(FaultKind kind, std::uint32_t key) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  write([&] {
    std::uint32_t count = std::min(header_->faultCount, layout::kMaxFaults);
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!(header_->faults[i].kind == kind && header_->faults[i].key == key)) {
        header_->faults[kept++] = header_->faults[i];
      }
    }
    header_->faultCount = kept;
  });
  return {};
}

Status Device::clearFaults() {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  write([&] {
    header_->faultCount = 0;
    for (std::uint32_t i = 0; i < keyCount_; ++i) {
      keys_[i].state &= layout::kStateUnreadable;
    }
  });
  return {};
}

std::vector<Fault> Device::faults() const {
  std::vector<Fault> out;
  read([&] {
    out.clear();
    const std::uint32_t count = std::min(header_->faultCount, layout::kMaxFaults);
    for (std::uint32_t i = 0; i < count; ++i) {
      const layout::Fault& f = header_->faults[i];
      out.push_back(Fault{f.kind, f.key, f.every, f.value});
    }
  });
  return out;
}

Status Device::setLoad(double level, std::string_view source) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  if (!(level >= 0 && level <= 1)) {
    return Status::failure("load must be between 0 and 1");
  }
  catchUp();
  bool found = source.empty();
  write([&] {
    header_->loadMode = layout::LoadMode::fixed;
    for (std::uint32_t i = 0; i < std::min(header_->sourceCount, layout::kMaxSources); ++i) {
      if (source.empty() || source == header_->sources[i].name) {
        header_->sources[i].load = level;
        found = true;
      }
    }
  });
  if (!found) {
    return Status::failure("no heat source named '" + std::string(source) + "'");
  }
  return {};
}

Status Device::setLoadPattern(std::span<const layout::PatternStep> steps) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  if (steps.empty() || steps.size() > layout::kMaxPatternSteps) {
    return Status::failure("a load pattern has 1 to " + std::to_string(layout::kMaxPatternSteps) +
                           " steps");
  }
  for (const auto& s : steps) {
    if (!(s.level >= 0 && s.level <= 1) || !(s.seconds > 0)) {
      return Status::failure("each step needs a load from 0 to 1 and a time above 0 seconds");
    }
  }
  catchUp();
  write([&] {
    header_->loadMode = layout::LoadMode::pattern;
    header_->patternCount = static_cast<std::uint32_t>(steps.size());
    std::copy(steps.begin(), steps.end(), header_->pattern);
    header_->loadStartNs = monotonicNs();
  });
  return {};
}

Status Device::setLoadFromHost() {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  catchUp();
  write([&] {
    header_->loadMode = layout::LoadMode::host;
    header_->hostPrevTotal = 0;
    header_->hostPrevIdle = 0;
  });
  return {};
}

Status Device::setFrozen(bool frozen) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  catchUp();
  write([&] {
    if (frozen) {
      header_->flags |= layout::kFlagFrozen;
    } else {
      header_->flags &= ~layout::kFlagFrozen;
    }
    // Time frozen does not count when the machine is thawed.
    std::atomic_ref<std::int64_t>(header_->lastAdvanceNs)
        .store(monotonicNs(), std::memory_order_relaxed);
  });
  return {};
}

Status Device::advance(double seconds) {
  if (auto st = requireWritable(); !st) {
    return st;
  }
  if (!(seconds >= 0 && seconds <= 86400)) {
    return Status::failure("time steps are from 0 to 86400 seconds");
  }
  write([&] { model::run(*header_, {keys_, keyCount_}, seconds, monotonicNs()); });
  return {};
}

Snapshot Device::snapshot() const {
  auto header = std::make_unique<layout::Header>();
  std::vector<layout::KeyEntry> keys(keyCount_);
  read([&] {
    std::memcpy(header.get(), header_, sizeof(layout::Header));
    std::copy_n(keys_, keyCount_, keys.data());
  });
  const layout::Header& h = *header;
  std::span<const layout::KeyEntry> table(keys);
  auto valueAt = [&](std::uint32_t index) -> std::optional<double> {
    if (index >= table.size()) {
      return std::nullopt;
    }
    const auto& k = table[index];
    return decodeValue(k.dataType, k.dataSize,
                       {k.bytes, std::min<std::uint32_t>(k.dataSize, layout::kValueBytes)});
  };
  Snapshot s;
  s.profile.assign(h.profile, strnlen(h.profile, sizeof h.profile));
  s.description.assign(h.description, strnlen(h.description, sizeof h.description));
  s.frozen = (h.flags & layout::kFlagFrozen) != 0;
  s.writers = h.writers;
  s.loadMode = h.loadMode;
  s.ambientC = h.ambientC;
  s.keyCount = keyCount_;
  if (const auto m = valueAt(h.forcedMaskKey); m && std::isfinite(*m)) {
    s.forcedMask = static_cast<std::uint16_t>(std::clamp(*m, 0.0, 65535.0));
  }
  for (std::uint32_t i = 0; i < std::min(h.sourceCount, layout::kMaxSources); ++i) {
    const auto& src = h.sources[i];
    s.sources.push_back(
        {std::string(src.name, strnlen(src.name, sizeof src.name)), src.load, src.temp});
  }
  for (std::uint32_t i = 0; i < std::min(h.tempCount, layout::kMaxTemps); ++i) {
    const auto& t = h.temps[i];
    if (t.key >= table.size()) {
      continue;
    }
    const auto& k = table[t.key];
    s.temps.push_back({std::string(k.text, strnlen(k.text, sizeof k.text)),
                       t.source < s.sources.size() ? s.sources[t.source].name : "?",
                       valueAt(t.key)});
  }
  for (std::uint32_t i = 0; i < std::min(h.fanCount, layout::kMaxFans); ++i) {
    const auto& f = h.fans[i];
    Snapshot::FanView v{static_cast<int>(f.index),
                        valueAt(f.ac),
                        valueAt(f.mn),
                        valueAt(f.mx),
                        valueAt(f.tg),
                        false,
                        std::nullopt};
    if (f.md < table.size()) {
      v.mode = table[f.md].bytes[0];
    }
    v.forced = (v.mode && *v.mode == 1) ||
               (s.forcedMask && f.index < 16 && (*s.forcedMask & (1u << f.index)) != 0);
    s.fans.push_back(v);
  }
  for (std::uint32_t i = 0; i < std::min(h.faultCount, layout::kMaxFaults); ++i) {
    const auto& f = h.faults[i];
    s.faults.push_back(Fault{f.kind, f.key, f.every, f.value});
  }
  return s;
}

Result<Device> openSystemDevice(const std::string& path) {
  if (path == defaultDevicePath()) {
    if (const Status dir = checkPrivateDirectory(directoryOf(path), realUser()); !dir) {
      return Status::failure(dir.error());
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && st.st_uid != 0 && st.st_uid != realUser() &&
        st.st_uid != ::geteuid()) {
      return Status::failure(path + ": belongs to another user; not used");
    }
  }
  return Device::open(path);
}

Result<Device> openDefaultDevice() {
  const std::string path = devicePath();
  auto device = openSystemDevice(path);
  if (device) {
    return device;
  }
  // Only the default device is made on demand: a device named by the user that is missing or
  // invalid is their mistake to hear about, not a place for a new machine.
  if (path != defaultDevicePath()) {
    return device;
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 || errno != ENOENT) {
    return device;  // something is there (or out of reach) that is not a device we may use
  }
  if (const Status dir = prepareDefaultDeviceDirectory(); !dir) {
    return Status::failure(dir.error());
  }
  const Status created = createDevice(path, ProfileSource::builtin(kDefaultProfile));
  if (!created && created.error().find("already exists") == std::string::npos) {
    return Status::failure(created.error());
  }
  auto opened = openSystemDevice(path);
  if (created && opened && opened->writable()) {
    // The built-in machine works in bursts, so that someone trying the monitor sees it warm up,
    // the fans answer and everything cool down again within a minute.
    static constexpr layout::PatternStep kBursts[] = {{0.15, 20.0}, {0.9, 30.0}, {0.45, 20.0}};
    (void)opened->setLoadPattern(kBursts);
  }
  return opened;
}

}  // namespace sim
