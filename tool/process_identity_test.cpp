#include "tool/process_identity.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace tool {

namespace {

namespace fs = std::filesystem;

// A child that runs `program` (a copy of sleep) until it is killed; reaped by the destructor.
// With `ignoringTerm`, through a shell that ignores SIGTERM first, which the program inherits.
struct Child {
  explicit Child(const std::string& program, bool ignoringTerm = false) {
    pid = fork();
    if (pid == 0) {
      if (ignoringTerm) {
        execl("/bin/sh", "sh", "-c", "trap '' TERM; exec \"$0\" 30", program.c_str(),
              static_cast<char*>(nullptr));
      }
      execl(program.c_str(), program.c_str(), "30", static_cast<char*>(nullptr));
      _exit(127);
    }
    // Let it get past its exec.
    const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
    std::error_code error;
    for (int i = 0; i < 200 && fs::read_symlink(exe, error) != program; ++i) {
      usleep(5000);
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

// A directory of copies of sleep, removed at the end.
struct Copies {
  Copies() { fs::create_directories(dir); }
  ~Copies() { fs::remove_all(dir); }
  std::string make(const std::string& name) const {
    const fs::path path = dir / name;
    fs::copy_file("/bin/sleep", path, fs::copy_options::overwrite_existing);
    fs::permissions(path, fs::perms::owner_all);
    return path.string();
  }
  fs::path dir = fs::temp_directory_path() / ("process_identity." + std::to_string(getpid()));
};

TEST(ProcessIdentity, AToolWhoseFileWasReplacedIsStillTheToolAndNothingElseIs) {
  const Copies copies;
  const std::string tool = copies.make("ventwarden");
  Child upgraded(tool);
  // A package manager's upgrade: a new file renamed over the old one, which loses its last link.
  fs::rename(copies.make("ventwarden.new"), tool);
  // Processes that never ran that path: another program that is gone since, one named like the
  // kernel names a replaced file, and sleep itself.
  const std::string gone = copies.make("other");
  Child other(gone);
  fs::remove(gone);
  Child lookalike(copies.make("ventwarden (deleted)"));
  Child sleep("/bin/sleep");
  for (const Child* never : {&other, &lookalike, &sleep}) {
    EXPECT_EQ(signalIfRunning(never->pid, tool, SIGTERM), ToolSignal::notTheTool) << never->pid;
    EXPECT_TRUE(never->alive());
  }
  EXPECT_EQ(signalIfRunning(upgraded.pid, tool, SIGTERM, std::chrono::seconds(5)),
            ToolSignal::sent);
  const bool ended = !upgraded.alive();
  EXPECT_TRUE(ended);
  if (ended) {
    upgraded.pid = -1;
  }
}

TEST(ProcessIdentity, AStoppedToolIsContinuedAndOneThatOutlivesTheWaitIsReported) {
  const Copies copies;
  const std::string tool = copies.make("ventwarden");
  Child stopped(tool);
  ASSERT_EQ(kill(stopped.pid, SIGSTOP), 0);
  ASSERT_EQ(waitpid(stopped.pid, &stopped.status, WUNTRACED), stopped.pid);
  ASSERT_TRUE(WIFSTOPPED(stopped.status));
  EXPECT_EQ(signalIfRunning(stopped.pid, tool, SIGTERM, std::chrono::seconds(5)), ToolSignal::sent);
  // Still stopped, it would be reaped by the destructor's SIGKILL instead.
  const bool ended = !stopped.alive();
  EXPECT_TRUE(ended && WIFSIGNALED(stopped.status) && WTERMSIG(stopped.status) == SIGTERM);
  if (ended) {
    stopped.pid = -1;
  }

  Child deaf(tool, true);
  EXPECT_EQ(signalIfRunning(deaf.pid, tool, SIGTERM, std::chrono::milliseconds(200)),
            ToolSignal::stillRunning);
  EXPECT_TRUE(deaf.alive());
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

}  // namespace tool
