// A stand-in for the administrator prompt in tests: a thread of the (root) test process that
// listens on a Unix socket for the application's administrator commands and runs them as root.
// It runs nothing but the command lines that start the given tool (max, auto, proactive, and the
// guard of a monitor's process id), the stop of a running tool by process id, and such a stop
// followed by one of those, built by the same functions the application uses; anything else is
// refused with status 126. In a
// suite run by an ordinary account it stands in for the administrator: it runs the commands as
// that account.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/unique_fd.h"

class AdminAgent {
 public:
  // Listens at socketPath (reachable by everyone, as the client runs unprivileged); commands run
  // with QUILLOMATICS_SMC_DEVICE=devicePath and PATH as their whole environment.
  AdminAgent(std::string socketPath, std::string toolPath, std::string devicePath);
  ~AdminAgent();
  AdminAgent(const AdminAgent&) = delete;
  AdminAgent& operator=(const AdminAgent&) = delete;

  const std::string& socketPath() const { return socketPath_; }
  // Every command received, run or refused, in order; and those that were run.
  std::vector<std::string> commands();
  std::vector<std::string> ranCommands();
  // Which process ids a stop may signal. The pid file is shared by every program on the
  // machine, other test suites' tools included, so a test lets through only its own tools.
  void allowStops(std::function<bool(int)> allowed);
  // Refuses every command after the first `count`, as a user who cancels the next prompt would.
  void refuseAfter(std::size_t count);

 private:
  void serve();
  void answer(int connection);

  std::string socketPath_;
  std::string toolPath_;
  std::string devicePath_;
  base::UniqueFd listener_;
  base::UniqueFd stopRead_;
  base::UniqueFd stopWrite_;
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::vector<std::string> ran_;
  std::function<bool(int)> stopAllowed_;
  std::size_t refuseAfter_ = static_cast<std::size_t>(-1);
  // Whether `command` is one of the agent's commands.
  bool allowed(const std::string& command);
  std::thread thread_;
};
