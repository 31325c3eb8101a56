// What smc-sim's commands share: their arguments, how they report a mistake or a failure, and
// the table of commands that main() dispatches on and the help prints.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_device.h"

namespace sim::cli {

// A command's arguments: its options (a flag maps to "") and its positionals, in order.
struct Args {
  std::map<std::string, std::string> options;
  std::vector<std::string> positional;
  std::string error;  // a word the command does not take, or an option without its value
};

// Splits `argv` into options and positionals. `flags` and `valued` are space-separated lists of
// the options the command takes without and with a value.
Args parseArgs(const std::vector<std::string>& argv, std::string_view flags,
               std::string_view valued);

// A mistake in the command line: the message and a pointer to the command's help; exit code 2.
int usageError(const std::string& command, const std::string& what);
// A command that could not be carried out; exit code 1.
int failure(const std::string& what);
// 0 for success, else the failure reported as above.
int reported(const Status& st);
// An IOReturn as the SMC's callers print it: 0xE00002C0.
std::string hexCode(smc::IOReturn r);
// The whole of `s` as a number, or none.
std::optional<double> number(const std::string& s);

// The DEVICE at positional `index`, else the device our programs use.
std::string deviceArg(const Args& a, std::size_t index = 0);
// The device at `path`; none, with the failure reported into `status`, when it does not open.
std::optional<Device> openOrReport(const std::string& path, int& status);

// One command: its name, its line in the overview (none for a command that shares another's
// line), its options, its help and what carries it out.
struct Command {
  std::string_view name;
  const char* summary;
  std::string_view flags;   // space-separated, as parseArgs takes them
  std::string_view valued;  // the same, for options that take a value
  const char* help;
  int (*run)(const Args&);
};

// Every command, in the order the overview lists them.
std::span<const Command> commands();

int cmdProfiles(const Args& a);
int cmdCreate(const Args& a);
int cmdShow(const Args& a);
int cmdRead(const Args& a);
int cmdWrite(const Args& a);
int cmdLoad(const Args& a);
int cmdFault(const Args& a);
int cmdFreeze(const Args& a);
int cmdThaw(const Args& a);
int cmdStep(const Args& a);
int cmdSleep(const Args& a);
int cmdRun(const Args& a);
int cmdDestroy(const Args& a);
int cmdPath(const Args& a);

}  // namespace sim::cli
