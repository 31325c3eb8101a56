// A small POSIX shell word splitter and an AppleScript string literal reader, written to check
// the administrator command lines: they accept exactly the forms those lines may take and
// report everything else (expansions, globs, comments, unterminated quotes) as unsafe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shell_words {

struct Token {
  enum class Kind { word, op, ioNumber };
  Kind kind = Kind::word;
  std::string text;  // a word after quote removal; an operator or io number as written

  static Token word(std::string_view t) { return {Kind::word, std::string(t)}; }
  static Token op(std::string_view t) { return {Kind::op, std::string(t)}; }
  static Token ioNumber(std::string_view t) { return {Kind::ioNumber, std::string(t)}; }
  bool operator==(const Token&) const = default;
};

// The tokens of one command line. None when the line has an unterminated quote, a trailing
// backslash, or anything the shell would expand or treat specially in a word: $ or ` outside
// single quotes, unquoted * ? [, a ~ or # starting an unquoted word, or a line break.
std::optional<std::vector<Token>> split(std::string_view line);

// The text of `do shell script "..." with administrator privileges` between the quotes, with the
// escapes \\ \" \n \r \t undone. None when the source is not exactly that form: the literal ends
// anywhere else, or holds another escape or a raw line break.
std::optional<std::string> appleScriptShellCommand(std::string_view source);

}  // namespace shell_words
