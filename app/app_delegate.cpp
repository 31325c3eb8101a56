// AppDelegate: launch and termination, gathering, the refresh, row formatting and fan modes.
#include "app/app_delegate.h"

#include <algorithm>

#include "app/admin_script.h"
#include "app/text_format.h"

namespace {

constexpr int kSigTerm = 15;
constexpr std::size_t kNameColumn = 24;
constexpr std::size_t kMinimumGap = 2;

ColorRole temperatureColor(double celsius) {
  if (celsius < 50.0) {
    return ColorRole::systemGreen;
  }
  if (celsius < 75.0) {
    return ColorRole::systemOrange;
  }
  return ColorRole::systemRed;
}

MenuItem infoItem(std::string title, StyledText styled) {
  MenuItem item;
  item.title = std::move(title);
  item.styledTitle = std::move(styled);
  return item;
}

MenuItem actionItem(std::string_view title, MenuAction action, std::string_view key) {
  MenuItem item;
  item.title = std::string(title);
  item.action = action;
  item.keyEquivalent = std::string(key);
  return item;
}

std::string fanName(long long index) {
  return "Fan " + std::to_string(index + 1);
}

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
  std::uint32_t mask = 0;
  if (const auto raw = smc_.readRaw("FS! ")) {
    for (std::uint8_t byte : raw->bytes) {
      mask = (mask << 8) | byte;
    }
  }
  for (const FanInfo& fan : gatherFans()) {
    if (fan.index < 32 && (mask >> fan.index & 1u) != 0) {
      return true;
    }
    const auto mode = smc_.readRaw(fanKey(fan.index, "Md"));
    if (mode && std::any_of(mode->bytes.begin(), mode->bytes.end(),
                            [](std::uint8_t b) { return b != 0; })) {
      return true;
    }
  }
  return false;
}

// ---- Gathering ----

std::vector<TempReading> AppDelegate::gatherTemps(std::span<const Sensor> sensors) {
  std::vector<TempReading> readings;
  if (sensors.empty()) {
    return readings;
  }
  // Names already taken in this call; the tables are short, so a linear scan beats a set.
  std::vector<std::string_view> taken;
  taken.reserve(sensors.size());
  for (const Sensor& sensor : sensors) {
    const auto value = smc_.readValue(sensor.key);
    if (!value) {
      continue;
    }
    const double v = *value;
    if (!(v > 0.0 && v < 130.0)) {
      continue;
    }
    if (std::find(taken.begin(), taken.end(), sensor.name) != taken.end()) {
      continue;
    }
    taken.push_back(sensor.name);
    readings.push_back(TempReading{std::string(sensor.name), v});
  }
  return readings;
}

std::vector<FanInfo> AppDelegate::gatherFans() {
  std::vector<FanInfo> fans;
  const long long n = fanCount_ > 0 ? fanCount_ : 4;
  for (long long i = 0; i < n; ++i) {
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
  return fans;
}

// ---- Refresh ----

void AppDelegate::updateReadings() {
  if (!menu_ || !statusItem_) {
    return;
  }
  menu_->removeAllItems();
  const auto cpu = gatherTemps(cpuSensors);
  const auto gpu = gatherTemps(gpuSensors);
  const auto other = gatherTemps(otherSensors);
  const auto fans = gatherFans();

  const TempReading* first = !cpu.empty()     ? &cpu.front()
                             : !gpu.empty()   ? &gpu.front()
                             : !other.empty() ? &other.front()
                                              : nullptr;
  if (first != nullptr) {
    const double value = useFahrenheit_ ? first->fahrenheit() : first->celsius;
    const std::string_view unit = useFahrenheit_ ? "F" : "C";
    if (statusItem_->hasButton()) {
      statusItem_->setAttributedTitle(
          StyledText{{formatDegrees(value, 0, unit), FontRole::monoMedium12,
                      temperatureColor(first->celsius)}});
    }
  } else if (statusItem_->hasButton()) {
    statusItem_->setTitle("-- \u00B0C");
  }

  menu_->addItem(infoItem("Quillomatics", {{"Quillomatics", FontRole::bold13, std::nullopt}}));
  menu_->addItem(MenuItem::separatorItem());
  addSection("CPU", cpu);
  addSection("GPU", gpu);
  addSection("OTHER", other);

  if (!fans.empty()) {
    addSectionHeader("FANS");
    for (const FanInfo& fan : fans) {
      const std::string name = fanName(fan.index);
      if (fan.actual < 0) {
        menu_->addItem(infoItem(name + " N/A", formatFanError(name)));
      } else {
        StyledText styled = formatFan(name, fan.actual);
        std::string plain = name + " " + styled.back().text;
        menu_->addItem(infoItem(std::move(plain), std::move(styled)));
      }
    }
    menu_->addItem(MenuItem::separatorItem());

    std::string_view modeText;
    ColorRole modeColor = ColorRole::systemGreen;
    switch (fanMode_) {
      case FanMode::automatic:
        modeText = "Fans: Auto";
        modeColor = ColorRole::systemGreen;
        break;
      case FanMode::proactive:
        modeText = "Fans: Proactive (40-75\u00B0C)";
        modeColor = ColorRole::systemCyan;
        break;
      case FanMode::max:
        modeText = "Fans: Manual 100%";
        modeColor = ColorRole::systemOrange;
        break;
    }
    menu_->addItem(infoItem(std::string(modeText),
                            {{std::string(modeText), FontRole::systemMedium12, modeColor}}));
    if (fanMode_ != FanMode::automatic) {
      menu_->addItem(actionItem("Switch to Auto", MenuAction::setFansAuto, "a"));
    }
    if (fanMode_ != FanMode::proactive) {
      menu_->addItem(actionItem("Proactive Cooling", MenuAction::setFansProactive, "p"));
    }
    if (fanMode_ != FanMode::max) {
      menu_->addItem(actionItem("Fans to Full Speed", MenuAction::setFansMax, "m"));
    }
    menu_->addItem(MenuItem::separatorItem());
  }

  menu_->addItem(actionItem(useFahrenheit_ ? "Switch to Celsius" : "Switch to Fahrenheit",
                            MenuAction::toggleUnit, "u"));
  menu_->addItem(MenuItem::separatorItem());
  menu_->addItem(actionItem("Quit Quillomatics", MenuAction::quitApp, "q"));

  statusItem_->setMenu(*menu_);
}

// ---- Row formatting ----

void AppDelegate::addSectionHeader(std::string_view title) {
  menu_->addItem(infoItem(std::string(title),
                          {{std::string(title), FontRole::bold11, ColorRole::secondaryLabel}}));
}

void AppDelegate::addSection(std::string_view title, const std::vector<TempReading>& readings) {
  if (readings.empty()) {
    return;
  }
  addSectionHeader(title);
  for (const TempReading& reading : readings) {
    const double temp = useFahrenheit_ ? reading.celsius * 9.0 / 5.0 + 32.0 : reading.celsius;
    const std::string_view unit = useFahrenheit_ ? "F" : "C";
    // The plain title shows the same value text as the styled one: name, a space, the value.
    StyledText styled = formatTemp(reading.name, temp, unit, reading.celsius);
    std::string plain = reading.name + " " + styled.back().text;
    menu_->addItem(infoItem(std::move(plain), std::move(styled)));
  }
  menu_->addItem(MenuItem::separatorItem());
}

namespace {

StyledText row(std::string_view name, std::string value, ColorRole valueColor) {
  const std::size_t chars = characterCount(name);
  const std::size_t gap = std::max(kNameColumn > chars ? kNameColumn - chars : 0, kMinimumGap);
  // Built run by run: an initializer list would copy every string once more.
  StyledText text;
  text.reserve(3);
  text.push_back(StyledRun{std::string(name), FontRole::monoRegular12, ColorRole::label});
  text.push_back(StyledRun{std::string(gap, ' '), FontRole::monoRegular12, std::nullopt});
  text.push_back(StyledRun{std::move(value), FontRole::monoMedium12, valueColor});
  return text;
}

}  // namespace

StyledText AppDelegate::formatTemp(std::string_view name, double temp, std::string_view unit,
                                   double celsius) const {
  return row(name, formatDegrees(temp, 1, unit), temperatureColor(celsius));
}

StyledText AppDelegate::formatFanError(std::string_view name) const {
  return row(name, "N/A", ColorRole::secondaryLabel);
}

StyledText AppDelegate::formatFan(std::string_view name, double rpm) const {
  return row(name, formatFixed(rpm, 0) + " RPM", ColorRole::systemCyan);
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
  return result.stringValue.value_or("").find("OK") != std::string::npos;
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
