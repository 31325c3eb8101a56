#include "tool/process_identity.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// A child that runs `program` until it is killed; reaped by the destructor.
struct Child {
  explicit Child(const std::string& program) {
    pid = fork();
    if (pid == 0) {
      execl(program.c_str(), program.c_str(), "30", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Child() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  // Whether it is still running (not ended by a signal).
  bool alive() const { return waitpid(pid, &status, WNOHANG) == 0; }
  pid_t pid = -1;
  mutable int status = 0;
};

TEST(ProcessIdentity, OnlyAProcessOfThatVeryExecutableIsSignalled) {
  // A copy of sleep is another executable than sleep, though its name and content match.
  const fs::path copy =
      fs::temp_directory_path() / ("process_identity_test." + std::to_string(getpid()));
  fs::copy_file("/bin/sleep", copy, fs::copy_options::overwrite_existing);
  fs::permissions(copy, fs::perms::owner_all);
  Child other("/bin/sleep");
  Child tool(copy.string());
  ASSERT_GT(other.pid, 0);
  ASSERT_GT(tool.pid, 0);
  // Let both children get past their exec.
  for (int i = 0; i < 200 && fs::read_symlink("/proc/" + std::to_string(tool.pid) + "/exe") != copy;
       ++i) {
    usleep(5000);
  }

  EXPECT_EQ(signalIfRunning(other.pid, copy.string(), SIGTERM), ToolSignal::notTheTool);
  EXPECT_TRUE(other.alive());
  EXPECT_EQ(signalIfRunning(tool.pid, copy.string(), SIGTERM, std::chrono::seconds(5)),
            ToolSignal::sent);
  EXPECT_FALSE(tool.alive()) << "waited for the signalled process to end";
  tool.pid = -1;

  // Never a group or everyone; an executable that is not there matches nothing.
  EXPECT_EQ(signalIfRunning(0, copy.string(), 0), ToolSignal::notTheTool);
  EXPECT_EQ(signalIfRunning(-1, copy.string(), 0), ToolSignal::notTheTool);
  EXPECT_EQ(signalIfRunning(other.pid, (copy.string() + ".missing"), 0), ToolSignal::unknown);
  fs::remove(copy);
}

TEST(ProcessIdentity, EndedProcessesAreNotThere) {
  const pid_t child = fork();
  if (child == 0) {
    _exit(0);
  }
  // Exited and not yet reaped, then reaped.
  usleep(50000);
  EXPECT_EQ(signalIfRunning(child, ownExecutable(), 0), ToolSignal::noProcess);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(signalIfRunning(child, ownExecutable(), 0), ToolSignal::noProcess);
  EXPECT_EQ(signalIfRunning(getpid(), ownExecutable(), 0), ToolSignal::sent);
}

}  // namespace
