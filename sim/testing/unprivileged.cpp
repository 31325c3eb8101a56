// Running test code and programs as an unprivileged user.
#include "sim/testing/unprivileged.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

namespace sim::testing {
namespace {

// Only async-signal-safe calls between fork and exec/exit.
bool dropInChild() {
  if (::geteuid() != 0) {
    return true;
  }
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNobodyGid) == 0 && ::setuid(kNobodyUid) == 0 &&
         ::geteuid() == kNobodyUid;
}

int statusOf(int raw) {
  if (WIFEXITED(raw)) {
    return WEXITSTATUS(raw);
  }
  if (WIFSIGNALED(raw)) {
    return 128 + WTERMSIG(raw);
  }
  return -1;
}

int waitFor(pid_t pid) {
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return statusOf(raw);
}

// Whether an account that is neither the owner nor in the group of anything on the way (as
// "nobody" is for a root-owned checkout) can run the program: every directory above it
// searchable by others, the file executable by others.
bool othersCanRun(const std::filesystem::path& program) {
  struct stat st {};
  if (::stat(program.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) {
    return false;
  }
  for (std::filesystem::path dir = program.parent_path(); !dir.empty(); dir = dir.parent_path()) {
    if (::stat(dir.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) {
      return false;
    }
    if (dir == dir.parent_path()) {
      break;
    }
  }
  return true;
}

// Sets this process's login uid from its decimal text; async-signal-safe.
bool setLoginUid(const std::string& text) {
  const int fd = ::open("/proc/self/loginuid", O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return ::close(fd) == 0 && written;
}

ExecResult execWith(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    bool drop, std::optional<unsigned> loginUid = std::nullopt) {
  ExecResult result;
  if (argv.empty()) {
    return result;
  }
  // A checkout other accounts cannot enter (one under /root, say) still has its programs run as
  // "nobody": from a copy in a directory that account can reach, removed afterwards.
  std::optional<SharedTempDir> copyDir;
  std::vector<std::string> args = argv;
  if (drop && droppingPrivileges() && !othersCanRun(std::filesystem::absolute(argv[0]))) {
    copyDir.emplace();
    const std::string copy = copyDir->file(std::filesystem::path(argv[0]).filename().string());
    std::error_code ec;
    std::filesystem::copy_file(argv[0], copy, ec);
    ::chmod(copy.c_str(), 0755);
    args[0] = copy;
  }
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    return result;
  }
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return result;
  }
  // Everything the child needs is prepared before fork.
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    environment.emplace_back(*e);
  }
  for (const std::string& add : env) {
    const auto name = add.substr(0, add.find('=') + 1);
    std::erase_if(environment, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    environment.push_back(add);
  }
  std::vector<char*> envp;
  for (auto& e : environment) {
    envp.push_back(e.data());
  }
  envp.push_back(nullptr);
  std::vector<char*> argp;
  for (auto& a : args) {
    argp.push_back(a.data());
  }
  argp.push_back(nullptr);
  const std::string loginText = loginUid ? std::to_string(*loginUid) : std::string();

  const pid_t pid = ::fork();
  if (pid < 0) {
    return result;
  }
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    if (loginUid && !setLoginUid(loginText)) {
      ::_exit(124);
    }
    if (drop && !dropInChild()) {
      ::_exit(125);
    }
    ::execve(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      char buf[4096];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (auto& f : fds) {
    if (f.fd >= 0) {
      ::close(f.fd);
    }
  }
  result.status = waitFor(pid);
  return result;
}

}  // namespace

bool droppingPrivileges() {
  return ::geteuid() == 0;
}

Writers suiteWriters() {
  return ::geteuid() == 0 ? Writers::root : Writers::owner;
}

bool clearPidFile(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
  return !std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

int runUnprivileged(const std::function<int()>& fn) {
  const pid_t pid = ::fork();
  if (pid < 0) {
    return -1;
  }
  if (pid == 0) {
    if (!dropInChild()) {
      ::_exit(125);
    }
    ::_exit(fn());
  }
  return waitFor(pid);
}

ExecResult execWithLoginUid(unsigned loginUid, const std::vector<std::string>& argv,
                            const std::vector<std::string>& env) {
  return execWith(argv, env, false, loginUid);
}

bool loginUidSettable() {
  if (::geteuid() != 0) {
    return false;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::_exit(setLoginUid("12345") ? 0 : 1);
  }
  return pid > 0 && waitFor(pid) == 0;
}

ExecResult execUnprivileged(const std::vector<std::string>& argv,
                            const std::vector<std::string>& env) {
  return execWith(argv, env, true);
}

ExecResult execAsIs(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  return execWith(argv, env, false);
}

SharedTempDir::SharedTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quill-sim-XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) {
    ::chmod(pattern.c_str(), 0755);
    path_ = pattern;
  }
}

SharedTempDir::~SharedTempDir() {
  if (!path_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
}

}  // namespace sim::testing
