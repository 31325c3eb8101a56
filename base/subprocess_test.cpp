#include "base/subprocess.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <string>

namespace {

using std::chrono::milliseconds;

// Whether the pipe `fd` reads from comes to its end within `patience`: every process that held
// its write end, a child and whatever it started, has ended.
bool endsWithin(int fd, milliseconds patience) {
  pollfd entry{fd, POLLIN, 0};
  char buffer[256];
  while (poll(&entry, 1, static_cast<int>(patience.count())) > 0) {
    if (read(fd, buffer, sizeof buffer) <= 0) {
      return true;
    }
  }
  return false;
}

base::Subprocess::Options shell(const std::string& command) {
  base::Subprocess::Options options;
  options.argv = {"/bin/sh", "-c", command};
  return options;
}

TEST(Subprocess, BothOutputsTheExactEnvironmentAndTheExitStatusCome) {
  auto options = shell("read line; echo \"out $Q $line\"; echo err >&2; exit 3");
  options.environment = std::vector<std::string>{"Q=only"};
  options.input = base::Subprocess::kNullInput;
  auto child = base::Subprocess::start(options);
  ASSERT_TRUE(child);
  const base::Subprocess::Output output = child->readToEnd();
  EXPECT_EQ(output.out, "out only \n");  // /dev/null gives no line
  EXPECT_EQ(output.err, "err\n");
  const auto status = child->wait();
  ASSERT_TRUE(status);
  EXPECT_EQ(base::exitCode(*status), 3);
  EXPECT_FALSE(child->signal(SIGTERM));  // reaped: its pid may be someone else's now

  auto lines = base::Subprocess::start(shell("echo one; echo two; echo three"));
  ASSERT_TRUE(lines);
  EXPECT_EQ(lines->readLine(milliseconds(5000)), "one");
  EXPECT_EQ(lines->readToEnd().out, "two\nthree\n");  // the rest of what readLine read ahead
}

TEST(Subprocess, AProgramThatCannotRunFailsToStartAndTheChildsOwnRefusalIsItsStatus) {
  errno = 0;
  base::Subprocess::Options missing;
  missing.argv = {"/nonexistent/program"};
  EXPECT_FALSE(base::Subprocess::start(missing));
  EXPECT_EQ(errno, ENOENT);

  auto options = shell("exit 0");
  options.inChild = [] { return 124; };
  auto refused = base::Subprocess::start(options);
  ASSERT_TRUE(refused);
  EXPECT_EQ(base::exitCode(*refused->wait()), 124);
}

TEST(Subprocess, AChildNotWaitedForIsKilledWithItsGroupAndReapedWhenItsOwnerGoes) {
  pid_t leader = 0;
  pid_t member = 0;
  base::UniqueFd output;
  {
    auto options = shell("sleep 30 & echo $!; wait");
    options.group = base::Subprocess::Group::own;
    auto child = base::Subprocess::start(options);
    ASSERT_TRUE(child);
    leader = child->pid();
    const auto line = child->readLine(milliseconds(5000));
    ASSERT_TRUE(line);
    member = std::stoi(*line);
    EXPECT_EQ(getpgid(member), leader);
    output.reset(dup(child->outputFd()));
  }
  // Reaped by its owner: not even a zombie is left of it.
  EXPECT_EQ(waitpid(leader, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  EXPECT_TRUE(endsWithin(output.get(), milliseconds(5000))) << "the group's other member runs";
}

TEST(Subprocess, EndingAGroupThatIgnoresTerminationKillsItAfterTheGrace) {
  auto options = shell("trap '' TERM; sleep 30 & echo $!; wait");
  options.group = base::Subprocess::Group::own;
  auto child = base::Subprocess::start(options);
  ASSERT_TRUE(child);
  const auto line = child->readLine(milliseconds(5000));
  ASSERT_TRUE(line);
  child->endGroup(milliseconds(200));
  EXPECT_TRUE(child->reaped());
  EXPECT_TRUE(endsWithin(child->outputFd(), milliseconds(5000))) << "the member " << *line;
}

}  // namespace
