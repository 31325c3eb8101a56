// AppDelegate: launch and termination, gathering, the refresh, row formatting and fan modes.
#include "app/app_delegate.h"

#include <algorithm>

#include "app/admin_script.h"

namespace app {

namespace {

constexpr int kSigTerm = 15;

}  // namespace

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
  takeStockOfTheFans();
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
  // A guard of another monitor's holds the fans while that monitor runs: it is that monitor's
  // to stop, and the fans its to hand back. Any other tool in the pid file (this run's guard, a
  // proactive tool started for nobody) is stopped.
  const auto pid = pidFileTool();
  const std::optional<bool> guard = pid ? guardsThisProcess(*pid) : std::nullopt;
  if (guard == false) {
    smc_.close();
    return;
  }
  const std::optional<int> rootTool = pid ? stopProactiveLocally() : std::nullopt;
  if (fansForced_) {
    // The mask releases fans on machines forced through "FS! "; machines forced through each
    // fan's mode key ("F0Md", ...) only let go when those keys are written back too.
    handBackDirectly();
  }
  // A guard this run started with administrator rights hands the fans back the moment this
  // process ends, so quitting asks for nothing.
  const bool guarded = rootTool && guard == true;
  if (!guarded && !handFansBack(rootTool)) {
    env_.application.reportOnExit(std::string(kFansLeftForced) +
                                  oneShotShellCommand(toolPath(env_.bundle.bundlePath()), "auto"));
  }
  smc_.close();
}

bool AppDelegate::handBackDirectly() {
  bool any = smc_.setForcedBits(0);
  for (long long i = 0; i < fanIndexCount(); ++i) {
    any = smc_.setFanMode(i, false) || any;
  }
  return any;
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

void AppDelegate::takeStockOfTheFans() {
  const auto pid = pidFileTool();
  if (pid && env_.processes.toolRunning(*pid, toolPath(env_.bundle.bundlePath()))) {
    // A guard names the monitor it holds the fans for; a plain proactive tool holds them for
    // nobody, and this run stops it at quit like one of its own.
    const std::vector<std::string> args = env_.processes.processArguments(*pid);
    const bool guard = !args.empty() && args[0] == kGuardCommand;
    followTool(*pid, false);
    toolOwnedElsewhere_ = guard || args.empty();
    fanMode_ =
        guard && args.size() >= 2 && args[1] == kMaxCommand ? FanMode::max : FanMode::proactive;
    fansForced_ = true;
  } else {
    // Forced with nothing holding them: left so by a run that ended without handing them back.
    // They read as full speed, with the way back offered, and a quit hands them back.
    fansForced_ = anyFanForced();
    fanMode_ = fansForced_ ? FanMode::max : FanMode::automatic;
  }
}

std::optional<bool> AppDelegate::guardsThisProcess(int pid) {
  const std::vector<std::string> args = env_.processes.processArguments(pid);
  if (args.size() >= 3 && args[0] == kGuardCommand) {
    return args[2] == std::to_string(env_.processes.currentProcessId());
  }
  if (!args.empty()) {
    return std::nullopt;  // not a guard
  }
  // Arguments that cannot be read: what this run knows of the tool it follows.
  if (toolPid_ == pid && (ownsTool_ || toolOwnedElsewhere_)) {
    return ownsTool_;
  }
  return std::nullopt;
}

std::optional<int> AppDelegate::pidFileTool() {
  const auto content = env_.processes.readPidFile(kProactivePidFile, kPidFileMaxBytes);
  return content ? parsePidFile(*content) : std::nullopt;
}

void AppDelegate::followTool(int pid, bool owned) {
  toolPid_ = pid;
  ownsTool_ = owned;
  toolOwnedElsewhere_ = false;
  toolWatch_ = env_.processes.watchProcess(pid);
}

void AppDelegate::forgetTool() {
  toolPid_.reset();
  ownsTool_ = false;
  toolOwnedElsewhere_ = false;
  toolWatch_.reset();
}

void AppDelegate::noticeEndedTool() {
  if (!toolWatch_ || !toolWatch_->ended()) {
    return;
  }
  // A tool stopped in order handed the fans back; one that was killed left them forced, which
  // now read as full speed with nothing holding them; another monitor's tool may have taken
  // its place.
  forgetTool();
  takeStockOfTheFans();
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
  noticeEndedTool();
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

AppDelegate::GuardStart AppDelegate::startGuard(std::string_view mode, std::optional<int> rootTool,
                                                bool withAdmin) {
  const std::string bundlePath = env_.bundle.bundlePath();
  const int monitor = env_.processes.currentProcessId();
  ScriptResult result;
  if (withAdmin) {
    const auto script = rootTool ? stopThenGuardScript(bundlePath, *rootTool, mode, monitor)
                                 : guardScript(bundlePath, mode, monitor);
    if (!script) {
      return GuardStart::failed;
    }
    result = env_.scripts.runWithAdministratorPrivileges(*script);
  } else {
    if (!bundlePath.starts_with('/')) {
      return GuardStart::failed;
    }
    result = env_.processes.runTool(toolPath(bundlePath), guardArguments(mode, monitor));
  }
  const std::string reply = result.stringValue.value_or("");
  if (reply.find(kFansNotForced) != std::string::npos) {
    return GuardStart::notForced;
  }
  if (reply.find(kPidFileError) != std::string::npos ||
      reply.find(kAlreadyRunning) != std::string::npos) {
    return GuardStart::pidFileTaken;
  }
  if (!result.succeeded || !replySucceeded(reply)) {
    return GuardStart::failed;
  }
  // The tool answers once its pid file is written and the fans read back forced: it counts when
  // the file names it running now.
  const auto pid = pidFileTool();
  if (!pid || !env_.processes.toolRunning(*pid, toolPath(bundlePath))) {
    return GuardStart::failed;
  }
  followTool(*pid, true);
  return GuardStart::started;
}

void AppDelegate::reportStartFailure(GuardStart outcome) {
  switch (outcome) {
    case GuardStart::notForced:
      env_.application.reportFailure(kFansNotForcedMessage);
      break;
    case GuardStart::pidFileTaken:
      env_.application.reportFailure(std::string(kPidFileTakenMessage) +
                                     std::string(kProactivePidFile));
      break;
    case GuardStart::started:
    case GuardStart::failed:
      break;
  }
}

// Each action asks for administrator rights at most once: when a tool running as root has to be
// stopped, its stop and whatever the action needs with administrator rights go as one command,
// and the direct writes are not tried (they would race the stopping tool, and failing would
// need a second prompt). A refused or cancelled authorisation ends the action there, with the
// state unchanged. The fans are forced only together with a guard that hands them back when
// this process ends, however it ends.

void AppDelegate::setFansMax() {
  actionSucceeded_ = false;
  const auto rootTool = stopProactiveLocally();
  bool direct = false;
  if (!rootTool) {
    const auto fans = gatherFans();
    for (const FanInfo& fan : fans) {
      direct = smc_.setFanMode(fan.index, true) || direct;
    }
    if (direct) {
      for (const FanInfo& fan : fans) {
        smc_.setFanTarget(fan.index, fan.max);
      }
    }
  }
  // The guard gets the rights that forced the fans: this process's own when it wrote them
  // itself (no prompt), administrator rights otherwise.
  const GuardStart started = startGuard(kMaxCommand, rootTool, !direct);
  if (started != GuardStart::started) {
    if (direct) {
      handBackDirectly();  // nothing would hand them back if this process ended now
    }
    reportStartFailure(started);
    return;
  }
  fanMode_ = FanMode::max;
  fansForced_ = true;
  actionSucceeded_ = true;
  updateReadings();
}

void AppDelegate::setFansProactive() {
  actionSucceeded_ = false;
  const auto rootTool = stopProactiveLocally();
  const GuardStart started = startGuard(kProactiveCommand, rootTool, true);
  if (started != GuardStart::started) {
    reportStartFailure(started);
    return;
  }
  fanMode_ = FanMode::proactive;
  fansForced_ = true;
  actionSucceeded_ = true;
  updateReadings();
}

void AppDelegate::setFansAuto() {
  actionSucceeded_ = false;
  const auto rootTool = stopProactiveLocally();
  if (rootTool) {
    if (!runToolWithAdmin("auto", rootTool)) {
      return;
    }
  } else {
    // Every fan index, also one whose speed cannot be read: forced, it would stay forced.
    bool anyReleased = false;
    for (long long i = 0; i < fanIndexCount(); ++i) {
      anyReleased = smc_.setFanMode(i, false) || anyReleased;
    }
    if (!anyReleased && !runHelperWithAdmin("auto")) {
      return;
    }
  }
  forgetTool();
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

}  // namespace app
