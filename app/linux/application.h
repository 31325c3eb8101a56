// The application object of the Linux shell: termination stops the shell's loop, and what the
// application reports goes to standard error or to the front end that shows it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform.h"

namespace app {

// terminate() asks the shell to end: it stops the loop and is remembered.
class LinuxApplication final : public Application {
 public:
  explicit LinuxApplication(std::function<void()> onTerminate = {})
      : onTerminate_(std::move(onTerminate)) {}
  void terminate() override;
  bool terminateRequested() const { return requested_; }
  // Kept until printReports(), which writes them to standard error: a full-screen front end
  // prints them after it has given the terminal back.
  void reportOnExit(std::string_view line) override;
  void printReports();
  // On standard error at once, or to `onFailure` when a front end shows it on screen instead.
  void reportFailure(std::string_view line) override;
  std::function<void(std::string_view)> onFailure;

 private:
  std::function<void()> onTerminate_;
  std::vector<std::string> reports_;
  bool requested_ = false;
};

}  // namespace app
