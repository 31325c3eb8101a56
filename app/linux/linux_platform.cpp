// Linux platform services: the settings file, the bundle, the administrator runner, the pid
// file and signals, termination, the recorded status item and the alert on standard error.
#include "app/linux/linux_platform.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

ScriptResult finished(bool succeeded, std::string output) {
  if (output.ends_with('\n')) {
    output.pop_back();
  }
  return ScriptResult{succeeded, std::move(output)};
}

// The terminal a prompt is given to: standard input, when it is a terminal whose foreground
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

// Runs argv with its standard output captured and its standard error passed on to this
// process's while it is kept, for its last line. Standard input is inherited. With a prompt
// terminal the child runs in a process group of its own that is the terminal's foreground group
// while it runs, so that Ctrl-C, Ctrl-\ and Ctrl-Z reach the prompt and never this process; a
// child stopped by Ctrl-Z is ended, as a cancelled prompt. The terminal is taken back after.
ScriptResult spawnCaptured(const std::vector<std::string>& args, int terminal,
                           std::string* errorLine) {
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
    if (terminal >= 0) {
      setpgid(0, 0);
      giveTerminalTo(terminal, getpid());
    }
    if (dup2(outWrite.get(), STDOUT_FILENO) < 0 || dup2(errWrite.get(), STDERR_FILENO) < 0) {
      _exit(127);
    }
    execve(argv[0], argv.data(), environ);
    _exit(127);
  }
  if (terminal >= 0) {
    // Also here, so that neither side depends on which runs first.
    setpgid(pid, pid);
    giveTerminalTo(terminal, pid);
  }
  outWrite.reset();
  errWrite.reset();

  std::string output;
  std::string errors;
  pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
  int open = 2;
  int status = 0;
  bool reaped = false;
  while (open > 0) {
    const int ready = poll(fds, 2, 200);
    if (ready < 0 && errno != EINTR) {
      break;
    }
    for (int i = 0; i < 2 && ready > 0; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
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
      std::string& kept = i == 0 ? output : errors;
      if (kept.size() < kOutputMaxBytes) {
        kept.append(buffer, static_cast<std::size_t>(n));
      }
      if (i == 1) {
        base::writeAll(STDERR_FILENO, std::string_view(buffer, static_cast<std::size_t>(n)));
      }
    }
    if (!reaped) {
      reaped = reapOrEndStopped(pid, WNOHANG, status) > 0;
    }
  }
  while (!reaped) {
    const pid_t changed = reapOrEndStopped(pid, 0, status);
    if (changed < 0 && errno != EINTR) {
      break;
    }
    reaped = changed > 0;
  }
  if (terminal >= 0) {
    giveTerminalTo(terminal, getpgrp());
  }
  if (errorLine != nullptr) {
    *errorLine = lastLine(errors);
  }
  return finished(reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0, std::move(output));
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
  if (geteuid() == 0) {
    return spawnCaptured({"/bin/sh", "-c", command}, -1, nullptr);
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
  how.canPrompt = isatty(STDIN_FILENO) != 0;
  how.smcDevice = toolDevice();
  if (beforePrompt) {
    beforePrompt();
  }
  std::string said;
  ScriptResult result = spawnCaptured(elevatedCommandLine(command, how),
                                      how.canPrompt ? promptTerminal() : -1, &said);
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

void RecordingStatusItem::setTitle(std::string_view title) {
  title_.plain = std::string(title);
  title_.styled.reset();
}

void RecordingStatusItem::setAttributedTitle(const StyledText& title) {
  title_.styled = title;
  title_.plain.reset();
}

void RecordingStatusItem::setMenu(const MenuModel& menu) {
  menu_ = &menu;
  if (onChange) {
    onChange();
  }
}

std::unique_ptr<StatusItem> RecordingStatusBar::statusItemWithLength(double) {
  auto item = std::make_unique<RecordingStatusItem>();
  item_ = item.get();
  return item;
}

void StderrAlerts::runModal(const Alert& alert) {
  std::fprintf(stderr, "%s\n%s\n", alert.messageText.c_str(), alert.informativeText.c_str());
  std::fflush(stderr);
}
