// What the headless shell prints: the status title, the menu and the delegate's state as one
// JSON object, or as plain text for a person watching a terminal.
#pragma once

#include <string>

#include "app/app_delegate.h"
#include "app/linux/linux_platform.h"

// {"title": {"plain": T} | {"runs": [...]}, "menu": [...], "state": {...}}
std::string snapshotJson(const RecordingStatusItem::Title& title, const MenuModel& menu,
                         const AppDelegate& delegate);

// The title on one line, then the menu one item per line, indented, with key equivalents.
std::string snapshotText(const RecordingStatusItem::Title& title, const MenuModel& menu);
// The same, appended to `out` (whose storage a caller printing every refresh keeps).
void appendSnapshotText(std::string& out, const RecordingStatusItem::Title& title,
                        const MenuModel& menu);

// A JSON string literal, UTF-8 passed through, control characters escaped.
std::string jsonString(std::string_view text);
