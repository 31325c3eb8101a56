// Regular files only, on Linux: look the name up with O_PATH (no open of the file itself), check
// what it is, then open that very inode through its /proc/self/fd entry.
#include "sim/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace sim {

int openRegularFile(const std::string& path, int flags) {
  const int located = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (located < 0) {
    return -1;
  }
  struct stat st {};
  int fd = -1;
  int error = 0;
  if (::fstat(located, &st) != 0) {
    error = errno;
  } else if (S_ISLNK(st.st_mode)) {
    error = ELOOP;
  } else if (!S_ISREG(st.st_mode)) {
    error = ENODEV;
  } else {
    const std::string self = "/proc/self/fd/" + std::to_string(located);
    fd = ::open(self.c_str(), (flags & ~O_NOFOLLOW) | O_CLOEXEC);
    error = errno;
  }
  ::close(located);
  if (fd < 0) {
    errno = error;
  }
  return fd;
}

int reopenRegularFile(int fd, const std::string&, int flags) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::open(self.c_str(), (flags & ~O_NOFOLLOW) | O_CLOEXEC);
}

}  // namespace sim
