// A long run of the application's refresh against the shared simulated device while its faults
// change under it (exchanges failing at random, keys vanishing and coming back, absurd values,
// writes refused) and the real ventwarden drives the same device, stopped and started again and
// again. Every refresh's menu and status title are checked; after every stop of the tool the fans
// must be back on automatic and the pid file gone.
//
// Bounded by default (3000 refreshes). On demand:
//   QUILL_SOAK_REFRESHES=N   run N refreshes
//   QUILL_SOAK_SECONDS=S     run for S seconds instead (e.g. 3600 for an hour)
//   QUILL_SOAK_SEED=X        repeat the run of a given seed (printed at the end of every run)
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_delegate.h"
#include "app/testing/fake_platform.h"
#include "app/text_format.h"
#include "sim/sim_device.h"
#include "sim/sim_io_service.h"
#include "sim/testing/unprivileged.h"
#include "smc/smc_record.h"
#include "tests/support/pid_file_fixture.h"
#include "tests/support/test_helpers.h"
#include "tests/support/ventwarden_process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kTool = VENTWARDEN_PATH;
constexpr milliseconds kPatience{10000};
constexpr std::size_t kNameColumn = 24;

// ---- What a well-formed refresh looks like ----

struct Expectations {
  bool useFahrenheit = false;
  app::AppDelegate::FanMode fanMode = app::AppDelegate::FanMode::automatic;
  long long probedFans = 0;  // fans the delegate probes: its fan count, or 4 when it has none
};

std::string describe(const app::MenuModel& menu) {
  std::ostringstream out;
  for (const app::MenuItem& item : menu.items) {
    out << "  " << (item.isSeparator ? std::string("----") : item.title) << "\n";
  }
  return out.str();
}

// Shown Celsius bounds: an accepted reading is 0 < t < 130, shown with one decimal.
bool shownCelsiusInBounds(double c) {
  constexpr double kSlack = 0.06;  // one decimal of Fahrenheit is 0.056 °C
  return c >= -kSlack && c <= 130.0 + kSlack;
}

// The colour of a shown value, allowing either neighbour within rounding of a band's edge.
bool colourFits(double c, app::ColorRole colour) {
  auto near = [c](double edge) { return std::abs(c - edge) <= 0.1; };
  switch (colour) {
    case app::ColorRole::systemGreen:
      return c < 50.0 || near(50.0);
    case app::ColorRole::systemOrange:
      return (c >= 50.0 && c < 75.0) || near(50.0) || near(75.0);
    case app::ColorRole::systemRed:
      return c >= 75.0 || near(75.0);
    default:
      return false;
  }
}

// A row of name, gap and value, as the menu lays every temperature and fan out.
std::string checkRowShape(const app::MenuItem& item, std::string_view& name,
                          std::string_view& value) {
  if (item.isSeparator || item.action || !item.keyEquivalent.empty() || !item.styledTitle) {
    return "not an information row";
  }
  const app::StyledText& runs = *item.styledTitle;
  if (runs.size() != 3) {
    return "row has " + std::to_string(runs.size()) + " runs";
  }
  if (runs[0].font != app::FontRole::monoRegular12 || runs[0].color != app::ColorRole::label ||
      runs[1].font != app::FontRole::monoRegular12 || runs[1].color ||
      runs[2].font != app::FontRole::monoMedium12) {
    return "row runs have the wrong fonts or colours";
  }
  const std::size_t chars = app::characterCount(runs[0].text);
  const std::size_t gap = std::max(kNameColumn > chars ? kNameColumn - chars : 0, std::size_t{2});
  if (runs[1].text != std::string(gap, ' ')) {
    return "gap of " + std::to_string(runs[1].text.size()) + " after \"" + runs[0].text + "\"";
  }
  if (item.title != runs[0].text + " " + runs[2].text) {
    return "plain title \"" + item.title + "\" does not match the styled row";
  }
  name = runs[0].text;
  value = runs[2].text;
  return {};
}

struct ShownTemp {
  double value = 0;  // in the unit shown
  double celsius = 0;
  app::ColorRole colour = app::ColorRole::label;
};

// Checks the whole menu and the title; empty when both are well-formed.
std::string checkRefresh(const app::MenuModel& menu, const app::FakeStatusItem& item,
                         const Expectations& want) {
  static const std::regex kDegrees("^(-?[0-9]+\\.[0-9])\u00B0([CF])$");
  static const std::regex kTitle("^(-?[0-9]+)\u00B0([CF])$");
  static const std::regex kRpm("^([0-9]+) RPM$");
  const std::string unit = want.useFahrenheit ? "F" : "C";
  auto toCelsius = [&](double v) { return want.useFahrenheit ? (v - 32.0) * 5.0 / 9.0 : v; };

  const auto& items = menu.items;
  std::size_t i = 0;
  auto at = [&](std::size_t k) -> const app::MenuItem* {
    return k < items.size() ? &items[k] : nullptr;
  };
  auto isHeader = [](const app::MenuItem* m, std::string_view title) {
    return m && !m->isSeparator && m->title == title && !m->action && m->keyEquivalent.empty() &&
           m->styledTitle == app::StyledText{{std::string(title), app::FontRole::bold11,
                                              app::ColorRole::secondaryLabel}};
  };
  auto isSeparator = [](const app::MenuItem* m) { return m && m->isSeparator; };
  auto isAction = [](const app::MenuItem* m, std::string_view title, app::MenuAction action,
                     std::string_view key) {
    return m && !m->isSeparator && m->title == title && m->action == action &&
           m->keyEquivalent == key && !m->styledTitle;
  };

  const app::MenuItem* header = at(i++);
  if (!header || header->isSeparator || header->title != "Quillomatics" || header->action ||
      header->styledTitle !=
          app::StyledText{{"Quillomatics", app::FontRole::bold13, std::nullopt}}) {
    return "first item is not the application header";
  }
  if (!isSeparator(at(i++))) {
    return "no separator after the header";
  }

  // Temperature sections, each at most once and in this order.
  std::optional<ShownTemp> firstTemp;
  const std::pair<std::string_view, std::span<const app::Sensor>> sections[] = {
      {"CPU", app::cpuSensors}, {"GPU", app::gpuSensors}, {"OTHER", app::otherSensors}};
  for (const auto& [title, table] : sections) {
    if (!isHeader(at(i), title)) {
      continue;
    }
    ++i;
    std::size_t rows = 0;
    std::ptrdiff_t lastRow = -1;
    while (at(i) && !at(i)->isSeparator) {
      std::string_view name, value;
      if (auto e = checkRowShape(*at(i), name, value); !e.empty()) {
        return std::string(title) + " row " + std::to_string(rows) + ": " + e;
      }
      const auto sensor = std::find_if(table.begin(), table.end(),
                                       [&](const app::Sensor& s) { return s.name == name; });
      if (sensor == table.end()) {
        return std::string(title) + " row names an unknown sensor \"" + std::string(name) + "\"";
      }
      // The first key of a name in the table; a later row must come later in the table.
      const auto position = std::distance(table.begin(), sensor);
      if (position <= lastRow) {
        return std::string(title) + " rows repeat or leave table order at \"" + std::string(name) +
               "\"";
      }
      lastRow = position;
      std::smatch m;
      const std::string text(value);
      if (!std::regex_match(text, m, kDegrees) || m[2] != unit) {
        return "temperature \"" + text + "\" is not a number in " + unit;
      }
      ShownTemp shown{std::stod(m[1]), toCelsius(std::stod(m[1])),
                      at(i)->styledTitle->back().color.value_or(app::ColorRole::label)};
      if (!shownCelsiusInBounds(shown.celsius)) {
        return "temperature \"" + text + "\" is out of bounds";
      }
      if (!colourFits(shown.celsius, shown.colour)) {
        return "temperature \"" + text + "\" has the wrong colour";
      }
      if (!firstTemp) {
        firstTemp = shown;
      }
      ++rows;
      ++i;
    }
    if (rows == 0) {
      return std::string(title) + " section without rows";
    }
    if (!isSeparator(at(i++))) {
      return std::string(title) + " section without its closing separator";
    }
  }

  // The fan block, complete and matching the mode, or absent altogether.
  if (isHeader(at(i), "FANS")) {
    ++i;
    long long lastNumber = 0;
    std::size_t rows = 0;
    while (at(i) && !at(i)->isSeparator) {
      std::string_view name, value;
      if (auto e = checkRowShape(*at(i), name, value); !e.empty()) {
        return "fan row " + std::to_string(rows) + ": " + e;
      }
      long long number = 0;
      const std::string nameText(name);
      if (nameText.rfind("Fan ", 0) != 0 ||
          std::from_chars(nameText.data() + 4, nameText.data() + nameText.size(), number).ptr !=
              nameText.data() + nameText.size() ||
          number <= lastNumber || number > want.probedFans) {
        return "fan row named \"" + nameText + "\" out of order or beyond the probed fans";
      }
      lastNumber = number;
      const std::string valueText(value);
      const auto colour = at(i)->styledTitle->back().color;
      std::smatch m;
      if (valueText == "N/A") {
        if (colour != app::ColorRole::secondaryLabel) {
          return "fan error row in the wrong colour";
        }
      } else if (!std::regex_match(valueText, m, kRpm) || std::stoll(m[1]) > 10000 ||
                 colour != app::ColorRole::systemCyan) {
        return "fan speed \"" + valueText + "\" is not a plausible speed row";
      }
      ++rows;
      ++i;
    }
    if (rows == 0) {
      return "fan header without fan rows";
    }
    if (!isSeparator(at(i++))) {
      return "no separator after the fan rows";
    }
    using Mode = app::AppDelegate::FanMode;
    const auto [modeText, modeColour] =
        want.fanMode == Mode::automatic ? std::pair{"Fans: Auto", app::ColorRole::systemGreen}
        : want.fanMode == Mode::proactive
            ? std::pair{"Fans: Proactive (40-75\u00B0C)", app::ColorRole::systemCyan}
            : std::pair{"Fans: Manual 100%", app::ColorRole::systemOrange};
    const app::MenuItem* mode = at(i++);
    if (!mode || mode->isSeparator || mode->title != modeText || mode->action ||
        mode->styledTitle !=
            app::StyledText{{modeText, app::FontRole::systemMedium12, modeColour}}) {
      return std::string("fan-mode line is not \"") + modeText + "\"";
    }
    if (want.fanMode != Mode::automatic &&
        !isAction(at(i++), "Switch to Auto", app::MenuAction::setFansAuto, "a")) {
      return "\"Switch to Auto\" missing";
    }
    if (want.fanMode != Mode::proactive &&
        !isAction(at(i++), "Proactive Cooling", app::MenuAction::setFansProactive, "p")) {
      return "\"Proactive Cooling\" missing";
    }
    if (want.fanMode != Mode::max &&
        !isAction(at(i++), "Fans to Full Speed", app::MenuAction::setFansMax, "m")) {
      return "full-speed item missing";
    }
    if (!isSeparator(at(i++))) {
      return "no separator after the fan block";
    }
  }

  if (!isAction(at(i++), want.useFahrenheit ? "Switch to Celsius" : "Switch to Fahrenheit",
                app::MenuAction::toggleUnit, "u")) {
    return "unit switch missing or wrong";
  }
  if (!isSeparator(at(i++))) {
    return "no separator before the quit item";
  }
  if (!isAction(at(i++), "Quit Quillomatics", app::MenuAction::quitApp, "q")) {
    return "quit item missing";
  }
  if (i != items.size()) {
    return "items after the quit item";
  }

  // The title: the first shown reading, rounded, in the same colour; or the placeholder.
  if (firstTemp) {
    std::smatch m;
    if (!item.styledTitle || item.plainTitle || item.styledTitle->size() != 1) {
      return "no styled title beside shown temperatures";
    }
    const app::StyledRun& run = item.styledTitle->front();
    if (!std::regex_match(run.text, m, kTitle) || m[2] != unit ||
        run.font != app::FontRole::monoMedium12 || run.color != firstTemp->colour ||
        std::abs(std::stod(m[1]) - firstTemp->value) > 0.55) {
      return "title \"" + run.text + "\" does not show the first reading";
    }
  } else if (item.plainTitle != "-- \u00B0C" || item.styledTitle) {
    return "no reading, yet the title is not the placeholder";
  }
  return {};
}

// ---- The changing faults ----

std::vector<std::string> catalogueKeys() {
  std::vector<std::string> keys;
  for (auto table : {std::span<const app::Sensor>(app::cpuSensors),
                     std::span<const app::Sensor>(app::gpuSensors),
                     std::span<const app::Sensor>(app::otherSensors)}) {
    for (const app::Sensor& s : table) {
      keys.emplace_back(s.key);
    }
  }
  return keys;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::array kAbsurdTemps{kNaN,  kInf,   -kInf, -40.0, -0.01, 0.0,  0.01,  129.99,
                                  130.0, 130.01, 1e6,   -1e9,  1e308, 99.0, 49.95, 74.95};
constexpr std::array kAbsurdSpeeds{kNaN,   kInf,    -kInf, -3.0, 0.0,
                                   9999.6, 10000.0, 1e9,   -1e9, 2500.0};

class Soak {
 public:
  Soak(std::string devicePath, std::uint64_t seed, int fans)
      : path_(std::move(devicePath)), rng_(seed), fans_(fans), catalogue_(catalogueKeys()) {
    for (int f = 0; f < fans_; ++f) {
      for (const char* suffix : {"Ac", "Mn", "Mx", "Md", "Tg"}) {
        std::string key = "F";  // appended: GCC 12 at -O3 warns wrongly (-Wrestrict) on "F" + ...
        key += std::to_string(f);
        fanKeys_.push_back(key + suffix);
      }
    }
    fanKeys_.push_back("FNum");
  }

  sim::Device& device() {
    if (!device_) {
      auto d = sim::Device::open(path_);
      if (!d) {
        ADD_FAILURE() << d.error();
        std::abort();
      }
      device_.emplace(std::move(*d));
    }
    return *device_;
  }

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  template <class C>
  auto choose(const C& c) {
    return c[static_cast<std::size_t>(pick(static_cast<int>(std::size(c))))];
  }

  // A new mix of faults: often a clean slate, otherwise more on top of what is there.
  void changeFaults() {
    sim::Device& d = device();
    if (chance(0.4) || d.faults().size() > 16) {
      ASSERT_TRUE(d.clearFaults());
    }
    const int count = 1 + pick(4);
    for (int n = 0; n < count; ++n) {
      sim::Fault f;
      switch (pick(8)) {
        case 0:  // exchanges failing at random
          f.kind = sim::FaultKind::readFails;
          f.every = static_cast<std::uint32_t>(2 + pick(8));
          break;
        case 1:
          f.kind = sim::FaultKind::keyInfoFails;
          f.every = static_cast<std::uint32_t>(2 + pick(8));
          break;
        case 2:  // absurd temperatures, on one key or on every modelled one
          f.kind = sim::FaultKind::value;
          f.key = chance(0.3) ? sim::layout::kTemperatureKeys : smc::fourCC(choose(catalogue_));
          f.every = chance(0.5) ? 0 : static_cast<std::uint32_t>(2 + pick(3));
          f.value = choose(kAbsurdTemps);
          break;
        case 3:  // absurd fan speeds and limits
          f.kind = sim::FaultKind::value;
          f.key = smc::fourCC(choose(fanKeys_));
          f.value = choose(kAbsurdSpeeds);
          break;
        case 4:
          f.kind = sim::FaultKind::writeRefused;
          f.every = chance(0.5) ? 0 : 2;
          break;
        case 5:
          f.kind = sim::FaultKind::readFails;
          f.key = smc::fourCC(chance(0.5) ? choose(catalogue_) : choose(fanKeys_));
          break;
        case 6:  // now and then a slow SMC, so that the tool is caught mid-exchange
          if (!chance(0.25)) {
            continue;
          }
          f.kind = sim::FaultKind::slow;
          f.value = 20 + pick(100);
          break;
        default:  // keys vanishing (or turning unreadable); the next clean slate brings them back
          for (int k = 0; k < 1 + pick(3); ++k) {
            const std::string key = chance(0.6) ? choose(catalogue_) : choose(fanKeys_);
            if (d.key(key)) {
              ASSERT_TRUE(d.setKeyState(
                  key, chance(0.5) ? sim::KeyState::missing : sim::KeyState::unreadable));
            }
          }
          continue;
      }
      ASSERT_TRUE(d.addFault(f));
    }
  }

  // Takes away what would keep the tool's stop from reaching the fans (key info of the mode keys,
  // refused writes, vanished keys); absurd values, failing reads and slowness stay.
  void allowStop() {
    sim::Device& d = device();
    const auto faults = d.faults();
    ASSERT_TRUE(d.clearFaults());
    for (const sim::Fault& f : faults) {
      if (f.kind == sim::FaultKind::value || f.kind == sim::FaultKind::readFails ||
          f.kind == sim::FaultKind::slow) {
        ASSERT_TRUE(d.addFault(f));
      }
    }
  }

  // ---- The tool ----

  // The tool starts with the fans on automatic, so that after its stop every fan must be on
  // automatic again. Fans the application forced are handed back through its own action first,
  // on a clean SMC; a delegate that could not hand them back at termination left them to us.
  void startTool() {
    if (delegate_->fansForced()) {
      ASSERT_TRUE(device().clearFaults());
      delegate_->perform(app::MenuAction::setFansAuto);
      check("action");
      EXPECT_FALSE(delegate_->fansForced());
    }
    for (const auto& fan : device().snapshot().fans) {
      if (fan.forced) {
        ASSERT_TRUE(device().setBytes(smc::fanKey(fan.index, "Md"), std::vector<std::uint8_t>{0}));
      }
    }
    auto started = ToolProcess::start(kTool, {"proactive"}, path_);
    ASSERT_TRUE(started) << "ventwarden did not start";
    tool_.emplace(std::move(*started));
    ASSERT_EQ(tool_->readLine(kPatience), "OK");
    EXPECT_EQ(slurp(kPidPath), std::to_string(tool_->pid()));
    ++toolRuns_;
  }

  void stopTool() {
    // The pid file's path is fixed for the whole machine: a run outside this test that stops "the"
    // proactive tool reaches ours too. Tell that apart from a fault of our own.
    ASSERT_FALSE(processGone(tool_->pid()))
        << "ventwarden " << tool_->pid() << " ended before its stop: something outside this test "
        << "signalled the pid in " << kPidPath;
    allowStop();
    // Somewhere in its cycle or its sleep.
    std::this_thread::sleep_for(std::chrono::microseconds(pick(40000)));
    const int sig = chance(0.5) ? SIGTERM : SIGINT;
    const int toolPid = tool_->pid();
    ASSERT_TRUE(tool_->signal(sig));
    const ToolRun run = tool_->wait();
    tool_.reset();
    EXPECT_EQ(run.termSignal, 0) << "signal " << sig;
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(fs::exists(fs::symlink_status(kPidPath)))
        << "pid file left behind, holding \"" << slurp(kPidPath) << "\" (the tool was " << toolPid
        << ")";
    for (const auto& fan : device().snapshot().fans) {
      EXPECT_FALSE(fan.forced) << "fan " << fan.index << " left forced after signal " << sig;
      EXPECT_EQ(fan.mode, 0) << "fan " << fan.index;
    }
  }

  bool toolRunning() const { return tool_.has_value(); }

  // ---- The application ----

  void launch() {
    app::FakeDefaults kept;
    if (fakes_) {
      kept = fakes_->defaults;
      delegate_->applicationWillTerminate();
      delegate_.reset();
    }
    io_ = std::make_unique<sim::DeviceIOService>(path_);
    fakes_ = std::make_unique<app::FakePlatform>(*io_);
    fakes_->defaults = kept;
    // One-shot runs with administrator rights are refused, as when the user cancels the prompt:
    // an answer of "OK" from a stand-in that wrote nothing would make the application believe in
    // fans handed back that the SMC refused. Proactive starts are accepted; this test runs the
    // real tool itself.
    fakes_->scripts.onRun = [this](const app::AdminScript& script) {
      const bool proactive = script.shellCommand.find(" proactive") != std::string::npos;
      fakes_->scripts.result = proactive ? app::ScriptResult{true, std::string("OK")}
                                         : app::ScriptResult{false, std::nullopt};
    };
    delegate_ = std::make_shared<app::AppDelegate>(fakes_->environment());
    delegate_->applicationDidFinishLaunching();
    ASSERT_TRUE(delegate_->menu()) << "launch failed";
    ++launches_;
    check("launch");
  }

  void refresh() {
    fakes_->timers.fireAll();
    ++refreshes_;
    check("refresh");
  }

  void act() {
    constexpr std::array kActions{app::MenuAction::toggleUnit, app::MenuAction::setFansMax,
                                  app::MenuAction::setFansAuto, app::MenuAction::setFansProactive};
    delegate_->perform(choose(kActions));
    ++actions_;
    check("action");
  }

  // An Auto that reached only some fans (another fan's key unreadable at that moment) counts as
  // done, so the application no longer holds the rest as forced; on a clean SMC the user's Full
  // Speed then Auto hands every fan back.
  void handBackPartlyReleasedFans() {
    bool anyForced = false;
    for (const auto& fan : device().snapshot().fans) {
      anyForced = anyForced || fan.forced;
    }
    if (delegate_->fansForced() || !anyForced) {
      return;  // termination's own business
    }
    delegate_->perform(app::MenuAction::setFansMax);
    delegate_->perform(app::MenuAction::setFansAuto);
    check("action");
    for (const auto& fan : device().snapshot().fans) {
      EXPECT_FALSE(fan.forced) << "fan " << fan.index << " still forced after Auto on a clean SMC";
    }
  }
  void terminate() {
    delegate_->applicationWillTerminate();
    delegate_.reset();
  }

  void check(const char* what) {
    if (failed_) {
      return;
    }
    const app::FakeStatusItem* item = fakes_->statusBar.last;
    ASSERT_TRUE(item);
    Expectations want{delegate_->useFahrenheit(), delegate_->fanMode(),
                      delegate_->fanCount() > 0 ? delegate_->fanCount() : 4};
    std::string problem;
    if (item->shownMenu != *delegate_->menu()) {
      problem = "the status item does not show the delegate's menu";
    } else {
      problem = checkRefresh(item->shownMenu, *item, want);
    }
    if (!problem.empty()) {
      failed_ = true;
      ADD_FAILURE() << what << " " << refreshes_ << ": " << problem << "\nmenu:\n"
                    << describe(item->shownMenu);
    }
  }

  bool failed() const { return failed_ || ::testing::Test::HasFailure(); }
  long long refreshes() const { return refreshes_; }
  int toolRuns() const { return toolRuns_; }
  int launches() const { return launches_; }
  long long actions() const { return actions_; }

 private:
  std::string path_;
  std::mt19937_64 rng_;
  int fans_;
  std::vector<std::string> catalogue_;
  std::vector<std::string> fanKeys_;
  std::optional<sim::Device> device_;
  std::optional<ToolProcess> tool_;
  std::unique_ptr<sim::DeviceIOService> io_;
  std::unique_ptr<app::FakePlatform> fakes_;
  std::shared_ptr<app::AppDelegate> delegate_;
  long long refreshes_ = 0;
  long long actions_ = 0;
  int toolRuns_ = 0;
  int launches_ = 0;
  bool failed_ = false;
};

class SoakTest : public PidFileFixture<::testing::TestWithParam<const char*>> {};

TEST_P(SoakTest, RefreshStaysWellFormedWhileFaultsChangeAndTheToolComesAndGoes) {
  const std::string path = dir.file("smc.dev");
  ASSERT_TRUE(sim::createDevice(path, sim::ProfileSource::builtin(GetParam()),
                                {.writers = sim::testing::suiteWriters()}));
  const auto seed = static_cast<std::uint64_t>(
      envNumber("QUILL_SOAK_SEED").value_or(static_cast<long long>(std::random_device{}())));
  const auto seconds = envNumber("QUILL_SOAK_SECONDS");
  const long long refreshLimit = envNumber("QUILL_SOAK_REFRESHES").value_or(3000);
  SCOPED_TRACE("QUILL_SOAK_SEED=" + std::to_string(seed));

  int fans = 0;
  {
    auto d = sim::Device::open(path);
    ASSERT_TRUE(d);
    fans = static_cast<int>(d->snapshot().fans.size());
  }
  Soak soak(path, seed, fans);
  const auto start = Clock::now();
  auto more = [&] {
    if (seconds) {
      return Clock::now() - start < std::chrono::seconds(*seconds);
    }
    return soak.refreshes() < refreshLimit;
  };

  soak.launch();
  while (more() && !soak.failed()) {
    soak.changeFaults();
    if (soak.toolRunning() ? soak.chance(0.3) : soak.chance(0.5)) {
      if (soak.toolRunning()) {
        soak.stopTool();
      } else {
        soak.startTool();
      }
    }
    if (soak.chance(0.04)) {
      soak.launch();  // with whatever faults are on: the fan count may not be readable now
    }
    const int refreshes = 5 + soak.pick(40);
    for (int r = 0; r < refreshes && !soak.failed(); ++r) {
      soak.refresh();
      if (!soak.toolRunning() && soak.chance(0.05)) {
        soak.act();  // the application's own fan modes, while the tool is not driving
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(soak.pick(5000)));
  }
  if (soak.toolRunning()) {
    soak.stopTool();
  }

  // A clean SMC at the end: termination hands back whatever the application itself still holds
  // as forced.
  ASSERT_TRUE(soak.device().clearFaults());
  soak.handBackPartlyReleasedFans();
  soak.terminate();
  for (const auto& fan : soak.device().snapshot().fans) {
    EXPECT_FALSE(fan.forced) << "fan " << fan.index << " left forced at termination";
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(kPidPath)));

  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf(
      "soak %s: %lld refreshes, %lld actions, %d launches, %d tool runs in %.1f s (seed %llu)\n",
      GetParam(), soak.refreshes(), soak.actions(), soak.launches(), soak.toolRuns(), elapsed,
      static_cast<unsigned long long>(seed));
}

// Two two-fan laptops: one with fixed-point temperatures and spinning fans, one with "flt " values
// throughout and fans that stand still when cool.
INSTANTIATE_TEST_SUITE_P(Machines, SoakTest,
                         ::testing::Values("macbookpro16-1", "m2max-macbookpro16"),
                         [](const auto& machine) {
                           std::string name = machine.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
