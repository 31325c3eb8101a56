// Starting the real ventwarden for a test: a clean environment naming only the simulated device,
// its standard output and error captured, signals and exit observed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "base/subprocess.h"

struct ToolRun {
  int exitStatus = -1;  // -1 when it ended by a signal
  int termSignal = 0;
  std::string out;
  std::string err;
};

class ToolProcess {
 public:
  // Starts `program args...` with QUILLOMATICS_SMC_DEVICE=devicePath as its whole environment
  // and /dev/null as its standard input.
  static std::optional<ToolProcess> start(const std::string& program,
                                          const std::vector<std::string>& args,
                                          const std::string& devicePath);
  ToolProcess(ToolProcess&& other) noexcept = default;
  ToolProcess& operator=(ToolProcess&&) = delete;
  ToolProcess(const ToolProcess&) = delete;
  ~ToolProcess() = default;  // kills and reaps a process still running

  pid_t pid() const { return child_.pid(); }
  // The next line of standard output without its "\n"; no value when none came in time.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);
  bool signal(int sig) const;
  // Waits for the exit and collects what is left of both outputs.
  ToolRun wait();

 private:
  explicit ToolProcess(base::Subprocess child) : child_(std::move(child)) {}

  base::Subprocess child_;
};

// Runs to completion.
ToolRun runToolProcess(const std::string& program, const std::vector<std::string>& args,
                       const std::string& devicePath);
