// The test's administrator agent: accept, read one command, check it, run it, answer.
#include "tests/support/admin_agent.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/admin_script.h"
#include "base/subprocess.h"

AdminAgent::AdminAgent(std::string socketPath, std::string toolPath, std::string devicePath)
    : socketPath_(std::move(socketPath)),
      toolPath_(std::move(toolPath)),
      devicePath_(std::move(devicePath)) {
  listener_.reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath_.c_str(), sizeof address.sun_path - 1);
  unlink(socketPath_.c_str());
  if (bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      chmod(socketPath_.c_str(), 0777) != 0 || listen(listener_.get(), 4) != 0) {
    listener_.reset();
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) == 0) {
    stopRead_.reset(fds[0]);
    stopWrite_.reset(fds[1]);
  }
  thread_ = std::thread([this] { serve(); });
}

AdminAgent::~AdminAgent() {
  [[maybe_unused]] const ssize_t n = write(stopWrite_.get(), "x", 1);
  thread_.join();
  unlink(socketPath_.c_str());
}

std::vector<std::string> AdminAgent::commands() {
  std::lock_guard lock(mutex_);
  return commands_;
}

std::vector<std::string> AdminAgent::ranCommands() {
  std::lock_guard lock(mutex_);
  return ran_;
}

void AdminAgent::allowStops(std::function<bool(int)> allowed) {
  std::lock_guard lock(mutex_);
  stopAllowed_ = std::move(allowed);
}

void AdminAgent::refuseAfter(std::size_t count) {
  std::lock_guard lock(mutex_);
  refuseAfter_ = count;
}

void AdminAgent::serve() {
  while (listener_) {
    pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {stopRead_.get(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    if (fds[1].revents != 0) {
      return;
    }
    base::UniqueFd connection(accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (connection) {
      answer(connection.get());
    }
  }
}

namespace {

// Runs /bin/sh -c command as this (root) process, with a small fixed environment; returns the
// exit status and standard output.
std::pair<int, std::string> runShell(const std::string& command, const std::string& device) {
  base::Subprocess::Options options;
  options.argv = {"/bin/sh", "-c", command};
  options.environment =
      std::vector<std::string>{"QUILLOMATICS_SMC_DEVICE=" + device, "PATH=/usr/bin:/bin"};
  options.captureErrors = false;
  std::optional<base::Subprocess> shell = base::Subprocess::start(options);
  if (!shell) {
    return {127, ""};
  }
  std::string output = shell->readToEnd().out;
  const int status = shell->wait().value_or(0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128, output};
}

}  // namespace

bool AdminAgent::allowed(const std::string& command) {
  // The guard's start names the monitor's process id, which the guard checks itself.
  const auto guardCommand = [this](std::string_view c) {
    for (std::string_view mode : {kMaxCommand, kProactiveCommand}) {
      const std::string prefix = app::guardShellCommand(toolPath_, mode, 0);
      const std::string_view stem = std::string_view(prefix).substr(0, prefix.size() - 1);
      if (c.starts_with(stem) && c.size() > stem.size() && c.size() - stem.size() <= 10 &&
          c.find_first_not_of("0123456789", stem.size()) == std::string_view::npos) {
        return true;
      }
    }
    return false;
  };
  const auto toolCommand = [this, &guardCommand](std::string_view c) {
    return c == app::oneShotShellCommand(toolPath_, "max") ||
           c == app::oneShotShellCommand(toolPath_, "auto") ||
           c == app::proactiveShellCommand(toolPath_) || guardCommand(c);
  };
  if (toolCommand(command)) {
    return true;
  }
  // The stop of a proactive tool, alone or before a tool command: the only variable part is a
  // process id.
  const std::size_t at = command.find(" stop ");
  if (at == std::string::npos) {
    return false;
  }
  const std::size_t from = at + 6;
  const std::size_t end = command.find_first_not_of("0123456789", from);
  const std::string digits = command.substr(from, end == std::string::npos ? end : end - from);
  const int pid = digits.empty() || digits.size() > 9 ? 0 : std::stoi(digits);
  std::function<bool(int)> allowedPid;
  {
    std::lock_guard lock(mutex_);
    allowedPid = stopAllowed_;
  }
  if (pid <= 0 || !allowedPid || !allowedPid(pid)) {
    return false;
  }
  if (command == app::stopToolShellCommand(toolPath_, pid)) {
    return true;
  }
  const std::string prefix = app::stopThenShellCommand(toolPath_, pid, "");
  return command.starts_with(prefix) &&
         toolCommand(std::string_view(command).substr(prefix.size()));
}

void AdminAgent::answer(int connection) {
  std::string command;
  char buffer[1024];
  ssize_t n;
  while (command.size() < 64 * 1024 && (n = read(connection, buffer, sizeof buffer)) > 0) {
    command.append(buffer, static_cast<std::size_t>(n));
  }
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(command);
  }
  bool accepted = allowed(command);
  {
    std::lock_guard lock(mutex_);
    accepted = accepted && commands_.size() <= refuseAfter_;
  }
  const auto [status, output] =
      accepted ? runShell(command, devicePath_) : std::pair<int, std::string>{126, "refused\n"};
  if (accepted) {
    std::lock_guard lock(mutex_);
    ran_.push_back(command);
  }
  const std::string reply = std::to_string(status) + "\n" + output;
  [[maybe_unused]] const ssize_t w = write(connection, reply.data(), reply.size());
}
