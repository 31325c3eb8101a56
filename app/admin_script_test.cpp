// The administrator command lines: exact texts, and what a shell and AppleScript make of them.
#include "app/admin_script.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace app {

namespace {

TEST(AdminScript, PlainBundlePath) {
  const AdminScript max = *oneShotScript("/Applications/Quillomatics.app", "max");
  EXPECT_EQ(max.shellCommand, "'/Applications/Quillomatics.app/Contents/MacOS/ventwarden' max");
  EXPECT_EQ(max.appleScriptSource,
            "do shell script \"'/Applications/Quillomatics.app/Contents/MacOS/ventwarden' max\" "
            "with administrator privileges");
  const AdminScript proactive = *proactiveScript("/Applications/Quillomatics.app");
  EXPECT_EQ(proactive.appleScriptSource,
            "do shell script \"'/Applications/Quillomatics.app/Contents/MacOS/ventwarden' "
            "proactive >/dev/null 2>&1 &\" with administrator privileges");
}

TEST(AdminScript, PathCharactersAreQuotedForTheShellAndEscapedForAppleScript) {
  const AdminScript quote = *oneShotScript("/Applications/Lab's Tools/Quillomatics.app", "auto");
  EXPECT_EQ(quote.shellCommand,
            "'/Applications/Lab'\\''s Tools/Quillomatics.app/Contents/MacOS/ventwarden' auto");
  EXPECT_EQ(quote.appleScriptSource,
            "do shell script \"'/Applications/Lab'\\\\''s Tools/Quillomatics.app/Contents/MacOS/"
            "ventwarden' auto\" with administrator privileges");

  const AdminScript dquote = *oneShotScript("/A\" & (do shell script \"id\") & \"", "max");
  EXPECT_EQ(dquote.shellCommand,
            "'/A\" & (do shell script \"id\") & \"/Contents/MacOS/ventwarden' max");
  EXPECT_EQ(dquote.appleScriptSource,
            "do shell script \"'/A\\\" & (do shell script \\\"id\\\") & \\\"/Contents/MacOS/"
            "ventwarden' max\" with administrator privileges");

  EXPECT_EQ(oneShotScript("/A\\B", "max")->appleScriptSource,
            "do shell script \"'/A\\\\B/Contents/MacOS/ventwarden' max\" with administrator "
            "privileges");
  EXPECT_EQ(oneShotScript("/A$HOME`id`", "max")->shellCommand,
            "'/A$HOME`id`/Contents/MacOS/ventwarden' max");
  const AdminScript newline = *oneShotScript("/A\nB\tC\r", "max");
  EXPECT_EQ(newline.shellCommand, "'/A\nB\tC\r/Contents/MacOS/ventwarden' max");
  EXPECT_EQ(newline.appleScriptSource,
            "do shell script \"'/A\\nB\\tC\\r/Contents/MacOS/ventwarden' max\" with "
            "administrator privileges");
}

// Reads an AppleScript string literal back: the text between the first double quote and the
// first unescaped one after it.
std::string appleScriptLiteral(std::string_view source) {
  std::string out;
  std::size_t i = source.find('"') + 1;
  for (; i < source.size() && source[i] != '"'; ++i) {
    if (source[i] == '\\' && i + 1 < source.size()) {
      const char next = source[++i];
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
    } else {
      out += source[i];
    }
  }
  EXPECT_EQ(source.substr(i), "\" with administrator privileges");
  return out;
}

TEST(AdminScript, ShellRunsTheToolWhateverTheBundlePathHolds) {
  const std::filesystem::path base =
      std::filesystem::temp_directory_path() / ("quill-script-" + std::to_string(getpid()));
  const std::vector<std::string> names = {
      "Plain.app",    "Lab's Tools.app", "a\"b.app",      "back\\slash.app",
      "$HOME.app",    "`id`.app",        "new\nline.app", "semi;colon & $(true).app",
      "'quoted'.app", "\\'.app"};
  for (const std::string& name : names) {
    const std::filesystem::path bundle = base / name;
    const std::filesystem::path bin = bundle / "Contents" / "MacOS";
    std::filesystem::create_directories(bin);
    {
      std::ofstream tool(bin / "ventwarden");
      tool << "#!/bin/sh\necho \"OK $1\"\n";
    }
    std::filesystem::permissions(bin / "ventwarden", std::filesystem::perms::owner_all);

    const AdminScript script = *oneShotScript(bundle.string(), "max");
    EXPECT_EQ(appleScriptLiteral(script.appleScriptSource), script.shellCommand) << name;

    const std::string run = "/bin/sh -c \"$QUILL_CMD\"";
    setenv("QUILL_CMD", script.shellCommand.c_str(), 1);
    FILE* pipe = popen(run.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[256] = {};
    const std::size_t n = fread(buffer, 1, sizeof buffer - 1, pipe);
    const int status = pclose(pipe);
    EXPECT_EQ(std::string(buffer, n), "OK max\n") << name;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name;
  }
  unsetenv("QUILL_CMD");
  std::filesystem::remove_all(base);
}

TEST(PidFileContent, ParsesOnlyPositiveThirtyTwoBitIds) {
  EXPECT_EQ(parsePidFile("4711"), 4711);
  EXPECT_EQ(parsePidFile("\n 4711 \n"), 4711);
  EXPECT_EQ(parsePidFile("+4711"), 4711);
  EXPECT_EQ(parsePidFile("2147483647"), 2147483647);
  EXPECT_EQ(parsePidFile("0004711"), 4711);
  EXPECT_EQ(parsePidFile("\u00A04711\u3000"), 4711);
  for (std::string_view bad :
       {"", " ", "+", "-", "4711x", "x4711", "47 11", "0", "+0", "-0", "-1", "-2147483648",
        "2147483648", "99999999999999999999", "4711.0", "0x10", "\xC3", "\xFF\xFE"}) {
    EXPECT_EQ(parsePidFile(bad), std::nullopt) << bad;
  }
}

}  // namespace

}  // namespace app
