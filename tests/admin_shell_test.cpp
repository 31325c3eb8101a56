// The administrator command lines run through the real /bin/sh for hostile bundle paths: the
// tool stub in the bundle must receive exactly its own path and the mode, and nothing else may
// run (the payloads would create files in the working directory). The same commands go through
// the checking splitter the fuzz target uses, which must agree with the shell.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/admin_script.h"
#include "fuzz/shell_words.h"
#include "sim/testing/unprivileged.h"

namespace {

namespace fs = std::filesystem;
using shell_words::Token;

// Prints its arguments, $0 first, each ended by NUL, into the file named by QUILL_ARGS.
constexpr const char* kStub = "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" > \"$QUILL_ARGS\"\n";

std::vector<std::string> hostileNames() {
  std::vector<std::string> names = {"Quillomatics.app",
                                    "My Apps/Quillomatics.app",
                                    "o'brien",
                                    "'",
                                    "''",
                                    "'\\''",
                                    "a'; touch PWNED; '",
                                    "$(touch PWNED)",
                                    "`touch PWNED`",
                                    "\"; touch PWNED; \"",
                                    "x\ntouch PWNED\n",
                                    "x\rtouch PWNED",
                                    "\\",
                                    "\\'",
                                    "x\\",
                                    "*",
                                    "?",
                                    "[a]",
                                    "~",
                                    "~root",
                                    "#comment",
                                    "a#b",
                                    "x & touch PWNED &",
                                    "x | touch PWNED",
                                    "x;touch PWNED",
                                    "x > PWNED",
                                    "$HOME",
                                    "${IFS}touch${IFS}PWNED",
                                    "!",
                                    "{a,b}",
                                    "a=b",
                                    " leading",
                                    "trailing ",
                                    "\t",
                                    "-n",
                                    "--",
                                    "%s%n",
                                    "\xff\xfe",
                                    "\xc3\xa9t\xc3\xa9",
                                    "a\\\nb",
                                    "'$(touch PWNED)'",
                                    "\"$(touch PWNED)\"",
                                    "';touch PWNED;echo '",
                                    "x'\"'\"'y",
                                    "2>&1",
                                    "&&",
                                    "(x)",
                                    "<<EOF"};
  // Random names of any bytes but NUL and '/', from a fixed seed.
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> length(1, 24);
  std::uniform_int_distribution<int> byte(1, 255);
  while (names.size() < 150) {
    std::string name;
    for (int n = length(random); n > 0; --n) {
      char c = static_cast<char>(byte(random));
      name += c == '/' ? '\'' : c;
    }
    if (name != "." && name != "..") {
      names.push_back(name);
    }
  }
  return names;
}

std::vector<std::string> argsWritten(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  std::vector<std::string> args;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
    args.push_back(text.substr(start, end - start));
  }
  return args;
}

std::vector<std::string> wordsOf(const std::vector<Token>& tokens) {
  std::vector<std::string> words;
  for (const Token& t : tokens) {
    words.push_back(t.kind == Token::Kind::word ? t.text : "<" + t.text + ">");
  }
  return words;
}

class AdminShell : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(getcwd(previous, sizeof previous) != nullptr);
    ASSERT_EQ(chdir(work.path().c_str()), 0);
  }
  void TearDown() override { EXPECT_EQ(chdir(previous), 0); }

  // Runs the command with /bin/sh -c and returns what the stub received.
  std::vector<std::string> run(const std::string& command, bool background) {
    const std::string argsFile = out.file("args");
    fs::remove(argsFile);
    const auto result = sim::testing::execAsIs({"/bin/sh", "-c", command},
                                               {"QUILL_ARGS=" + argsFile, "PATH=/usr/bin:/bin"});
    EXPECT_EQ(result.status, 0) << result.err;
    for (int i = 0; background && i < 500 && argsWritten(argsFile).empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return argsWritten(argsFile);
  }

  sim::testing::SharedTempDir bundles;
  sim::testing::SharedTempDir work;  // the shell's working directory: payloads land here
  sim::testing::SharedTempDir out;
  char previous[4096] = {};
};

TEST_F(AdminShell, ToolPathIsOneWordAndNothingElseRuns) {
  const auto names = hostileNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string bundle = bundles.path() + "/" + std::to_string(i) + "/" + names[i];
    const std::string tool = app::toolPath(bundle);
    std::error_code error;
    fs::create_directories(fs::path(tool).parent_path(), error);
    ASSERT_FALSE(error) << i;
    std::ofstream(tool) << kStub;
    ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
    const std::vector<std::string> oneShot = {tool, "max"};

    const app::AdminScript max = *app::oneShotScript(bundle, "max");
    EXPECT_EQ(run(max.shellCommand, false), oneShot) << "bundle #" << i;
    const auto maxTokens = shell_words::split(max.shellCommand);
    ASSERT_TRUE(maxTokens) << "bundle #" << i;
    EXPECT_EQ(wordsOf(*maxTokens), oneShot) << "bundle #" << i;

    const app::AdminScript proactive = *app::proactiveScript(bundle);
    EXPECT_EQ(run(proactive.shellCommand, true), (std::vector<std::string>{tool, "proactive"}))
        << "bundle #" << i;
    const auto proactiveTokens = shell_words::split(proactive.shellCommand);
    ASSERT_TRUE(proactiveTokens) << "bundle #" << i;
    EXPECT_EQ(*proactiveTokens,
              (std::vector<Token>{Token::word(tool), Token::word("proactive"), Token::op(">"),
                                  Token::word("/dev/null"), Token::ioNumber("2"), Token::op(">&"),
                                  Token::word("1"), Token::op("&")}))
        << "bundle #" << i;

    EXPECT_EQ(shell_words::appleScriptShellCommand(max.appleScriptSource), max.shellCommand);
  }
  EXPECT_TRUE(fs::is_empty(work.path())) << "a payload ran";
}

TEST_F(AdminShell, NothingFollowsAStopThatFailed) {
  // A stub tool whose stop ends with $STOP_STATUS, as the tool does when the process outlives it.
  const std::string bundle = bundles.file("Quillomatics.app");
  const std::string tool = app::toolPath(bundle);
  fs::create_directories(fs::path(tool).parent_path());
  std::ofstream(tool) << "#!/bin/sh\n"
                         "if [ \"$1\" = stop ]; then echo \"ERR Can't stop process\"; exit "
                         "$STOP_STATUS; fi\n"
                         "printf '%s\\0' \"$0\" \"$@\" > \"$QUILL_ARGS\"\necho OK\n";
  ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
  const std::string argsFile = out.file("args");
  using Args = std::vector<std::string>;
  for (const bool stops : {true, false}) {
    const std::vector<std::string> env = {"QUILL_ARGS=" + argsFile, "PATH=/usr/bin:/bin",
                                          std::string("STOP_STATUS=") + (stops ? "0" : "1")};
    fs::remove(argsFile);
    const auto autoRun = sim::testing::execAsIs(
        {"/bin/sh", "-c", app::stopThenOneShotScript(bundle, 42, "auto")->shellCommand}, env);
    EXPECT_EQ(autoRun.status, stops ? 0 : 1) << stops;
    EXPECT_EQ(autoRun.out, stops ? "OK\n" : "") << stops;
    EXPECT_EQ(argsWritten(argsFile), (stops ? Args{tool, "auto"} : Args{})) << stops;

    fs::remove(argsFile);
    const auto proactiveRun = sim::testing::execAsIs(
        {"/bin/sh", "-c", app::stopThenProactiveScript(bundle, 42)->shellCommand}, env);
    EXPECT_EQ(proactiveRun.status, stops ? 0 : 1) << stops;
    for (int i = 0; i < 50 && argsWritten(argsFile).empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(argsWritten(argsFile), (stops ? Args{tool, "proactive"} : Args{})) << stops;
  }
}

TEST_F(AdminShell, SplitterRefusesWhatTheShellWouldExpandOrRunBesides) {
  for (const char* line : {"'a' $(x)", "'a' `x`", "a\"$x\"", "'a'; b", "'a'\nb", "~/x", "# x",
                           "'a' *", "'a", "\"a", "a\\"}) {
    const auto tokens = shell_words::split(line);
    if (tokens) {
      // Allowed only when an operator token shows the extra command.
      bool hasOperator = false;
      for (const Token& t : *tokens) {
        hasOperator = hasOperator || t.kind == Token::Kind::op;
      }
      EXPECT_TRUE(hasOperator) << line;
    }
  }
  EXPECT_FALSE(
      shell_words::appleScriptShellCommand("do shell script \"a\" & \"b\" with "
                                           "administrator privileges"));
  EXPECT_FALSE(
      shell_words::appleScriptShellCommand("do shell script \"a\\q\" with administrator "
                                           "privileges"));
}

}  // namespace
