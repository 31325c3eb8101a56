// The proactive tool's pid file: the process id in decimal, replaced atomically, removed at stop.
#pragma once

#include <cstdint>
#include <string>

#include "base/pid_file_contract.h"

class PidFile {
 public:
  explicit PidFile(std::string path = std::string(kProactivePidFile)) : path_(std::move(path)) {}

  // Writes the digits (no sign, no line end) to a freshly and exclusively created file in the
  // same directory, then renames it onto the path, so a reader sees either the old file or the
  // whole new one, and nothing another user planted at the path or under a guessable temporary
  // name is followed or written through. False when any step fails.
  bool write(std::int32_t pid) const;
  // Whether the path is a regular file (not followed if a link, not waited on if a FIFO) that
  // holds exactly the digits write(pid) writes.
  bool holds(std::int32_t pid) const;
  // Unlinks the path when it still holds `pid`: a second instance that has written its own id
  // since keeps its file, and with it the way to be stopped. Errors are ignored.
  void removeIfHolds(std::int32_t pid) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
