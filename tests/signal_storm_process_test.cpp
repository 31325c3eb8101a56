// A storm of stops: `ventwarden proactive` started again and again and stopped by SIGTERM or
// SIGINT at a random moment, from right after the start (before its handlers may even exist)
// through its start sequence to the middle of a cooling cycle. After every run no fan may be left
// forced and no pid file (nor a half-written one) may be left behind.
//
// 100 runs by default; QUILL_STORM_RUNS=N for more (the full storm is 500), QUILL_STORM_SEED=X to
// repeat a run. The figures are printed at the end.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "sim/sim_device.h"
#include "sim/testing/unprivileged.h"
#include "tests/support/pid_file_fixture.h"
#include "tests/support/test_helpers.h"
#include "tests/support/ventwarden_process.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::microseconds;

const std::string kTool = VENTWARDEN_PATH;

// Whether the process has ended (a zombie until it is reaped), waiting up to `timeout`.
bool endsWithin(pid_t pid, std::chrono::milliseconds timeout) {
  return within(
      timeout, [pid] { return processGone(pid); }, std::chrono::milliseconds(1));
}

// The auxiliary files the tool writes its pid file through (".quillomatics_proactive.pid.*").
int strayTemporaryFiles() {
  int n = 0;
  std::string prefix = ".";  // appended: GCC 12 at -O3 warns wrongly (-Wrestrict) on "." + ...
  prefix += kPidPath.filename().string();
  prefix += '.';
  for (const auto& entry : fs::directory_iterator(kPidPath.parent_path())) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) {
      ++n;
    }
  }
  return n;
}

// When the signal is sent.
enum class Moment {
  afterSpawn,    // 0-15 ms after the process was started: loading, opening, reading fans
  throughStart,  // 0-60 ms after the start on a slow SMC: the start sequence and first cycle
  midCycle,      // 0-40 ms after "OK" on a slow SMC: inside the first cooling cycle
};

struct Tally {
  int runs = 0;
  int bySignal[2] = {0, 0};  // SIGTERM, SIGINT
  int byMoment[3] = {0, 0, 0};
  int doubleSignals = 0;        // runs that got SIGTERM and SIGINT
  int forcedWhenSignalled = 0;  // runs whose fans were forced when the signal was sent
  int cleanExits = 0;           // status 0 through the stop sequence
  int endedBySignal = 0;        // the default action: the signal came before the handlers
  int otherEnds = 0;            // any other end, or the signal's default action once armed
  int ignoredIntRanOn = 0;      // SIGINT before the handlers, ignored as inherited: ran on
  int fansLeftForced = 0;
  int pidFilesLeft = 0;
  int temporaryFilesLeft = 0;
};

class SignalStorm : public PidFileFixture<> {
 protected:
  // A frozen 2019 MacBook Pro as the tool's device.
  void makeDevice() {
    sim::CreateOptions options;
    options.frozen = true;
    options.writers = sim::testing::suiteWriters();
    ASSERT_TRUE(sim::createDevice(path, sim::ProfileSource::builtin("macbookpro16-1"), options));
  }

  const std::string path = dir.file("smc.dev");
};

TEST_F(SignalStorm, NoFanLeftForcedAndNoPidFileLeftBehind) {
  ASSERT_NO_FATAL_FAILURE(makeDevice());
  auto device = sim::Device::open(path);
  ASSERT_TRUE(device);
  const std::string modeKeys[] = {"F0Md", "F1Md"};
  auto forcedFans = [&] {
    int n = 0;
    for (const auto& key : modeKeys) {
      n += device->key(key)->bytes.at(0) != 0 ? 1 : 0;
    }
    return n;
  };

  const int runs = static_cast<int>(envNumber("QUILL_STORM_RUNS").value_or(100));
  const auto seed = static_cast<std::uint64_t>(
      envNumber("QUILL_STORM_SEED").value_or(static_cast<long long>(std::random_device{}())));
  SCOPED_TRACE("QUILL_STORM_SEED=" + std::to_string(seed));
  std::mt19937_64 rng(seed);
  auto uniform = [&](int hi) { return std::uniform_int_distribution<int>(0, hi)(rng); };

  const int temporaryBefore = strayTemporaryFiles();
  Tally t;
  // From the start to "OK" on the slow SMC, as last seen: the span the start sequence takes
  // (process start-up, fan table, pid file, forcing), which differs much between builds.
  int startUs = 60000;
  const auto start = std::chrono::steady_clock::now();
  for (int run = 0; run < runs; ++run) {
    const auto moment = static_cast<Moment>(uniform(2));
    const int sig = uniform(1) == 0 ? SIGTERM : SIGINT;
    // A slow SMC (1 ms per exchange) stretches the start and the cycle so that the signal can
    // land inside them.
    const bool slow = moment != Moment::afterSpawn;
    if (slow) {
      sim::Fault f;
      f.kind = sim::FaultKind::slow;
      f.value = 1000;
      ASSERT_TRUE(device->addFault(f));
    }

    // A program started in the background by a shell (as the application starts the tool) has
    // SIGINT ignored until it installs its own handling; one run in three starts that way.
    const bool intIgnored = uniform(2) == 0;
    std::signal(SIGINT, intIgnored ? SIG_IGN : SIG_DFL);
    const auto spawned = std::chrono::steady_clock::now();
    auto tool = ToolProcess::start(kTool, {"proactive"}, path);
    std::signal(SIGINT, SIG_DFL);
    ASSERT_TRUE(tool);
    switch (moment) {
      case Moment::afterSpawn:
        std::this_thread::sleep_for(microseconds(uniform(15000)));
        break;
      case Moment::throughStart:
        std::this_thread::sleep_for(microseconds(uniform(startUs * 3 / 2)));
        break;
      case Moment::midCycle: {
        ASSERT_EQ(tool->readLine(std::chrono::seconds(10)), "OK");
        const auto us =
            std::chrono::duration_cast<microseconds>(std::chrono::steady_clock::now() - spawned)
                .count();
        startUs = static_cast<int>((startUs * 3 + us) / 4);
        std::this_thread::sleep_for(microseconds(uniform(40000)));
        break;
      }
    }
    // Fans forced or the pid file written: the handlers were in place before either.
    const bool forced = forcedFans() > 0;
    const bool armed =
        forced || moment == Moment::midCycle || slurp(kPidPath) == std::to_string(tool->pid());
    t.forcedWhenSignalled += forced ? 1 : 0;
    ASSERT_TRUE(tool->signal(sig));
    // Now and then the other signal follows, as when a terminal's Ctrl-C and the application's
    // SIGTERM meet; it may land in the stop sequence or while the process winds down.
    const bool both = uniform(4) == 0;
    if (both) {
      std::this_thread::sleep_for(microseconds(uniform(3000)));
      tool->signal(sig == SIGTERM ? SIGINT : SIGTERM);
      ++t.doubleSignals;
    }
    // Only an ignored SIGINT that came before the handlers may leave it running, as a proper
    // proactive tool with its pid file; SIGTERM stops it then.
    const bool mayRunOn = intIgnored && sig == SIGINT && !both && !armed;
    if (!endsWithin(tool->pid(), std::chrono::seconds(mayRunOn ? 1 : 5))) {
      if (mayRunOn) {
        ++t.ignoredIntRanOn;
        tool->signal(SIGTERM);
      }
      if (!mayRunOn || !endsWithin(tool->pid(), std::chrono::seconds(5))) {
        ADD_FAILURE() << "run " << run << ": still running 5 s after signal " << sig;
        tool->signal(SIGKILL);
      }
    }
    const ToolRun r = tool->wait();
    if (slow) {
      ASSERT_TRUE(device->clearFaults());
    }

    ++t.runs;
    ++t.bySignal[sig == SIGTERM ? 0 : 1];
    ++t.byMoment[static_cast<int>(moment)];
    if (r.exitStatus == 0) {
      ++t.cleanExits;
    } else if ((r.termSignal == SIGTERM || r.termSignal == SIGINT) && !armed) {
      ++t.endedBySignal;
    } else {
      ++t.otherEnds;
      ADD_FAILURE() << "run " << run << ": status " << r.exitStatus << ", signal " << r.termSignal
                    << "\n"
                    << r.err;
    }
    if (const int left = forcedFans(); left > 0) {
      t.fansLeftForced += left;
      ADD_FAILURE() << "run " << run << ": " << left << " fans left forced";
      for (const auto& key : modeKeys) {
        ASSERT_TRUE(device->setBytes(key, std::vector<std::uint8_t>{0}));
      }
    }
    // Only a file naming this run's tool counts: the path is the whole machine's.
    if (fs::exists(fs::symlink_status(kPidPath)) &&
        slurp(kPidPath) == std::to_string(tool->pid())) {
      ++t.pidFilesLeft;
      ADD_FAILURE() << "run " << run << ": pid file left behind";
      fs::remove(kPidPath);
    }
  }
  t.temporaryFilesLeft = strayTemporaryFiles() - temporaryBefore;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::printf(
      "signal storm: %d runs in %.1f s (seed %llu)\n"
      "  signals:            %d SIGTERM, %d SIGINT first; %d runs got both\n"
      "  moments:            %d right after start, %d through the start, %d mid-cycle\n"
      "  fans forced when signalled: %d runs\n"
      "  ends:               %d through the stop sequence (status 0), %d by the signal before "
      "the handlers, %d other\n"
      "  ignored SIGINT before the handlers, ran on until SIGTERM: %d\n"
      "  fans left forced:   %d\n"
      "  pid files left:     %d\n"
      "  temporary files left: %d\n",
      t.runs, elapsed, static_cast<unsigned long long>(seed), t.bySignal[0], t.bySignal[1],
      t.doubleSignals, t.byMoment[0], t.byMoment[1], t.byMoment[2], t.forcedWhenSignalled,
      t.cleanExits, t.endedBySignal, t.otherEnds, t.ignoredIntRanOn, t.fansLeftForced,
      t.pidFilesLeft, t.temporaryFilesLeft);
  EXPECT_EQ(t.fansLeftForced, 0);
  EXPECT_EQ(t.pidFilesLeft, 0);
  EXPECT_EQ(t.temporaryFilesLeft, 0);
  EXPECT_EQ(t.otherEnds, 0);
}

TEST_F(SignalStorm, SecondStopSignalWhileWindingDownStillEndsWithStatusZero) {
  // SIGTERM, then SIGINT a moment later: the second may come after the stop sequence, while the
  // process exits; it must not turn the exit into a death by signal.
  ASSERT_NO_FATAL_FAILURE(makeDevice());
  for (int run = 0; run < 20; ++run) {
    auto tool = ToolProcess::start(kTool, {"proactive"}, path);
    ASSERT_TRUE(tool);
    ASSERT_EQ(tool->readLine(std::chrono::seconds(10)), "OK");
    ASSERT_TRUE(tool->signal(SIGTERM));
    std::this_thread::sleep_for(microseconds(run * 250));
    tool->signal(SIGINT);
    const ToolRun r = tool->wait();
    EXPECT_EQ(r.termSignal, 0) << "run " << run;
    EXPECT_EQ(r.exitStatus, 0) << "run " << run;
    EXPECT_FALSE(fs::exists(fs::symlink_status(kPidPath)));
  }
}

}  // namespace
