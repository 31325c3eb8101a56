// What the Linux shell prints without a screen: the snapshot's JSON (app/headless/snapshot.h),
// and the plain text for a person watching a terminal.
#pragma once

#include <string>

#include "app/headless/snapshot.h"

namespace app {

// The title on one line, then the menu one item per line, indented, with key equivalents.
std::string snapshotText(const RecordingStatusItem::Title& title, const MenuModel& menu);
// The same, appended to `out` (whose storage a caller printing every refresh keeps).
void appendSnapshotText(std::string& out, const RecordingStatusItem::Title& title,
                        const MenuModel& menu);

}  // namespace app
