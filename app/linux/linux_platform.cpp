// Linux platform services: the settings file, the bundle, the administrator runner, the pid
// file and signals, termination, the recorded status item and the alert on standard error.
#include "app/linux/linux_platform.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "base/io.h"
#include "base/unique_fd.h"
#include "sim/sim_device.h"

extern char** environ;

namespace {

constexpr std::size_t kSettingsMaxBytes = 64 * 1024;
constexpr std::size_t kOutputMaxBytes = 64 * 1024;

std::map<std::string, bool, std::less<>> readSettings(const std::filesystem::path& file) {
  std::map<std::string, bool, std::less<>> values;
  base::UniqueFd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat st {};
  if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return values;
  }
  std::string content;
  if (!base::readAll(fd.get(), content, kSettingsMaxBytes) || content.size() > kSettingsMaxBytes) {
    return values;
  }
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) {
      end = content.size();
    }
    const std::string_view line(content.data() + start, end - start);
    const std::size_t eq = line.find('=');
    if (eq != std::string_view::npos && eq > 0) {
      const std::string_view value = line.substr(eq + 1);
      if (value == "true" || value == "false") {
        values[std::string(line.substr(0, eq))] = value == "true";
      }
    }
    start = end + 1;
  }
  return values;
}

}  // namespace

// ---- Settings ----

std::filesystem::path SettingsFileDefaults::defaultLocation() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    return std::filesystem::path(xdg) / "quillomatics" / "settings";
  }
  const char* home = std::getenv("HOME");
  std::string homeDir = home != nullptr && home[0] == '/' ? home : "";
  if (homeDir.empty()) {
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
      homeDir = pw->pw_dir;
    }
  }
  if (homeDir.empty()) {
    return {};
  }
  return std::filesystem::path(homeDir) / ".config" / "quillomatics" / "settings";
}

bool SettingsFileDefaults::boolForKey(std::string_view key) {
  if (file_.empty()) {
    return false;
  }
  const auto values = readSettings(file_);
  const auto it = values.find(key);
  return it != values.end() && it->second;
}

void SettingsFileDefaults::setBool(bool value, std::string_view key) {
  if (file_.empty() || key.empty() || key.find_first_of("=\n") != std::string_view::npos) {
    return;
  }
  auto values = readSettings(file_);
  values[std::string(key)] = value;
  std::string content;
  for (const auto& [k, v] : values) {
    content += k + "=" + (v ? "true" : "false") + "\n";
  }

  std::error_code error;
  const std::filesystem::path dir = file_.parent_path();
  std::filesystem::create_directories(dir, error);
  std::string temp = (dir / (file_.filename().string() + ".XXXXXX")).string();
  base::UniqueFd fd(mkostemp(temp.data(), O_CLOEXEC));
  if (!fd) {
    return;
  }
  const bool written = base::writeAll(fd.get(), content) && fsync(fd.get()) == 0;
  fd.reset();
  if (!written || rename(temp.c_str(), file_.c_str()) != 0) {
    unlink(temp.c_str());
  }
}

// ---- Bundle ----

std::string ExecutableBundle::bundlePathFor(const std::filesystem::path& executable) {
  const std::filesystem::path macos = executable.parent_path();
  const std::filesystem::path contents = macos.parent_path();
  const std::filesystem::path bundle = contents.parent_path();
  if (macos.filename() == "MacOS" && contents.filename() == "Contents" &&
      bundle.extension() == ".app") {
    return bundle.string();
  }
  return macos.string();
}

std::string ExecutableBundle::bundlePath() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  // No /proc, or a path that filled the buffer and may have been cut short: unknown, never a
  // guess such as the current directory.
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer || buffer[0] != '/') {
    return {};
  }
  return bundlePathFor(std::string(buffer, static_cast<std::size_t>(n)));
}

// ---- Administrator runner ----

namespace {

// How long the command's process group has to end after SIGTERM before it gets SIGKILL.
constexpr auto kEndGrace = std::chrono::milliseconds(500);

ScriptResult finished(bool succeeded, std::string output) {
  if (output.ends_with('\n')) {
    output.pop_back();
  }
  return ScriptResult{succeeded, std::move(output)};
}

// The terminal a prompt talks to: standard input, when it is a terminal whose foreground
// process group is this process's group (a process in the background must not take it).
int promptTerminal() {
  if (isatty(STDIN_FILENO) == 0 || tcgetpgrp(STDIN_FILENO) != getpgrp()) {
    return -1;
  }
  return STDIN_FILENO;
}

// Makes `group` the terminal's foreground process group. SIGTTOU is blocked meanwhile: a process
// outside the foreground group that changes it would otherwise be stopped.
void giveTerminalTo(int terminal, pid_t group) {
  sigset_t ttou;
  sigset_t previous;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  sigprocmask(SIG_BLOCK, &ttou, &previous);
  tcsetpgrp(terminal, group);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
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

// One waitpid for the runner's child, with `options` added to WUNTRACED: a prompt stopped by
// Ctrl-Z would hold this process forever, so a stopped child is ended instead. The child's id
// once it has ended (its status then in `status`), 0 while it runs or was only stopped, -1 on
// an error.
pid_t reapOrEndStopped(pid_t pid, int options, int& status) {
  int raw = 0;
  const pid_t changed = waitpid(pid, &raw, options | WUNTRACED);
  if (changed != pid) {
    return changed < 0 ? -1 : 0;
  }
  if (WIFSTOPPED(raw)) {
    kill(pid, SIGTERM);
    kill(pid, SIGCONT);
    return 0;
  }
  status = raw;
  return changed;
}

// Ends the process group the runner's child leads and reaps the child: SIGTERM (and SIGCONT,
// for a stopped member) to the whole group, then SIGKILL to what is left of it when the group
// has not gone within the grace. A member that handles SIGTERM (sudo passes it on to the
// command it runs; the proactive tool hands the fans back) gets the grace to finish.
void endGroup(pid_t pid) {
  kill(-pid, SIGTERM);
  kill(-pid, SIGCONT);
  const auto deadline = std::chrono::steady_clock::now() + kEndGrace;
  bool reaped = false;
  for (;;) {
    int status = 0;
    if (!reaped) {
      const pid_t changed = waitpid(pid, &status, WNOHANG);
      reaped = changed == pid || (changed < 0 && errno == ECHILD);
    }
    // No member left, or none this process may signal: nothing more to end. (While members are
    // left, the group's id cannot be taken by another group.)
    if (reaped && kill(-pid, 0) != 0) {
      return;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      break;
    }
    poll(nullptr, 0, 10);
  }
  kill(-pid, SIGKILL);
  while (!reaped) {
    int status = 0;
    const pid_t changed = waitpid(pid, &status, 0);
    reaped = changed == pid || (changed < 0 && errno != EINTR);
  }
}

// A pseudo-terminal for a prompt: the master, relayed by this process, and the slave, the
// prompt's controlling terminal, with the user's terminal's modes and window size.
struct PromptPty {
  base::UniqueFd master;
  base::UniqueFd slave;
  termios userModes{};
};

// None when the terminal's modes cannot be read or no pseudo-terminal can be had.
std::optional<PromptPty> openPromptPty(int terminal) {
  PromptPty pty;
  if (tcgetattr(terminal, &pty.userModes) != 0) {
    return std::nullopt;
  }
  // Close-on-exec: the master must not live on in the prompt, so that this process's death
  // hangs the pseudo-terminal up.
  pty.master.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.master || grantpt(pty.master.get()) != 0 || unlockpt(pty.master.get()) != 0) {
    return std::nullopt;
  }
  const char* name = ptsname(pty.master.get());
  if (name == nullptr) {
    return std::nullopt;
  }
  pty.slave.reset(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.slave || tcsetattr(pty.slave.get(), TCSANOW, &pty.userModes) != 0) {
    return std::nullopt;
  }
  winsize size{};
  if (ioctl(terminal, TIOCGWINSZ, &size) == 0) {
    ioctl(pty.master.get(), TIOCSWINSZ, &size);
  }
  // Keys are relayed without waiting: keys the prompt does not take in time are dropped.
  const int flags = fcntl(pty.master.get(), F_GETFL);
  if (flags < 0 || fcntl(pty.master.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    return std::nullopt;
  }
  return pty;
}

// The user's terminal with keys passed on as typed, unechoed and unprocessed (no signal keys,
// no line editing, no flow control) while this lives, and with the modes it had after, on every
// way out. Output processing is left as it was, so that what is written to the terminal
// meanwhile (sudo's messages on standard error) still starts lines at the left margin.
class RawKeys {
 public:
  RawKeys(int terminal, const termios& modes) : terminal_(terminal), saved_(modes) {
    termios raw = modes;
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(terminal_, TCSANOW, &raw) == 0;
  }
  ~RawKeys() {
    if (active_) {
      tcsetattr(terminal_, TCSANOW, &saved_);
    }
  }
  RawKeys(const RawKeys&) = delete;
  RawKeys& operator=(const RawKeys&) = delete;
  bool active() const { return active_; }

 private:
  int terminal_;
  termios saved_;
  bool active_ = false;
};

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
  if (options.prompt == Prompt::relay) {
    pty = openPromptPty(options.terminal);
    if (!pty) {
      return {};
    }
  }
  base::UniqueFd nullInput;
  if (options.prompt == Prompt::none) {
    nullInput.reset(open("/dev/null", O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!nullInput) {
      return {};
    }
  }
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    return {};
  }
  base::UniqueFd outRead(out[0]);
  base::UniqueFd outWrite(out[1]);
  if (pipe2(err, O_CLOEXEC) != 0) {
    return {};
  }
  base::UniqueFd errRead(err[0]);
  base::UniqueFd errWrite(err[1]);
  std::vector<char*> argv;
  for (const auto& a : args) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  const int input = pty ? pty->slave.get() : nullInput.get();
  const bool handOver = options.prompt == Prompt::handOver;

  // Raw before the child runs, so that no key typed at the prompt is echoed or taken as a
  // signal for this process.
  std::optional<RawKeys> rawKeys;
  if (pty) {
    rawKeys.emplace(options.terminal, pty->userModes);
    if (!rawKeys->active()) {
      return {};  // the password would be echoed
    }
  }

  const pid_t pid = fork();
  if (pid < 0) {
    return {};
  }
  if (pid == 0) {
    // Only async-signal-safe calls until exec. The child starts with SIGPIPE at its default
    // action, whatever this process does with it; this process's termination handlers must not
    // run in the child either (they would tell this process's loop of a Ctrl-C meant for the
    // prompt).
    for (int caught : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) {
      signal(caught, SIG_DFL);
    }
    if (pty) {
      // A session of its own whose controlling terminal is the pseudo-terminal: sudo's prompt
      // reads and writes there, and the pseudo-terminal's hang-up ends the session's leader.
      if (setsid() < 0 || ioctl(input, TIOCSCTTY, 0) != 0) {
        _exit(127);
      }
    } else {
      setpgid(0, 0);
      if (handOver) {
        giveTerminalTo(options.terminal, getpid());
      }
    }
    if ((input >= 0 && dup2(input, STDIN_FILENO) < 0) || dup2(outWrite.get(), STDOUT_FILENO) < 0 ||
        dup2(errWrite.get(), STDERR_FILENO) < 0) {
      _exit(127);
    }
    execve(argv[0], argv.data(), environ);
    _exit(127);
  }
  if (!pty) {
    // Also here, so that neither side depends on which runs first.
    setpgid(pid, pid);
    if (handOver) {
      giveTerminalTo(options.terminal, pid);
    }
  }
  outWrite.reset();
  errWrite.reset();
  if (pty) {
    pty->slave.reset();  // the prompt's alone now: its end hangs the master up
  }
  nullInput.reset();

  // The keys that suspend a job on the user's terminal. A prompt in a session of its own is in
  // an orphaned process group, where the kernel drops a stop: sudo would only ask again. The
  // relay ends the prompt instead, as a stopped prompt is ended.
  const cc_t suspendKey =
      pty && (pty->userModes.c_lflag & ISIG) != 0 ? pty->userModes.c_cc[VSUSP] : _POSIX_VDISABLE;
  // Moves what the prompt wrote on the pseudo-terminal to the user's terminal; false when the
  // prompt's side is closed.
  auto relayPromptOutput = [&]() -> bool {
    char buffer[4096];
    const ssize_t n = read(pty->master.get(), buffer, sizeof buffer);
    if (n > 0) {
      base::writeAll(options.terminal, std::string_view(buffer, static_cast<std::size_t>(n)));
      return true;
    }
    return n < 0 && (errno == EINTR || errno == EAGAIN);
  };

  enum Watched { kOut, kErr, kPromptOutput, kKeys, kCancel, kWatchedCount };
  std::string output;
  std::string errors;
  pollfd fds[kWatchedCount] = {{outRead.get(), POLLIN, 0},
                               {errRead.get(), POLLIN, 0},
                               {pty ? pty->master.get() : -1, POLLIN, 0},
                               {pty ? options.terminal : -1, POLLIN, 0},
                               {options.cancel, POLLIN, 0}};
  int open = 2;
  int status = 0;
  bool reaped = false;
  bool cancelled = false;
  while (open > 0 && !cancelled) {
    const int ready = poll(fds, kWatchedCount, 200);
    if (ready < 0 && errno != EINTR) {
      break;
    }
    if (ready > 0 && fds[kCancel].revents != 0) {
      if ((fds[kCancel].revents & POLLIN) != 0) {
        cancelled = true;
        break;
      }
      fds[kCancel].fd = -1;  // not a descriptor (POLLNVAL): never readable
    }
    if (ready > 0 && fds[kPromptOutput].revents != 0 && !relayPromptOutput()) {
      fds[kPromptOutput].fd = -1;
    }
    if (ready > 0 && fds[kKeys].revents != 0) {
      char buffer[256];
      const ssize_t n = read(options.terminal, buffer, sizeof buffer);
      if (n > 0) {
        const std::string_view keys(buffer, static_cast<std::size_t>(n));
        const std::size_t suspend = suspendKey == _POSIX_VDISABLE
                                        ? std::string_view::npos
                                        : keys.find(static_cast<char>(suspendKey));
        [[maybe_unused]] const ssize_t written =
            write(pty->master.get(), keys.data(), std::min(keys.size(), suspend));
        if (suspend != std::string_view::npos) {
          cancelled = true;
          break;
        }
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        fds[kKeys].fd = -1;  // the terminal went away; the hang-up reaches this process
      }
    }
    for (int i : {kOut, kErr}) {
      if (ready <= 0 || fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        fds[i].fd = -1;
        --open;
        continue;
      }
      std::string& kept = i == kOut ? output : errors;
      if (kept.size() < kOutputMaxBytes) {
        kept.append(buffer, static_cast<std::size_t>(n));
      }
      if (i == kErr) {
        base::writeAll(STDERR_FILENO, std::string_view(buffer, static_cast<std::size_t>(n)));
      }
    }
    if (!reaped) {
      reaped = reapOrEndStopped(pid, WNOHANG, status) > 0;
    }
  }
  if (cancelled) {
    if (!reaped) {
      endGroup(pid);
    }
  } else {
    while (!reaped) {
      const pid_t changed = reapOrEndStopped(pid, 0, status);
      if (changed < 0 && errno != EINTR) {
        break;
      }
      reaped = changed > 0;
    }
  }
  // What the prompt wrote last (the line end after the password), before the terminal goes
  // back to its modes.
  if (pty && fds[kPromptOutput].fd >= 0) {
    while (readable(pty->master.get()) && relayPromptOutput()) {
    }
  }
  rawKeys.reset();
  if (handOver) {
    giveTerminalTo(options.terminal, getpgrp());
  }
  if (errorLine != nullptr) {
    *errorLine = lastLine(errors);
  }
  return finished(!cancelled && reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0,
                  std::move(output));
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

// ---- Pid file and signals ----

// ---- Application, status item, alert ----

void LinuxApplication::reportOnExit(std::string_view line) {
  reports_.emplace_back(line);
}

void LinuxApplication::reportFailure(std::string_view line) {
  if (onFailure) {
    onFailure(line);
    return;
  }
  std::string text(line);
  text += '\n';
  base::writeAll(STDERR_FILENO, text);
}

void LinuxApplication::printReports() {
  for (const std::string& line : reports_) {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  std::fflush(stderr);
  reports_.clear();
}

void LinuxApplication::terminate() {
  requested_ = true;
  if (onTerminate_) {
    onTerminate_();
  }
}
