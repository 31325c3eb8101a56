// What /proc tells of another process on Linux: its arguments and its name.
#include "app/posix/process_info.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

namespace app {

namespace {

std::string procFile(int pid, const char* name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<std::string> readProcessArguments(int pid) {
  std::vector<std::string> args;
  if (pid <= 0) {
    return args;
  }
  const std::string all = procFile(pid, "cmdline");
  std::size_t start = 0;
  while (start < all.size()) {
    const std::size_t end = all.find('\0', start);
    args.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
  if (!args.empty()) {
    args.erase(args.begin());
  }
  return args;
}

bool processAliveNamed(int pid, std::string_view name) {
  if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM)) {
    return false;
  }
  // comm holds the first 15 bytes of the executable's file name and a line end.
  std::string comm = procFile(pid, "comm");
  if (comm.ends_with('\n')) {
    comm.pop_back();
  }
  return !comm.empty() && comm == name.substr(0, 15);
}

}  // namespace app
