// Fuzzes the application's pid file reading: the file reader (the bytes of a regular file, none
// beyond the limit) and the parser that turns them into a process id to signal. A process id it
// returns is positive, and its digits are in the file; the decimal text of any positive id reads
// back as that id. Then the identity check that guards the signal: whatever id the file names
// (or its first four bytes spell), no process is signalled unless it runs the executable named,
// and the scratch file is no process's executable. Only signal 0 is used, which asks and sends
// nothing.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/admin_script.h"
#include "app/posix/process_control.h"
#include "tool/process_identity.h"

namespace {

constexpr std::size_t kLimit = 64;

// The run's scratch file, removed when the run ends.
struct ScratchFile {
  std::string path;
  ~ScratchFile() { ::unlink(path.c_str()); }
};

const std::string& filePath() {
  static const ScratchFile file{"/dev/shm/quill-pid-fuzz-" + std::to_string(getpid()) + ".pid"};
  return file.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  const auto pid = app::parsePidFile(content);
  if (pid) {
    if (*pid <= 0 || content.find(std::to_string(*pid)) == std::string_view::npos) {
      std::abort();
    }
  }
  if (size >= 4) {
    std::int32_t n = 0;
    for (int i = 0; i < 4; ++i) {
      n = static_cast<std::int32_t>(static_cast<std::uint32_t>(n) << 8 | data[i]);
    }
    if (n > 0 && app::parsePidFile(std::to_string(n)) != n) {
      std::abort();
    }
    const tool::ToolSignal raw = tool::signalIfRunning(n, filePath(), 0);
    if (raw == tool::ToolSignal::sent || (n <= 0 && raw != tool::ToolSignal::notTheTool)) {
      std::abort();
    }
  }
  if (pid && tool::signalIfRunning(*pid, filePath(), 0) == tool::ToolSignal::sent) {
    std::abort();
  }
  // The check does let through the one process known to run its executable: this one.
  static const bool selfFound =
      tool::signalIfRunning(getpid(), tool::ownExecutable(), 0) == tool::ToolSignal::sent;
  if (!selfFound) {
    std::abort();
  }

  const int fd = ::open(filePath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) {
    std::abort();
  }
  ::close(fd);
  app::PosixProcessControl processes;
  const auto read = processes.readPidFile(filePath(), kLimit);
  if (size <= kLimit ? read != content : read.has_value()) {
    std::abort();
  }
  return 0;
}
