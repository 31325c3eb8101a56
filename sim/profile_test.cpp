// Profiles and dumps: what parses, and that every mistake names the file, the line and the fault.
#include "sim/profile.h"

#include <gtest/gtest.h>

namespace {

std::string errorOf(std::string_view text) {
  const auto p = sim::parseProfile(text, "test.profile");
  EXPECT_FALSE(p);
  return p ? std::string() : p.error();
}

TEST(Profile, ABareDumpIsAKeyTable) {
  const auto p = sim::parseProfile(
      "# comment\n#KEY|ui32|4|80|00000002\nFS! |ui16|2|C0|0003\n\nAC-D|ui8 |1|50|-|NOT_READABLE\n",
      "dump.txt");
  ASSERT_TRUE(p) << p.error();
  ASSERT_EQ(p->keys.size(), 3u);
  // Sorted by code; "#KEY" is a key, not a comment.
  EXPECT_EQ(p->keys[0].text, "#KEY");
  EXPECT_EQ(p->keys[1].text, "AC-D");
  EXPECT_FALSE(p->keys[1].readable);
  EXPECT_EQ(p->keys[1].bytes, std::vector<std::uint8_t>{0});
  EXPECT_EQ(p->keys[2].code, 0x46532120u);
  EXPECT_EQ(p->keys[2].bytes, (std::vector<std::uint8_t>{0x00, 0x03}));
  EXPECT_EQ(p->keys[2].attributes, 0xC0);
}

TEST(Profile, SectionsDescribeTheMachine) {
  const auto p = sim::parseProfile(R"([machine]
name = Test,1
description = a test machine
ambient = 20
[sources]
# name and settings
cpu idle=50 rise=40 cooling=0.5 tau=3 load=0.25
[temps]
TC0P cpu -1.5
[fans]
0 low=40 high=80 stop=yes
[keys]
TC0P|sp78|2|C0|3200
F10Ac|flt |4|85|00000000
)",
                                   "t.profile");
  ASSERT_TRUE(p) << p.error();
  EXPECT_EQ(p->name, "Test,1");
  EXPECT_EQ(p->ambientC, 20);
  ASSERT_EQ(p->sources.size(), 1u);
  EXPECT_EQ(p->sources[0].load, 0.25);
  ASSERT_EQ(p->temps.size(), 1u);
  EXPECT_TRUE(p->temps[0].hasOffset);
  EXPECT_EQ(p->temps[0].offsetC, -1.5);
  ASSERT_EQ(p->fans.size(), 1u);
  EXPECT_TRUE(p->fans[0].stopWhenCool);
  EXPECT_EQ(p->keys.back().text, "TC0P");
  EXPECT_EQ(p->keys.front().text, "F10Ac");  // its code is that of "10Ac"
}

TEST(Profile, MistakesNameTheFileTheLineAndTheFault) {
  EXPECT_EQ(errorOf("[keys]\nFNum|ui8 |x|80|02\n"), "test.profile:2: size 'x' is not a number");
  EXPECT_EQ(errorOf("FNum|ui8 |1|80|0203\n"),
            "test.profile:1: value has 2 byte(s) but the size is 1");
  EXPECT_EQ(errorOf("FNum|ui8|1|80|02\n"),
            "test.profile:1: type 'ui8' is not four characters (keep trailing spaces: 'ui8 ')");
  EXPECT_EQ(errorOf("FNu|ui8 |1|80|02\n"), "test.profile:1: key 'FNu' is not four characters");
  EXPECT_EQ(errorOf("FNum|ui8 |1|80\n"),
            "test.profile:1: expected key|type|size|attr|hex, found 4 field(s)");
  EXPECT_EQ(errorOf("FNum|ui8 |1|8G|02\n"),
            "test.profile:1: attribute '8G' is not a hexadecimal byte");
  EXPECT_EQ(errorOf("FNum|ui8 |1|80|zz\n"),
            "test.profile:1: value 'zz' is not hexadecimal bytes or '-'");
  EXPECT_EQ(errorOf("FNum|ui8 |1|80|02\nFNum|ui8 |1|80|03\n"),
            "test.profile:2: key 'FNum' appears twice");
  EXPECT_EQ(errorOf("FNum|ui8 |200|80|-\n"),
            "test.profile:1: size 200 is above the largest key (128 bytes)");
  EXPECT_EQ(errorOf("[machine]\nname = x\n[extras]\n"),
            "test.profile:3: unknown section '[extras]' (expected [machine], [sources], [temps], "
            "[fans] or [keys])");
  EXPECT_EQ(errorOf("[sources]\ncpu idle=hot\n"), "test.profile:2: idle 'hot' is not a number");
  EXPECT_EQ(errorOf("[sources]\ncpu heat=1\n"),
            "test.profile:2: unknown heat source setting 'heat' (expected idle, rise, cooling, "
            "tau or load)");
  EXPECT_EQ(errorOf("[fans]\n0 low=80 high=40\n"),
            "test.profile:2: fan curve high must be above low");
  EXPECT_EQ(errorOf("[machine]\nname = x\n"),
            "test.profile: no keys (a profile needs a key table)");
  EXPECT_EQ(errorOf("[sources]\ncpu\n[temps]\nTC0P npu\n[keys]\nTC0P|sp78|2|C0|3200\n"),
            "test.profile: [temps] names the heat source 'npu', which [sources] does not define");
  EXPECT_EQ(errorOf("name = x\n[keys]\n"), "test.profile:1: text before the first [section]");
}

TEST(Profile, BuiltinProfilesAllParseAndAreFoundByNameOrFile) {
  ASSERT_GE(sim::builtinProfiles().size(), 5u);
  for (const auto& b : sim::builtinProfiles()) {
    const auto p = sim::parseProfile(b.text, b.file);
    EXPECT_TRUE(p) << p.error();
    EXPECT_EQ(p->name, b.name);
  }
  ASSERT_NE(sim::findBuiltinProfile("macbookpro16,1"), nullptr);
  EXPECT_EQ(sim::findBuiltinProfile("macbookpro13-3")->name, "MacBookPro13,3");
  EXPECT_EQ(sim::findBuiltinProfile("PowerBook"), nullptr);
  ASSERT_NE(sim::findBuiltinProfile(sim::kDefaultProfile), nullptr);
}

}  // namespace
