// Fuzzes the Linux settings file: any content reads without crashing, and changing one key
// rewrites the file so that this key reads as set and every other key reads as before.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

#include "app/linux/settings_file.h"

namespace {

// The run's scratch directory, removed when the run ends.
struct ScratchDir {
  std::filesystem::path file;
  ~ScratchDir() {
    std::error_code error;
    std::filesystem::remove_all(file.parent_path(), error);
  }
};

const std::filesystem::path& settingsPath() {
  static const ScratchDir dir{"/dev/shm/quill-settings-fuzz-" + std::to_string(getpid()) +
                              "/settings"};
  return dir.file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  std::filesystem::create_directories(settingsPath().parent_path());
  {
    std::ofstream out(settingsPath(), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
  }
  app::SettingsFileDefaults defaults(settingsPath());

  // The keys the file names (the text before each line's first '='), and the usual one.
  std::map<std::string, bool, std::less<>> before;
  before["useFahrenheit"] = false;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string_view::npos) {
      end = content.size();
    }
    const std::string_view line = content.substr(start, end - start);
    if (const std::size_t eq = line.find('='); eq != std::string_view::npos && eq > 0) {
      before[std::string(line.substr(0, eq))] = false;
    }
    start = end + 1;
  }
  for (auto& [key, value] : before) {
    value = defaults.boolForKey(key);
  }

  const std::string changed = before.rbegin()->first;
  const bool wanted = !before.rbegin()->second;
  defaults.setBool(wanted, changed);
  for (const auto& [key, value] : before) {
    const bool now = defaults.boolForKey(key);
    if (now != (key == changed ? wanted : value)) {
      std::abort();
    }
  }
  return 0;
}
