// POSIX pid-file reading, removal and signalling.
#include "app/posix/process_control.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/io.h"
#include "base/unique_fd.h"
#include "tool/process_identity.h"

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
  if (pid > 0 && toolPath.starts_with('/')) {
    signalIfRunning(pid, std::string(toolPath), signal);
  }
}
