// The simulated SMC device's file: where it lives, building it from a profile, creating,
// destroying, validating and mapping it.
#include "sim/sim_device.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/io.h"
#include "base/mapped_file.h"
#include "base/unique_fd.h"
#include "sim/key_codec.h"
#include "sim/regular_file.h"
#include "sim/sim_device_access.h"
#include "sim/thermal_model.h"

namespace sim {
namespace {

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

// The kernel's login uid of this process: the user whose login session it belongs to, which
// sudo and pkexec pass on unchanged and which that user cannot set. None where the kernel keeps
// none (no /proc/self/loginuid, or 4294967295: a process outside any login session).
std::optional<uid_t> loginUid() {
  base::UniqueFd fd(::open("/proc/self/loginuid", O_RDONLY | O_CLOEXEC));
  std::string text;
  if (!fd || !base::readAll(fd.get(), text, 16) || text.empty() || text.size() > 16) {
    return std::nullopt;
  }
  std::uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (n >= 4294967295u) {
    return std::nullopt;
  }
  return static_cast<uid_t>(n);
}

// The user on whose behalf this process runs.
uid_t realUser() {
  return actingUser().uid;
}

}  // namespace

ActingUser actingUser() {
  if (::geteuid() != 0) {
    return {::getuid(), {}};
  }
  const char* variable = "SUDO_UID";
  auto claimed = uidFromEnvironment(variable);
  if (!claimed) {
    variable = "PKEXEC_UID";
    claimed = uidFromEnvironment(variable);
  }
  if (!claimed) {
    return {0, {}};
  }
  // The variables are the caller's to set where sudo keeps the environment: they count only
  // when the kernel's login uid agrees, or where there is none to ask.
  const auto login = loginUid();
  if (!login || *login == *claimed) {
    return {*claimed, {}};
  }
  return {0, std::string(variable) + "=" + std::to_string(*claimed) +
                 " is not the login user of this session (uid " + std::to_string(*login) +
                 "): acting for no user, only devices of root are written"};
}

namespace {

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
      return Status::failure(path + ": already exists (destroy it first, or replace it)",
                             ErrorKind::alreadyExists);
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
      return Status::failure(path + ": already exists (destroy it first, or replace it)",
                             ErrorKind::alreadyExists);
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

namespace {

// Every way of opening a device is refused with the same words, whichever check notices.
Status openFailure(const std::string& path, int err) {
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

// The regular file at `path`, opened read-only; `st` is what fstat says of it.
Result<base::UniqueFd> openDeviceFile(const std::string& path, int flags, struct stat& st) {
  // Only a regular file is ever opened: opening some device nodes has effects of its own.
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0) {
    if (errno == ENOENT) {
      return openFailure(path, ENOENT);
    }
    return Status::failure(path + ": cannot open (" + errnoText(errno) + ")");
  }
  if (S_ISLNK(named.st_mode)) {
    return openFailure(path, ELOOP);
  }
  if (!S_ISREG(named.st_mode)) {
    return openFailure(path, ENODEV);
  }
  // Never follow a link: whatever the name points to must itself be a device. The check above
  // only words the common refusals; openRegularFile makes sure nothing but a regular file is
  // opened even when the name changes meanwhile. The file is opened read-only and checked on
  // that descriptor first: a file that is no device (a configuration file named by a hostile
  // QUILLOMATICS_SMC_DEVICE, say) is never opened for writing, which path watchers would see.
  base::UniqueFd fd(openRegularFile(path, flags | O_RDONLY));
  if (fd.get() < 0) {
    return openFailure(path, errno);
  }
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return openFailure(path, ENODEV);
  }
  return fd;
}

// The device's header, once it is known to be a device of this version whose sizes agree with
// the file's.
Result<layout::Header> readHeader(const std::string& path, int fd, const struct stat& st) {
  if (static_cast<std::uint64_t>(st.st_size) < sizeof(layout::Header)) {
    return Status::failure(path + ": not a simulated SMC device (too small)");
  }
  layout::Header probe{};
  if (::pread(fd, &probe, sizeof probe, 0) != static_cast<ssize_t>(sizeof probe)) {
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
  return probe;
}

// The same inode opened again for writing, when its owner is one we trust (ourselves, root, or
// the user root is acting for) and its permissions allow it; else no descriptor.
base::UniqueFd reopenForWriting(int fd, const std::string& path, int flags, const struct stat& st) {
  if (st.st_uid != geteuid() && st.st_uid != 0 && st.st_uid != realUser()) {
    return base::UniqueFd();
  }
  base::UniqueFd forWriting(reopenRegularFile(fd, path, flags | O_RDWR));
  struct stat again {};
  if (forWriting.get() >= 0 && ::fstat(forWriting.get(), &again) == 0 &&
      again.st_ino == st.st_ino && again.st_dev == st.st_dev) {
    return forWriting;
  }
  return base::UniqueFd();
}

}  // namespace

Result<Device> Device::open(const std::string& path, Access access) {
  const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  struct stat st {};
  auto opened = openDeviceFile(path, flags, st);
  if (!opened) {
    return Status::failure(opened.error());
  }
  base::UniqueFd fd = std::move(*opened);
  const auto probe = readHeader(path, fd.get(), st);
  if (!probe) {
    return Status::failure(probe.error());
  }
  // Only a device whose owner we trust is mapped for writing; where the file's permissions
  // refuse it, the device is used read-only.
  bool writable = false;
  if (access == Access::automatic) {
    if (base::UniqueFd forWriting = reopenForWriting(fd.get(), path, flags, st);
        forWriting.get() >= 0) {
      fd = std::move(forWriting);
      writable = true;
    }
  }
  const int protection = PROT_READ | (writable ? PROT_WRITE : 0);
  auto map = base::MappedFile::map(fd.get(), probe->fileSize, protection);
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
  d.keyCount_ = probe->keyCount;
  d.writable_ = writable;
  const uid_t euid = geteuid();
  d.privileged_ = writable && (euid == 0 || probe->writers == Writers::anyone ||
                               (probe->writers == Writers::owner && st.st_uid == euid));
  return d;
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
  // Another program may have made it meanwhile: that one is opened.
  if (!created && created.kind() != ErrorKind::alreadyExists) {
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
