// smc-sim as a person uses it: help everywhere, creating, reading, writing, loading, faults,
// and clear messages with a non-zero status for every mistake.
#include <gtest/gtest.h>

#include <fstream>

#include "sim/sim_device.h"
#include "sim/testing/unprivileged.h"

namespace {

using sim::testing::ExecResult;

class SmcSim : public ::testing::Test {
 protected:
  ExecResult run(std::vector<std::string> args, std::vector<std::string> env = {}) {
    args.insert(args.begin(), SMC_SIM_PATH);
    return sim::testing::execAsIs(args, env);
  }
  ExecResult runAsNobody(std::vector<std::string> args) {
    args.insert(args.begin(), SMC_SIM_PATH);
    return sim::testing::execUnprivileged(args);
  }

  // Writes through the SMC need the device's write permission: root's, or the owner's when the
  // suite runs as an ordinary account.
  static std::string writers() {
    return sim::testing::suiteWriters() == sim::Writers::root ? "root" : "owner";
  }

  sim::testing::SharedTempDir dir;
  std::string device = dir.file("mac.dev");
};

TEST_F(SmcSim, EveryCommandHasHelp) {
  const auto overview = run({"--help"});
  EXPECT_EQ(overview.status, 0);
  for (const char* command : {"profiles", "create", "show", "read", "write", "load", "fault",
                              "freeze", "thaw", "step", "sleep", "run", "destroy", "path"}) {
    EXPECT_NE(overview.out.find(std::string("  ") + command), std::string::npos) << command;
    const auto help = run({command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("Usage: smc-sim ") + command, 0), 0u) << command;
  }
  EXPECT_EQ(run({}).status, 2);
  const auto unknown = run({"explode"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown command 'explode'"), std::string::npos);
}

TEST_F(SmcSim, CreateReadWriteShowAndDestroy) {
  const auto profiles = run({"profiles"});
  EXPECT_NE(profiles.out.find("MacBookPro16,1"), std::string::npos);
  EXPECT_NE(profiles.out.find("Workstation11Fans"), std::string::npos);

  ASSERT_EQ(
      run({"create", "--frozen", "--writers", writers(), "--profile", "MacBookPro13,3", device})
          .status,
      0);
  EXPECT_EQ(run({"read", device, "F0Ac"}).out, "F0Ac|fpe2|2|90|21D4  = 2165\n");
  EXPECT_EQ(run({"write", device, "FS! ", "3"}).status, 0);
  EXPECT_EQ(run({"read", device, "FS! "}).out, "FS! |ui16|2|C0|0003  = 3\n");
  EXPECT_EQ(run({"write", device, "F0Tg", "--raw", "1F40"}).status, 0);
  EXPECT_EQ(run({"read", device, "F0Tg"}).out, "F0Tg|fpe2|2|D0|1F40  = 2000\n");
  EXPECT_EQ(run({"write", "--direct", device, "TC0P", "61.5"}).status, 0);
  EXPECT_EQ(run({"read", device, "TC0P"}).out, "TC0P|sp78|2|C0|3D80  = 61.5\n");

  const auto show = run({"show", device});
  EXPECT_EQ(show.status, 0);
  EXPECT_NE(show.out.find("MacBookPro13,3"), std::string::npos);
  EXPECT_NE(show.out.find("frozen"), std::string::npos);
  EXPECT_NE(show.out.find("FS! = 0x0003"), std::string::npos);
  EXPECT_NE(show.out.find("forced"), std::string::npos);
  const auto keys = run({"show", "--keys", device});
  EXPECT_NE(keys.out.find("AC-D |ui8 |1|50|-|unreadable"), std::string::npos);

  EXPECT_EQ(run({"load", device, "0.8"}).status, 0);
  EXPECT_EQ(run({"step", device, "20"}).status, 0);
  EXPECT_EQ(run({"load", device, "--pattern", "0.1:5,0.9:5"}).status, 0);
  EXPECT_EQ(run({"load", device, "--host"}).status, 0);
  EXPECT_EQ(run({"thaw", device}).status, 0);
  EXPECT_EQ(run({"freeze", device}).status, 0);
  EXPECT_EQ(run({"destroy", device}).status, 0);
  EXPECT_NE(run({"show", device}).err.find("no such device"), std::string::npos);
}

TEST_F(SmcSim, FaultsFromTheCommandLine) {
  ASSERT_EQ(run({"create", "--frozen", "--profile", "MacBookPro16,1", device}).status, 0);
  EXPECT_EQ(run({"fault", device, "missing", "TC0P"}).status, 0);
  EXPECT_NE(run({"read", device, "TC0P"}).err.find("unknown key 'TC0P'"), std::string::npos);
  EXPECT_EQ(run({"fault", device, "missing", "TC0P", "--off"}).status, 0);
  EXPECT_EQ(run({"read", device, "TC0P"}).status, 0);
  EXPECT_EQ(run({"fault", device, "value", "temps", "nan"}).status, 0);
  EXPECT_EQ(run({"read", device, "TC0P"}).out, "TC0P|sp78|2|C0|8000  = -128\n");
  EXPECT_EQ(run({"fault", device, "read", "all", "--every", "2"}).status, 0);
  EXPECT_EQ(run({"fault", device, "write", "F0Md"}).status, 0);
  EXPECT_NE(run({"write", device, "F0Md", "1"}).err.find("refused"), std::string::npos);
  EXPECT_EQ(run({"fault", device, "slow", "50"}).status, 0);
  const auto list = run({"fault", device, "list"});
  EXPECT_NE(list.out.find("value temps nan"), std::string::npos);
  EXPECT_NE(list.out.find("read all (one in 2)"), std::string::npos);
  EXPECT_NE(list.out.find("slow 50 us"), std::string::npos);
  EXPECT_EQ(run({"fault", device, "clear"}).status, 0);
  EXPECT_EQ(run({"fault", device, "list"}).out, "");
  EXPECT_EQ(run({"fault", device, "explode", "TC0P"}).status, 2);
  EXPECT_NE(run({"fault", device, "missing", "ZZZZ"}).err.find("unknown key 'ZZZZ'"),
            std::string::npos);
}

TEST_F(SmcSim, SleepGivesTheFansBackToTheFirmware) {
  // hex: the bytes of a key as `read` prints them.
  const auto hex = [&](const std::string& key) {
    const std::string line = run({"read", device, key}).out;
    const auto from = line.find('|', 12) + 1;
    return line.substr(from, line.find_first_of(" \n", from) - from);
  };
  // Mode keys and "flt " targets (MacBookPro16,1); the mask and "fpe2" targets (MacBookPro13,3).
  ASSERT_EQ(run({"create", "--frozen", "--profile", "MacBookPro16,1", device}).status, 0);
  for (const char* key : {"F0Md", "F1Md"}) {
    ASSERT_EQ(run({"write", "--direct", device, key, "1"}).status, 0);
  }
  ASSERT_EQ(run({"write", "--direct", device, "F1Tg", "5000"}).status, 0);
  EXPECT_EQ(run({"sleep", device}).status, 0);
  EXPECT_EQ(hex("F0Md"), "00");
  EXPECT_EQ(hex("F1Md"), "00");
  EXPECT_EQ(hex("F0Tg"), hex("F0Mn"));
  EXPECT_EQ(hex("F1Tg"), hex("F1Mn"));

  ASSERT_EQ(run({"create", "--frozen", "--replace", "--profile", "MacBookPro13,3", device}).status,
            0);
  ASSERT_EQ(run({"write", "--direct", device, "FS! ", "3"}).status, 0);
  ASSERT_EQ(run({"write", "--direct", device, "F1Tg", "--raw", "5C9C"}).status, 0);
  EXPECT_EQ(run({"sleep", device}).status, 0);
  EXPECT_EQ(hex("FS! "), "0000");
  EXPECT_EQ(hex("F1Tg"), hex("F1Mn"));
  EXPECT_EQ(run({"sleep"}).status, 2);
}

TEST_F(SmcSim, MistakesSaySoAndFail) {
  ASSERT_EQ(
      run({"create", "--frozen", "--writers", writers(), "--profile", "MacBookPro16,1", device})
          .status,
      0);
  const auto exists = run({"create", "--profile", "MacBookPro16,1", device});
  EXPECT_EQ(exists.status, 1);
  EXPECT_NE(exists.err.find("already exists"), std::string::npos);
  EXPECT_NE(run({"create", "--profile", "PowerBook", dir.file("x.dev")})
                .err.find("no profile named 'PowerBook'"),
            std::string::npos);
  EXPECT_NE(run({"read", device, "ZZZZ"}).err.find("unknown key 'ZZZZ'"), std::string::npos);
  EXPECT_NE(run({"write", device, "TC0P", "warm"}).err.find("'warm' is not a number"),
            std::string::npos);
  EXPECT_NE(run({"write", device, "F0Mx", "1"}).err.find("not writable (attributes 84"),
            std::string::npos);
  EXPECT_NE(run({"write", device, "F0Md", "--raw", "0101"}).err.find("holds 1 byte(s)"),
            std::string::npos);
  EXPECT_NE(run({"write", device, "RPlt", "3"}).err.find("use --raw"), std::string::npos);
  EXPECT_EQ(run({"load", device, "2"}).status, 1);
  EXPECT_EQ(run({"create", "--bogus", device}).status, 2);

  const std::string bad = dir.file("bad.profile");
  std::ofstream(bad) << "[machine]\nname = Bad\n[keys]\nFNum|ui8 |1|80|0202\n";
  const auto parse = run({"create", "--profile", bad, dir.file("bad.dev")});
  EXPECT_EQ(parse.status, 1);
  EXPECT_NE(parse.err.find("bad.profile:4: value has 2 byte(s) but the size is 1"),
            std::string::npos);

  if (sim::testing::droppingPrivileges()) {
    const auto refused = runAsNobody({"write", device, "F0Md", "1"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("permission refused"), std::string::npos);
    EXPECT_NE(refused.err.find("0xE00002C1"), std::string::npos);
    EXPECT_EQ(runAsNobody({"read", device, "F0Md"}).status, 0);
    EXPECT_NE(runAsNobody({"load", device, "0.5"}).err.find("permission denied"),
              std::string::npos);
  }
}

TEST_F(SmcSim, TheDeviceComesFromTheEnvironmentWhenNotGiven) {
  const std::vector<std::string> env{"QUILLOMATICS_SMC_DEVICE=" + device};
  EXPECT_EQ(run({"path"}, env).out, device + "\n");
  ASSERT_EQ(run({"create", "--profile", "Workstation11Fans"}, env).status, 0);
  const auto show = run({"show"}, env);
  EXPECT_NE(show.out.find("Workstation11Fans"), std::string::npos);
  EXPECT_NE(show.out.find("   10 "), std::string::npos);
  EXPECT_EQ(run({"destroy"}, env).status, 0);
}

}  // namespace
