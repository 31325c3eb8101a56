// The real ventwarden against a frozen simulated device: its output lines and exit status, what
// it writes to the fans, the proactive run with its pid file and signals, and the guard holding
// the fans for the real monitor.
#include "tests/support/ventwarden_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "base/unique_fd.h"
#include "sim/sim_device.h"
#include "sim/testing/unprivileged.h"
#include "tests/support/pid_file_fixture.h"
#include "tests/support/test_helpers.h"
#include "tests/support/two_fans.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;

const std::string kTool = VENTWARDEN_PATH;
constexpr milliseconds kPatience{5000};

const Bytes kOne{1};
const Bytes kZero{0};
const Bytes k1800{0x00, 0x00, 0xE1, 0x44};
const Bytes k3650{0x00, 0x20, 0x64, 0x45};
const Bytes k5500{0x00, 0xE0, 0xAB, 0x45};
const Bytes k6400{0x00, 0x00, 0xC8, 0x45};
const Bytes kNoTarget{0, 0, 0, 0};

class VentwardenProcess : public PidFileFixture<> {
 protected:
  void makeDevice(const std::string& profileText) {
    auto profile = sim::parseProfile(profileText, "test.dump");
    ASSERT_TRUE(profile) << profile.error();
    create(sim::ProfileSource::parsed(std::move(*profile)));
  }
  // A built-in machine profile.
  void makeMachine(const std::string& name) { create(sim::ProfileSource::named(name)); }
  // The test's device, frozen, made anew from `source`.
  void create(sim::ProfileSource source) {
    sim::CreateOptions options;
    options.frozen = true;
    options.replace = true;
    options.writers = sim::testing::suiteWriters();
    const auto status = sim::createDevice(devicePath, std::move(source), options);
    ASSERT_TRUE(status) << status.error();
  }

  sim::Device device() {
    auto d = sim::Device::open(devicePath);
    EXPECT_TRUE(d) << d.error();
    return std::move(*d);
  }
  Bytes bytes(const std::string& key) {
    const auto k = device().key(key);
    return k ? k->bytes : Bytes{};
  }
  void setBytes(const std::string& key, const Bytes& b) { ASSERT_TRUE(device().setBytes(key, b)); }

  ToolRun run(const std::vector<std::string>& args) {
    ToolRun r = runToolProcess(kTool, args, devicePath);
    EXPECT_EQ(r.err, "");
    return r;
  }

  // Waits until `key` holds `expected`; false when it does not within the patience.
  bool eventually(const std::string& key, const Bytes& expected) {
    return within(kPatience, [&] { return bytes(key) == expected; });
  }

  // Starts `proactive` and reads its "OK".
  std::optional<ToolProcess> startProactive() {
    auto p = ToolProcess::start(kTool, {"proactive"}, devicePath);
    EXPECT_TRUE(p);
    if (p) {
      EXPECT_EQ(p->readLine(kPatience), "OK");
    }
    return p;
  }

  // The real monitor on the test's device, in its plain mode (no terminal, no input): it only
  // refreshes. Skips the test where the build has none.
  std::optional<ToolProcess> startMonitor() {
#ifdef QUILLOMATICS_PATH
    auto monitor = ToolProcess::start(QUILLOMATICS_PATH, {}, devicePath);
    EXPECT_TRUE(monitor);
    return monitor;
#else
    return std::nullopt;
#endif
  }

  bool fansAutomatic() {
    return bytes("F0Md") == kZero && bytes("F1Md") == kZero;
  }

  std::string devicePath = dir.file("smc.dev");
};

TEST_F(VentwardenProcess, ArgumentLinesAndStatus) {
  makeDevice(kTwoFans);
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "Usage: ventwarden [max|auto|proactive]\n"},
      {{""}, "ERR Unknown command: \n"},
      {{"MAX"}, "ERR Unknown command: MAX\n"},
      {{"Auto"}, "ERR Unknown command: Auto\n"},
      {{"proactive!"}, "ERR Unknown command: proactive!\n"},
      {{"--help", "max"}, "ERR Unknown command: --help\n"},
  };
  for (const auto& [args, line] : cases) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.out, line);
    EXPECT_EQ(r.exitStatus, 1) << line;
  }
  EXPECT_EQ(bytes("F0Md"), kZero);
  EXPECT_EQ(bytes("F0Tg"), kNoTarget);
}

TEST_F(VentwardenProcess, NoSmcBeforeTheArgumentCheck) {
  devicePath = dir.file("absent.dev");
  for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"max"}}) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.out, "ERR No SMC\n");
    EXPECT_EQ(r.exitStatus, 1);
  }
}

TEST_F(VentwardenProcess, OpenRefusedBeforeTheArgumentCheck) {
  makeDevice(kTwoFans);
  ASSERT_TRUE(device().addFault({sim::FaultKind::openRefused, sim::layout::kAllKeys, 0, 0}));
  for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"max"}}) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.out, "ERR Can't open SMC\n");
    EXPECT_EQ(r.exitStatus, 1);
  }
  EXPECT_EQ(bytes("F0Md"), kZero);
}

TEST_F(VentwardenProcess, MaxForcesEveryFanAndWritesItsMaximum) {
  makeDevice(kTwoFans);
  const ToolRun r = run({"max", "extra", "arguments"});
  EXPECT_EQ(r.out, "OK\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(bytes("F0Md"), kOne);
  EXPECT_EQ(bytes("F1Md"), kOne);
  EXPECT_EQ(bytes("F0Tg"), k5500);
  EXPECT_EQ(bytes("F1Tg"), k6400);
}

TEST_F(VentwardenProcess, AutoReleasesModesAndLeavesTargets) {
  makeDevice(kTwoFans);
  setBytes("F0Md", kOne);
  setBytes("F1Md", kOne);
  setBytes("F0Tg", k3650);
  const ToolRun r = run({"auto"});
  EXPECT_EQ(r.out, "OK\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(bytes("F0Md"), kZero);
  EXPECT_EQ(bytes("F1Md"), kZero);
  EXPECT_EQ(bytes("F0Tg"), k3650);
}

TEST_F(VentwardenProcess, RefusedWritesStillReportOK) {
  // Without administrator rights every write is refused; the tool says OK all the same.
  if (!sim::testing::droppingPrivileges()) {
    GTEST_SKIP() << "needs root to run the tool as another user";
  }
  sim::testing::SharedTempDir shared;
  devicePath = shared.file("smc.dev");
  makeDevice(kTwoFans);
  const auto r =
      sim::testing::execUnprivileged({kTool, "max"}, {"QUILLOMATICS_SMC_DEVICE=" + devicePath});
  EXPECT_EQ(r.out, "OK\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(bytes("F0Md"), kZero);
  EXPECT_EQ(bytes("F0Tg"), kNoTarget);
}

TEST_F(VentwardenProcess, FanCountFromFNum) {
  // Not answering, or answering with no bytes: two fans.
  makeDevice(kTwoFans);
  ASSERT_TRUE(device().setKeyState("FNum", sim::KeyState::missing));
  EXPECT_EQ(run({"max"}).out, "OK\n");
  EXPECT_EQ(bytes("F1Tg"), k6400);

  std::string zeroSize = kTwoFans;
  zeroSize.replace(0, zeroSize.find('\n'), "FNum|ui8 |0|80|");
  makeDevice(zeroSize);
  EXPECT_EQ(run({"max"}).out, "OK\n");
  EXPECT_EQ(bytes("F1Md"), kOne);

  // First byte 0: no fans, nothing written, still OK.
  makeDevice(kTwoFans);
  setBytes("FNum", kZero);
  const ToolRun none = run({"max"});
  EXPECT_EQ(none.out, "OK\n");
  EXPECT_EQ(none.exitStatus, 0);
  EXPECT_EQ(bytes("F0Md"), kZero);
  EXPECT_EQ(bytes("F0Tg"), kNoTarget);
}

TEST_F(VentwardenProcess, ElevenFans) {
  std::string text = "FNum|ui8 |1|80|0B\n";
  for (int i = 0; i < 11; ++i) {
    std::string f = "F";  // appended: GCC 12 at -O3 warns wrongly (-Wrestrict) on "F" + ...
    f += std::to_string(i);
    text += f + "Mn|flt |4|80|0000E144\n" + f + "Mx|flt |4|80|00E0AB45\n" + f +
            "Md|ui8 |1|D0|00\n" + f + "Tg|flt |4|D4|00000000\n";
  }
  makeDevice(text);
  EXPECT_EQ(run({"max"}).out, "OK\n");
  EXPECT_EQ(bytes("F10Md"), kOne);
  EXPECT_EQ(bytes("F10Tg"), k5500);
  EXPECT_EQ(run({"auto"}).out, "OK\n");
  EXPECT_EQ(bytes("F10Md"), kZero);
}

TEST_F(VentwardenProcess, NonFloatSpeedKeysFallBackAndGetNoTarget) {
  // 2016 MacBook Pro shapes: speeds in "fpe2", so the table falls back to 1800/5500 and no
  // target can be written; the mode keys are still forced.
  makeDevice(R"(FNum|ui8 |1|80|01
F0Mn|fpe2|2|80|1C20
F0Mx|fpe2|2|80|4E20
F0Md|ui8 |1|D0|00
F0Tg|fpe2|2|D4|0000
TC0P|sp78|2|80|4B00
)");
  EXPECT_EQ(run({"max"}).out, "OK\n");
  EXPECT_EQ(bytes("F0Md"), kOne);
  EXPECT_EQ(bytes("F0Tg"), (Bytes{0, 0}));

  auto p = startProactive();
  ASSERT_TRUE(p);
  ASSERT_TRUE(p->signal(SIGTERM));
  EXPECT_EQ(p->wait().exitStatus, 0);
  EXPECT_EQ(bytes("F0Tg"), (Bytes{0, 0}));
}

TEST_F(VentwardenProcess, ProactiveKeepsRunningWithItsPidFile) {
  makeDevice(kTwoFans);
  auto p = startProactive();
  ASSERT_TRUE(p);
  // "OK" arrived while the tool keeps running.
  EXPECT_EQ(waitpid(p->pid(), nullptr, WNOHANG), 0);
  EXPECT_EQ(slurp(kPidPath), std::to_string(p->pid()));
  struct stat st {};
  ASSERT_EQ(lstat(kPidPath.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(bytes("F0Md"), kOne);
  EXPECT_EQ(bytes("F1Md"), kOne);
  EXPECT_TRUE(eventually("F0Tg", k3650));  // 57.5 °C: halfway

  ASSERT_TRUE(p->signal(SIGTERM));
  const ToolRun r = p->wait();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.termSignal, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(bytes("F0Md"), kZero);
  EXPECT_EQ(bytes("F1Md"), kZero);
  EXPECT_EQ(bytes("F0Tg"), k3650);  // targets are not touched at stop
  EXPECT_FALSE(fs::exists(fs::symlink_status(kPidPath)));
}

TEST_F(VentwardenProcess, ProactiveTargetsAlongTheCurve) {
  // The hottest valid reading of the ten keys decides; 130 °C and below-zero readings do not
  // count, so the last case has no valid reading at all.
  const std::pair<std::string, Bytes> cases[] = {
      {"TC0P|sp78|2|80|2800\nTG0D|sp78|2|80|1E00\n", k1800},      // 40.0 and 30.0
      {"TC0P|sp78|2|80|3980\nTC0d|flt |4|80|00003C42\n", k3650},  // 57.5 and 47.0
      {"TC0P|sp78|2|80|4B00\n", k5500},                           // 75.0
      {"TC0P|flt |4|80|00000243\nTG0p|sp78|2|80|FB00\n", k1800},  // 130.0 and -5.0
  };
  for (const auto& [temps, target] : cases) {
    std::string text = kTwoFans;
    text.erase(text.find("TC0P"));
    makeDevice(text + temps);
    setBytes("F0Tg", {0x00, 0x40, 0x9C, 0x44});  // 1250: none of the expected targets
    auto p = startProactive();
    ASSERT_TRUE(p);
    EXPECT_TRUE(eventually("F0Tg", target)) << temps;
    ASSERT_TRUE(p->signal(SIGTERM));
    EXPECT_EQ(p->wait().exitStatus, 0);
  }
}

TEST_F(VentwardenProcess, TermAndIntBothHandTheFansBack) {
  for (int sig : {SIGTERM, SIGINT}) {
    for (bool pidFileGone : {false, true}) {
      makeDevice(kTwoFans);
      auto p = startProactive();
      ASSERT_TRUE(p);
      ASSERT_TRUE(eventually("F0Tg", k3650));  // in its sleep now
      if (pidFileGone) {
        fs::remove(kPidPath);
      }
      ASSERT_TRUE(p->signal(sig));
      const ToolRun r = p->wait();
      EXPECT_EQ(r.exitStatus, 0) << sig;
      EXPECT_EQ(r.termSignal, 0);
      EXPECT_EQ(bytes("F0Md"), kZero);
      EXPECT_EQ(bytes("F1Md"), kZero);
      EXPECT_FALSE(fs::exists(fs::symlink_status(kPidPath)));
    }
  }
}

TEST_F(VentwardenProcess, StopDuringStartStillHandsTheFansBack) {
  // Slow exchanges stretch the start: the signal comes right after the first fan was forced,
  // before "OK", and must still end with both fans on automatic and no pid file.
  makeDevice(kTwoFans);
  sim::Fault slow;
  slow.kind = sim::FaultKind::slow;
  slow.value = 20000;  // µs per exchange
  ASSERT_TRUE(device().addFault(slow));
  auto p = ToolProcess::start(kTool, {"proactive"}, devicePath);
  ASSERT_TRUE(p);
  ASSERT_TRUE(eventually("F0Md", kOne));
  ASSERT_TRUE(p->signal(SIGTERM));
  const ToolRun r = p->wait();
  EXPECT_EQ(r.termSignal, 0);
  EXPECT_EQ(r.exitStatus, 0);
  ASSERT_TRUE(device().clearFaults());
  EXPECT_EQ(bytes("F0Md"), kZero);
  EXPECT_EQ(bytes("F1Md"), kZero);
  EXPECT_FALSE(fs::exists(fs::symlink_status(kPidPath)));
}

TEST_F(VentwardenProcess, StopEndsOnlyAnInstanceOfItself) {
  makeDevice(kTwoFans);
  auto p = startProactive();
  ASSERT_TRUE(p);
  // Its pid file is written before the "OK" that startProactive read.
  ASSERT_EQ(slurp(kPidPath), std::to_string(p->pid()));
  // A sleep is no instance: it lives on, and the tool's file is not its to remove.
  const pid_t other = fork();
  if (other == 0) {
    execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(other, 0);
  EXPECT_EQ(run({"stop", std::to_string(other)}).out, "OK\n");
  EXPECT_EQ(waitpid(other, nullptr, WNOHANG), 0) << "stop signalled a process that is no tool";
  EXPECT_EQ(slurp(kPidPath), std::to_string(p->pid()));
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);

  // The instance: it has handed the fans back and gone by the time stop answers.
  const ToolRun stop = run({"stop", std::to_string(p->pid())});
  EXPECT_EQ(stop.out, "OK\n");
  EXPECT_EQ(stop.exitStatus, 0);
  EXPECT_EQ(bytes("F0Md"), kZero);
  EXPECT_EQ(bytes("F1Md"), kZero);
  EXPECT_FALSE(fs::exists(fs::symlink_status(kPidPath)));
  EXPECT_EQ(p->wait().exitStatus, 0);
}

TEST_F(VentwardenProcess, OneProactiveToolAtATime) {
  makeDevice(kTwoFans);
  auto first = startProactive();
  ASSERT_TRUE(first);
  const ToolRun second = run({"proactive"});
  EXPECT_EQ(second.out, "ERR Already running\n");
  EXPECT_EQ(second.exitStatus, 1);
  EXPECT_EQ(slurp(kPidPath), std::to_string(first->pid()));
  ASSERT_TRUE(first->signal(SIGTERM));
  EXPECT_EQ(first->wait().exitStatus, 0);
}

TEST_F(VentwardenProcess, StopSaysOKOnlyOnceTheToolIsGone) {
  makeDevice(kTwoFans);
  // Stopped (SIGSTOP): continued by the stop, it hands the fans back and goes.
  auto stopped = startProactive();
  ASSERT_TRUE(stopped);
  ASSERT_TRUE(stopped->signal(SIGSTOP));
  EXPECT_EQ(run({"stop", std::to_string(stopped->pid())}).out, "OK\n");
  EXPECT_EQ(stopped->wait().exitStatus, 0);
  EXPECT_EQ(bytes("F0Md"), kZero);

  // Held in the device's lock (its owner can take it) beyond the stop's wait: still running,
  // so no OK, and the pid file stays the way to find it.
  auto held = startProactive();
  ASSERT_TRUE(held);
  const base::UniqueFd lock(open(devicePath.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(flock(lock.get(), LOCK_EX), 0);
  const ToolRun stop = run({"stop", std::to_string(held->pid())});
  EXPECT_EQ(stop.out, "ERR Can't stop process\n");
  EXPECT_EQ(stop.exitStatus, 1);
  EXPECT_EQ(slurp(kPidPath), std::to_string(held->pid()));
  ASSERT_EQ(flock(lock.get(), LOCK_UN), 0);
  EXPECT_EQ(held->wait().exitStatus, 0);
  EXPECT_EQ(bytes("F0Md"), kZero);
}

TEST_F(VentwardenProcess, AnUpgradedToolIsStillStopped) {
  makeDevice(kTwoFans);
  const fs::path tool = dir.file("ventwarden");
  fs::copy_file(kTool, tool);
  auto p = ToolProcess::start(tool.string(), {"proactive"}, devicePath);
  ASSERT_TRUE(p);
  ASSERT_EQ(p->readLine(kPatience), "OK");
  // As a package manager installs: the new file renamed over the running one.
  fs::copy_file(kTool, dir.file("ventwarden.new"));
  fs::rename(dir.file("ventwarden.new"), tool);
  const ToolRun stop =
      runToolProcess(tool.string(), {"stop", std::to_string(p->pid())}, devicePath);
  EXPECT_EQ(stop.out, "OK\n");
  EXPECT_EQ(p->wait().exitStatus, 0);
  EXPECT_EQ(bytes("F0Md"), kZero);
  EXPECT_FALSE(fs::exists(fs::symlink_status(kPidPath)));
}

TEST_F(VentwardenProcess, LoweredLimitsNeitherEndTheToolNorLeaveFilesBehind) {
  // A file size limit of 0 ended the tool with SIGXFSZ while it wrote its pid file, leaving the
  // temporary file behind. The soft limit is lowered, as anyone may.
  makeDevice(kTwoFans);
  auto p = ToolProcess::start("/bin/sh", {"-c", "ulimit -S -f 0 && exec \"$0\" proactive", kTool},
                              devicePath);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->readLine(kPatience), "OK");
  EXPECT_EQ(slurp(kPidPath), std::to_string(p->pid()));
  ASSERT_TRUE(p->signal(SIGTERM));
  const ToolRun r = p->wait();
  EXPECT_EQ(r.exitStatus, 0) << r.termSignal;
  for (const auto& entry : fs::directory_iterator(kPidPath.parent_path())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".quillomatics_proactive.pid"))
        << entry.path();
  }
}

TEST_F(VentwardenProcess, PlantedSymbolicLinkIsNotFollowed) {
  makeDevice(kTwoFans);
  const fs::path victim = dir.file("victim");
  std::ofstream(victim) << "precious";
  fs::create_symlink(victim, kPidPath);

  auto p = startProactive();
  ASSERT_TRUE(p);
  EXPECT_EQ(slurp(victim), "precious");
  EXPECT_FALSE(fs::is_symlink(kPidPath));
  EXPECT_EQ(slurp(kPidPath), std::to_string(p->pid()));

  // Planted again while it runs: not the tool's file any more, so left alone at stop, and
  // never written through.
  fs::remove(kPidPath);
  fs::create_symlink(victim, kPidPath);
  ASSERT_TRUE(p->signal(SIGTERM));
  EXPECT_EQ(p->wait().exitStatus, 0);
  EXPECT_TRUE(fs::is_symlink(kPidPath));
  EXPECT_EQ(slurp(victim), "precious");
  fs::remove(kPidPath);
}

#ifdef QUILLOMATICS_PATH

TEST_F(VentwardenProcess, GuardHoldsTheFansForTheMonitorAndHandsThemBackWhenItIsKilled) {
  makeMachine("macbookpro16-1");
  auto monitor = startMonitor();
  ASSERT_TRUE(monitor);
  const auto started = std::chrono::steady_clock::now();
  const ToolRun r = run({"guard", "max", std::to_string(monitor->pid())});
  // The caller's output ends with the reply although the guard runs on.
  EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(2000));
  ASSERT_EQ(r.out, "OK\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(bytes("F0Md"), kOne);
  EXPECT_EQ(bytes("F1Md"), kOne);
  EXPECT_EQ(bytes("F0Tg"), bytes("F0Mx"));
  EXPECT_EQ(bytes("F1Tg"), bytes("F1Mx"));
  const pid_t guard = std::stoi(slurp(kPidPath));
  EXPECT_FALSE(processGone(guard));
  EXPECT_EQ(getsid(guard), guard);  // a session of its own: no hang-up reaches it

  ASSERT_TRUE(monitor->signal(SIGKILL));
  EXPECT_TRUE(within(milliseconds(1000), [&] { return fansAutomatic(); }));
  EXPECT_TRUE(within(milliseconds(1000), [&] { return !fs::exists(kPidPath); }));
  EXPECT_TRUE(within(milliseconds(1000), [&] { return processGone(guard); }));
  EXPECT_EQ(monitor->wait().termSignal, SIGKILL);
}

TEST_F(VentwardenProcess, GuardOnAMachineWithoutModeKeysSaysSoAndLeavesNothing) {
  // MacBookPro13,3 forces fans only through the mask, which the tool never sets.
  makeMachine("macbookpro13-3");
  auto monitor = startMonitor();
  ASSERT_TRUE(monitor);
  const ToolRun r = run({"guard", "max", std::to_string(monitor->pid())});
  EXPECT_EQ(r.out, "ERR Fans not forced\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(bytes("FS! "), (Bytes{0, 0}));
  EXPECT_FALSE(fs::exists(fs::symlink_status(kPidPath)));
}

TEST_F(VentwardenProcess, GuardForcesTheFansAgainAfterTheMacSleptAndEndsOnStop) {
  makeMachine("macbookpro16-1");
  auto monitor = startMonitor();
  ASSERT_TRUE(monitor);
  ASSERT_EQ(run({"guard", "max", std::to_string(monitor->pid())}).out, "OK\n");
  const std::string guard = slurp(kPidPath);

  ASSERT_TRUE(device().sleepAndWake());
  ASSERT_TRUE(fansAutomatic());
  EXPECT_TRUE(within(milliseconds(4000), [&] {
    return bytes("F0Md") == kOne && bytes("F1Md") == kOne && bytes("F1Tg") == bytes("F1Mx");
  }));

  // The tool's own stop ends the guard (the same executable) with the hand-back.
  const ToolRun stop = run({"stop", guard});
  EXPECT_EQ(stop.out, "OK\n");
  EXPECT_TRUE(fansAutomatic());
  EXPECT_FALSE(fs::exists(kPidPath));
  EXPECT_TRUE(within(milliseconds(1000), [&] { return processGone(std::stoi(guard)); }));
}

TEST_F(VentwardenProcess, GuardRefusesAProcessThatIsNotTheMonitor) {
  makeDevice(kTwoFans);
  auto other = ToolProcess::start("/bin/sleep", {"30"}, devicePath);
  ASSERT_TRUE(other);
  const ToolRun r = run({"guard", "max", std::to_string(other->pid())});
  EXPECT_EQ(r.out, "ERR Not the monitor\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(bytes("F0Md"), kZero);
  EXPECT_EQ(bytes("F0Tg"), kNoTarget);
  EXPECT_FALSE(fs::exists(fs::symlink_status(kPidPath)));
}

#endif  // QUILLOMATICS_PATH

}  // namespace
