// Where the application's bundle is: found from the executable's own path.
#pragma once

#include <filesystem>
#include <string>

#include "app/platform.h"

namespace app {

// The bundle the executable runs from: for .../Quillomatics.app/Contents/MacOS/Quillomatics the
// path .../Quillomatics.app; for an executable outside such a layout its own directory; empty when
// the executable cannot be told (no /proc, or a path too long to read whole).
class ExecutableBundle final : public Bundle {
 public:
  std::string bundlePath() override;
  // The same rule for a given executable path.
  static std::string bundlePathFor(const std::filesystem::path& executable);
};

}  // namespace app
