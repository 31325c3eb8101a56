// The user defaults of a run that was given its unit on the command line: the temperature unit
// reads as chosen, every other key as the shell's defaults hold it, and nothing is written, so
// that a script asking for Fahrenheit once (or toggling the unit) leaves the persisted setting
// as the user left it.
#pragma once

#include "app/app_delegate.h"
#include "app/platform.h"

namespace app {

class OneRunUnitDefaults final : public UserDefaults {
 public:
  OneRunUnitDefaults(UserDefaults& persisted, bool useFahrenheit)
      : persisted_(persisted), useFahrenheit_(useFahrenheit) {}

  bool boolForKey(std::string_view key) override {
    return key == kUseFahrenheitKey ? useFahrenheit_ : persisted_.boolForKey(key);
  }
  void setBool(bool, std::string_view) override {}

 private:
  UserDefaults& persisted_;
  bool useFahrenheit_;
};

}  // namespace app
