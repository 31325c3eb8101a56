// Small helpers of the tests that start the real programs: whole-file reads, numbers from the
// environment for longer runs on demand, and waiting for a condition or for a process to end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

// The whole file, or "" when it cannot be read.
std::string slurp(const std::filesystem::path& path);

// The environment variable as a whole decimal number; no value when unset, empty or not a number.
std::optional<long long> envNumber(const char* name);

// Whether no process has the id any more; one that has ended and waits to be reaped counts as
// gone. It reads the process's state in /proc, so only Linux tells a running process from a
// gone one.
bool processGone(pid_t pid);

// Whether `condition` holds within `limit`, looked at every `every`.
bool within(std::chrono::milliseconds limit, const std::function<bool()>& condition,
            std::chrono::milliseconds every = std::chrono::milliseconds(2));
