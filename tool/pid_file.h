// The proactive tool's pid file: the process id in decimal, replaced atomically, removed at stop.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/pid_file_contract.h"
#include "tool/process_identity.h"

namespace tool {

// A process id as the tool takes it: decimal digits only, no sign, 1 to 2147483647.
std::optional<std::int32_t> parseProcessId(std::string_view text);

// Looks at a process id without changing anything: ToolSignal::sent when the process runs the
// tool (signalIfRunning with signal 0, in the tool).
using ToolProbe = std::function<ToolSignal(std::int32_t pid)>;

// What claim() did.
enum class PidClaim {
  written,         // the file names this process
  alreadyRunning,  // it names another running tool, and stays as it was
  failed,          // it could not be written (a directory at the path, say)
};

class PidFile {
 public:
  explicit PidFile(std::string path = std::string(kProactivePidFile)) : path_(std::move(path)) {}

  // Writes the digits (no sign, no line end) to a freshly and exclusively created file in the
  // same directory, then renames it onto the path, so a reader sees either the old file or the
  // whole new one, and nothing another user planted at the path or under a guessable temporary
  // name is followed or written through. False when any step fails.
  bool write(std::int32_t pid) const;
  // The same, except that a file naming another running tool (through `probe`) is kept: one
  // tool at a time. A new file is linked into place, which fails when anything is there, so of
  // two starts at once only one gets it; what stands at the path and names no running tool (a
  // stale file, a link, a FIFO) is replaced. Signals are held off while the temporary file
  // exists, so that no exit leaves it behind. Without a probe no file counts as a running tool.
  PidClaim claim(std::int32_t pid, const ToolProbe& probe) const;
  // The id in the file, when the path is a regular file (not followed if a link, not waited on
  // if a FIFO) holding exactly what write() writes.
  std::optional<std::int32_t> read() const;
  // Whether the file holds exactly the digits write(pid) writes.
  bool holds(std::int32_t pid) const;
  // Unlinks the path when it still holds `pid`: a second instance that has written its own id
  // since keeps its file, and with it the way to be stopped. Errors are ignored.
  void removeIfHolds(std::int32_t pid) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The id of a running tool that the file names, other than `self` (an id this process may have
// inherited from a stale file); none when it names nothing that runs the tool.
std::optional<std::int32_t> runningTool(const PidFile& file, const ToolProbe& probe,
                                        std::int32_t self);

}  // namespace tool
