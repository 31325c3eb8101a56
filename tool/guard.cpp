// The guard: the monitor pinned, the fans forced and held, and handed back when the monitor
// ends or a stop signal comes.
#include "tool/guard.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "smc/smc_client.h"
#include "smc/smc_record.h"
#include "tool/cooling.h"
#include "tool/monitor_watch.h"

namespace tool {

namespace {

constexpr std::chrono::milliseconds kGuardCycle{3000};

enum class Hold { fullSpeed, curve };

bool allZero(const smc::ByteList& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// "FS! " as a number (its bytes big-endian); 0 when it cannot be read.
std::uint32_t readForcedMask(ToolState& s) {
  const auto info = readKI(s, "FS! ");
  const auto bytes = info ? readBytes(s, "FS! ", info->dataSize) : std::nullopt;
  std::uint32_t mask = 0;
  if (bytes) {
    for (std::uint8_t b : *bytes) {
      mask = (mask << 8) | b;
    }
  }
  return mask;
}

// Whether fan i reads forced: its mode key non-zero, or its bit in `mask` ("FS! ") set.
bool fanReadsForced(ToolState& s, int i, std::uint32_t mask) {
  if (i >= 0 && i < 32 && (mask >> i & 1u) != 0) {
    return true;
  }
  const std::string key = smc::fanKey(i, "Md");
  const auto info = readKI(s, key);
  const auto bytes = info ? readBytes(s, key, info->dataSize) : std::nullopt;
  return bytes && !allZero(*bytes);
}

bool anyFanForced(ToolState& s) {
  const std::uint32_t mask = readForcedMask(s);
  for (int i = 0; i < s.fanCount; ++i) {
    if (fanReadsForced(s, i, mask)) {
      return true;
    }
  }
  return false;
}

// Every fan's mode key to 0 where its key info answers, and "FS! " to 0 where it exists.
void handFansBack(ToolState& s) {
  setFanModes(s, 0);
  if (const auto info = readKI(s, "FS! ")) {
    const std::vector<std::uint8_t> zero(
        std::min(info->dataSize, static_cast<std::uint32_t>(smc::kSMCMaxBytes)), 0);
    writeBytes(s, "FS! ", info->dataSize, zero);
  }
}

void release(ToolState& s, const PidFile& pidFile, std::int32_t self) {
  handFansBack(s);
  pidFile.removeIfHolds(self);
  s.conn.close();
}

// The guard's own process, from the pin to the hand-back; returns its exit status.
int hold(smc::IOService& io, Hold mode, std::int32_t monitor, ToolPlatform& platform,
         GuardLaunch& launch) {
  StopSignals& signals = platform.signals;
  // Handled before anything is changed: a stop from here on still ends in the hand-back.
  signals.arm();
  const auto watch = platform.watchMonitor ? platform.watchMonitor(monitor) : nullptr;
  if (!watch) {
    launch.report(kNotTheMonitor);
    return 1;
  }
  ToolState s(io);
  if (const auto failure = openSmc(s)) {
    launch.report(*failure);
    return 1;
  }
  readFanTable(s);
  const std::int32_t self = launch.guardPid();
  // One tool drives the fans: a guard does not start beside another running tool.
  const PidClaim claim = platform.pidFile.claim(self, platform.probeTool);
  if (claim != PidClaim::written) {
    s.conn.close();
    launch.report(claim == PidClaim::alreadyRunning ? kAlreadyRunning : kPidFileError);
    return 1;
  }
  if (mode == Hold::fullSpeed) {
    applyMax(s);
  } else {
    setFanModes(s, 1);
  }
  if (!anyFanForced(s)) {
    // A machine without mode keys: nothing was forced, and nothing stays to hold it.
    release(s, platform.pidFile, self);
    launch.report(kFansNotForced);
    return 1;
  }
  launch.report(kReplyOk);

  if (mode == Hold::curve) {
    coolingCycle(s, &signals);
  }
  while (!signals.stopRequested()) {
    const MonitorWake wake = watch->wait(signals.wakeFd(), kGuardCycle);
    if (wake == MonitorWake::ended) {
      break;
    }
    if (wake == MonitorWake::timedOut) {
      forceAgainWhereAutomatic(s, mode == Hold::fullSpeed, &signals);
      if (mode == Hold::curve) {
        coolingCycle(s, &signals);
      }
    }
  }
  release(s, platform.pidFile, self);
  return 0;
}

}  // namespace

void forceAgainWhereAutomatic(ToolState& s, bool withMaxTarget, StopSignals* stop) {
  const std::uint8_t forced[1] = {1};
  for (int i = 0; i < s.fanCount; ++i) {
    if (stop != nullptr && stop->stopRequested()) {
      return;
    }
    const std::string key = smc::fanKey(i, "Md");
    const auto info = readKI(s, key);
    const auto bytes = info ? readBytes(s, key, info->dataSize) : std::nullopt;
    // Only a mode that reads 0: one that cannot be read is not known to be automatic.
    if (!bytes || bytes->empty() || !allZero(*bytes)) {
      continue;
    }
    writeBytes(s, key, info->dataSize, forced);
    if (withMaxTarget) {
      writeFlt(s, smc::fanKey(i, "Tg"), s.fanMax[static_cast<std::size_t>(i)]);
    }
  }
}

int runGuard(smc::IOService& io, std::span<const std::string_view> args, ToolPlatform& platform) {
  const std::string_view word = args.size() >= 2 ? args[1] : std::string_view();
  std::optional<Hold> mode;
  if (word == kMaxCommand) {
    mode = Hold::fullSpeed;
  } else if (word == kProactiveCommand) {
    mode = Hold::curve;
  }
  if (!mode) {
    platform.out.line(kUsageLine);
    return 1;
  }
  const auto monitor = args.size() >= 3 ? parseProcessId(args[2]) : std::nullopt;
  if (!monitor) {
    platform.out.line(kBadProcessId);
    return 1;
  }
  // The guard's process is split off before the SMC is opened: an IOKit connection does not
  // survive fork().
  GuardLaunch::Side side = GuardLaunch::Side::failed;
  if (platform.guardLaunch != nullptr) {
    side = platform.guardLaunch->split();
  }
  if (side == GuardLaunch::Side::guard) {
    return hold(io, *mode, *monitor, platform, *platform.guardLaunch);
  }
  std::string reply(kGuardLost);
  if (side == GuardLaunch::Side::caller) {
    reply = platform.guardLaunch->awaitReport().value_or(reply);
  }
  platform.out.line(reply);
  return reply == kReplyOk ? 0 : 1;
}

}  // namespace tool
