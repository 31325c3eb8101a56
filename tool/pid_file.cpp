// Pid file writing that a root process can do safely in a world-writable directory.
#include "tool/pid_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>

#include "base/io.h"
#include "base/unique_fd.h"

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

}  // namespace

bool PidFile::write(std::int32_t pid) const {
  constexpr int kAttempts = 16;
  std::string temp;
  int raw = -1;
  for (int i = 0; i < kAttempts && raw < 0; ++i) {
    if (!temporaryName(path_, temp)) {
      return false;
    }
    // O_EXCL refuses an existing file or symbolic link under that name, so nothing planted is
    // opened; a clash only costs another random name.
    raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (raw < 0 && errno != EEXIST) {
      return false;
    }
  }
  if (raw < 0) {
    return false;
  }
  base::UniqueFd fd(raw);
  // Readable by the unprivileged application whatever the umask.
  const bool written = ::fchmod(fd.get(), 0644) == 0 && base::writeAll(fd.get(), pidText(pid)) &&
                       ::fsync(fd.get()) == 0;
  if (!fd.reset() || !written || ::rename(temp.c_str(), path_.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool PidFile::holds(std::int32_t pid) const {
  base::UniqueFd fd(
      ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return false;
  }
  // A longer file is not ours whatever it holds, so reading stops soon after the digits.
  const std::string expected = pidText(pid);
  std::string content;
  return base::readAll(fd.get(), content, expected.size()) && content == expected;
}

void PidFile::removeIfHolds(std::int32_t pid) const {
  if (holds(pid)) {
    ::unlink(path_.c_str());
  }
}
