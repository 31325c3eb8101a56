// What the headless status item was last given, and the alert on standard error.
#include "app/headless/recording_status_bar.h"

#include <cstdio>

namespace app {

void RecordingStatusItem::setTitle(std::string_view title) {
  title_.plain = std::string(title);
  title_.styled.reset();
}

void RecordingStatusItem::setAttributedTitle(const StyledText& title) {
  title_.styled = title;
  title_.plain.reset();
}

void RecordingStatusItem::setMenu(const MenuModel& menu) {
  menu_ = &menu;
  if (onChange) {
    onChange();
  }
}

std::unique_ptr<StatusItem> RecordingStatusBar::statusItemWithLength(double) {
  auto item = std::make_unique<RecordingStatusItem>();
  item_ = item.get();
  return item;
}

void StderrAlerts::runModal(const Alert& alert) {
  std::fprintf(stderr, "%s\n%s\n", alert.messageText.c_str(), alert.informativeText.c_str());
  std::fflush(stderr);
}

}  // namespace app
