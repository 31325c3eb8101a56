// Pid file writing that a root process can do safely in a world-writable directory.
#include "tool/pid_file.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <limits>

#include "base/io.h"
#include "base/unique_fd.h"

namespace tool {

namespace {

// "<dir>/.<name>.<16 random hex digits>": in the same directory so the rename is one step.
bool temporaryName(const std::string& path, std::string& name) {
  unsigned char random[8];
  if (getentropy(random, sizeof random) != 0) {
    return false;
  }
  const auto slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  name = dir + "." + base + ".";
  for (unsigned char byte : random) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", byte);
    name += hex;
  }
  return true;
}

// Every signal that can be held off waits while this lives: a signal that would end the process
// (one the caller sends through sudo, say) is taken only once the temporary file is gone.
class HeldSignals {
 public:
  HeldSignals() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous_);
  }
  ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

 private:
  sigset_t previous_{};
};

// A file under a temporary name holding the digits, unlinked when this goes.
class TemporaryPidFile {
 public:
  TemporaryPidFile(const std::string& path, std::int32_t pid) {
    constexpr int kAttempts = 16;
    int raw = -1;
    for (int i = 0; i < kAttempts && raw < 0; ++i) {
      if (!temporaryName(path, name_)) {
        return;
      }
      // O_EXCL refuses an existing file or symbolic link under that name, so nothing planted
      // is opened; a clash only costs another random name.
      raw = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
      if (raw < 0 && errno != EEXIST) {
        return;
      }
    }
    if (raw < 0) {
      return;
    }
    created_ = true;
    base::UniqueFd fd(raw);
    // Readable by the unprivileged application whatever the umask.
    const bool written = ::fchmod(fd.get(), 0644) == 0 && base::writeAll(fd.get(), pidText(pid)) &&
                         ::fsync(fd.get()) == 0;
    ready_ = fd.reset() && written;
  }
  ~TemporaryPidFile() {
    if (created_) {
      ::unlink(name_.c_str());
    }
  }
  TemporaryPidFile(const TemporaryPidFile&) = delete;
  TemporaryPidFile& operator=(const TemporaryPidFile&) = delete;

  // Written whole and closed.
  bool ready() const { return ready_; }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  bool created_ = false;
  bool ready_ = false;
};

}  // namespace

std::optional<std::int32_t> parseProcessId(std::string_view text) {
  if (text.empty() || text.size() > 10) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + (c - '0');
  }
  if (value <= 0 || value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

bool PidFile::write(std::int32_t pid) const {
  const HeldSignals held;
  const TemporaryPidFile temp(path_, pid);
  return temp.ready() && ::rename(temp.name().c_str(), path_.c_str()) == 0;
}

PidClaim PidFile::claim(std::int32_t pid, const ToolProbe& probe) const {
  const auto named = [&] { return probe ? runningTool(*this, probe, pid) : std::nullopt; };
  const HeldSignals held;
  const TemporaryPidFile temp(path_, pid);
  if (!temp.ready()) {
    return PidClaim::failed;
  }
  if (::link(temp.name().c_str(), path_.c_str()) == 0) {
    return PidClaim::written;
  }
  // Something stands at the path (or the file system has no hard links): judged, then replaced.
  if (named()) {
    return PidClaim::alreadyRunning;
  }
  if (::rename(temp.name().c_str(), path_.c_str()) != 0) {
    return PidClaim::failed;
  }
  // Another start that judged the same stale file may have replaced it meanwhile: the one whose
  // file stands runs, the other gives way before it changes anything.
  if (holds(pid)) {
    return PidClaim::written;
  }
  return named() ? PidClaim::alreadyRunning : PidClaim::failed;
}

std::optional<std::int32_t> PidFile::read() const {
  base::UniqueFd fd(
      ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return std::nullopt;
  }
  // A longer file is not one the tool wrote, so reading stops soon after the digits.
  constexpr std::size_t kLongest = 10;
  std::string content;
  if (!base::readAll(fd.get(), content, kLongest) || content.size() > kLongest) {
    return std::nullopt;
  }
  const auto pid = parseProcessId(content);
  if (!pid || content != pidText(*pid)) {
    return std::nullopt;  // leading zeros, say
  }
  return pid;
}

bool PidFile::holds(std::int32_t pid) const {
  return read() == pid;
}

void PidFile::removeIfHolds(std::int32_t pid) const {
  if (holds(pid)) {
    ::unlink(path_.c_str());
  }
}

std::optional<std::int32_t> runningTool(const PidFile& file, const ToolProbe& probe,
                                        std::int32_t self) {
  const auto pid = file.read();
  if (!pid || *pid == self || !probe || probe(*pid) != ToolSignal::sent) {
    return std::nullopt;
  }
  return pid;
}

}  // namespace tool
