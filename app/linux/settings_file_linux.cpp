// The settings file: read whole and checked, rewritten atomically.
#include "app/linux/settings_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include "base/io.h"
#include "base/unique_fd.h"

namespace app {

namespace {

constexpr std::size_t kSettingsMaxBytes = 64 * 1024;

std::map<std::string, bool, std::less<>> readSettings(const std::filesystem::path& file) {
  std::map<std::string, bool, std::less<>> values;
  base::UniqueFd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat st {};
  if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return values;
  }
  std::string content;
  if (!base::readAll(fd.get(), content, kSettingsMaxBytes) || content.size() > kSettingsMaxBytes) {
    return values;
  }
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) {
      end = content.size();
    }
    const std::string_view line(content.data() + start, end - start);
    const std::size_t eq = line.find('=');
    if (eq != std::string_view::npos && eq > 0) {
      const std::string_view value = line.substr(eq + 1);
      if (value == "true" || value == "false") {
        values[std::string(line.substr(0, eq))] = value == "true";
      }
    }
    start = end + 1;
  }
  return values;
}

}  // namespace

std::filesystem::path SettingsFileDefaults::defaultLocation() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    return std::filesystem::path(xdg) / "quillomatics" / "settings";
  }
  const char* home = std::getenv("HOME");
  std::string homeDir = home != nullptr && home[0] == '/' ? home : "";
  if (homeDir.empty()) {
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
      homeDir = pw->pw_dir;
    }
  }
  if (homeDir.empty()) {
    return {};
  }
  return std::filesystem::path(homeDir) / ".config" / "quillomatics" / "settings";
}

bool SettingsFileDefaults::boolForKey(std::string_view key) {
  if (file_.empty()) {
    return false;
  }
  const auto values = readSettings(file_);
  const auto it = values.find(key);
  return it != values.end() && it->second;
}

void SettingsFileDefaults::setBool(bool value, std::string_view key) {
  if (file_.empty() || key.empty() || key.find_first_of("=\n") != std::string_view::npos) {
    return;
  }
  auto values = readSettings(file_);
  values[std::string(key)] = value;
  std::string content;
  for (const auto& [k, v] : values) {
    content += k + "=" + (v ? "true" : "false") + "\n";
  }

  std::error_code error;
  const std::filesystem::path dir = file_.parent_path();
  std::filesystem::create_directories(dir, error);
  std::string temp = (dir / (file_.filename().string() + ".XXXXXX")).string();
  base::UniqueFd fd(mkostemp(temp.data(), O_CLOEXEC));
  if (!fd) {
    return;
  }
  const bool written = base::writeAll(fd.get(), content) && fsync(fd.get()) == 0;
  fd.reset();
  if (!written || rename(temp.c_str(), file_.c_str()) != 0) {
    unlink(temp.c_str());
  }
}

}  // namespace app
