#include "tests/support/test_helpers.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::optional<long long> envNumber(const char* name) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') {
    return std::nullopt;
  }
  long long value = 0;
  const auto [end, ec] = std::from_chars(text, text + std::strlen(text), value);
  if (ec != std::errc() || *end != '\0') {
    return std::nullopt;
  }
  return value;
}

bool processGone(pid_t pid) {
  // The state follows the command name, which may itself hold ")": "pid (name) S ...".
  const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) {
    return true;
  }
  const char state = stat[close + 2];
  return state == 'Z' || state == 'X';
}

bool within(std::chrono::milliseconds limit, const std::function<bool()>& condition,
            std::chrono::milliseconds every) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(every);
  }
  return true;
}
