// The bundle found from the executable's path.
#include "app/linux/executable_bundle.h"

#include <gtest/gtest.h>

namespace app {

namespace {

TEST(Bundle, FoundFromTheExecutablesPlace) {
  EXPECT_EQ(ExecutableBundle::bundlePathFor("/b/Quillomatics.app/Contents/MacOS/Quillomatics"),
            "/b/Quillomatics.app");
  EXPECT_EQ(ExecutableBundle::bundlePathFor("/b/Lab's Tools/X.app/Contents/MacOS/Quillomatics"),
            "/b/Lab's Tools/X.app");
  EXPECT_EQ(ExecutableBundle::bundlePathFor("/usr/local/bin/Quillomatics"), "/usr/local/bin");
  EXPECT_EQ(ExecutableBundle::bundlePathFor("/b/Contents/MacOS/Quillomatics"), "/b/Contents/MacOS");
  EXPECT_FALSE(ExecutableBundle().bundlePath().empty());
}

}  // namespace

}  // namespace app
