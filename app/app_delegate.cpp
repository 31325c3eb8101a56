// AppDelegate: launch and termination, gathering, the refresh, row formatting and fan modes.
#include "app/app_delegate.h"

#include <algorithm>

#include "app/admin_script.h"

namespace {

constexpr int kSigTerm = 15;

}  // namespace

std::string_view fanModeName(AppDelegate::FanMode mode) {
  switch (mode) {
    case AppDelegate::FanMode::automatic:
      return "auto";
    case AppDelegate::FanMode::proactive:
      return "proactive";
    case AppDelegate::FanMode::max:
      return "max";
  }
  return "auto";
}

AppDelegate::AppDelegate(const AppEnvironment& env)
    : env_(env), smc_(env.smcService), useFahrenheit_(env.defaults.boolForKey(kUseFahrenheitKey)) {}

// ---- Launch and termination ----

void AppDelegate::applicationDidFinishLaunching() {
  if (!smc_.open()) {
    env_.alerts.runModal(Alert{.messageText = std::string(kAlertMessage),
                               .informativeText = std::string(kAlertInformative),
                               .style = AlertStyle::critical,
                               .buttons = {"Quit"}});
    env_.application.terminate();
    return;
  }
  fanCount_ = smc_.readFanCount();
  statusItem_ = env_.statusBar.statusItemWithLength(-1.0);
  menu_.emplace();
  statusItem_->setMenu(*menu_);
  updateReadings();
  std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
  timer_ = env_.timers.scheduledTimer(kRefreshInterval, [weakSelf] {
    if (auto self = weakSelf.lock()) {
      self->updateReadings();
    }
  });
}

void AppDelegate::applicationWillTerminate() {
  if (timer_) {
    timer_->invalidate();
  }
  const std::optional<int> rootTool = stopProactiveLocally();
  if (fansForced_) {
    // The mask releases fans on machines forced through "FS! "; machines forced through each
    // fan's mode key ("F0Md", ...) only let go when those keys are written back too.
    smc_.setForcedBits(0);
    for (const FanInfo& fan : gatherFans()) {
      smc_.setFanMode(fan.index, false);
    }
  }
  if (!handFansBack(rootTool)) {
    env_.application.reportOnExit(std::string(kFansLeftForced) +
                                  oneShotShellCommand(toolPath(env_.bundle.bundlePath()), "auto"));
  }
  smc_.close();
}

bool AppDelegate::handFansBack(std::optional<int> rootTool) {
  // Fans this run forced that the writes above could not release (an application without the
  // rights to write fan keys, as on a Mac) would stay forced until the machine restarts: the
  // tool hands them back with administrator rights. A tool running as root is stopped in the
  // same command, so that quitting asks for the password at most once.
  const bool forced = fansForced_ && (rootTool || anyFanForced());
  if (!forced && !rootTool) {
    return true;
  }
  if (sessionEnding_) {
    return !forced;
  }
  if (!forced) {
    if (const auto stop = stopToolScript(env_.bundle.bundlePath(), *rootTool)) {
      env_.scripts.runWithAdministratorPrivileges(*stop);
    }
    return true;
  }
  if (!runToolWithAdmin("auto", rootTool)) {
    return false;
  }
  // A tool stopped just now releases the fans on its way out; otherwise they read back free.
  return rootTool || !anyFanForced();
}

bool AppDelegate::anyFanForced() {
  const std::uint32_t mask = smc_.readForcedBits().value_or(0);
  for (long long i = 0; i < fanIndexCount(); ++i) {
    if (smc_.readFanForced(i, mask)) {
      return true;
    }
  }
  return false;
}

// ---- Gathering ----

std::vector<TempReading> AppDelegate::gatherTemps(std::span<const Sensor> sensors) {
  std::vector<TempReading> readings;
  gatherTempsInto(sensors, readings);
  return readings;
}

void AppDelegate::gatherTempsInto(std::span<const Sensor> sensors,
                                  std::vector<TempReading>& readings) {
  std::size_t count = 0;
  for (const Sensor& sensor : sensors) {
    const auto value = smc_.readValue(sensor.key);
    if (!value) {
      continue;
    }
    const double v = *value;
    if (!(v > 0.0 && v < 130.0)) {
      continue;
    }
    // One reading per name; the tables are short, so a linear scan beats a set.
    const auto taken = readings.begin() + static_cast<std::ptrdiff_t>(count);
    if (std::find_if(readings.begin(), taken,
                     [&](const TempReading& r) { return r.name == sensor.name; }) != taken) {
      continue;
    }
    if (count == readings.size()) {
      readings.emplace_back();
    }
    readings[count].name.assign(sensor.name);
    readings[count].celsius = v;
    ++count;
  }
  readings.erase(readings.begin() + static_cast<std::ptrdiff_t>(count), readings.end());
}

std::vector<FanInfo> AppDelegate::gatherFans() {
  std::vector<FanInfo> fans;
  gatherFansInto(fans);
  return fans;
}

void AppDelegate::gatherFansInto(std::vector<FanInfo>& fans) {
  fans.clear();
  for (long long i = 0; i < fanIndexCount(); ++i) {
    const auto a = smc_.readFanActual(i);
    if (!a) {
      continue;
    }
    const double m = smc_.readFanMin(i).value_or(0.0);
    const double x = smc_.readFanMax(i).value_or(6500.0);
    fans.push_back(FanInfo{
        .index = i,
        .actual = (*a >= 0.0 && *a < 10000.0) ? *a : -1.0,
        .min = (m >= 0.0 && m < 10000.0) ? m : 0.0,
        .max = (x > 0.0 && x < 10000.0) ? x : 6500.0,
    });
  }
}

// ---- Refresh ----

void AppDelegate::updateReadings() {
  if (!menu_ || !statusItem_) {
    return;
  }
  gatherTempsInto(cpuSensors, readings_.cpu);
  gatherTempsInto(gpuSensors, readings_.gpu);
  gatherTempsInto(otherSensors, readings_.other);
  gatherFansInto(readings_.fans);

  if (statusItem_->hasButton()) {
    if (buildStatusTitle(readings_, useFahrenheit_, title_)) {
      statusItem_->setAttributedTitle(title_);
    } else {
      statusItem_->setTitle(kNoReadingTitle);
    }
  }
  buildMenu(readings_, MenuState{useFahrenheit_, fanMode_}, *menu_);
  statusItem_->setMenu(*menu_);
}

// ---- Row formatting ----

void AppDelegate::addSectionHeader(std::string_view title) {
  MenuWriter(*menu_, menu_->items.size()).sectionHeader(title);
}

void AppDelegate::addSection(std::string_view title, const std::vector<TempReading>& readings) {
  MenuWriter(*menu_, menu_->items.size()).section(title, readings, useFahrenheit_);
}

StyledText AppDelegate::formatTemp(std::string_view name, double temp, std::string_view unit,
                                   double celsius) const {
  StyledText row;
  formatTempInto(name, temp, unit, celsius, row);
  return row;
}

StyledText AppDelegate::formatFanError(std::string_view name) const {
  StyledText row;
  formatFanErrorInto(name, row);
  return row;
}

StyledText AppDelegate::formatFan(std::string_view name, double rpm) const {
  StyledText row;
  formatFanInto(name, rpm, row);
  return row;
}

// ---- Fan modes ----

bool AppDelegate::runHelperWithAdmin(std::string_view mode) {
  return runToolWithAdmin(mode, std::nullopt);
}

bool AppDelegate::runToolWithAdmin(std::string_view mode, std::optional<int> rootTool) {
  const std::string bundlePath = env_.bundle.bundlePath();
  const auto script = rootTool ? stopThenOneShotScript(bundlePath, *rootTool, mode)
                               : oneShotScript(bundlePath, mode);
  if (!script) {
    return false;
  }
  const ScriptResult result = env_.scripts.runWithAdministratorPrivileges(*script);
  if (!result.succeeded) {
    return false;
  }
  return replySucceeded(result.stringValue.value_or(""));
}

void AppDelegate::stopProactiveHelper() {
  if (const auto rootTool = stopProactiveLocally()) {
    if (const auto stop = stopToolScript(env_.bundle.bundlePath(), *rootTool)) {
      env_.scripts.runWithAdministratorPrivileges(*stop);
    }
  }
}

std::optional<int> AppDelegate::stopProactiveLocally() {
  const auto content = env_.processes.readPidFile(kProactivePidFile, kPidFileMaxBytes);
  if (!content) {
    return std::nullopt;
  }
  const auto pid = parsePidFile(*content);
  if (!pid) {
    return std::nullopt;
  }
  env_.processes.signalTool(*pid, toolPath(env_.bundle.bundlePath()), kSigTerm);
  env_.processes.removeFile(kProactivePidFile);
  // A tool started with administrator rights runs as root: an application without them can
  // neither signal it nor remove its file from the sticky temporary directory. A file that
  // survived its removal unchanged says exactly that, so the stop has to be repeated with
  // administrator rights instead of leaving the tool driving the fans.
  if (env_.processes.readPidFile(kProactivePidFile, kPidFileMaxBytes) == content) {
    return pid;
  }
  return std::nullopt;
}

// Each action asks for administrator rights at most once: when a tool running as root has to be
// stopped, its stop and whatever the action needs with administrator rights go as one command,
// and the direct writes are not tried (they would race the stopping tool, and failing would
// need a second prompt). A refused or cancelled authorisation ends the action there, with the
// state unchanged.

void AppDelegate::setFansMax() {
  actionSucceeded_ = false;
  if (const auto rootTool = stopProactiveLocally()) {
    if (!runToolWithAdmin("max", rootTool)) {
      return;
    }
  } else {
    const auto fans = gatherFans();
    bool anyForced = false;
    for (const FanInfo& fan : fans) {
      anyForced = smc_.setFanMode(fan.index, true) || anyForced;
    }
    if (anyForced) {
      for (const FanInfo& fan : fans) {
        smc_.setFanTarget(fan.index, fan.max);
      }
    } else if (!runHelperWithAdmin("max")) {
      return;
    }
  }
  fanMode_ = FanMode::max;
  fansForced_ = true;
  actionSucceeded_ = true;
  updateReadings();
}

void AppDelegate::setFansProactive() {
  actionSucceeded_ = false;
  const std::string bundlePath = env_.bundle.bundlePath();
  const auto rootTool = stopProactiveLocally();
  const auto script =
      rootTool ? stopThenProactiveScript(bundlePath, *rootTool) : proactiveScript(bundlePath);
  if (!script) {
    return;
  }
  const ScriptResult result = env_.scripts.runWithAdministratorPrivileges(*script);
  if (!result.succeeded) {
    return;
  }
  fanMode_ = FanMode::proactive;
  fansForced_ = true;
  actionSucceeded_ = true;
  updateReadings();
}

void AppDelegate::setFansAuto() {
  actionSucceeded_ = false;
  if (const auto rootTool = stopProactiveLocally()) {
    if (!runToolWithAdmin("auto", rootTool)) {
      return;
    }
  } else {
    const auto fans = gatherFans();
    bool anyReleased = false;
    for (const FanInfo& fan : fans) {
      anyReleased = smc_.setFanMode(fan.index, false) || anyReleased;
    }
    if (!anyReleased && !runHelperWithAdmin("auto")) {
      return;
    }
  }
  fanMode_ = FanMode::automatic;
  fansForced_ = false;
  actionSucceeded_ = true;
  updateReadings();
}

// ---- Unit and quit ----

void AppDelegate::toggleUnit() {
  useFahrenheit_ = !useFahrenheit_;
  env_.defaults.setBool(useFahrenheit_, kUseFahrenheitKey);
  updateReadings();
}

void AppDelegate::quitApp() {
  env_.application.terminate();
}

bool AppDelegate::perform(MenuAction action) {
  switch (action) {
    case MenuAction::setFansMax:
      setFansMax();
      return actionSucceeded_;
    case MenuAction::setFansProactive:
      setFansProactive();
      return actionSucceeded_;
    case MenuAction::setFansAuto:
      setFansAuto();
      return actionSucceeded_;
    case MenuAction::toggleUnit:
      toggleUnit();
      break;
    case MenuAction::quitApp:
      quitApp();
      break;
  }
  return true;
}
