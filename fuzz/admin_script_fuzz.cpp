// Fuzzes the administrator command lines (max, auto, the proactive start, its stop, and the stop
// before a command) for any bundle path. A path that is not absolute gives no command at all; for
// the others, two properties:
//  - the shell command, split the way a POSIX shell splits it, is the tool's path as one plain
//    word followed by exactly the expected arguments and redirections: no expansion, no other
//    command, no operator of the path's making;
//  - the AppleScript source is one string literal that ends exactly before the closing
//    " with administrator privileges" and holds the shell command unchanged.
// The splitter below is written for this check; tests/admin_shell_test runs the same commands
// through the real /bin/sh to confirm it agrees with the shell.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/admin_script.h"
#include "fuzz/shell_words.h"

namespace {

using shell_words::Token;

void expectScript(const app::AdminScript& script, const std::vector<Token>& expected) {
  // What the shell receives through exec is the command up to its first NUL byte.
  const std::string_view command(script.shellCommand.c_str());
  const auto tokens = shell_words::split(command);
  if (command.size() != script.shellCommand.size()) {
    // A cut command leaves the tool's quoted word open: the shell refuses it, nothing runs.
    if (tokens) {
      std::abort();
    }
  } else if (!tokens || *tokens != expected) {
    std::abort();
  }
  const auto literal = shell_words::appleScriptShellCommand(script.appleScriptSource);
  if (!literal || *literal != script.shellCommand) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bundle(reinterpret_cast<const char*>(data), size);
  // A bundle path that is not absolute gives no script at all.
  if (!bundle.starts_with('/')) {
    if (app::oneShotScript(bundle, "max") || app::proactiveScript(bundle) ||
        app::stopToolScript(bundle, 1)) {
      std::abort();
    }
    return 0;
  }
  const std::string tool = app::toolPath(bundle);
  const Token toolWord = Token::word(tool);
  expectScript(*app::oneShotScript(bundle, "max"), {toolWord, Token::word("max")});
  expectScript(*app::oneShotScript(bundle, "auto"), {toolWord, Token::word("auto")});
  expectScript(*app::proactiveScript(bundle),
               {toolWord, Token::word("proactive"), Token::op(">"), Token::word("/dev/null"),
                Token::ioNumber("2"), Token::op(">&"), Token::word("1"), Token::op("&")});
  expectScript(*app::stopToolScript(bundle, 4711),
               {toolWord, Token::word("stop"), Token::word("4711")});
  // The stop before a command: nothing follows a stop that failed.
  const std::vector<Token> stopFirst = {toolWord,
                                        Token::word("stop"),
                                        Token::word("4711"),
                                        Token::op(">"),
                                        Token::word("/dev/null"),
                                        Token::op("||"),
                                        Token::word("exit"),
                                        Token::word("1"),
                                        Token::op(";")};
  std::vector<Token> stopThenAuto = stopFirst;
  stopThenAuto.insert(stopThenAuto.end(), {toolWord, Token::word("auto")});
  expectScript(*app::stopThenOneShotScript(bundle, 4711, "auto"), stopThenAuto);
  return 0;
}
