#include "tool/pid_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tool {

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class PidFileTest : public ::testing::Test {
 protected:
  PidFileTest() {
    dir = fs::temp_directory_path() / ("pid_file_test." + std::to_string(getpid()));
    fs::create_directories(dir);
  }
  ~PidFileTest() override {
    fs::permissions(dir, fs::perms::owner_all);
    fs::remove_all(dir);
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
  }

  fs::path dir;
  fs::path path() const { return dir / "proactive.pid"; }
};

TEST(PidText, DigitsOnly) {
  EXPECT_EQ(pidText(4711), "4711");
  EXPECT_EQ(pidText(1), "1");
  EXPECT_EQ(pidText(2147483647), "2147483647");
}

TEST_F(PidFileTest, WritesExactlyTheDigitsReadableByOthersAndReplaces) {
  const PidFile file(path().string());
  const mode_t saved = umask(077);
  ASSERT_TRUE(file.write(4711));
  umask(saved);
  EXPECT_EQ(slurp(path()), "4711");
  struct stat st {};
  ASSERT_EQ(lstat(path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0644u);

  ASSERT_TRUE(file.write(98));
  EXPECT_EQ(slurp(path()), "98");
  EXPECT_EQ(entries(), 1u);  // no temporary file left behind

  file.removeIfHolds(4711);  // another instance's file since: it stays
  EXPECT_EQ(slurp(path()), "98");
  file.removeIfHolds(98);
  EXPECT_FALSE(fs::exists(path()));
  file.removeIfHolds(98);  // already gone: nothing to report
}

TEST_F(PidFileTest, PlantedSymbolicLinkIsReplacedNotFollowed) {
  const fs::path victim = dir / "victim";
  std::ofstream(victim) << "precious";
  fs::create_symlink(victim, path());
  const PidFile file(path().string());
  ASSERT_TRUE(file.write(4711));
  EXPECT_EQ(slurp(victim), "precious");
  EXPECT_FALSE(fs::is_symlink(path()));
  EXPECT_EQ(slurp(path()), "4711");

  // A link to a file holding the id is not the tool's file, and neither end is touched.
  fs::remove(path());
  std::ofstream(victim, std::ios::trunc) << "4711";
  fs::create_symlink(victim, path());
  EXPECT_FALSE(file.holds(4711));
  file.removeIfHolds(4711);
  EXPECT_TRUE(fs::is_symlink(path()));
  EXPECT_EQ(slurp(victim), "4711");
}

TEST_F(PidFileTest, FailsCleanlyWhereItCannotWrite) {
  fs::create_directory(path());  // a directory occupies the path: rename fails
  const PidFile file(path().string());
  EXPECT_FALSE(file.write(4711));
  EXPECT_EQ(entries(), 1u);
  EXPECT_FALSE(PidFile((dir / "missing" / "x.pid").string()).write(1));
}

}  // namespace

}  // namespace tool
