// Building the administrator command lines, and reading the pid file's content.
#include "app/admin_script.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "app/text_format.h"

namespace app {

std::string toolPath(std::string_view bundlePath) {
  std::string path(bundlePath);
  path += kToolInBundle;
  return path;
}

std::string quotedToolPath(std::string_view path) {
  std::string quoted;
  quoted.reserve(path.size());
  for (char c : path) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted;
}

std::string oneShotShellCommand(std::string_view toolPath, std::string_view mode) {
  std::string command = "'";
  command += quotedToolPath(toolPath);
  command += "' ";
  command += mode;
  return command;
}

std::string proactiveShellCommand(std::string_view toolPath) {
  std::string command = "'";
  command += quotedToolPath(toolPath);
  command += "' proactive >/dev/null 2>&1 &";
  return command;
}

std::vector<std::string> guardArguments(std::string_view mode, int monitorPid) {
  return {std::string(kGuardCommand), std::string(mode), std::to_string(monitorPid)};
}

std::string guardShellCommand(std::string_view toolPath, std::string_view mode, int monitorPid) {
  std::string words;
  for (const std::string& word : guardArguments(mode, monitorPid)) {
    words += words.empty() ? "" : " ";
    words += word;
  }
  return oneShotShellCommand(toolPath, words);
}

std::string appleScriptSource(std::string_view shellCommand) {
  std::string source = "do shell script \"";
  for (char c : shellCommand) {
    switch (c) {
      case '\\':
        source += "\\\\";
        break;
      case '"':
        source += "\\\"";
        break;
      case '\n':
        source += "\\n";
        break;
      case '\r':
        source += "\\r";
        break;
      case '\t':
        source += "\\t";
        break;
      default:
        source += c;
    }
  }
  source += "\" with administrator privileges";
  return source;
}

namespace {

bool absolute(std::string_view bundlePath) {
  return bundlePath.starts_with('/');
}

}  // namespace

std::optional<AdminScript> oneShotScript(std::string_view bundlePath, std::string_view mode) {
  if (!absolute(bundlePath)) {
    return std::nullopt;
  }
  std::string command = oneShotShellCommand(toolPath(bundlePath), mode);
  std::string source = appleScriptSource(command);
  return AdminScript{std::move(source), std::move(command)};
}

std::optional<AdminScript> proactiveScript(std::string_view bundlePath) {
  if (!absolute(bundlePath)) {
    return std::nullopt;
  }
  std::string command = proactiveShellCommand(toolPath(bundlePath));
  std::string source = appleScriptSource(command);
  return AdminScript{std::move(source), std::move(command)};
}

std::string stopToolShellCommand(std::string_view toolPath, int pid) {
  // A tool that died without removing its file leaves a stale id behind, which the system may
  // have given to another process since: the tool's own stop signals only an instance of
  // itself, pinned while it looks.
  return oneShotShellCommand(toolPath, "stop " + std::to_string(pid));
}

std::optional<AdminScript> stopToolScript(std::string_view bundlePath, int pid) {
  if (!absolute(bundlePath)) {
    return std::nullopt;
  }
  std::string command = stopToolShellCommand(toolPath(bundlePath), pid);
  std::string source = appleScriptSource(command);
  return AdminScript{std::move(source), std::move(command)};
}

std::string stopThenShellCommand(std::string_view toolPath, int pid, std::string_view command) {
  // A tool that is still running is still driving the fans: whatever was to follow its stop
  // (auto, or a second tool) does not run, and the whole command fails.
  std::string combined = stopToolShellCommand(toolPath, pid);
  combined += " >/dev/null || exit 1; ";
  combined += command;
  return combined;
}

std::optional<AdminScript> stopThenOneShotScript(std::string_view bundlePath, int pid,
                                                 std::string_view mode) {
  if (!absolute(bundlePath)) {
    return std::nullopt;
  }
  const std::string tool = toolPath(bundlePath);
  std::string command = stopThenShellCommand(tool, pid, oneShotShellCommand(tool, mode));
  std::string source = appleScriptSource(command);
  return AdminScript{std::move(source), std::move(command)};
}

std::optional<AdminScript> stopThenProactiveScript(std::string_view bundlePath, int pid) {
  if (!absolute(bundlePath)) {
    return std::nullopt;
  }
  const std::string tool = toolPath(bundlePath);
  std::string command = stopThenShellCommand(tool, pid, proactiveShellCommand(tool));
  std::string source = appleScriptSource(command);
  return AdminScript{std::move(source), std::move(command)};
}

std::optional<AdminScript> guardScript(std::string_view bundlePath, std::string_view mode,
                                       int monitorPid) {
  if (!absolute(bundlePath)) {
    return std::nullopt;
  }
  std::string command = guardShellCommand(toolPath(bundlePath), mode, monitorPid);
  std::string source = appleScriptSource(command);
  return AdminScript{std::move(source), std::move(command)};
}

std::optional<AdminScript> stopThenGuardScript(std::string_view bundlePath, int pid,
                                               std::string_view mode, int monitorPid) {
  if (!absolute(bundlePath)) {
    return std::nullopt;
  }
  const std::string tool = toolPath(bundlePath);
  std::string command = stopThenShellCommand(tool, pid, guardShellCommand(tool, mode, monitorPid));
  std::string source = appleScriptSource(command);
  return AdminScript{std::move(source), std::move(command)};
}

namespace {

// The white space and line ends a trim removes: ASCII space, tab, line feed, vertical tab, form
// feed, carriage return, next line, and the Unicode space and line separators in UTF-8.
std::size_t spaceLengthAt(std::string_view s, std::size_t i, bool backwards) {
  static constexpr std::string_view kMultiByte[] = {
      "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81",
      "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86",
      "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8",
      "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};
  const char c = backwards ? s[i - 1] : s[i];
  if (c == ' ' || (c >= '\t' && c <= '\r')) {
    return 1;
  }
  for (std::string_view seq : kMultiByte) {
    if (backwards ? s.substr(0, i).ends_with(seq) : s.substr(i).starts_with(seq)) {
      return seq.size();
    }
  }
  return 0;
}

std::string_view trimmed(std::string_view s) {
  std::size_t begin = 0;
  while (begin < s.size()) {
    const std::size_t n = spaceLengthAt(s, begin, false);
    if (n == 0) {
      break;
    }
    begin += n;
  }
  std::size_t end = s.size();
  while (end > begin) {
    const std::size_t n = spaceLengthAt(s, end, true);
    if (n == 0) {
      break;
    }
    end -= n;
  }
  return s.substr(begin, end - begin);
}

}  // namespace

std::optional<int> parsePidFile(std::string_view content) {
  if (!isValidUtf8(content)) {
    return std::nullopt;
  }
  std::string_view text = trimmed(content);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) {
    return std::nullopt;
  }
  for (char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
  }
  std::int64_t value = 0;
  for (char c : text) {
    value = value * 10 + (c - '0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
      return std::nullopt;
    }
  }
  if (negative) {
    value = -value;
  }
  if (value > std::numeric_limits<std::int32_t>::max() || value <= 0) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

}  // namespace app
