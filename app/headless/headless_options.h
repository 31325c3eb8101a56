// The command line both shells share for their runs without a screen:
//   --snapshot [--do ACTION]... [--format json|prometheus] [--unit celsius|fahrenheit]
//   --textfile PATH [--interval SECONDS] [--unit ...]
// A shell adds options of its own around these (the Linux shell's --admin-socket).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/menu_model.h"

namespace app {

enum class SnapshotFormat { json, prometheus };

struct HeadlessOptions {
  bool snapshot = false;
  std::vector<MenuAction> actions;
  std::optional<SnapshotFormat> format;
  // The unit for this run only; none keeps the persisted setting.
  std::optional<bool> useFahrenheit;
  std::optional<std::string> textfile;
  std::optional<double> interval;

  bool headless() const { return snapshot || textfile.has_value(); }
  double textfileInterval() const { return interval.value_or(3.0); }
};

// The shortest and longest interval --interval takes, in seconds.
inline constexpr double kMinTextfileInterval = 0.1;
inline constexpr double kMaxTextfileInterval = 86400.0;

enum class ArgumentParse { taken, notOurs, invalid };

// Reads argv[i] (and its value, moving `i` past it) into `options` when it is one of these
// options. An invalid one is said on standard error.
ArgumentParse parseHeadlessArgument(int argc, char** argv, int& i, HeadlessOptions& options);

// Whether the options go together (--do needs --snapshot, --textfile takes no action, ...);
// what does not is said on standard error.
bool headlessOptionsAgree(const HeadlessOptions& options);

// Whether the command line asks for a run without a screen: a shell with a screen of its own (the
// Mac's) looks before it starts one, and leaves every other argument to its platform.
bool wantsHeadlessRun(int argc, char** argv);

}  // namespace app
