// JSON and plain-text renderings of the status title and menu.
#include "app/linux/snapshot.h"

#include <cstdio>

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

namespace {

std::string runsJson(const StyledText& runs) {
  std::string out = "[";
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const StyledRun& run = runs[i];
    out += i == 0 ? "" : ", ";
    out += "{\"text\": " + jsonString(run.text) +
           ", \"font\": " + jsonString(fontRoleName(run.font)) + ", \"color\": " +
           (run.color ? jsonString(colorRoleName(*run.color)) : std::string("null")) + "}";
  }
  return out + "]";
}

std::string titleJson(const RecordingStatusItem::Title& title) {
  if (title.plain) {
    return "{\"plain\": " + jsonString(*title.plain) + "}";
  }
  return "{\"runs\": " + runsJson(title.styled.value_or(StyledText{})) + "}";
}

std::string itemJson(const MenuItem& item) {
  if (item.isSeparator) {
    return "{\"separator\": true}";
  }
  return "{\"title\": " + jsonString(item.title) +
         ", \"runs\": " + (item.styledTitle ? runsJson(*item.styledTitle) : std::string("null")) +
         ", \"action\": " +
         (item.action ? jsonString(selectorName(*item.action)) : std::string("null")) +
         ", \"key\": " + jsonString(item.keyEquivalent) + "}";
}

}  // namespace

std::string snapshotJson(const RecordingStatusItem::Title& title, const MenuModel& menu,
                         const AppDelegate& delegate) {
  std::string out = "{\"title\": " + titleJson(title) + ", \"menu\": [";
  for (std::size_t i = 0; i < menu.items.size(); ++i) {
    out += i == 0 ? "" : ", ";
    out += itemJson(menu.items[i]);
  }
  out += "], \"state\": {\"fanMode\": " + jsonString(fanModeName(delegate.fanMode())) +
         ", \"fansForced\": " + (delegate.fansForced() ? "true" : "false") +
         ", \"useFahrenheit\": " + (delegate.useFahrenheit() ? "true" : "false") +
         ", \"fanCount\": " + std::to_string(delegate.fanCount()) + "}}";
  return out;
}

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
