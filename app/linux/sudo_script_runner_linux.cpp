// The administrator runner: the command's child, its prompt relayed or handed the terminal, its
// output captured, and its end on a termination signal.
#include "app/linux/sudo_script_runner.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "app/linux/prompt_terminal.h"
#include "base/io.h"
#include "base/subprocess.h"
#include "base/unique_fd.h"
#include "sim/sim_device.h"

namespace app {

namespace {

constexpr std::size_t kOutputMaxBytes = 64 * 1024;

// How long the command's process group has to end after SIGTERM before it gets SIGKILL.
constexpr auto kEndGrace = std::chrono::milliseconds(500);

ScriptResult finished(bool succeeded, std::string output) {
  if (output.ends_with('\n')) {
    output.pop_back();
  }
  return ScriptResult{succeeded, std::move(output)};
}

bool readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return fd >= 0 && poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN) != 0;
}

// The last line that is not empty.
std::string lastLine(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string_view::npos) {
      return {};
    }
    text = text.substr(0, end + 1);
    const std::size_t start = text.find_last_of("\r\n");
    const std::string_view line = start == std::string_view::npos ? text : text.substr(start + 1);
    if (!line.empty()) {
      return std::string(line);
    }
    text = text.substr(0, start);
  }
  return {};
}

// Where the prompt of a run talks to the user.
enum class Prompt {
  none,      // nobody can answer: standard input is /dev/null
  handOver,  // the user's terminal is the prompt's, as its foreground process group (pkexec)
  relay,     // a pseudo-terminal of this process's own, relayed to the user's terminal (sudo)
};

struct SpawnOptions {
  Prompt prompt = Prompt::none;
  int terminal = -1;  // the user's terminal, with a prompt
  int cancel = -1;    // see SudoScriptRunner::cancelDescriptor
};

// Starts the command in a process group of its own: with a relayed prompt a session of its own
// whose controlling terminal is the pseudo-terminal (sudo's prompt reads and writes there, and
// the pseudo-terminal's hang-up ends the session's leader); with a prompt handed over, the
// terminal's foreground group; otherwise with /dev/null as its standard input.
std::optional<base::Subprocess> startCommand(const std::vector<std::string>& args,
                                             const SpawnOptions& options, const PromptPty* pty) {
  base::Subprocess::Options start;
  start.argv = args;
  start.group = pty ? base::Subprocess::Group::session : base::Subprocess::Group::own;
  start.input = pty ? pty->slave.get()
                    : (options.prompt == Prompt::none ? base::Subprocess::kNullInput
                                                      : base::Subprocess::kInheritInput);
  const bool handOver = options.prompt == Prompt::handOver;
  const bool controllingTerminal = pty != nullptr;
  const int terminal = options.terminal;
  start.inChild = [handOver, controllingTerminal, terminal] {
    // The child starts with SIGPIPE at its default action, whatever this process does with it;
    // this process's termination handlers must not run in the child either (they would tell
    // this process's loop of a Ctrl-C meant for the prompt).
    for (int caught : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) {
      signal(caught, SIG_DFL);
    }
    if (controllingTerminal && ioctl(STDIN_FILENO, TIOCSCTTY, 0) != 0) {
      return 127;
    }
    if (handOver) {
      giveTerminalTo(terminal, getpid());
    }
    return 0;
  };
  std::optional<base::Subprocess> child = base::Subprocess::start(start);
  if (child && handOver) {
    // Also here, so that neither side depends on which runs first.
    giveTerminalTo(terminal, child->pid());
  }
  return child;
}

// One wait for the command, with `options` added to WUNTRACED: a prompt stopped by Ctrl-Z would
// hold this process forever, so a stopped child is ended instead. The status, once it has ended,
// goes to `status`. False on an error other than an interruption.
bool waitForCommand(base::Subprocess& child, int options, int& status) {
  const std::optional<int> raw = child.waitOnce(options | WUNTRACED);
  if (!raw) {
    return errno == 0 || errno == EINTR;
  }
  if (WIFSTOPPED(*raw)) {
    child.signal(SIGTERM);
    child.signal(SIGCONT);
  } else if (child.reaped()) {
    status = *raw;
  }
  return true;
}

// Moves what the prompt wrote on the pseudo-terminal to the user's terminal; false when the
// prompt's side is closed.
bool relayPromptOutput(int master, int terminal) {
  char buffer[4096];
  const ssize_t n = read(master, buffer, sizeof buffer);
  if (n > 0) {
    base::writeAll(terminal, std::string_view(buffer, static_cast<std::size_t>(n)));
    return true;
  }
  return n < 0 && (errno == EINTR || errno == EAGAIN);
}

enum class Keys { passed, suspend, gone };

// Passes the keys typed on the user's terminal to the prompt, up to the key that suspends a job:
// a prompt in a session of its own is in an orphaned process group, where the kernel drops a
// stop, so sudo would only ask again; that key ends the prompt instead.
Keys relayKeys(int terminal, int master, cc_t suspendKey) {
  char buffer[256];
  const ssize_t n = read(terminal, buffer, sizeof buffer);
  if (n <= 0) {
    // The terminal went away (the hang-up reaches this process), or nothing was there.
    return n == 0 || (errno != EINTR && errno != EAGAIN) ? Keys::gone : Keys::passed;
  }
  const std::string_view keys(buffer, static_cast<std::size_t>(n));
  const std::size_t suspend = suspendKey == _POSIX_VDISABLE
                                  ? std::string_view::npos
                                  : keys.find(static_cast<char>(suspendKey));
  [[maybe_unused]] const ssize_t written =
      write(master, keys.data(), std::min(keys.size(), suspend));
  return suspend == std::string_view::npos ? Keys::passed : Keys::suspend;
}

// Reads what came on the command's standard output or error into `kept` (up to the limit);
// errors are passed on to this process's standard error too. False at the end of the stream.
bool readStream(int fd, std::string& kept, bool errors) {
  char buffer[4096];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n < 0 && errno == EINTR) {
    return true;
  }
  if (n <= 0) {
    return false;
  }
  if (kept.size() < kOutputMaxBytes) {
    kept.append(buffer, static_cast<std::size_t>(n));
  }
  if (errors) {
    base::writeAll(STDERR_FILENO, std::string_view(buffer, static_cast<std::size_t>(n)));
  }
  return true;
}

// What the relay took from a command's run.
struct Relayed {
  std::string output;
  std::string errors;
  int status = 0;  // the raw wait status, once the command is reaped
  bool cancelled = false;
  bool promptOpen = false;  // the prompt's side of the pseudo-terminal has not closed
};

// Relays the prompt, keeps the command's output and errors, and reaps the command once it ends,
// until both its streams have ended, a cancel descriptor is readable or the suspend key came.
Relayed relayUntilDone(base::Subprocess& child, const SpawnOptions& options, const PromptPty* pty) {
  const cc_t suspendKey =
      pty && (pty->userModes.c_lflag & ISIG) != 0 ? pty->userModes.c_cc[VSUSP] : _POSIX_VDISABLE;
  const int master = pty ? pty->master.get() : -1;
  enum Watched { kOut, kErr, kPromptOutput, kKeys, kCancel, kWatchedCount };
  pollfd fds[kWatchedCount] = {{child.outputFd(), POLLIN, 0},
                               {child.errorFd(), POLLIN, 0},
                               {master, POLLIN, 0},
                               {pty ? options.terminal : -1, POLLIN, 0},
                               {options.cancel, POLLIN, 0}};
  Relayed relayed;
  int open = 2;
  while (open > 0 && !relayed.cancelled) {
    const int ready = poll(fds, kWatchedCount, 200);
    if (ready < 0 && errno != EINTR) {
      break;
    }
    if (ready > 0 && fds[kCancel].revents != 0) {
      relayed.cancelled = (fds[kCancel].revents & POLLIN) != 0;
      fds[kCancel].fd = -1;  // readable, or not a descriptor (POLLNVAL): never readable
    }
    if (ready > 0 && !relayed.cancelled && fds[kPromptOutput].revents != 0 &&
        !relayPromptOutput(master, options.terminal)) {
      fds[kPromptOutput].fd = -1;
    }
    if (ready > 0 && !relayed.cancelled && fds[kKeys].revents != 0) {
      const Keys keys = relayKeys(options.terminal, master, suspendKey);
      relayed.cancelled = keys == Keys::suspend;
      if (keys == Keys::gone) {
        fds[kKeys].fd = -1;
      }
    }
    for (int i : {kOut, kErr}) {
      if (ready > 0 && !relayed.cancelled && fds[i].fd >= 0 && fds[i].revents != 0 &&
          !readStream(fds[i].fd, i == kOut ? relayed.output : relayed.errors, i == kErr)) {
        fds[i].fd = -1;
        --open;
      }
    }
    if (!relayed.cancelled && !child.reaped()) {
      waitForCommand(child, WNOHANG, relayed.status);
    }
  }
  relayed.promptOpen = pty && fds[kPromptOutput].fd >= 0;
  return relayed;
}

// Runs argv in a process group of its own (a new session with a relayed prompt) with its
// standard output captured and its standard error passed on to this process's while it is kept,
// for its last line. With a prompt handed over, the child's group is the terminal's foreground
// group while it runs and the terminal is taken back after; with a relayed prompt this process
// stays the terminal's foreground group and moves the keys and the prompt's output. A child
// stopped by Ctrl-Z is ended, as a cancelled prompt. A readable cancel descriptor ends the
// group, and the run fails.
ScriptResult spawnCaptured(const std::vector<std::string>& args, const SpawnOptions& options,
                           std::string* errorLine) {
  std::optional<PromptPty> pty;
  std::optional<RawKeys> rawKeys;
  if (options.prompt == Prompt::relay) {
    pty = openPromptPty(options.terminal);
    if (!pty) {
      return {};
    }
    // Raw before the child runs, so that no key typed at the prompt is echoed or taken as a
    // signal for this process.
    rawKeys.emplace(options.terminal, pty->userModes);
    if (!rawKeys->active()) {
      return {};  // the password would be echoed
    }
  }
  const bool handOver = options.prompt == Prompt::handOver;
  std::optional<base::Subprocess> child = startCommand(args, options, pty ? &*pty : nullptr);
  Relayed relayed;
  if (child) {
    if (pty) {
      pty->slave.reset();  // the prompt's alone now: its end hangs the master up
    }
    relayed = relayUntilDone(*child, options, pty ? &*pty : nullptr);
    if (relayed.cancelled) {
      if (!child->reaped()) {
        child->endGroup(kEndGrace);
      }
    } else {
      while (!child->reaped() && waitForCommand(*child, 0, relayed.status)) {
      }
    }
  }
  // What the prompt wrote last (the line end after the password), before the terminal goes
  // back to its modes.
  if (relayed.promptOpen) {
    while (readable(pty->master.get()) && relayPromptOutput(pty->master.get(), options.terminal)) {
    }
  }
  rawKeys.reset();
  if (handOver) {
    // Also after a failed start: the child may have taken the terminal before its exec failed.
    giveTerminalTo(options.terminal, getpgrp());
  }
  if (errorLine != nullptr) {
    *errorLine = lastLine(relayed.errors);
  }
  const bool succeeded = child && !relayed.cancelled && child->reaped() &&
                         WIFEXITED(relayed.status) && WEXITSTATUS(relayed.status) == 0;
  return finished(succeeded, std::move(relayed.output));
}

bool executable(const char* path) {
  return access(path, X_OK) == 0;
}

// One command to the agent: the command's bytes, then end of input; back comes the exit status
// on a line of its own, then the output.
ScriptResult runThroughAgent(const std::string& socketPath, const std::string& command) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) {
    return {};
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  base::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd || connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return {};
  }
  if (!base::writeAll(fd.get(), command) || shutdown(fd.get(), SHUT_WR) != 0) {
    return {};
  }
  std::string reply;
  if (!base::readAll(fd.get(), reply, kOutputMaxBytes)) {
    return {};
  }
  const std::size_t eol = reply.find('\n');
  if (eol == std::string::npos) {
    return {};
  }
  const bool succeeded = reply.substr(0, eol) == "0";
  return finished(succeeded, reply.substr(eol + 1));
}

}  // namespace

std::vector<std::string> SudoScriptRunner::elevatedCommandLine(const std::string& command,
                                                               const Elevation& how) {
  std::vector<std::string> args;
  if (how.usePkexec) {
    args = {"/usr/bin/pkexec"};
  } else {
    args = {"/usr/bin/sudo"};
    if (!how.canPrompt) {
      args.emplace_back("-n");  // nobody can answer a password prompt: fail instead of waiting
    }
    args.emplace_back("--");
  }
  // Both clear the environment; the simulated SMC device this process uses goes along, as an
  // argument of env, so that the tool drives the machine the user is looking at. The tool takes
  // it under its own owner rules: written only when it is root's or the user's.
  if (!how.smcDevice.empty()) {
    args.emplace_back("/usr/bin/env");
    args.push_back("QUILLOMATICS_SMC_DEVICE=" + how.smcDevice);
  }
  for (const char* a : {"/bin/sh", "-c"}) {
    args.emplace_back(a);
  }
  args.push_back(command);
  return args;
}

std::string SudoScriptRunner::toolDevice() {
  return sim::devicePath();
}

ScriptResult SudoScriptRunner::runWithAdministratorPrivileges(const AdminScript& script) {
  const std::string& command = script.shellCommand;
  if (readable(cancelDescriptor)) {
    return {};  // this process is on its way out: no new action
  }
  if (geteuid() == 0) {
    return spawnCaptured({"/bin/sh", "-c", command}, SpawnOptions{.cancel = cancelDescriptor},
                         nullptr);
  }
  if (agentSocket) {
    return runThroughAgent(*agentSocket, command);
  }
  Elevation how;
  const bool desktop =
      std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
  how.usePkexec = desktop && executable("/usr/bin/pkexec");
  if (!how.usePkexec && !executable("/usr/bin/sudo")) {
    return {};
  }
  const int terminal = promptTerminal();
  how.canPrompt = terminal >= 0;
  how.smcDevice = toolDevice();
  SpawnOptions options{.terminal = terminal, .cancel = cancelDescriptor};
  if (how.canPrompt) {
    options.prompt = how.usePkexec ? Prompt::handOver : Prompt::relay;
  }
  if (beforePrompt) {
    beforePrompt();
  }
  std::string said;
  ScriptResult result = spawnCaptured(elevatedCommandLine(command, how), options, &said);
  if (afterPrompt) {
    afterPrompt(said);
  }
  return result;
}

}  // namespace app
