// How the guard leaves the command that started it: the process the caller started waits for
// the guard's one report line and ends with it, while the guard goes on in a process of its own,
// outside the caller's session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/unique_fd.h"

namespace tool {

class GuardLaunch {
 public:
  enum class Side { caller, guard, failed };

  virtual ~GuardLaunch() = default;
  // Starts the guard's process. Side::caller in the process the caller started, Side::guard in
  // the guard's own; Side::failed when no process could be started.
  virtual Side split() = 0;
  // Caller side: the line the guard reported; none when it ended without reporting.
  virtual std::optional<std::string> awaitReport() = 0;
  // Guard side: the guard's process id.
  virtual std::int32_t guardPid() = 0;
  // Guard side, once: hands the caller the line, then leaves the caller's session and its
  // terminal for good, so that whoever waits on the caller's output sees it end at once.
  virtual void report(std::string_view line) = 0;
};

// fork() and a pipe. The guard's process ignores SIGHUP from the start, so that a terminal
// closing while it forces the fans cannot end it before its watch is in place; after reporting
// it moves to a new session and points its standard descriptors at /dev/null.
class PosixGuardLaunch final : public GuardLaunch {
 public:
  Side split() override;
  std::optional<std::string> awaitReport() override;
  std::int32_t guardPid() override;
  void report(std::string_view line) override;

 private:
  base::UniqueFd reportEnd_;  // the read end in the caller, the write end in the guard
};

}  // namespace tool
