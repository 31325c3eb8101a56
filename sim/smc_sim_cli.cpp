// smc-sim's argument parsing and reporting, shared by every command.
#include "sim/smc_sim_cli.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace sim::cli {
namespace {

bool listed(std::string_view list, std::string_view word) {
  while (!list.empty()) {
    const std::size_t space = list.find(' ');
    if (list.substr(0, space) == word) {
      return true;
    }
    if (space == std::string_view::npos) {
      break;
    }
    list.remove_prefix(space + 1);
  }
  return false;
}

}  // namespace

Args parseArgs(const std::vector<std::string>& argv, std::string_view flags,
               std::string_view valued) {
  Args a;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (arg.size() > 1 && arg.rfind("--", 0) == 0) {
      if (listed(flags, arg)) {
        a.options[arg] = "";
      } else if (listed(valued, arg)) {
        if (i + 1 >= argv.size()) {
          a.error = arg + " needs a value";
          return a;
        }
        a.options[arg] = argv[++i];
      } else {
        a.error = "unknown option " + arg;
        return a;
      }
    } else {
      a.positional.push_back(arg);
    }
  }
  return a;
}

int usageError(const std::string& command, const std::string& what) {
  std::cerr << "smc-sim " << command << ": " << what << "\n"
            << "Try 'smc-sim " << command << " --help'.\n";
  return 2;
}

int failure(const std::string& what) {
  std::cerr << "smc-sim: " << what << "\n";
  return 1;
}

int reported(const Status& st) {
  return st ? 0 : failure(st.error());
}

std::string hexCode(smc::IOReturn r) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(r));
  return buf;
}

std::optional<double> number(const std::string& s) {
  if (s.empty()) {
    return std::nullopt;
  }
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (*end != '\0') {
    return std::nullopt;
  }
  return v;
}

std::string deviceArg(const Args& a, std::size_t index) {
  return a.positional.size() > index ? a.positional[index] : devicePath();
}

std::optional<Device> openOrReport(const std::string& path, int& status) {
  auto device = Device::open(path);
  if (!device) {
    status = failure(device.error());
    return std::nullopt;
  }
  return std::move(*device);
}

}  // namespace sim::cli
