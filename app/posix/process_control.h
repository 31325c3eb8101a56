// The pid file's reader, removal and signal over POSIX calls, shared by the Linux and macOS shells:
// the file is opened with O_NOFOLLOW | O_NONBLOCK and checked with fstat on what was opened, so a
// link, a FIFO, a device, a huge file or a file of another user planted in /tmp is refused
// without blocking. A signal goes only to a process that runs the tool's executable (see
// tool/process_identity.h); a process id of 0 or below is never signalled (kill would reach a
// whole process group, or every process of the user).
#pragma once

#include "app/platform.h"

namespace app {

class PosixProcessControl : public ProcessControl {
 public:
  std::optional<std::string> readPidFile(std::string_view path, std::size_t maxBytes) override;
  void removeFile(std::string_view path) override;
  void signalTool(int pid, std::string_view toolPath, int signal) override;
  int currentProcessId() override;
  bool toolRunning(int pid, std::string_view toolPath) override;
  std::vector<std::string> processArguments(int pid) override;
  std::unique_ptr<ProcessWatch> watchProcess(int pid) override;
  // posix_spawn with standard input on /dev/null and standard output on a pipe read to its end;
  // standard error is this process's.
  ScriptResult runTool(std::string_view toolPath, const std::vector<std::string>& args) override;
};

}  // namespace app
