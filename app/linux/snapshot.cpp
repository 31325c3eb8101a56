// The plain-text rendering of the status title and menu.
#include "app/linux/snapshot.h"

#include <cstdio>

namespace app {

void appendSnapshotText(std::string& out, const RecordingStatusItem::Title& title,
                        const MenuModel& menu) {
  // Appended piece by piece, without temporaries: this runs on every refresh of the monitor.
  const auto appendRuns = [&out](const StyledText& runs) {
    for (const StyledRun& run : runs) {
      out += run.text;
    }
  };
  out += "Quillomatics ";
  if (title.plain) {
    out += *title.plain;
  } else if (title.styled) {
    appendRuns(*title.styled);
  }
  out += '\n';
  for (const MenuItem& item : menu.items) {
    if (item.isSeparator) {
      out += "  ----------------------------------\n";
      continue;
    }
    if (item.keyEquivalent.empty()) {
      out += "      ";
    } else {
      out += "  [";
      out += item.keyEquivalent;
      out += "] ";
    }
    if (item.styledTitle) {
      appendRuns(*item.styledTitle);
    } else {
      out += item.title;
    }
    out += '\n';
  }
}

std::string snapshotText(const RecordingStatusItem::Title& title, const MenuModel& menu) {
  std::string out;
  appendSnapshotText(out, title, menu);
  return out;
}

}  // namespace app
