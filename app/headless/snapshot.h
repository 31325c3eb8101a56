// What a headless run reports: the status title, the menu and the delegate's state as the menu
// shows them, and beside them the readings as numbers, each with the SMC key it came from, and
// the fans with their limits and whether they read as forced. Portable: both shells print it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/app_delegate.h"
#include "app/headless/recording_status_bar.h"

namespace app {

// The version of the JSON object's layout; raised when a field changes meaning or goes away.
inline constexpr int kSnapshotSchema = 1;

struct SnapshotReading {
  std::string_view group;  // "cpu", "gpu" or "other"
  std::string_view key;    // the catalogue key whose value made the menu row
  std::string_view name;
  double celsius = 0.0;
};

struct SnapshotFan {
  FanInfo info;         // as gathered for the menu
  bool forced = false;  // its mode key reads non-zero, or its bit is set in "FS! "
};

struct SnapshotReadings {
  std::vector<SnapshotReading> readings;  // in menu order
  std::vector<SnapshotFan> fans;
};

// Gathers as the refresh does, through the delegate's own gathering one catalogue row at a time,
// so that each accepted reading keeps its key: the same rows, in the same order, as the menu of a
// refresh made at the same moment.
SnapshotReadings gatherSnapshotReadings(AppDelegate& delegate);

// {"title": ..., "menu": [...], "state": {...}, "schema": N, "readings": [...], "fans": [...]}
std::string snapshotJson(const RecordingStatusItem::Title& title, const MenuModel& menu,
                         const AppDelegate& delegate, const SnapshotReadings& readings);

// A JSON string literal, UTF-8 passed through, control characters escaped.
std::string jsonString(std::string_view text);
// The shortest decimal text that reads back as exactly `value` (finite values only), without
// the locale: "53", "47.25", "-1".
std::string decimalNumber(double value);

}  // namespace app
