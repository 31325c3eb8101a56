// The administrator runner against real processes and sockets: the command's output and
// status, its whole group ended on a termination signal, the command lines that raise it, and
// the hand-over to an agent.
#include "app/linux/sudo_script_runner.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/admin_script.h"
#include "app/testing/temp_dir.h"
#include "base/unique_fd.h"
#include "sim/testing/scoped_env.h"

namespace app {

namespace {

namespace fs = std::filesystem;
using sim::testing::ScopedEnv;

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

}  // namespace app
