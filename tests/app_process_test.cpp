// The real Quillomatics against simulated devices: the headless snapshot of each shipped
// profile, the SMC-unavailable exit, the unit setting across runs, the fallback to the real
// ventwarden from an unprivileged process, the proactive tool's start and stop, and orderly
// termination on signals.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "app/admin_script.h"
#include "app/app_delegate.h"
#include "app/sensors.h"
#include "app/text_format.h"
#include "base/io.h"
#include "base/unique_fd.h"
#include "sim/sim_device.h"
#include "sim/testing/unprivileged.h"
#include "smc/smc_client.h"
#include "tests/support/admin_agent.h"
#include "tests/support/pid_file_fixture.h"
#include "tests/support/test_helpers.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using sim::testing::execAsIs;
using sim::testing::ExecResult;
using sim::testing::execUnprivileged;
using sim::testing::SharedTempDir;

// A copy of the built bundle with a copy of the real ventwarden in it. The application signals
// only a process that runs its own bundle's tool, so the tool there must be the very executable
// that runs (a wrapper script would run as another file); whether it was started shows in it
// being opened, which every exec does (inotify merges repeated opens, so this is no count).
struct TestBundle {
  explicit TestBundle(const SharedTempDir& dir)
      : bin(dir.file("Quillomatics.app/Contents/MacOS")),
        app(bin + "/Quillomatics"),
        tool(bin + "/ventwarden") {
    fs::create_directories(bin);
    fs::copy_file(QUILLOMATICS_PATH, app);
    fs::copy_file(VENTWARDEN_PATH, tool);
    fs::permissions(tool, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    opens = base::UniqueFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    inotify_add_watch(opens.get(), tool.c_str(), IN_OPEN);
  }
  // Whether the tool has been started so far.
  bool started() {
    alignas(inotify_event) char buffer[4096];
    ssize_t n;
    while ((n = read(opens.get(), buffer, sizeof buffer)) > 0) {
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        opened = opened || (event->mask & IN_OPEN) != 0;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return opened;
  }
  // Whether the process runs this bundle's tool.
  bool runsTool(pid_t pid) const {
    struct stat mine {
    }, running{};
    return stat(tool.c_str(), &mine) == 0 &&
           stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &running) == 0 &&
           mine.st_dev == running.st_dev && mine.st_ino == running.st_ino;
  }
  // The processes that run it now.
  std::vector<pid_t> running() const {
    std::vector<pid_t> pids;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") == std::string::npos &&
          runsTool(static_cast<pid_t>(std::stol(name)))) {
        pids.push_back(static_cast<pid_t>(std::stol(name)));
      }
    }
    return pids;
  }

  std::string bin, app, tool;
  base::UniqueFd opens;
  bool opened = false;
};

// The pid file's text; other programs' tests on the same machine may own one too, so tests
// only check that it no longer names their own tool.
std::string pidFileContent() {
  std::ifstream in{kPidPath};
  std::string content;
  std::getline(in, content);
  return content;
}

// Whether `condition` holds within `limit`, looked at every 20 ms.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 15s) {
  return within(limit, condition, 20ms);
}

class AppProcessTest : public PidFileFixture<> {
 protected:
  void SetUp() override {
    PidFileFixture::SetUp();
    if (IsSkipped()) {
      return;
    }
    fs::create_directories(config);
    fs::permissions(config, fs::perms::all);
  }
  // A tool this test started and that still runs (a failed test) is stopped, not left behind.
  void TearDown() override {
    for (pid_t pid : bundle.running()) {
      kill(pid, SIGTERM);
    }
  }
  void makeDevice(const std::string& profile, bool frozen = true) {
    sim::CreateOptions options;
    options.frozen = frozen;
    options.writers = sim::testing::suiteWriters();
    ASSERT_TRUE(sim::createDevice(device, sim::ProfileSource::builtin(profile), options))
        << profile;
  }
  std::vector<std::string> env() const {
    return {"QUILLOMATICS_SMC_DEVICE=" + device, "XDG_CONFIG_HOME=" + config};
  }
  ExecResult snapshot(std::vector<std::string> actions, bool unprivileged = false,
                      std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {bundle.app, "--snapshot"};
    for (auto& a : actions) {
      argv.push_back("--do");
      argv.push_back(a);
    }
    argv.insert(argv.end(), extra.begin(), extra.end());
    return unprivileged ? execUnprivileged(argv, env()) : execAsIs(argv, env());
  }
  sim::Snapshot machine() {
    auto opened = sim::Device::open(device, sim::Device::Access::readOnly);
    EXPECT_TRUE(opened);
    return opened->snapshot();
  }
  std::optional<double> value(std::string_view key) {
    auto opened = sim::Device::open(device, sim::Device::Access::readOnly);
    return opened ? opened->value(key) : std::nullopt;
  }

  TestBundle bundle{dir};
  std::string device = dir.file("smc.dev");
  std::string config = dir.file("config");
};

TEST_F(AppProcessTest, SnapshotOfEachShippedProfile) {
  ASSERT_GE(sim::builtinProfiles().size(), 3u);
  for (const sim::BuiltinProfile& builtin : sim::builtinProfiles()) {
    const std::string profile(builtin.name);
    SCOPED_TRACE(profile);
    sim::CreateOptions options;
    options.frozen = true;
    options.replace = true;
    ASSERT_TRUE(sim::createDevice(device, sim::ProfileSource::builtin(profile), options));
    const ExecResult run = snapshot({});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.ends_with("}\n"));

    // The title: the first accepted CPU reading in catalogue order.
    std::optional<double> first;
    for (const app::Sensor& s : app::cpuSensors) {
      const auto v = value(s.key);
      if (v && *v > 0 && *v < 130) {
        first = *v;
        break;
      }
    }
    if (first) {
      EXPECT_TRUE(run.out.starts_with("{\"title\": {\"runs\": [{\"text\": \"" +
                                      app::formatDegrees(*first, 0, "C") + "\""))
          << run.out.substr(0, 120);
    }
    const int fans = static_cast<int>(value("FNum").value_or(0));
    EXPECT_NE(run.out.find("\"fanCount\": " + std::to_string(fans) + "}"), std::string::npos);
    for (int i = 0; i < fans; ++i) {
      const auto rpm = value(smc::fanKey(i, "Ac"));
      ASSERT_TRUE(rpm);
      EXPECT_NE(run.out.find("\"title\": \"Fan " + std::to_string(i + 1) + " " +
                             app::formatFixed(*rpm, 0) + " RPM\""),
                std::string::npos);
    }
    EXPECT_NE(run.out.find("{\"title\": \"Quit Quillomatics\", \"runs\": null, \"action\": "
                           "\"quitApp\", \"key\": \"q\"}]"),
              std::string::npos);
  }
}

constexpr std::string_view kNoSmcAlert =
    "Cannot Access SMC\n"
    "Quillomatics could not connect to the System Management Controller.\n";

// A device the user named is never made, by the monitor or the snapshot: the alert is followed by
// the path and what is wrong with it.
TEST_F(AppProcessTest, WithoutAnSmcTheAlertAndTheDeviceProblemGoToStandardError) {
  for (const bool monitor : {false, true}) {
    const ExecResult run = monitor ? execAsIs({bundle.app}, env()) : snapshot({});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              std::string(kNoSmcAlert) + device + ": no such device (smc-sim create makes one)\n");
    EXPECT_FALSE(fs::exists(device)) << (monitor ? "the monitor" : "the snapshot");
  }
  std::ofstream(device) << "not a device";
  EXPECT_EQ(snapshot({}).err,
            std::string(kNoSmcAlert) + device + ": not a simulated SMC device (too small)\n");
}

// Another account squatting the guessable names in /tmp (the name the default device had, and
// the fallback directory) cannot take the SMC away: a user with a runtime directory of their own
// gets a new built-in machine there; without one, the squatted directory is refused, and said so.
TEST_F(AppProcessTest, SquattedDefaultPathsDoNotTakeTheSmcAway) {
  if (!sim::testing::droppingPrivileges()) {
    GTEST_SKIP() << "needs root to squat the names as another account and run the victim";
  }
  const std::string uid = std::to_string(sim::testing::kNobodyUid);
  const std::vector<std::string> squatted = {"/tmp/quillomatics-smc-" + uid + ".dev",
                                             "/tmp/quillomatics-" + uid};
  for (const auto& name : squatted) {
    fs::create_directory(name);
    fs::permissions(name, fs::perms::all);
  }
  struct Unsquat {
    const std::vector<std::string>& names;
    ~Unsquat() {
      for (const auto& name : names) {
        std::error_code ignored;
        fs::remove_all(name, ignored);
      }
    }
  } unsquat{squatted};
  const std::string runtime = dir.file("run");
  ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
  ASSERT_EQ(chown(runtime.c_str(), sim::testing::kNobodyUid, sim::testing::kNobodyGid), 0);
  const std::vector<std::string> base = {"QUILLOMATICS_SMC_DEVICE=", "XDG_CONFIG_HOME=" + config};

  auto withRuntime = base;
  withRuntime.push_back("XDG_RUNTIME_DIR=" + runtime);
  ExecResult run = execUnprivileged({bundle.app, "--snapshot"}, withRuntime);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"fanCount\": 2"), std::string::npos) << run.out;
  EXPECT_TRUE(fs::is_regular_file(runtime + "/quillomatics-smc.dev"));

  auto withoutRuntime = base;
  withoutRuntime.push_back("XDG_RUNTIME_DIR=");
  run = execUnprivileged({bundle.app, "--snapshot"}, withoutRuntime);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, std::string(kNoSmcAlert) + squatted[1] +
                         ": belongs to another user; not used for the default device\n");
  EXPECT_TRUE(fs::is_empty(squatted[1]));
}

TEST_F(AppProcessTest, UnitChoiceIsRememberedByTheNextRun) {
  makeDevice("macbookpro16-1");
  ExecResult run = snapshot({"toggleUnit"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"useFahrenheit\": true"), std::string::npos);
  EXPECT_NE(run.out.find("\u00B0F\", \"font\": \"mono-12-medium\""), std::string::npos);
  run = snapshot({});
  EXPECT_NE(run.out.find("\"title\": \"Switch to Celsius\""), std::string::npos);
  run = snapshot({"toggleUnit", "toggleUnit"});
  EXPECT_NE(run.out.find("\"useFahrenheit\": true"), std::string::npos);
}

// An application without the rights to write fan keys forces them through the tool, and on
// quitting hands them back through the tool: one administrator command each. One machine forces
// its fans through each fan's mode key; the other has only the "FS! " mask, which the tool never
// writes, so there max leaves nothing forced and quitting asks for nothing.
// An application without the rights to write the fans goes through the administrator once: the
// guard's start. Quitting asks for nothing; the root guard hands the fans back as the process
// ends. A machine that does not take forced mode fails visibly, with nothing left running.
TEST_F(AppProcessTest, UnprivilegedFullSpeedAsksOnceAndQuitAsksNothing) {
  if (!sim::testing::droppingPrivileges()) {
    GTEST_SKIP() << "needs root to run the agent and drop the application's privileges";
  }
  const std::string guardMax = app::guardShellCommand(bundle.tool, "max", 0);
  for (const std::string profile : {"macbookpro16-1", "macbookpro13-3"}) {
    SCOPED_TRACE(profile);
    sim::CreateOptions options;
    options.frozen = true;
    options.replace = true;
    const auto created = sim::createDevice(device, sim::ProfileSource::builtin(profile), options);
    ASSERT_TRUE(created) << created.error();
    AdminAgent agent(dir.file("agent.sock"), bundle.tool, device);
    const ExecResult run = snapshot({"setFansMax"}, true, {"--admin-socket", agent.socketPath()});
    const auto commands = agent.commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_TRUE(commands[0].starts_with(guardMax.substr(0, guardMax.size() - 1))) << commands[0];
    if (profile == "macbookpro16-1") {
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.err, "");
      EXPECT_NE(run.out.find("\"fanMode\": \"max\", \"fansForced\": true"), std::string::npos);
    } else {
      EXPECT_EQ(run.status, 3);
      EXPECT_NE(run.err.find(app::kFansNotForcedMessage), std::string::npos) << run.err;
      EXPECT_NE(run.out.find("\"fanMode\": \"auto\", \"fansForced\": false"), std::string::npos);
    }
    EXPECT_TRUE(eventually([&] { return bundle.running().empty(); }, 1s));
    const sim::Snapshot after = machine();
    ASSERT_FALSE(after.fans.empty());
    for (const auto& fan : after.fans) {
      EXPECT_FALSE(fan.forced) << fan.index;
    }
  }
}

TEST_F(AppProcessTest, UnprivilegedMaxWithNoWayToAuthoriseChangesNothing) {
  if (!sim::testing::droppingPrivileges()) {
    GTEST_SKIP() << "needs root to drop the application's privileges";
  }
  makeDevice("macbookpro16-1");
  AdminAgent agent(dir.file("agent.sock"), dir.file("elsewhere/ventwarden"), device);
  ExecResult run = snapshot({"setFansMax"}, true, {"--admin-socket", agent.socketPath()});
  ASSERT_EQ(run.status, 3) << run.err;
  EXPECT_NE(run.out.find("\"fanMode\": \"auto\", \"fansForced\": false"), std::string::npos);
  EXPECT_TRUE(agent.ranCommands().empty());  // refused: not the agent's tool
  EXPECT_FALSE(agent.commands().empty());

  // Through sudo, which asks nobody for a password it cannot give. The failed action is named,
  // and the exit status says so.
  run = snapshot({"setFansMax"}, true);
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("Quillomatics: setFansMax failed"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("\"fanMode\": \"auto\""), std::string::npos);
  for (const auto& fan : machine().fans) {
    EXPECT_FALSE(fan.forced);
  }
  EXPECT_FALSE(bundle.started());
}

TEST_F(AppProcessTest, ProactiveStartsTheToolAndTerminationStopsIt) {
  makeDevice("macbookpro16-1", false);
  // As root the tool is started directly; an ordinary account's suite has the agent stand in
  // for the administrator.
  AdminAgent agent(dir.file("agent.sock"), bundle.tool, device);
  const ExecResult run =
      snapshot({"setFansProactive"}, false, {"--admin-socket", agent.socketPath()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"fanMode\": \"proactive\", \"fansForced\": true"), std::string::npos);
  EXPECT_NE(run.out.find("\"title\": \"Fans: Proactive (40-75\u00B0C)\""), std::string::npos);
  EXPECT_TRUE(bundle.started());
  EXPECT_TRUE(eventually([&] { return bundle.running().empty(); }));
  const sim::Snapshot after = machine();
  ASSERT_FALSE(after.fans.empty());
  for (const auto& fan : after.fans) {
    EXPECT_FALSE(fan.forced) << fan.index;
    EXPECT_EQ(fan.mode.value_or(0), 0) << fan.index;
  }
}

TEST_F(AppProcessTest, UnprivilegedProactiveIsHandedBackByItsGuard) {
  if (!sim::testing::droppingPrivileges()) {
    GTEST_SKIP() << "needs root to run the agent and drop the application's privileges";
  }
  makeDevice("macbookpro16-1", false);
  AdminAgent agent(dir.file("agent.sock"), bundle.tool, device);
  agent.allowStops([this](int pid) { return bundle.runsTool(pid); });
  const ExecResult run =
      snapshot({"setFansProactive"}, true, {"--admin-socket", agent.socketPath()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"fanMode\": \"proactive\""), std::string::npos);
  EXPECT_TRUE(bundle.started());
  // The tool runs as root: the application's own signal cannot reach it, and quitting asks for
  // nothing; the tool guards the application's process and hands the fans back as it ends.
  const std::string guard = app::guardShellCommand(bundle.tool, "proactive", 0);
  const auto ran = agent.ranCommands();
  ASSERT_EQ(ran.size(), 1u);
  EXPECT_TRUE(ran[0].starts_with(guard.substr(0, guard.size() - 1))) << ran[0];
  EXPECT_TRUE(eventually([&] { return bundle.running().empty(); }, 1s));
  EXPECT_FALSE(fs::exists(kPidPath));
  for (const auto& fan : machine().fans) {
    EXPECT_FALSE(fan.forced) << fan.index;
  }
}

TEST_F(AppProcessTest, EscalatedStopSignalsOnlyTheTool) {
  // A stale pid file may name a process that is not the tool any more: it must survive.
  const pid_t other = fork();
  if (other == 0) {
    execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(other, 0);
  std::ofstream(kPidPath) << other;
  const ExecResult stop =
      execAsIs({"/bin/sh", "-c", app::stopToolShellCommand(bundle.tool, other)}, {});
  EXPECT_EQ(stop.status, 0) << stop.err;
  int status = 0;
  EXPECT_EQ(waitpid(other, &status, WNOHANG), 0) << "the stop signalled a process that is not "
                                                    "the tool";
  EXPECT_FALSE(fs::exists(kPidPath));
  kill(other, SIGKILL);
  waitpid(other, &status, 0);
}

TEST_F(AppProcessTest, StalePidFileNeverEndsAnotherProcess) {
  // A tool killed outright (its device cut short under it: SIGBUS) leaves its root-owned file
  // behind, and its id passes to the next process; here, one of the application's own user.
  makeDevice("macbookpro16-1");
  const bool canDrop = sim::testing::droppingPrivileges();
  std::optional<AdminAgent> agent;
  if (canDrop) {
    agent.emplace(dir.file("agent.sock"), bundle.tool, device);
    agent->allowStops([](int) { return true; });  // the tool's own check must hold by itself
  }
  for (const bool unprivileged : {false, true}) {
    if (unprivileged && !canDrop) {
      continue;
    }
    const pid_t victim = fork();
    if (victim == 0) {
      if (unprivileged &&
          (setgid(sim::testing::kNobodyGid) != 0 || setuid(sim::testing::kNobodyUid) != 0)) {
        _exit(126);
      }
      execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(victim, 0);
    std::error_code ignored;
    fs::remove(kPidPath, ignored);
    std::ofstream(kPidPath) << victim;
    std::vector<std::string> extra;
    if (unprivileged) {
      extra = {"--admin-socket", agent->socketPath()};
    }
    const ExecResult run = snapshot({"setFansMax", "setFansAuto"}, unprivileged, extra);
    EXPECT_EQ(run.status, 0) << run.err;
    usleep(100000);
    EXPECT_FALSE(processGone(victim))
        << (unprivileged ? "application and victim unprivileged, the file root's"
                         : "application and victim as the test's user");
    EXPECT_NE(pidFileContent(), std::to_string(victim));  // the stale file is gone
    kill(victim, SIGKILL);
    waitpid(victim, nullptr, 0);
  }
}

TEST_F(AppProcessTest, ReaderThatGoesAwayDoesNotSkipTermination) {
  makeDevice("macbookpro16-1");
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  const std::string deviceVar = "QUILLOMATICS_SMC_DEVICE=" + device;
  const std::string configVar = "XDG_CONFIG_HOME=" + config;
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the test
    dup2(out[1], STDOUT_FILENO);
    char* envp[] = {const_cast<char*>(deviceVar.c_str()), const_cast<char*>(configVar.c_str()),
                    nullptr};
    execle(bundle.app.c_str(), bundle.app.c_str(), "--snapshot", "--do", "setFansMax", nullptr,
           envp);
    _exit(127);
  }
  close(out[0]);  // nobody will read the snapshot
  close(out[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  for (const auto& fan : machine().fans) {
    EXPECT_FALSE(fan.forced) << fan.index;
  }
}

// The real monitor in its line mode, its input on a pipe (a line holding a key equivalent runs
// that item) and its output, standard error included, read back; as the test's user, or as
// "nobody" with the administrator agent standing in for the prompt. It never outlives the test.
class RunningMonitor {
 public:
  RunningMonitor(const std::string& app, const std::string& device, const std::string& config,
                 const std::string& agentSocket, bool unprivileged) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
      return;
    }
    const std::string deviceVar = "QUILLOMATICS_SMC_DEVICE=" + device;
    const std::string configVar = "XDG_CONFIG_HOME=" + config;
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      dup2(out[1], STDERR_FILENO);
      if (unprivileged && (setgroups(0, nullptr) != 0 || setgid(sim::testing::kNobodyGid) != 0 ||
                           setuid(sim::testing::kNobodyUid) != 0)) {
        _exit(126);
      }
      char* envp[] = {const_cast<char*>(deviceVar.c_str()), const_cast<char*>(configVar.c_str()),
                      nullptr};
      execle(app.c_str(), app.c_str(), "--admin-socket", agentSocket.c_str(), nullptr, envp);
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    input_ = base::UniqueFd(in[1]);
    output_ = base::UniqueFd(out[0]);
    fcntl(output_.get(), F_SETFL, fcntl(output_.get(), F_GETFL) | O_NONBLOCK);
  }
  ~RunningMonitor() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  RunningMonitor(const RunningMonitor&) = delete;
  RunningMonitor& operator=(const RunningMonitor&) = delete;

  pid_t pid() const { return pid_; }
  bool type(std::string_view line) {
    const std::string text = std::string(line) + "\n";
    return write(input_.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  // Whether the output shows `marker` within 15 s.
  bool shows(std::string_view marker) {
    return eventually([&] {
      char buffer[4096];
      ssize_t n;
      while ((n = read(output_.get(), buffer, sizeof buffer)) > 0) {
        output_text_.append(buffer, static_cast<std::size_t>(n));
      }
      return output_text_.find(marker) != std::string::npos;
    });
  }
  // Signals the monitor and reaps it; its wait status.
  int end(int signal) {
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    return status;
  }
  const std::string& output() const { return output_text_; }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  base::UniqueFd input_;
  base::UniqueFd output_;
  std::string output_text_;
};

// Termination signals end the monitor through its termination, which hands the fans back.
TEST_F(AppProcessTest, TerminationSignalsHandTheFansBack) {
  AdminAgent agent(dir.file("agent.sock"), bundle.tool, device);
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    ASSERT_TRUE(sim::createDevice(
        device, sim::ProfileSource::builtin("macbookpro16-1"),
        {.frozen = true, .replace = true, .writers = sim::testing::suiteWriters()}));
    RunningMonitor monitor(bundle.app, device, config, agent.socketPath(), false);
    ASSERT_TRUE(monitor.shows("[q] Quit Quillomatics"));
    ASSERT_TRUE(monitor.type("m"));
    ASSERT_TRUE(monitor.shows("Fans: Manual 100%"));
    for (const auto& fan : machine().fans) {
      ASSERT_TRUE(fan.forced);
    }
    const int status = monitor.end(sig);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
    for (const auto& fan : machine().fans) {
      EXPECT_FALSE(fan.forced) << fan.index;
    }
  }
}

// However the monitor ends without its termination (killed, crashed, or with its terminal gone),
// the guard that came with the fans hands them back: for full speed and the proactive curve, as
// the test's user and as "nobody" through the administrator agent. A machine forced only through
// the mask refuses both, visibly, and nothing is left forced. After each end: every fan
// automatic within 1 s, no pid file and no tool of the run, and a new launch says "Fans: Auto".
TEST_F(AppProcessTest, EveryWayTheMonitorEndsHandsTheFansBack) {
  AdminAgent agent(dir.file("agent.sock"), bundle.tool, device);
  agent.allowStops([this](int pid) { return bundle.runsTool(pid); });
  std::vector<bool> accounts = {false};
  if (sim::testing::droppingPrivileges()) {
    accounts.push_back(true);
  }
  for (const std::string profile : {"macbookpro16-1", "macbookpro13-3"}) {
    for (const std::string key : {"m", "p"}) {
      for (const int sig : {SIGKILL, SIGSEGV, SIGHUP}) {
        for (const bool unprivileged : accounts) {
          SCOPED_TRACE(profile + " " + key + " signal " + std::to_string(sig) +
                       (unprivileged ? " as nobody" : " as the suite's user"));
          ASSERT_TRUE(sim::createDevice(
              device, sim::ProfileSource::builtin(profile),
              {.frozen = true, .replace = true, .writers = sim::testing::suiteWriters()}));
          RunningMonitor monitor(bundle.app, device, config, agent.socketPath(), unprivileged);
          ASSERT_TRUE(monitor.shows("[q] Quit Quillomatics"));
          ASSERT_TRUE(monitor.type(key));
          if (profile == "macbookpro13-3") {
            ASSERT_TRUE(monitor.shows(app::kFansNotForcedMessage)) << monitor.output();
            EXPECT_EQ(monitor.output().find("Fans: Manual"), std::string::npos);
            EXPECT_EQ(monitor.output().find("Fans: Proactive"), std::string::npos);
          } else {
            ASSERT_TRUE(monitor.shows(key == "m" ? "Fans: Manual 100%" : "Fans: Proactive"))
                << monitor.output();
            ASSERT_EQ(bundle.running().size(), 1u);
          }
          monitor.end(sig);
          EXPECT_TRUE(eventually(
              [&] {
                const sim::Snapshot now = machine();
                return std::none_of(now.fans.begin(), now.fans.end(),
                                    [](const auto& fan) { return fan.forced; });
              },
              1s));
          EXPECT_TRUE(eventually([&] { return bundle.running().empty(); }, 1s));
          EXPECT_FALSE(fs::exists(kPidPath));
          const ExecResult next = snapshot({});
          EXPECT_NE(next.out.find("\"title\": \"Fans: Auto\""), std::string::npos) << next.out;
        }
      }
    }
  }
}

// ---- Readings for scripts and fleets: the numbers, the Prometheus text, the textfile ----

// The program's path on PATH, or empty.
std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) {
      return dir + "/" + name;
    }
  }
  return "";
}

// A process the test started, killed and reaped when the test leaves it running.
struct Child {
  pid_t pid = -1;
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the test
      std::vector<char*> args, envp;
      for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
      }
      for (const auto& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
      }
      args.push_back(nullptr);
      envp.push_back(nullptr);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      execve(args[0], args.data(), envp.data());
      _exit(127);
    }
  }
  // The exit status (128 + signal) after `signal`.
  int stop(int signal) {
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  ~Child() {
    if (pid > 0) {
      stop(SIGKILL);
    }
  }
};

// A loopback port nobody listens on at the moment of asking.
int freeLoopbackPort() {
  base::UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return -1;
  }
  return ntohs(address.sin_port);
}

// The body of GET `path` from 127.0.0.1:`port`; none when nothing answers.
std::optional<std::string> httpGet(int port, const std::string& path) {
  base::UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return std::nullopt;
  }
  const std::string request =
      "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept: text/plain\r\n\r\n";
  if (!base::writeAll(fd.get(), request)) {
    return std::nullopt;
  }
  std::string response;
  if (!base::readAll(fd.get(), response, 16 << 20)) {
    return std::nullopt;
  }
  const auto body = response.find("\r\n\r\n");
  return body == std::string::npos ? std::nullopt : std::optional(response.substr(body + 4));
}

// The snapshot's readings, by their text.
struct JsonReading {
  std::string group, key, name;
  double celsius;
};
std::vector<JsonReading> jsonReadings(const std::string& json) {
  static const std::regex reading(
      R"re(\{"group": "(cpu|gpu|other)", "key": "([^"]{4})", "name": "([^"]*)", "celsius": ([-+.0-9e]+)\})re");
  std::vector<JsonReading> out;
  const auto from = json.find("\"readings\": [");
  for (auto it = std::sregex_iterator(json.begin() + static_cast<std::ptrdiff_t>(from), json.end(),
                                      reading);
       it != std::sregex_iterator(); ++it) {
    out.push_back({(*it)[1], (*it)[2], (*it)[3], std::strtod((*it)[4].str().c_str(), nullptr)});
  }
  return out;
}

// Each reading is its key's value on the device, exactly; the menu's temperature rows are those
// readings, in their order. The fans are the device's, with their limits.
TEST_F(AppProcessTest, ReadingsAreTheDevicesKeysAndTheMenusRowsOnEveryProfile) {
  for (const sim::BuiltinProfile& builtin : sim::builtinProfiles()) {
    const std::string profile(builtin.name);
    SCOPED_TRACE(profile);
    ASSERT_TRUE(sim::createDevice(device, sim::ProfileSource::builtin(profile),
                                  {.frozen = true, .replace = true}));
    const ExecResult run = snapshot({});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"schema\": 1, \"readings\": ["), std::string::npos);
    const auto readings = jsonReadings(run.out);
    std::size_t at = run.out.find("\"menu\": [");
    for (const JsonReading& r : readings) {
      SCOPED_TRACE(r.key);
      const auto v = value(r.key);
      ASSERT_TRUE(v);
      EXPECT_EQ(r.celsius, *v);
      at = run.out.find(
          "{\"title\": \"" + r.name + " " + app::formatDegrees(r.celsius, 1, "C") + "\"", at);
      EXPECT_NE(at, std::string::npos) << "not the next row of the menu";
    }
    static const std::regex temperatureRow("\\{\"title\": \"[^\"]*\u00B0C\", \"runs\"");
    EXPECT_EQ(static_cast<std::size_t>(std::distance(
                  std::sregex_iterator(run.out.begin(), run.out.end(), temperatureRow),
                  std::sregex_iterator())),
              readings.size());
    const int fans = static_cast<int>(value("FNum").value_or(0));
    for (int i = 0; i < fans; ++i) {
      EXPECT_NE(run.out.find("{\"index\": " + std::to_string(i) + ", \"actual\": "),
                std::string::npos);
    }
    if (fans > 0) {
      const std::string first = "{\"index\": 0, \"actual\": ";
      const auto fan = run.out.substr(run.out.find(first) + first.size());
      EXPECT_EQ(std::strtod(fan.c_str(), nullptr), *value("F0Ac"));
      EXPECT_NE(fan.find("\"forced\": false}"), std::string::npos);
    }
  }
}

// The Prometheus text of every profile, with faults that drop readings, make them implausible or
// fail exchanges, is what the real promtool accepts, and names every reading.
TEST_F(AppProcessTest, PrometheusTextPassesPromtoolOnEveryProfileWithAndWithoutFaults) {
  const std::string promtool = findProgram("promtool");
  if (promtool.empty()) {
    GTEST_SKIP() << "needs promtool (Debian's prometheus package; dev/deps installs it)";
  }
  const std::vector<std::vector<sim::Fault>> faultSets = {
      {},
      {{.kind = sim::FaultKind::value,
        .key = sim::layout::kTemperatureKeys,
        .every = 3,
        .value = std::nan("")}},
      {{.kind = sim::FaultKind::readFails, .key = sim::layout::kAllKeys, .every = 4},
       {.kind = sim::FaultKind::value, .key = smc::fourCC("F0Ac"), .value = 250000.0}},
  };
  const std::string file = dir.file("out.prom");
  for (const sim::BuiltinProfile& builtin : sim::builtinProfiles()) {
    for (std::size_t f = 0; f < faultSets.size(); ++f) {
      const std::string profile(builtin.name);
      SCOPED_TRACE(profile + " faults " + std::to_string(f));
      ASSERT_TRUE(sim::createDevice(device, sim::ProfileSource::builtin(profile),
                                    {.frozen = true, .replace = true}));
      {
        auto writer = sim::Device::open(device);
        ASSERT_TRUE(writer);
        for (const sim::Fault& fault : faultSets[f]) {
          ASSERT_TRUE(writer->addFault(fault));
        }
      }
      const ExecResult run = snapshot({}, false, {"--format", "prometheus"});
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_TRUE(run.out.starts_with("# HELP quillomatics_smc_up"));
      EXPECT_NE(run.out.find("\nquillomatics_fan_mode{mode=\"auto\"} 1\n"), std::string::npos);
      std::ofstream(file) << run.out;
      const ExecResult check =
          execAsIs({"/bin/sh", "-c", "exec \"$0\" check metrics < \"$1\"", promtool, file});
      EXPECT_EQ(check.status, 0) << check.out << check.err << run.out;
    }
  }
  // Without an SMC, the text still says so, and the status is 1.
  std::filesystem::remove(device);
  const ExecResult down = snapshot({}, false, {"--format", "prometheus"});
  EXPECT_EQ(down.status, 1);
  EXPECT_NE(down.out.find("\nquillomatics_smc_up 0\n"), std::string::npos) << down.out;
}

// --textfile beside the real node_exporter: every reading of the file is served, rewritten as
// the device moves; at SIGTERM the file goes and the fans are as they were.
TEST_F(AppProcessTest, TextfileIsServedByTheRealNodeExporter) {
  const std::string exporter = findProgram("prometheus-node-exporter");
  if (exporter.empty()) {
    GTEST_SKIP() << "needs prometheus-node-exporter (dev/deps installs it)";
  }
  makeDevice("macbookpro16-1");
  // A proactive tool someone else started: the exporter only reads, so it must outlive the run.
  Child tool({bundle.tool, "proactive"}, env());
  ASSERT_TRUE(eventually([&] { return pidFileContent() == std::to_string(tool.pid); }));
  const std::string textDir = dir.file("textfile");
  fs::create_directories(textDir);
  const std::string file = textDir + "/quillomatics.prom";
  Child monitor({bundle.app, "--textfile", file, "--interval", "0.2"}, env());
  ASSERT_TRUE(eventually([&] { return fs::exists(file); })) << "no textfile";

  const int port = freeLoopbackPort();
  ASSERT_GT(port, 0);
  Child nodeExporter({exporter, "--web.listen-address=127.0.0.1:" + std::to_string(port),
                      "--log.level=error", "--collector.disable-defaults", "--collector.textfile",
                      "--collector.textfile.directory=" + textDir},
                     {});
  std::optional<std::string> served;
  ASSERT_TRUE(eventually([&] { return (served = httpGet(port, "/metrics")).has_value(); }))
      << "node_exporter did not answer";

  // A reading moved on the device shows in the file within an interval or two, and so in what
  // the exporter serves.
  {
    auto writer = sim::Device::open(device);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->setValue("TC0P", 61.5));
  }
  const std::string moved =
      "quillomatics_temperature_celsius{group=\"cpu\",key=\"TC0P\",name=\"CPU Proximity\"} 61.5";
  EXPECT_TRUE(eventually([&] {
    served = httpGet(port, "/metrics");
    return served && served->find(moved) != std::string::npos;
  }));
  std::ifstream in(file);
  std::string line;
  int samples = 0;
  while (std::getline(in, line)) {
    if (!line.starts_with("#")) {
      ++samples;
      EXPECT_NE(served->find(line + "\n"), std::string::npos) << line;
    }
  }
  EXPECT_GT(samples, 10);
  EXPECT_NE(served->find("node_textfile_scrape_error 0"), std::string::npos);
  // The temporary files of the atomic writes never stay beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(textDir), fs::directory_iterator()), 1);

  EXPECT_NE(served->find("quillomatics_fan_forced{fan=\"0\"} 1\n"), std::string::npos);

  EXPECT_EQ(monitor.stop(SIGTERM), 128 + SIGTERM);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(processGone(tool.pid)) << "the exporter's termination stopped the tool";
  EXPECT_EQ(pidFileContent(), std::to_string(tool.pid));
  EXPECT_EQ(tool.stop(SIGTERM), 0);
  for (const auto& fan : machine().fans) {
    EXPECT_FALSE(fan.forced) << fan.index;
  }
}

// --unit is for the one run: the menu and title in that unit, toggling included, and the
// persisted setting as it was.
TEST_F(AppProcessTest, UnitForOneRunLeavesThePersistedSettingAlone) {
  makeDevice("macbookpro16-1");
  ExecResult run = snapshot({}, false, {"--unit", "fahrenheit"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\u00B0F\", \"font\": \"mono-12-medium\""), std::string::npos);
  EXPECT_NE(run.out.find("\"useFahrenheit\": true"), std::string::npos);
  EXPECT_FALSE(fs::exists(config + "/quillomatics/settings"));
  run = snapshot({"toggleUnit"}, false, {"--unit", "fahrenheit"});
  EXPECT_NE(run.out.find("\"useFahrenheit\": false"), std::string::npos);
  EXPECT_FALSE(fs::exists(config + "/quillomatics/settings"));

  // A persisted Fahrenheit stays too, under a run in Celsius; the readings are Celsius in both.
  ASSERT_EQ(snapshot({"toggleUnit"}).status, 0);
  std::ifstream before(config + "/quillomatics/settings");
  const std::string persisted{std::istreambuf_iterator<char>(before), {}};
  run = snapshot({"toggleUnit"}, false, {"--unit", "celsius"});
  EXPECT_NE(run.out.find("\"useFahrenheit\": true"), std::string::npos);
  std::ifstream after(config + "/quillomatics/settings");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(after), {}), persisted);
  EXPECT_NE(snapshot({}).out.find("\"title\": \"Switch to Celsius\""), std::string::npos);
  EXPECT_EQ(jsonReadings(run.out).front().celsius, *value("TC0P"));
}

}  // namespace
