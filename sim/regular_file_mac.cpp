// Regular files only, on macOS, where the simulated device is a test aid and not the platform's
// SMC: refuse a symbolic link at the last component, open without waiting, then check the kind.
#include "sim/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace sim {

int openRegularFile(const std::string& path, int flags) {
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0) {
    return -1;
  }
  if (S_ISLNK(named.st_mode)) {
    errno = ELOOP;
    return -1;
  }
  if (!S_ISREG(named.st_mode)) {
    errno = ENODEV;
    return -1;
  }
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = ENODEV;
    return -1;
  }
  return fd;
}

int reopenRegularFile(int fd, const std::string& path, int flags) {
  struct stat was {};
  if (::fstat(fd, &was) != 0) {
    return -1;
  }
  const int again = openRegularFile(path, flags);
  if (again < 0) {
    return -1;
  }
  struct stat now {};
  if (::fstat(again, &now) != 0 || now.st_dev != was.st_dev || now.st_ino != was.st_ino) {
    ::close(again);
    errno = ESTALE;
    return -1;
  }
  return again;
}

}  // namespace sim
