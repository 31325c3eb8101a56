// The process watch on Linux: a pidfd that polls readable once the process has ended, and /proc.
#include "app/posix/process_watch.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "base/unique_fd.h"

namespace {

class PidfdWatch final : public ProcessWatch {
 public:
  explicit PidfdWatch(base::UniqueFd fd) : fd_(std::move(fd)) {}
  bool ended() override {
    pollfd p{fd_.get(), POLLIN, 0};
    int ready;
    do {
      ready = ::poll(&p, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready != 0;
  }

 private:
  base::UniqueFd fd_;
};

std::string procFile(int pid, const char* name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::unique_ptr<ProcessWatch> pinProcess(int pid) {
  if (pid <= 0) {
    return nullptr;
  }
  base::UniqueFd fd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  if (!fd) {
    return nullptr;
  }
  return std::make_unique<PidfdWatch>(std::move(fd));
}

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
