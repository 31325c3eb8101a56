// Sets (or, given nullptr, removes) an environment variable for the rest of a scope, and puts
// back what was there: for tests of who a device or a tool acts for, which the environment decides.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace sim::testing {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) {
      old_ = old;
    }
    value != nullptr ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace sim::testing
