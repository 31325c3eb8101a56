// POSIX pid-file reading, removal and signalling.
#include "app/posix/process_control.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "app/posix/process_info.h"
#include "base/io.h"
#include "base/process_pin.h"
#include "base/unique_fd.h"
#include "tool/process_identity.h"

extern char** environ;

std::optional<std::string> PosixProcessControl::readPidFile(std::string_view path,
                                                            std::size_t maxBytes) {
  const std::string p(path);
  base::UniqueFd fd(open(p.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd) {
    return std::nullopt;
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return std::nullopt;
  }
  if (st.st_uid != 0 && st.st_uid != geteuid()) {
    return std::nullopt;
  }
  if (st.st_size < 0 || static_cast<std::size_t>(st.st_size) > maxBytes) {
    return std::nullopt;
  }
  std::string content;
  if (!base::readAll(fd.get(), content, maxBytes) || content.size() > maxBytes) {
    return std::nullopt;
  }
  return content;
}

void PosixProcessControl::removeFile(std::string_view path) {
  unlink(std::string(path).c_str());
}

void PosixProcessControl::signalTool(int pid, std::string_view toolPath, int signal) {
  // A relative path would name whatever the current directory holds.
  // A tool asked to stop hands the fans back on its way out: it is given a moment for that, so
  // that what the caller writes next is not undone by it.
  constexpr std::chrono::seconds kHandBackTime{2};
  if (pid > 0 && toolPath.starts_with('/')) {
    signalIfRunning(pid, std::string(toolPath), signal, kHandBackTime);
  }
}

int PosixProcessControl::currentProcessId() {
  return static_cast<int>(getpid());
}

bool PosixProcessControl::toolRunning(int pid, std::string_view toolPath) {
  if (pid <= 0 || !toolPath.starts_with('/')) {
    return false;
  }
  // Signal 0 delivers nothing: it only runs the identity check.
  switch (signalIfRunning(pid, std::string(toolPath), 0)) {
    case ToolSignal::sent:
    case ToolSignal::stillRunning:
      return true;
    case ToolSignal::notTheTool:
    case ToolSignal::noProcess:
      return false;
    case ToolSignal::unknown:
      break;
  }
  const std::size_t slash = toolPath.rfind('/');
  return processAliveNamed(pid, toolPath.substr(slash + 1));
}

std::vector<std::string> PosixProcessControl::processArguments(int pid) {
  return readProcessArguments(pid);
}

namespace {

// The application's follow of its tool: one look at the pin per refresh, never blocking.
class PinnedProcess final : public ProcessWatch {
 public:
  explicit PinnedProcess(base::ProcessPin pin) : pin_(std::move(pin)) {}
  bool ended() override { return pin_.ended(); }

 private:
  base::ProcessPin pin_;
};

}  // namespace

std::unique_ptr<ProcessWatch> PosixProcessControl::watchProcess(int pid) {
  auto pin = base::ProcessPin::pin(pid);
  if (!pin) {
    return nullptr;
  }
  return std::make_unique<PinnedProcess>(std::move(*pin));
}

ScriptResult PosixProcessControl::runTool(std::string_view toolPath,
                                          const std::vector<std::string>& args) {
  const std::string path(toolPath);
  if (!toolPath.starts_with('/')) {
    return {};
  }
  int out[2];
  if (pipe(out) != 0) {
    return {};
  }
  base::UniqueFd outRead(out[0]);
  base::UniqueFd outWrite(out[1]);
  fcntl(outRead.get(), F_SETFD, FD_CLOEXEC);
  fcntl(outWrite.get(), F_SETFD, FD_CLOEXEC);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : args) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  outWrite.reset();
  if (spawned != 0) {
    return {};
  }
  // The reply is one line; a tool that stays in the background has let go of the pipe by then.
  constexpr std::size_t kReplyMaxBytes = 4096;
  std::string output;
  base::readAll(outRead.get(), output, kReplyMaxBytes);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (output.ends_with('\n')) {
    output.pop_back();
  }
  return ScriptResult{WIFEXITED(status) && WEXITSTATUS(status) == 0, std::move(output)};
}
