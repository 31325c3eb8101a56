// The proactive tool's pid file, the one contract between the fan tool (its writer, as root) and
// the application (its reader, which stops the tool by it): where it is, how large a reader lets
// it be, and what it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// In /tmp so that an unprivileged application finds a tool started with administrator rights.
inline constexpr std::string_view kProactivePidFile = "/tmp/quillomatics_proactive.pid";

// A reader refuses a larger file unread: a process id takes at most eleven characters, and the
// file sits in a directory everyone may write to.
inline constexpr std::size_t kPidFileMaxBytes = 64;

// What the writer puts in the file: the decimal digits of the process id, no sign, no line end.
// A process id is positive; the digits of its magnitude are written either way. Readers accept
// a little more (white space around the digits, a sign): see parsePidFile in app/admin_script.h.
inline std::string pidText(std::int32_t pid) {
  const long long value = pid < 0 ? -static_cast<long long>(pid) : pid;
  return std::to_string(value);
}
