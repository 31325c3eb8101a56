// Process control for the ventwarden integration tests.
#include "tests/support/ventwarden_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

std::optional<ToolProcess> ToolProcess::start(const std::string& program,
                                              const std::vector<std::string>& args,
                                              const std::string& devicePath) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    return std::nullopt;
  }
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return std::nullopt;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);

  std::vector<std::string> argvText{program};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvText) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  std::string envText = "QUILLOMATICS_SMC_DEVICE=" + devicePath;
  char* envp[] = {envText.data(), nullptr};

  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (rc != 0) {
    close(out[0]);
    close(err[0]);
    return std::nullopt;
  }
  return ToolProcess(pid, out[0], err[0]);
}

ToolProcess::ToolProcess(ToolProcess&& other) noexcept
    : pid_(other.pid_),
      out_(other.out_),
      err_(other.err_),
      pendingOut_(std::move(other.pendingOut_)),
      reaped_(other.reaped_) {
  other.pid_ = -1;
  other.out_ = -1;
  other.err_ = -1;
  other.reaped_ = true;
}

ToolProcess::~ToolProcess() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) {
    close(out_);
  }
  if (err_ >= 0) {
    close(err_);
  }
}

std::optional<std::string> ToolProcess::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (const auto nl = pendingOut_.find('\n'); nl != std::string::npos) {
      std::string line = pendingOut_.substr(0, nl);
      pendingOut_.erase(0, nl + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      return std::nullopt;
    }
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) {
      continue;
    }
    char buf[256];
    const ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) {
      return std::nullopt;  // end of output without a full line
    }
    pendingOut_.append(buf, static_cast<std::size_t>(n));
  }
}

bool ToolProcess::signal(int sig) const {
  return !reaped_ && kill(pid_, sig) == 0;
}

void ToolProcess::drain(int fd, std::string& into) {
  char buf[256];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) {
      into.append(buf, static_cast<std::size_t>(n));
    }
  }
}

ToolRun ToolProcess::wait() {
  ToolRun run;
  run.out = std::move(pendingOut_);
  pendingOut_.clear();
  drain(out_, run.out);
  drain(err_, run.err);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  reaped_ = true;
  if (WIFEXITED(status)) {
    run.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    run.termSignal = WTERMSIG(status);
  }
  return run;
}

ToolRun runToolProcess(const std::string& program, const std::vector<std::string>& args,
                       const std::string& devicePath) {
  auto process = ToolProcess::start(program, args, devicePath);
  if (!process) {
    return {};
  }
  return process->wait();
}
