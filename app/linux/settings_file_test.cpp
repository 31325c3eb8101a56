// The settings file against real files: what it reads, how it rewrites, where it lives.
#include "app/linux/settings_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

#include "app/testing/temp_dir.h"

namespace app {

namespace {

namespace fs = std::filesystem;

TEST(SettingsFile, MissingEmptyOrCorruptReadsFalse) {
  TempDir dir;
  SettingsFileDefaults defaults(dir.path() / "sub" / "settings");
  EXPECT_FALSE(defaults.boolForKey("useFahrenheit"));
  fs::create_directories(dir.path() / "sub");
  for (std::string_view content : {"", "useFahrenheit", "useFahrenheit=yes", "\x00\xFF=true",
                                   "useFahrenheit=true", "=true\n"}) {
    writeFile(defaults.file(), content);
    EXPECT_EQ(defaults.boolForKey("useFahrenheit"), content == "useFahrenheit=true") << content;
  }
  fs::remove(defaults.file());
  fs::create_directory(defaults.file());  // a directory where the file should be
  EXPECT_FALSE(defaults.boolForKey("useFahrenheit"));
}

TEST(SettingsFile, WritesAtomicallyAndKeepsOtherKeys) {
  TempDir dir;
  const fs::path file = dir.path() / "quillomatics" / "settings";
  SettingsFileDefaults defaults(file);
  defaults.setBool(true, "useFahrenheit");
  EXPECT_TRUE(SettingsFileDefaults(file).boolForKey("useFahrenheit"));
  writeFile(file, "other=true\nuseFahrenheit=true\n");
  defaults.setBool(false, "useFahrenheit");
  EXPECT_FALSE(defaults.boolForKey("useFahrenheit"));
  EXPECT_TRUE(defaults.boolForKey("other"));
  // Nothing but the settings file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator{}), 1);
}

TEST(SettingsFile, DefaultLocationFollowsXdg) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string previous = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(SettingsFileDefaults::defaultLocation(), fs::path("/cfg/quillomatics/settings"));
  setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(SettingsFileDefaults::defaultLocation().filename(), "settings");
  EXPECT_EQ(SettingsFileDefaults::defaultLocation().parent_path().parent_path().filename(),
            ".config");
  if (saved) {
    setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace

}  // namespace app
