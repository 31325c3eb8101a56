// The temperature unit, and any other Boolean setting, kept in a small text file in the user's
// configuration directory.
#pragma once

#include <filesystem>
#include <string_view>

#include "app/platform.h"

namespace app {

// "useFahrenheit" and any other Boolean in a small text file, one "key=true|false" per line,
// rewritten atomically (temporary file in the same directory, then rename). A missing, empty or
// corrupt file reads as false.
class SettingsFileDefaults final : public UserDefaults {
 public:
  explicit SettingsFileDefaults(std::filesystem::path file) : file_(std::move(file)) {}
  // $XDG_CONFIG_HOME/quillomatics/settings, or ~/.config/quillomatics/settings.
  static std::filesystem::path defaultLocation();

  bool boolForKey(std::string_view key) override;
  void setBool(bool value, std::string_view key) override;
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

}  // namespace app
