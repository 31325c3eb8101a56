// The fixture of every test that runs the tool. Its pid file has one path for the whole machine:
// each test starts without one, and is skipped when another account's tool holds it (a suite run
// by an ordinary account can neither stop nor remove that tool), and leaves none behind. Each test
// also gets a fresh directory of its own that "nobody" can reach, removed with its files at the
// end.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/pid_file_contract.h"
#include "sim/testing/unprivileged.h"

inline const std::filesystem::path kPidPath{std::string(kProactivePidFile)};

template <class Base = ::testing::Test>
class PidFileFixture : public Base {
 protected:
  void SetUp() override {
    if (!sim::testing::clearPidFile(kPidPath)) {
      GTEST_SKIP() << "the machine's pid file belongs to another account's tool";
    }
  }
  ~PidFileFixture() override { sim::testing::clearPidFile(kPidPath); }

  sim::testing::SharedTempDir dir;
};
