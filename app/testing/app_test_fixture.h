// The fixture of the application core's tests: AppDelegate on the in-process simulated SMC and
// fakes of the platform services, with the tool's part played by the fakes. The delegate's tests
// and the tests of the menu rows it shows share it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/admin_script.h"
#include "app/app_delegate.h"
#include "app/testing/fake_platform.h"
#include "smc/testing/fake_smc.h"

namespace app {

class AppTest : public ::testing::Test {
 protected:
  static void addUi8(smc::FakeSMC& smc, std::string_view key, std::uint8_t value) {
    smc.addKey(key, "ui8 ", 1, {value});
  }

  // A fan with its five keys; speeds as "flt ".
  static void addFan(smc::FakeSMC& smc, int index, float actual, float min, float max) {
    smc.addFlt(smc::fanKey(index, "Ac"), actual);
    smc.addFlt(smc::fanKey(index, "Mn"), min);
    smc.addFlt(smc::fanKey(index, "Mx"), max);
    smc.addFlt(smc::fanKey(index, "Tg"), min);
    addUi8(smc, smc::fanKey(index, "Md"), 0);
  }

  // The tool's part, however the application runs it: a guard that the result lets succeed
  // forces every fan (as the privileged tool, whatever the SMC lets the application write),
  // records itself in the pid file and runs until signal 15 reaches it.
  void SetUp() override {
    platform.scripts.onRun = [this](const AdminScript& script) {
      if (script.shellCommand.find(" guard ") != std::string::npos) {
        playGuard(platform.scripts.result);
      }
    };
    platform.processes.onToolRun = [this](const std::vector<std::string>& args) {
      if (!args.empty() && args[0] == "guard") {
        playGuard(platform.processes.toolResult);
      }
    };
  }
  void playGuard(const ScriptResult& result) {
    if (!result.succeeded || !replySucceeded(result.stringValue.value_or(""))) {
      return;
    }
    const int pid = 7000 + static_cast<int>(++guards);
    platform.processes.files[std::string(kProactivePidFile)] = std::to_string(pid);
    platform.processes.runningTools.insert(pid);
    for (const char* mode : {"F0Md", "F1Md"}) {
      if (smc.hasKey(mode) && !smc.key(mode).refuseWrites) {
        smc.key(mode).bytes = {1};
      }
    }
  }
  AppDelegate& make() {
    delegate = std::make_shared<AppDelegate>(platform.environment());
    return *delegate;
  }
  AppDelegate& launch() {
    make().applicationDidFinishLaunching();
    return *delegate;
  }
  FakeStatusItem& item() { return *platform.statusBar.last; }
  const MenuModel& shown() { return item().shownMenu; }
  // The shown menu's plain titles, "---" for a separator.
  std::vector<std::string> titles() {
    std::vector<std::string> out;
    for (const auto& i : shown().items) {
      out.push_back(i.isSeparator ? "---" : i.title);
    }
    return out;
  }
  const MenuItem& itemTitled(std::string_view title) {
    const auto& items = shown().items;
    auto it = std::find_if(items.begin(), items.end(),
                           [&](const MenuItem& i) { return i.title == title; });
    EXPECT_NE(it, items.end()) << title;
    return *it;
  }
  void addTwoFans() {
    addUi8(smc, "FNum", 2);
    addFan(smc, 0, 1200.4f, 1200.0f, 6000.0f);
    addFan(smc, 1, 1850.0f, 1300.0f, 5800.0f);
    smc.addKey("FS! ", "ui16", 2, {0, 0});
  }
  std::vector<std::string> names(const std::vector<TempReading>& readings) {
    std::vector<std::string> out;
    for (const auto& r : readings) {
      out.push_back(r.name);
    }
    return out;
  }

  smc::FakeSMC smc;
  FakePlatform platform{smc};
  std::shared_ptr<AppDelegate> delegate;
  std::size_t guards = 0;
};

}  // namespace app
