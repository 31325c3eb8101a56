// Running test code and programs as an unprivileged user.
#include "sim/testing/unprivileged.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "base/subprocess.h"

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

int waitFor(pid_t pid) {
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return base::exitCode(raw);
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
  const std::string loginText = loginUid ? std::to_string(*loginUid) : std::string();
  base::Subprocess::Options options;
  options.argv = args;
  options.environment = std::move(environment);
  options.inChild = [&loginText, loginUid, drop] {
    if (loginUid && !setLoginUid(loginText)) {
      return 124;
    }
    if (drop && !dropInChild()) {
      return 125;
    }
    return 0;
  };
  std::optional<base::Subprocess> child = base::Subprocess::start(options);
  if (!child) {
    result.status = 127;  // as a shell says of a program it cannot run
    return result;
  }
  base::Subprocess::Output output = child->readToEnd();
  result.out = std::move(output.out);
  result.err = std::move(output.err);
  const std::optional<int> raw = child->wait();
  result.status = raw ? base::exitCode(*raw) : -1;
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
