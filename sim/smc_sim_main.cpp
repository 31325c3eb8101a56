// smc-sim: creates, shows, drives and breaks simulated Macs for the monitor and the fan tool.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "sim/smc_sim_cli.h"

namespace sim::cli {
namespace {

constexpr const char* kOverviewHead = R"(smc-sim: the simulated Mac's SMC device

Usage: smc-sim COMMAND [ARGS...]      smc-sim COMMAND --help for each command

Commands:
)";

// After the list of commands.
constexpr const char* kOverviewTail = R"(
DEVICE is a device file. Where it is optional, the default is $QUILLOMATICS_SMC_DEVICE, else
quillomatics-smc.dev in a directory of your own (mode 0700): $XDG_RUNTIME_DIR, else
/run/user/<uid>, else /tmp/quillomatics-<uid> (<uid>: yours, or under sudo/pkexec the invoking
user's). 'smc-sim path' prints it.
)";

void printOverview() {
  std::cout << kOverviewHead;
  for (const Command& c : commands()) {
    if (c.summary != nullptr) {
      std::string name(c.name);
      name.resize(std::max<std::size_t>(name.size() + 1, 11), ' ');
      std::cout << "  " << name << c.summary << "\n";
    }
  }
  std::cout << kOverviewTail;
}

const Command* findCommand(const std::string& name) {
  for (const Command& c : commands()) {
    if (name == c.name) {
      return &c;
    }
  }
  return nullptr;
}

}  // namespace
}  // namespace sim::cli

int main(int argc, char** argv) {
  namespace cli = sim::cli;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    cli::printOverview();
    return args.empty() ? 2 : 0;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  const cli::Command* found = cli::findCommand(command);
  if (found == nullptr) {
    std::cerr << "smc-sim: unknown command '" << command << "'\nTry 'smc-sim --help'.\n";
    return 2;
  }
  if (std::find(args.begin(), args.end(), "--help") != args.end() ||
      std::find(args.begin(), args.end(), "-h") != args.end()) {
    std::cout << found->help;
    return 0;
  }
  const cli::Args a = cli::parseArgs(args, found->flags, found->valued);
  if (!a.error.empty()) {
    return cli::usageError(command, a.error);
  }
  return found->run(a);
}
