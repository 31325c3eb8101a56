// The headless options and how they combine.
#include "app/headless/headless_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace app {

namespace {

void complain(std::string_view what, std::string_view arg) {
  std::fprintf(stderr, "%.*s%.*s\n", static_cast<int>(what.size()), what.data(),
               static_cast<int>(arg.size()), arg.data());
}

std::optional<double> seconds(const char* text) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(value) || value < kMinTextfileInterval ||
      value > kMaxTextfileInterval) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

ArgumentParse parseHeadlessArgument(int argc, char** argv, int& i, HeadlessOptions& options) {
  const std::string_view arg = argv[i];
  if (arg == "--snapshot") {
    options.snapshot = true;
    return ArgumentParse::taken;
  }
  if (arg != "--do" && arg != "--format" && arg != "--unit" && arg != "--textfile" &&
      arg != "--interval") {
    return ArgumentParse::notOurs;
  }
  if (i + 1 >= argc) {
    complain("missing value after ", arg);
    return ArgumentParse::invalid;
  }
  const std::string_view value = argv[++i];
  if (arg == "--do") {
    const auto action = menuActionNamed(value);
    if (!action || *action == MenuAction::quitApp) {
      complain("unknown action for --do: ", value);
      return ArgumentParse::invalid;
    }
    options.actions.push_back(*action);
  } else if (arg == "--format") {
    if (value != "json" && value != "prometheus") {
      complain("--format takes json or prometheus, not ", value);
      return ArgumentParse::invalid;
    }
    options.format = value == "json" ? SnapshotFormat::json : SnapshotFormat::prometheus;
  } else if (arg == "--unit") {
    if (value != "celsius" && value != "fahrenheit") {
      complain("--unit takes celsius or fahrenheit, not ", value);
      return ArgumentParse::invalid;
    }
    options.useFahrenheit = value == "fahrenheit";
  } else if (arg == "--textfile") {
    if (value.empty()) {
      complain("--textfile needs a file name", "");
      return ArgumentParse::invalid;
    }
    options.textfile = std::string(value);
  } else {
    options.interval = seconds(argv[i]);
    if (!options.interval) {
      complain("--interval takes seconds from 0.1 to 86400, not ", value);
      return ArgumentParse::invalid;
    }
  }
  return ArgumentParse::taken;
}

bool headlessOptionsAgree(const HeadlessOptions& options) {
  const char* problem = nullptr;
  if (options.snapshot && options.textfile) {
    problem = "--snapshot and --textfile are two different runs";
  } else if (!options.actions.empty() && !options.snapshot) {
    // The exporter only reads: it must never be what leaves a fan forced.
    problem = "--do needs --snapshot";
  } else if (options.format && !options.snapshot) {
    problem = "--format needs --snapshot (--textfile always writes the Prometheus format)";
  } else if (options.interval && !options.textfile) {
    problem = "--interval needs --textfile";
  }
  if (problem != nullptr) {
    std::fprintf(stderr, "%s\n", problem);
    return false;
  }
  return true;
}

bool wantsHeadlessRun(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--snapshot" || arg == "--textfile") {
      return true;
    }
  }
  return false;
}

}  // namespace app
