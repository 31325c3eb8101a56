// A program run as a child process: started with its arguments, environment and standard input,
// its standard output and error read through pipes, and reaped. The child is owned: one that was
// not waited for is killed (its whole process group, when it has one of its own) and reaped when
// its owner goes, so that no test or runner leaves a process or a zombie behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/unique_fd.h"

namespace base {

class Subprocess {
 public:
  // The child's standard input, beside a descriptor of this process's.
  static constexpr int kInheritInput = -1;  // this process's own standard input
  static constexpr int kNullInput = -2;     // /dev/null

  enum class Group {
    inherited,  // this process's group
    own,        // a process group of its own, led by the child
    session,    // a session of its own (setsid), without a controlling terminal until it takes one
  };

  struct Options {
    // argv[0] is the program's path, run as it stands (no search of PATH).
    std::vector<std::string> argv;
    // The child's whole environment ("NAME=value"); none: this process's own.
    std::optional<std::vector<std::string>> environment;
    int input = kInheritInput;
    // Standard output and error on pipes this process reads; otherwise this process's own.
    bool captureOutput = true;
    bool captureErrors = true;
    Group group = Group::inherited;
    // Runs in the child just before the exec, after its group and descriptors are set: only
    // async-signal-safe calls. A result other than 0 ends the child with that exit status.
    std::function<int()> inChild;
  };

  struct Output {
    std::string out;
    std::string err;
  };

  // None when the pipes, the fork or the exec failed (errno says why): a program that is missing
  // or cannot be run is reported here, never as an exit status.
  static std::optional<Subprocess> start(const Options& options);

  Subprocess(Subprocess&& other) noexcept;
  Subprocess& operator=(Subprocess&&) = delete;
  Subprocess(const Subprocess&) = delete;
  ~Subprocess();

  pid_t pid() const { return pid_; }
  // The read ends of the captured pipes; -1 for one not captured.
  int outputFd() const { return out_.get(); }
  int errorFd() const { return err_.get(); }

  // The next line of standard output without its "\n"; none when none came within `timeout` or
  // the output ended first.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);
  // Reads standard output and error until both end (what readLine left over comes first).
  Output readToEnd();

  // One waitpid with `options` (WNOHANG, WUNTRACED): the raw status when the child changed state;
  // none while it runs (errno 0) or on an error (errno says which). A status that says it ended
  // reaps it.
  std::optional<int> waitOnce(int options);
  // Waits for the end, retrying interruptions: the raw status; none on an error.
  std::optional<int> wait();
  bool reaped() const { return reaped_; }
  // A signal to the child; false once it is reaped or when kill fails.
  bool signal(int sig) const;
  // Ends the child's process group: SIGTERM and SIGCONT to the whole group, then SIGKILL to what
  // is left of it when it has not gone within `grace`; the child is reaped. A member that
  // handles SIGTERM gets the grace to finish.
  void endGroup(std::chrono::milliseconds grace);

 private:
  Subprocess(pid_t pid, Group group, UniqueFd out, UniqueFd err)
      : pid_(pid),
        ownGroup_(group != Group::inherited),
        out_(std::move(out)),
        err_(std::move(err)) {}

  pid_t pid_ = -1;
  bool ownGroup_ = false;
  bool reaped_ = false;
  UniqueFd out_;
  UniqueFd err_;
  std::string pendingOut_;
};

// The exit status of a raw wait status; 128 + the signal for a child a signal ended; -1 else.
int exitCode(int rawStatus);

}  // namespace base
