// What sysctl and libproc tell of another process on macOS: its arguments and its name.
#include "app/posix/process_info.h"

#include <libproc.h>
#include <signal.h>
#include <sys/sysctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace app {

std::vector<std::string> readProcessArguments(int pid) {
  std::vector<std::string> args;
  int argmax = 0;
  std::size_t size = sizeof argmax;
  int limitMib[2] = {CTL_KERN, KERN_ARGMAX};
  if (pid <= 0 || ::sysctl(limitMib, 2, &argmax, &size, nullptr, 0) != 0 || argmax <= 0) {
    return args;
  }
  std::string buffer(static_cast<std::size_t>(argmax), '\0');
  size = buffer.size();
  int mib[3] = {CTL_KERN, KERN_PROCARGS2, pid};
  if (::sysctl(mib, 3, buffer.data(), &size, nullptr, 0) != 0 || size < sizeof(int)) {
    return args;  // another user's process, or gone
  }
  int argc = 0;
  std::memcpy(&argc, buffer.data(), sizeof argc);
  // argc, the executable's path, padding NULs, then argv[0] ... argv[argc - 1].
  std::size_t at = buffer.find('\0', sizeof argc);
  while (at < size && buffer[at] == '\0') {
    ++at;
  }
  for (int i = 0; i < argc && at < size; ++i) {
    const std::size_t end = buffer.find('\0', at);
    if (end == std::string::npos || end > size) {
      break;
    }
    if (i > 0) {
      args.push_back(buffer.substr(at, end - at));
    }
    at = end + 1;
  }
  return args;
}

bool processAliveNamed(int pid, std::string_view name) {
  if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM)) {
    return false;
  }
  char path[PROC_PIDPATHINFO_MAXSIZE] = {};
  if (::proc_pidpath(pid, path, sizeof path) <= 0) {
    return false;
  }
  const std::string_view full(path);
  const std::size_t slash = full.rfind('/');
  return full.substr(slash == std::string_view::npos ? 0 : slash + 1) == name;
}

}  // namespace app
