// Starting, reading and reaping a child process.
#include "base/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace base {
namespace {

// Pointers into `strings`, ended by a null pointer, for execve.
std::vector<char*> pointersTo(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (const std::string& s : strings) {
    pointers.push_back(const_cast<char*>(s.c_str()));
  }
  pointers.push_back(nullptr);
  return pointers;
}

// `fd` as the child's descriptor `target`, open across the exec. Async-signal-safe.
bool moveTo(int fd, int target) {
  if (fd == target) {
    return fcntl(fd, F_SETFD, 0) == 0;
  }
  return dup2(fd, target) == target;
}

struct Pipe {
  UniqueFd read;
  UniqueFd write;
};

std::optional<Pipe> makePipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    return std::nullopt;
  }
  return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

// What the child does between fork and exec. Only async-signal-safe calls; never returns.
[[noreturn]] void becomeChild(const Subprocess::Options& options, int input, int out, int err,
                              int execStatus, char* const* argv, char* const* envp) {
  if ((options.group == Subprocess::Group::own && setpgid(0, 0) != 0) ||
      (options.group == Subprocess::Group::session && setsid() < 0)) {
    _exit(127);
  }
  if ((input >= 0 && !moveTo(input, STDIN_FILENO)) || (out >= 0 && !moveTo(out, STDOUT_FILENO)) ||
      (err >= 0 && !moveTo(err, STDERR_FILENO))) {
    _exit(127);
  }
  if (options.inChild) {
    if (const int code = options.inChild(); code != 0) {
      _exit(code);
    }
  }
  execve(argv[0], argv, envp);
  // The exec's error goes to the parent, which reports the start as failed.
  const int error = errno;
  [[maybe_unused]] const ssize_t n = write(execStatus, &error, sizeof error);
  _exit(127);
}

}  // namespace

std::optional<Subprocess> Subprocess::start(const Options& options) {
  if (options.argv.empty()) {
    errno = EINVAL;
    return std::nullopt;
  }
  UniqueFd nullInput;
  if (options.input == kNullInput) {
    nullInput.reset(open("/dev/null", O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!nullInput) {
      return std::nullopt;
    }
  }
  // An uncaptured stream is an empty pair, and the child keeps this process's.
  std::optional<Pipe> out = options.captureOutput ? makePipe() : std::optional<Pipe>(Pipe{});
  std::optional<Pipe> err = options.captureErrors ? makePipe() : std::optional<Pipe>(Pipe{});
  std::optional<Pipe> execStatus = makePipe();
  if (!out || !err || !execStatus) {
    return std::nullopt;
  }
  // Everything the child uses is made before the fork.
  const std::vector<char*> argv = pointersTo(options.argv);
  const std::vector<char*> envp =
      options.environment ? pointersTo(*options.environment) : std::vector<char*>{};
  const int input = options.input == kNullInput ? nullInput.get() : options.input;

  const pid_t pid = fork();
  if (pid < 0) {
    return std::nullopt;
  }
  if (pid == 0) {
    becomeChild(options, input, out->write.get(), err->write.get(), execStatus->write.get(),
                argv.data(), options.environment ? envp.data() : environ);
  }
  if (options.group == Group::own) {
    // Also here, so that neither side depends on which runs first.
    setpgid(pid, pid);
  }
  Subprocess child(pid, options.group, std::move(out->read), std::move(err->read));
  execStatus->write.reset();
  // End of file: the exec succeeded (the pipe closed with it). An errno: it failed.
  int error = 0;
  ssize_t n;
  while ((n = read(execStatus->read.get(), &error, sizeof error)) < 0 && errno == EINTR) {
  }
  if (n == static_cast<ssize_t>(sizeof error)) {
    child.wait();
    errno = error;
    return std::nullopt;
  }
  return child;
}

Subprocess::Subprocess(Subprocess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      ownGroup_(other.ownGroup_),
      reaped_(std::exchange(other.reaped_, true)),
      out_(std::move(other.out_)),
      err_(std::move(other.err_)),
      pendingOut_(std::move(other.pendingOut_)) {}

Subprocess::~Subprocess() {
  if (pid_ > 0 && !reaped_) {
    kill(ownGroup_ ? -pid_ : pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

std::optional<std::string> Subprocess::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const std::size_t nl = pendingOut_.find('\n'); nl != std::string::npos) {
      std::string line = pendingOut_.substr(0, nl);
      pendingOut_.erase(0, nl + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0 || !out_) {
      return std::nullopt;
    }
    pollfd entry{out_.get(), POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(left)) <= 0) {
      continue;
    }
    char buffer[256];
    const ssize_t n = read(out_.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return std::nullopt;  // end of output without a whole line
    }
    pendingOut_.append(buffer, static_cast<std::size_t>(n));
  }
}

Subprocess::Output Subprocess::readToEnd() {
  Output output{std::move(pendingOut_), {}};
  pendingOut_.clear();
  UniqueFd* pipes[2] = {&out_, &err_};
  std::string* sinks[2] = {&output.out, &output.err};
  pollfd fds[2] = {{out_.get(), POLLIN, 0}, {err_.get(), POLLIN, 0}};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        pipes[i]->reset();
        fds[i].fd = -1;
      }
    }
  }
  return output;
}

std::optional<int> Subprocess::waitOnce(int options) {
  if (reaped_) {
    errno = ECHILD;
    return std::nullopt;
  }
  int raw = 0;
  const pid_t changed = waitpid(pid_, &raw, options);
  if (changed != pid_) {
    if (changed == 0) {
      errno = 0;
    }
    return std::nullopt;
  }
  reaped_ = WIFEXITED(raw) || WIFSIGNALED(raw);
  return raw;
}

std::optional<int> Subprocess::wait() {
  for (;;) {
    const std::optional<int> raw = waitOnce(0);
    if (raw && reaped_) {
      return raw;
    }
    if (!raw && errno != EINTR) {
      return std::nullopt;
    }
  }
}

bool Subprocess::signal(int sig) const {
  return pid_ > 0 && !reaped_ && kill(pid_, sig) == 0;
}

void Subprocess::endGroup(std::chrono::milliseconds grace) {
  if (pid_ <= 0) {
    return;
  }
  kill(-pid_, SIGTERM);
  kill(-pid_, SIGCONT);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  for (;;) {
    if (!reaped_ && !waitOnce(WNOHANG) && errno == ECHILD) {
      reaped_ = true;
    }
    // No member left, or none this process may signal: nothing more to end. (While members are
    // left, the group's id cannot be taken by another group.)
    if (reaped_ && kill(-pid_, 0) != 0) {
      return;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      break;
    }
    poll(nullptr, 0, 10);
  }
  kill(-pid_, SIGKILL);
  if (!reaped_) {
    wait();
  }
  reaped_ = true;
}

int exitCode(int rawStatus) {
  if (WIFEXITED(rawStatus)) {
    return WEXITSTATUS(rawStatus);
  }
  if (WIFSIGNALED(rawStatus)) {
    return 128 + WTERMSIG(rawStatus);
  }
  return -1;
}

}  // namespace base
