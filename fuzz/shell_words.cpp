// The checking splitter for shell command lines and AppleScript string literals.
#include "fuzz/shell_words.h"

namespace shell_words {
namespace {

bool isOperatorChar(char c) {
  return c == '&' || c == '|' || c == ';' || c == '<' || c == '>' || c == '(' || c == ')';
}

// The longest operator at the start of `s` (POSIX: & && ( ) ; ;; | || < > >| << >> <& >& <<- <>).
std::size_t operatorLength(std::string_view s) {
  static constexpr std::string_view kOperators[] = {"<<-", "&&", "||", ";;", ">|", "<<",
                                                    ">>",  "<&", ">&", "<>", "&",  "|",
                                                    ";",   "<",  ">",  "(",  ")"};
  for (std::string_view op : kOperators) {
    if (s.starts_with(op)) {
      return op.size();
    }
  }
  return 0;
}

}  // namespace

std::optional<std::vector<Token>> split(std::string_view line) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    if (c == '\n' || c == '#' || c == '~') {
      return std::nullopt;  // another command, a comment, a tilde expansion
    }
    if (isOperatorChar(c)) {
      const std::size_t n = operatorLength(line.substr(i));
      tokens.push_back(Token::op(line.substr(i, n)));
      i += n;
      continue;
    }
    std::string word;
    bool quoted = false;
    bool allDigits = true;
    while (i < line.size()) {
      const char d = line[i];
      if (d == ' ' || d == '\t' || d == '\n' || isOperatorChar(d)) {
        break;
      }
      if (d == '$' || d == '`' || d == '*' || d == '?' || d == '[') {
        return std::nullopt;
      }
      if (d == '\'') {
        const std::size_t close = line.find('\'', i + 1);
        if (close == std::string_view::npos) {
          return std::nullopt;
        }
        word.append(line.substr(i + 1, close - i - 1));
        i = close + 1;
        quoted = true;
        allDigits = false;
        continue;
      }
      if (d == '"') {
        ++i;
        while (i < line.size() && line[i] != '"') {
          if (line[i] == '$' || line[i] == '`') {
            return std::nullopt;
          }
          if (line[i] == '\\' && i + 1 < line.size() &&
              (line[i + 1] == '$' || line[i + 1] == '`' || line[i + 1] == '"' ||
               line[i + 1] == '\\' || line[i + 1] == '\n')) {
            if (line[i + 1] != '\n') {
              word += line[i + 1];
            }
            i += 2;
            continue;
          }
          word += line[i++];
        }
        if (i == line.size()) {
          return std::nullopt;
        }
        ++i;
        quoted = true;
        allDigits = false;
        continue;
      }
      if (d == '\\') {
        if (i + 1 == line.size()) {
          return std::nullopt;
        }
        if (line[i + 1] != '\n') {
          word += line[i + 1];
        }
        i += 2;
        quoted = true;
        allDigits = false;
        continue;
      }
      if (d < '0' || d > '9') {
        allDigits = false;
      }
      word += d;
      ++i;
    }
    const bool beforeRedirection = i < line.size() && (line[i] == '<' || line[i] == '>');
    if (!quoted && allDigits && !word.empty() && beforeRedirection) {
      tokens.push_back(Token::ioNumber(word));
    } else {
      tokens.push_back(Token::word(word));
    }
  }
  return tokens;
}

std::optional<std::string> appleScriptShellCommand(std::string_view source) {
  constexpr std::string_view kHead = "do shell script \"";
  constexpr std::string_view kTail = "\" with administrator privileges";
  if (!source.starts_with(kHead)) {
    return std::nullopt;
  }
  std::string text;
  std::size_t i = kHead.size();
  while (i < source.size()) {
    const char c = source[i];
    if (c == '"') {
      // The literal ends here: it must be the closing quote of the expected tail.
      if (source.substr(i) != kTail) {
        return std::nullopt;
      }
      return text;
    }
    if (c == '\n' || c == '\r') {
      return std::nullopt;
    }
    if (c == '\\') {
      if (i + 1 == source.size()) {
        return std::nullopt;
      }
      switch (source[i + 1]) {
        case '\\':
          text += '\\';
          break;
        case '"':
          text += '"';
          break;
        case 'n':
          text += '\n';
          break;
        case 'r':
          text += '\r';
          break;
        case 't':
          text += '\t';
          break;
        default:
          return std::nullopt;
      }
      i += 2;
      continue;
    }
    text += c;
    ++i;
  }
  return std::nullopt;
}

}  // namespace shell_words
