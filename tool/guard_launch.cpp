// The guard's process split off with fork(), its one report line through a pipe.
#include "tool/guard_launch.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "base/io.h"

namespace tool {

namespace {

// A report is one short line; anything longer is not one.
constexpr std::size_t kReportLimit = 256;

void ignore(int signal) {
  struct sigaction ignored {};
  ignored.sa_handler = SIG_IGN;
  sigemptyset(&ignored.sa_mask);
  ::sigaction(signal, &ignored, nullptr);
}

}  // namespace

GuardLaunch::Side PosixGuardLaunch::split() {
  int ends[2];
  if (::pipe(ends) != 0) {
    return Side::failed;
  }
  base::UniqueFd readEnd(ends[0]);
  base::UniqueFd writeEnd(ends[1]);
  ::fcntl(readEnd.get(), F_SETFD, FD_CLOEXEC);
  ::fcntl(writeEnd.get(), F_SETFD, FD_CLOEXEC);
  const pid_t child = ::fork();
  if (child < 0) {
    return Side::failed;
  }
  if (child == 0) {
    // A hang-up of the caller's terminal, or a caller that stopped reading, must not end the
    // guard between forcing the fans and watching the monitor.
    ignore(SIGHUP);
    ignore(SIGPIPE);
    readEnd.reset();
    reportEnd_ = std::move(writeEnd);
    return Side::guard;
  }
  writeEnd.reset();
  reportEnd_ = std::move(readEnd);
  return Side::caller;
}

std::optional<std::string> PosixGuardLaunch::awaitReport() {
  // The guard closes its end right after its line, or dies: either way the read ends.
  std::string text;
  const bool read = base::readAll(reportEnd_.get(), text, kReportLimit);
  reportEnd_.reset();
  const auto newline = text.find('\n');
  if (!read || newline == std::string::npos) {
    return std::nullopt;
  }
  return text.substr(0, newline);
}

std::int32_t PosixGuardLaunch::guardPid() {
  return static_cast<std::int32_t>(::getpid());
}

void PosixGuardLaunch::report(std::string_view line) {
  std::string text(line);
  text += '\n';
  (void)base::writeAll(reportEnd_.get(), text);
  reportEnd_.reset();
  // Out of the caller's session and off its terminal and pipes: sudo, a script runner or a pipe
  // reader waiting for the caller's output is done now, and a closed terminal sends us nothing.
  ::setsid();
  const int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    for (int fd = 0; fd <= 2; ++fd) {
      ::dup2(null, fd);
    }
    if (null > 2) {
      ::close(null);
    }
  }
}

}  // namespace tool
