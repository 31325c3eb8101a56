// The tool's entry sequence, one-shot commands, and the proactive start, loop and stop.
#include "tool/ventwarden.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "smc/smc_client.h"
#include "smc/smc_record.h"
#include "tool/cooling.h"
#include "tool/guard.h"

namespace tool {

namespace {

constexpr std::chrono::milliseconds kCycleInterval{3000};

// A speed limit read as a float that is not a finite, non-negative number would be written into
// every target; it counts as unreadable and the default stands in.
float speedLimit(std::optional<float> read, float fallback) {
  return read && std::isfinite(*read) && *read >= 0.0f ? *read : fallback;
}

}  // namespace

std::optional<std::string_view> openSmc(ToolState& s) {
  switch (s.conn.open(s.io)) {
    case smc::SMCConnection::OpenResult::noService:
      return kNoSmc;
    case smc::SMCConnection::OpenResult::cannotOpen:
      return kCannotOpenSmc;
    case smc::SMCConnection::OpenResult::opened:
      break;
  }
  s.stride = static_cast<int>(smc::kSMCRecordSize);
  return std::nullopt;
}

void readFanTable(ToolState& s) {
  s.fanCount = 2;
  if (const auto info = readKI(s, "FNum")) {
    if (const auto bytes = readBytes(s, "FNum", info->dataSize); bytes && !bytes->empty()) {
      s.fanCount = (*bytes)[0];
    }
  }
  s.fanMin.clear();
  s.fanMax.clear();
  for (int i = 0; i < s.fanCount; ++i) {
    s.fanMin.push_back(speedLimit(readFlt(s, smc::fanKey(i, "Mn")), 1800.0f));
    s.fanMax.push_back(speedLimit(readFlt(s, smc::fanKey(i, "Mx")), 5500.0f));
  }
}

void setFanModes(ToolState& s, std::uint8_t mode, StopSignals* stop) {
  const std::uint8_t b[1] = {mode};
  for (int i = 0; i < s.fanCount; ++i) {
    if (stop != nullptr && stop->stopRequested()) {
      return;
    }
    const std::string key = smc::fanKey(i, "Md");
    if (const auto info = readKI(s, key)) {
      writeBytes(s, key, info->dataSize, b);
    }
  }
}

void applyMax(ToolState& s) {
  const std::uint8_t forced[1] = {1};
  for (int i = 0; i < s.fanCount; ++i) {
    const std::string mode = smc::fanKey(i, "Md");
    if (const auto info = readKI(s, mode)) {
      writeBytes(s, mode, info->dataSize, forced);
    }
    writeFlt(s, smc::fanKey(i, "Tg"), s.fanMax[static_cast<std::size_t>(i)]);
  }
}

int runProactive(ToolState& s, ToolPlatform& platform) {
  // Signals are handled before anything is changed, so that a stop at any moment after this
  // point still hands the fans back and removes the pid file.
  platform.signals.arm();
  const PidClaim claim = platform.pidFile.claim(platform.pid, platform.probeTool);
  if (claim != PidClaim::written) {
    platform.out.line(claim == PidClaim::alreadyRunning ? kAlreadyRunning : kPidFileError);
    s.conn.close();
    return 1;
  }
  setFanModes(s, 1, &platform.signals);
  platform.out.line(kReplyOk);

  while (!platform.signals.stopRequested()) {
    coolingCycle(s, &platform.signals);
    if (platform.signals.waitForStop(kCycleInterval)) {
      break;
    }
    // A Mac that slept and woke has put the fans back to automatic.
    forceAgainWhereAutomatic(s, false, &platform.signals);
  }

  setFanModes(s, 0);
  platform.pidFile.removeIfHolds(platform.pid);
  s.conn.close();
  return 0;
}

namespace {

int runStop(std::span<const std::string_view> args, ToolPlatform& platform) {
  const auto pid = args.size() >= 2 ? parseProcessId(args[1]) : std::nullopt;
  if (!pid) {
    platform.out.line(kBadProcessId);
    return 1;
  }
  const ToolSignal result = platform.stopTool ? platform.stopTool(*pid) : ToolSignal::unknown;
  if (result == ToolSignal::unknown || result == ToolSignal::stillRunning) {
    // An instance may still drive the fans: its file stays, the way to stop it later.
    platform.out.line(kCannotStop);
    return 1;
  }
  // Ended, or no instance under that id (a stale file): either way the file naming it goes.
  platform.pidFile.removeIfHolds(*pid);
  platform.out.line(kReplyOk);
  return 0;
}

}  // namespace

int runTool(smc::IOService& io, std::span<const std::string_view> args, ToolPlatform& platform) {
  // Stopping an instance needs no SMC, and must work when the SMC does not.
  if (!args.empty() && args[0] == "stop") {
    return runStop(args, platform);
  }
  // The guard splits off its own process before it opens the SMC.
  if (!args.empty() && args[0] == kGuardCommand) {
    return runGuard(io, args, platform);
  }
  ToolState s(io);
  if (const auto failure = openSmc(s)) {
    platform.out.line(*failure);
    return 1;
  }

  readFanTable(s);

  if (args.empty()) {
    platform.out.line(kUsageLine);
    return 1;
  }
  s.cmd = std::string(args[0]);

  if (s.cmd == "max") {
    applyMax(s);
  } else if (s.cmd == "auto") {
    setFanModes(s, 0);
  } else if (s.cmd == "proactive") {
    return runProactive(s, platform);
  } else {
    platform.out.line(std::string(kUnknownCommand) + s.cmd);
    return 1;
  }
  platform.out.line(kReplyOk);
  s.conn.close();
  return 0;
}

}  // namespace tool
