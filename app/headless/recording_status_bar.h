// The status item and alert of a shell without a screen: the headless snapshot and exporter of
// either platform, and front ends that draw on their own schedule.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/platform.h"

namespace app {

// A status item that keeps what it was last given, for the headless snapshot and for front ends
// that draw on their own schedule. Like an NSStatusItem with its NSMenu, it refers to the menu it
// was given rather than copying it: the caller owns the model and keeps it alive as long as the
// item, so a refresh does not copy every row a second time.
class RecordingStatusItem final : public StatusItem {
 public:
  struct Title {
    std::optional<std::string> plain;  // set with setTitle
    std::optional<StyledText> styled;  // set with setAttributedTitle
  };

  bool hasButton() const override { return true; }
  void setTitle(std::string_view title) override;
  void setAttributedTitle(const StyledText& title) override;
  void setMenu(const MenuModel& menu) override;

  const Title& title() const { return title_; }
  // The menu last given to setMenu; null before the first.
  const MenuModel* menu() const { return menu_; }
  // Called after every setMenu (the end of every refresh).
  std::function<void()> onChange;

 private:
  Title title_;
  const MenuModel* menu_ = nullptr;
};

class RecordingStatusBar final : public StatusBar {
 public:
  std::unique_ptr<StatusItem> statusItemWithLength(double length) override;
  // The item made last, owned by the delegate; null before launch created one.
  RecordingStatusItem* item() const { return item_; }

 private:
  RecordingStatusItem* item_ = nullptr;
};

// The alert on standard error: message text, then informative text, one line each.
class StderrAlerts final : public Alerts {
 public:
  void runModal(const Alert& alert) override;
};

}  // namespace app
