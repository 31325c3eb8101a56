// The bundle, from /proc/self/exe.
#include "app/linux/executable_bundle.h"

#include <unistd.h>

#include <climits>

namespace app {

std::string ExecutableBundle::bundlePathFor(const std::filesystem::path& executable) {
  const std::filesystem::path macos = executable.parent_path();
  const std::filesystem::path contents = macos.parent_path();
  const std::filesystem::path bundle = contents.parent_path();
  if (macos.filename() == "MacOS" && contents.filename() == "Contents" &&
      bundle.extension() == ".app") {
    return bundle.string();
  }
  return macos.string();
}

std::string ExecutableBundle::bundlePath() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  // No /proc, or a path that filled the buffer and may have been cut short: unknown, never a
  // guess such as the current directory.
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer || buffer[0] != '/') {
    return {};
  }
  return bundlePathFor(std::string(buffer, static_cast<std::size_t>(n)));
}

}  // namespace app
