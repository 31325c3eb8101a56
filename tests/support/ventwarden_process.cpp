// Process control for the ventwarden integration tests.
#include "tests/support/ventwarden_process.h"

#include <sys/wait.h>

std::optional<ToolProcess> ToolProcess::start(const std::string& program,
                                              const std::vector<std::string>& args,
                                              const std::string& devicePath) {
  base::Subprocess::Options options;
  options.argv = {program};
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.environment = std::vector<std::string>{"QUILLOMATICS_SMC_DEVICE=" + devicePath};
  options.input = base::Subprocess::kNullInput;
  std::optional<base::Subprocess> child = base::Subprocess::start(options);
  if (!child) {
    return std::nullopt;
  }
  return ToolProcess(std::move(*child));
}

std::optional<std::string> ToolProcess::readLine(std::chrono::milliseconds timeout) {
  return child_.readLine(timeout);
}

bool ToolProcess::signal(int sig) const {
  return child_.signal(sig);
}

ToolRun ToolProcess::wait() {
  base::Subprocess::Output output = child_.readToEnd();
  ToolRun run;
  run.out = std::move(output.out);
  run.err = std::move(output.err);
  const int status = child_.wait().value_or(0);
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
