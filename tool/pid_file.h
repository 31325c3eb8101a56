// The proactive tool's pid file: the process id in decimal, replaced atomically, removed at stop.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* kProactivePidPath = "/tmp/quillomatics_proactive.pid";

class PidFile {
 public:
  explicit PidFile(std::string path = kProactivePidPath) : path_(std::move(path)) {}

  // Writes the digits (no sign, no line end) to a freshly and exclusively created file in the
  // same directory, then renames it onto the path, so a reader sees either the old file or the
  // whole new one, and nothing another user planted at the path or under a guessable temporary
  // name is followed or written through. False when any step fails.
  bool write(std::int32_t pid) const;
  // Unlinks the path (a symbolic link there is removed itself, not followed). Errors are ignored.
  void remove() const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The decimal digits of a process id.
std::string pidText(std::int32_t pid);
