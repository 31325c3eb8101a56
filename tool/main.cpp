// ventwarden: the privileged fan tool. Run as root by the application; trusts nothing from its
// caller beyond the command argument (and, for "stop", a process id it checks before signalling).
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "smc/io_service.h"
#include "tool/guard_launch.h"
#include "tool/monitor_watch.h"
#include "tool/pid_file.h"
#include "tool/process_identity.h"
#include "tool/stop_signals.h"
#include "tool/ventwarden.h"

namespace {

class StdoutLines final : public tool::ToolOutput {
 public:
  void line(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
};

// A caller may start us with standard descriptors closed; keep 0-2 taken so that no file the
// tool opens (the SMC connection, the pid file) can end up receiving the output line.
void occupyStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1) {
      const int null = open("/dev/null", O_RDWR);
      if (null < 0) {
        _exit(1);
      }
    }
  }
}

// Raises a limit to `wanted`; where that is refused (run without root), as far as the hard
// limit allows.
template <class Resource>
void raiseLimit(Resource resource, rlim_t wanted) {
  rlimit now{};
  if (getrlimit(resource, &now) != 0 || now.rlim_cur >= wanted) {
    return;
  }
  const rlimit raised{wanted, now.rlim_max >= wanted ? now.rlim_max : wanted};
  if (setrlimit(resource, &raised) != 0) {
    const rlimit hard{now.rlim_max, now.rlim_max};
    setrlimit(resource, &hard);
  }
}

// The caller sets our resource limits, and a lowered one could end us half-way, between forcing
// the fans and handing them back or with a temporary file of ours left behind: a file size of 0
// (SIGXFSZ at the pid file), CPU seconds (SIGXCPU), memory, stack or descriptors. They are set
// here, before anything is written; a write beyond the file-size limit then fails instead of
// ending the process.
//
// The caller also chooses our working directory and, through the device file it may own, can
// make a mapped access fail (a device cut short under us ends the process with SIGBUS). A core
// dump would then be a file written as root where the caller chose: there is none.
void setResourceLimits() {
  const rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  for (const auto resource : {RLIMIT_FSIZE, RLIMIT_CPU, RLIMIT_AS, RLIMIT_DATA, RLIMIT_STACK}) {
    raiseLimit(resource, RLIM_INFINITY);
  }
  raiseLimit(RLIMIT_NOFILE, 64);
  signal(SIGXFSZ, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
  setResourceLimits();
  occupyStandardDescriptors();
  std::vector<std::string_view> args;
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(argv[i]);
  }
  StdoutLines out;
  tool::PosixStopSignals signals;
  const tool::PidFile pidFile;
  tool::ToolPlatform platform{out, signals, pidFile, static_cast<std::int32_t>(getpid())};
  // "stop" signals only a process that runs this very executable, and gives it a few seconds to
  // hand the fans back, so that a start that follows does not race its stop sequence.
  const std::string self = tool::ownExecutable();
  platform.stopTool = [&self](std::int32_t pid) {
    return tool::signalIfRunning(pid, self, SIGTERM, std::chrono::seconds(5));
  };
  // "guard" holds the fans only for a process that runs the monitor beside this tool.
  tool::PosixGuardLaunch guardLaunch;
  platform.guardLaunch = &guardLaunch;
  const std::string monitor = tool::monitorBesideTool();
  platform.watchMonitor = [&monitor](std::int32_t pid) { return tool::watchMonitor(pid, monitor); };
  // "proactive" and "guard" start only while no other instance runs: one tool drives the fans.
  platform.probeTool = [&self](std::int32_t pid) { return tool::signalIfRunning(pid, self, 0); };
  const auto io = smc::makeSystemIOService();
  const int status = runTool(*io, args, platform);
  // The work is done. A stop signal that arrives while the process winds down (a second Ctrl-C,
  // the application's SIGTERM after a terminal's SIGINT) stays pending from here on, instead of
  // ending the process by the signal once the handling is given back on the way out.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  sigprocmask(SIG_BLOCK, &stops, nullptr);
  return status;
}
