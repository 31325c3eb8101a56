// POSIX pid-file reading, removal and signalling.
#include "app/posix/process_control.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "app/posix/process_info.h"
#include "base/io.h"
#include "base/process_pin.h"
#include "base/subprocess.h"
#include "base/unique_fd.h"
#include "tool/process_identity.h"

namespace app {

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
    tool::signalIfRunning(pid, std::string(toolPath), signal, kHandBackTime);
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
  switch (tool::signalIfRunning(pid, std::string(toolPath), 0)) {
    case tool::ToolSignal::sent:
    case tool::ToolSignal::stillRunning:
      return true;
    case tool::ToolSignal::notTheTool:
    case tool::ToolSignal::noProcess:
      return false;
    case tool::ToolSignal::unknown:
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
  if (!toolPath.starts_with('/')) {
    return {};
  }
  base::Subprocess::Options options;
  options.argv.emplace_back(toolPath);
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.input = base::Subprocess::kNullInput;
  options.captureErrors = false;
  auto child = base::Subprocess::start(options);
  if (!child) {
    return {};
  }
  // The reply is one line; a tool that stays in the background has let go of the pipe by then.
  constexpr std::size_t kReplyMaxBytes = 4096;
  std::string output;
  base::readAll(child->outputFd(), output, kReplyMaxBytes);
  const std::optional<int> status = child->wait();
  if (output.ends_with('\n')) {
    output.pop_back();
  }
  return ScriptResult{status && base::exitCode(*status) == 0, std::move(output)};
}

}  // namespace app
