// The Linux platform services against real files, processes and sockets.
#include "app/linux/linux_platform.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "app/admin_script.h"
#include "base/unique_fd.h"

namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "quill-linux-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void writeFile(const fs::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

TEST(SettingsFile, MissingEmptyOrCorruptReadsFalse) {
  TempDir dir;
  SettingsFileDefaults defaults(dir.path() / "sub" / "settings");
  EXPECT_FALSE(defaults.boolForKey("useFahrenheit"));
  fs::create_directories(dir.path() / "sub");
  for (std::string_view content : {"", "useFahrenheit", "useFahrenheit=yes", "\x00\xFF=true",
                                   "useFahrenheit=true", "=true\n"}) {
    writeFile(defaults.file(), content);
    EXPECT_EQ(defaults.boolForKey("useFahrenheit"), content == "useFahrenheit=true") << content;
  }
  fs::remove(defaults.file());
  fs::create_directory(defaults.file());  // a directory where the file should be
  EXPECT_FALSE(defaults.boolForKey("useFahrenheit"));
}

TEST(SettingsFile, WritesAtomicallyAndKeepsOtherKeys) {
  TempDir dir;
  const fs::path file = dir.path() / "quillomatics" / "settings";
  SettingsFileDefaults defaults(file);
  defaults.setBool(true, "useFahrenheit");
  EXPECT_TRUE(SettingsFileDefaults(file).boolForKey("useFahrenheit"));
  writeFile(file, "other=true\nuseFahrenheit=true\n");
  defaults.setBool(false, "useFahrenheit");
  EXPECT_FALSE(defaults.boolForKey("useFahrenheit"));
  EXPECT_TRUE(defaults.boolForKey("other"));
  // Nothing but the settings file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator{}), 1);
}

TEST(SettingsFile, DefaultLocationFollowsXdg) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string previous = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(SettingsFileDefaults::defaultLocation(), fs::path("/cfg/quillomatics/settings"));
  setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(SettingsFileDefaults::defaultLocation().filename(), "settings");
  EXPECT_EQ(SettingsFileDefaults::defaultLocation().parent_path().parent_path().filename(),
            ".config");
  if (saved) {
    setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

TEST(Bundle, FoundFromTheExecutablesPlace) {
  EXPECT_EQ(ExecutableBundle::bundlePathFor("/b/Quillomatics.app/Contents/MacOS/Quillomatics"),
            "/b/Quillomatics.app");
  EXPECT_EQ(ExecutableBundle::bundlePathFor("/b/Lab's Tools/X.app/Contents/MacOS/Quillomatics"),
            "/b/Lab's Tools/X.app");
  EXPECT_EQ(ExecutableBundle::bundlePathFor("/usr/local/bin/Quillomatics"), "/usr/local/bin");
  EXPECT_EQ(ExecutableBundle::bundlePathFor("/b/Contents/MacOS/Quillomatics"), "/b/Contents/MacOS");
  EXPECT_FALSE(ExecutableBundle().bundlePath().empty());
}

// ---- Pid file ----

class PidFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  PosixProcessControl processes;
  fs::path pidFile = dir.path() / "proactive.pid";
};

TEST_F(PidFileTest, ReadsTheOwnRegularFile) {
  writeFile(pidFile, "4711");
  EXPECT_EQ(processes.readPidFile(pidFile.string(), 64), "4711");
  processes.removeFile(pidFile.string());
  EXPECT_FALSE(fs::exists(pidFile));
  EXPECT_EQ(processes.readPidFile(pidFile.string(), 64), std::nullopt);
}

TEST_F(PidFileTest, RefusesFifosLinksDirectoriesAndLargeFiles) {
  ASSERT_EQ(mkfifo(pidFile.c_str(), 0666), 0);
  EXPECT_EQ(processes.readPidFile(pidFile.string(), 64), std::nullopt);  // must not block
  fs::remove(pidFile);

  const fs::path target = dir.path() / "target";
  writeFile(target, "4711");
  fs::create_symlink(target, pidFile);
  EXPECT_EQ(processes.readPidFile(pidFile.string(), 64), std::nullopt);
  fs::remove(pidFile);

  fs::create_directory(pidFile);
  EXPECT_EQ(processes.readPidFile(pidFile.string(), 64), std::nullopt);
  fs::remove(pidFile);

  writeFile(pidFile, std::string(65, '1'));
  EXPECT_EQ(processes.readPidFile(pidFile.string(), 64), std::nullopt);
  writeFile(pidFile, std::string(64, ' '));
  EXPECT_TRUE(processes.readPidFile(pidFile.string(), 64));
}

TEST_F(PidFileTest, RefusesAFileOfAnotherUser) {
  writeFile(pidFile, "4711");
  const passwd* nobody = getpwnam("nobody");
  if (geteuid() != 0 || nobody == nullptr) {
    GTEST_SKIP() << "needs root to give the file away";
  }
  ASSERT_EQ(chown(pidFile.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  EXPECT_EQ(processes.readPidFile(pidFile.string(), 64), std::nullopt);
}

TEST_F(PidFileTest, NeverSignalsGroupsOrEveryone) {
  // kill(0, ...) would reach this test's own process group; with signal 0 nothing is sent
  // anyway, so this checks only that the call is refused quietly.
  processes.signalTool(0, "/proc/self/exe", 0);
  processes.signalTool(-1, "/proc/self/exe", 0);
  SUCCEED();
}

// ---- Administrator runner ----

TEST(ScriptRunner, RunsTheShellCommandAndTakesItsOutput) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "runs directly only as root";
  }
  SudoScriptRunner runner;
  ScriptResult result = runner.runWithAdministratorPrivileges({"", "echo OK; id -u"});
  EXPECT_TRUE(result.succeeded);
  EXPECT_EQ(result.stringValue, "OK\n0");
  result = runner.runWithAdministratorPrivileges({"", "echo 'ERR x'; exit 3"});
  EXPECT_FALSE(result.succeeded);
  // A background start returns at once: the tool's output is detached from the pipe.
  const auto start = std::chrono::steady_clock::now();
  result = runner.runWithAdministratorPrivileges({"", "sleep 5 >/dev/null 2>&1 &"});
  EXPECT_TRUE(result.succeeded);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

// A process that is gone, or only a zombie waiting for its parent.
bool processGone(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) {
    return true;
  }
  const std::size_t end = line.rfind(')');
  return end != std::string::npos && line.compare(end, 4, ") Z ") == 0;
}

TEST(ScriptRunner, ATerminationSignalEndsTheCommandsWholeGroup) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to run the command without a prompt";
  }
  TempDir dir;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  base::UniqueFd signalRead(fds[0]);
  base::UniqueFd signalWrite(fds[1]);
  SudoScriptRunner runner;
  runner.cancelDescriptor = signalRead.get();
  // A command and a child of its that both ignore SIGTERM: only the SIGKILL after the grace
  // ends them.
  const fs::path childPid = dir.path() / "child";
  const std::string command =
      "trap '' TERM; sleep 30 & echo $! > '" + childPid.string() + "'; sleep 30; echo OK";
  // The signal once the command is under way.
  std::thread signal([&] {
    for (int i = 0; i < 500 && !fs::exists(childPid); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(write(signalWrite.get(), "\x0f", 1), 1);
  });
  const auto start = std::chrono::steady_clock::now();
  const ScriptResult result = runner.runWithAdministratorPrivileges({"", command});
  const auto took = std::chrono::steady_clock::now() - start;
  signal.join();
  EXPECT_FALSE(result.succeeded);
  EXPECT_LT(took, std::chrono::seconds(3));
  std::ifstream in(childPid);
  pid_t child = 0;
  ASSERT_TRUE(in >> child);
  for (int i = 0; i < 100 && !processGone(child); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(processGone(child)) << "the command's child still runs";
  // The signal is left for its owner to read.
  pollfd entry{signalRead.get(), POLLIN, 0};
  EXPECT_EQ(poll(&entry, 1, 0), 1);

  // With a signal pending already, nothing runs at all.
  const fs::path ran = dir.path() / "ran";
  EXPECT_FALSE(
      runner.runWithAdministratorPrivileges({"", "touch '" + ran.string() + "'"}).succeeded);
  EXPECT_FALSE(fs::exists(ran));
}

TEST(ScriptRunner, ElevatedCommandLines) {
  using Elevation = SudoScriptRunner::Elevation;
  const std::string command = "'/b/Quillomatics.app/Contents/MacOS/ventwarden' max";
  EXPECT_EQ(SudoScriptRunner::elevatedCommandLine(command, Elevation{true, false, ""}),
            (std::vector<std::string>{"/usr/bin/pkexec", "/bin/sh", "-c", command}));
  EXPECT_EQ(SudoScriptRunner::elevatedCommandLine(command, Elevation{false, true, ""}),
            (std::vector<std::string>{"/usr/bin/sudo", "--", "/bin/sh", "-c", command}));
  EXPECT_EQ(SudoScriptRunner::elevatedCommandLine(command, Elevation{false, false, "/d 'x"}),
            (std::vector<std::string>{"/usr/bin/sudo", "-n", "--", "/usr/bin/env",
                                      "QUILLOMATICS_SMC_DEVICE=/d 'x", "/bin/sh", "-c", command}));
}

// Sets or unsets a variable for the rest of the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
    }
    value != nullptr ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ScriptRunner, TheToolIsHandedTheDeviceInUse) {
  // A runtime directory outside /run/user/<uid>: the tool, acting for the user, would look in
  // /run/user/<uid> and drive another device than the one on the screen.
  const TempDir runtime;
  ASSERT_EQ(chmod(runtime.path().c_str(), 0700), 0);
  const ScopedEnv sudo("SUDO_UID", nullptr);
  const ScopedEnv pkexec("PKEXEC_UID", nullptr);
  const ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path().c_str());
  {
    const ScopedEnv unnamed("QUILLOMATICS_SMC_DEVICE", nullptr);
    EXPECT_EQ(SudoScriptRunner::toolDevice(), (runtime.path() / "quillomatics-smc.dev").string());
  }
  const ScopedEnv named("QUILLOMATICS_SMC_DEVICE", "/elsewhere/smc.dev");
  EXPECT_EQ(SudoScriptRunner::toolDevice(), "/elsewhere/smc.dev");
}

// Runs `body` in a child process as the user nobody (when root) and returns its exit status;
// -1 when that is not possible.
int exitStatusAsUnprivileged(const std::function<int()>& body) {
  const passwd* nobody = getpwnam("nobody");
  if (geteuid() == 0 && nobody == nullptr) {
    return -1;
  }
  const uid_t uid = nobody != nullptr ? nobody->pw_uid : 0;
  const gid_t gid = nobody != nullptr ? nobody->pw_gid : 0;
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) {
      _exit(99);
    }
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// An agent for one connection: keeps what it was sent and answers with `reply`.
class OneShotAgent {
 public:
  OneShotAgent(const fs::path& dir, std::string reply) : path_((dir / "agent.sock").string()) {
    fs::permissions(dir, fs::perms::all);
    listener_.reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path_.c_str());
    EXPECT_EQ(bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::permissions(path_, fs::perms::all);
    EXPECT_EQ(listen(listener_.get(), 1), 0);
    thread_ = std::thread([this, reply] {
      base::UniqueFd connection(accept(listener_.get(), nullptr, nullptr));
      char buffer[512];
      ssize_t n;
      while ((n = read(connection.get(), buffer, sizeof buffer)) > 0) {
        received_.append(buffer, static_cast<std::size_t>(n));
      }
      [[maybe_unused]] auto w = write(connection.get(), reply.data(), reply.size());
    });
  }
  const std::string& path() const { return path_; }
  std::string received() {
    thread_.join();
    return received_;
  }

 private:
  std::string path_;
  base::UniqueFd listener_;
  std::thread thread_;
  std::string received_;
};

TEST(ScriptRunner, UnprivilegedProcessHandsTheCommandToTheAgent) {
  TempDir dir;
  OneShotAgent agent(dir.path(), "0\nOK\n");
  const AdminScript script = *oneShotScript("/b/Quillomatics.app", "max");
  const int status = exitStatusAsUnprivileged([&] {
    SudoScriptRunner runner;
    runner.agentSocket = agent.path();
    const ScriptResult result = runner.runWithAdministratorPrivileges(script);
    return result.succeeded && result.stringValue == "OK" ? 0 : 1;
  });
  EXPECT_EQ(agent.received(), script.shellCommand);
  EXPECT_EQ(status, 0);
}

TEST(ScriptRunner, AgentRefusalOrAbsenceIsAFailure) {
  TempDir dir;
  OneShotAgent agent(dir.path(), "126\nrefused\n");
  EXPECT_EQ(exitStatusAsUnprivileged([&] {
              SudoScriptRunner runner;
              runner.agentSocket = agent.path();
              return runner.runWithAdministratorPrivileges({"", "true"}).succeeded ? 0 : 1;
            }),
            1);
  agent.received();
  EXPECT_EQ(exitStatusAsUnprivileged([&] {
              SudoScriptRunner runner;
              runner.agentSocket = (dir.path() / "none.sock").string();
              return runner.runWithAdministratorPrivileges({"", "true"}).succeeded ? 0 : 1;
            }),
            1);
}

}  // namespace
