// Termination and the reports of the Linux shell's application object.
#include "app/linux/application.h"

#include <unistd.h>

#include <cstdio>

#include "base/io.h"

namespace app {

void LinuxApplication::reportOnExit(std::string_view line) {
  reports_.emplace_back(line);
}

void LinuxApplication::reportFailure(std::string_view line) {
  if (onFailure) {
    onFailure(line);
    return;
  }
  std::string text(line);
  text += '\n';
  base::writeAll(STDERR_FILENO, text);
}

void LinuxApplication::printReports() {
  for (const std::string& line : reports_) {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  std::fflush(stderr);
  reports_.clear();
}

void LinuxApplication::terminate() {
  requested_ = true;
  if (onTerminate_) {
    onTerminate_();
  }
}

}  // namespace app
