#include "app/linux/terminal/menu_view.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace app {

namespace {

// Length of the UTF-8 sequence that starts with `lead`; 1 for a stray continuation byte, so that
// malformed text still advances.
std::size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) {
    return 1;
  }
  if ((lead & 0xE0) == 0xC0) {
    return 2;
  }
  if ((lead & 0xF0) == 0xE0) {
    return 3;
  }
  if ((lead & 0xF8) == 0xF0) {
    return 4;
  }
  return 1;
}

// The code point at `pos` and its length in bytes; malformed bytes read as U+FFFD, one byte long.
std::pair<std::uint32_t, std::size_t> decodeAt(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  const std::size_t length = sequenceLength(lead);
  if (length == 1) {
    return {lead < 0x80 ? lead : 0xFFFDu, 1};
  }
  if (pos + length > text.size()) {
    return {0xFFFDu, 1};
  }
  std::uint32_t code = lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) {
      return {0xFFFDu, 1};
    }
    code = (code << 6) | (next & 0x3Fu);
  }
  return {code, length};
}

bool isCombining(std::uint32_t code) {
  return (code >= 0x0300 && code <= 0x036F) || (code >= 0x20D0 && code <= 0x20FF) ||
         (code >= 0xFE20 && code <= 0xFE2F);
}

}  // namespace

std::size_t displayWidth(std::string_view utf8) {
  std::size_t width = 0;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const auto [code, length] = decodeAt(utf8, pos);
    width += isCombining(code) ? 0 : 1;
    pos += length;
  }
  return width;
}

std::string_view clipToWidth(std::string_view utf8, std::size_t columns) {
  std::size_t width = 0;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const auto [code, length] = decodeAt(utf8, pos);
    const std::size_t w = isCombining(code) ? 0 : 1;
    if (width + w > columns) {
      break;
    }
    width += w;
    pos += length;
  }
  return utf8.substr(0, pos);
}

std::string asciiFallback(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const auto [code, length] = decodeAt(utf8, pos);
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code != 0xB0 && !isCombining(code)) {
      out.push_back('?');
    }
    pos += length;
  }
  return out;
}

bool isSelectable(const MenuItem& item) {
  return !item.isSeparator && item.action.has_value();
}

std::string keyHint(const MenuItem& item) {
  return isSelectable(item) ? item.keyEquivalent : std::string();
}

std::size_t menuTextWidth(const MenuModel& menu, bool utf8) {
  std::size_t widest = 0;
  for (const MenuItem& item : menu.items) {
    if (item.isSeparator) {
      continue;
    }
    const std::string text = item.styledTitle ? plainText(*item.styledTitle) : item.title;
    std::size_t width = displayWidth(utf8 ? text : asciiFallback(text));
    const std::string hint = keyHint(item);
    if (!hint.empty()) {
      width += kKeyHintGap + displayWidth(hint);
    }
    widest = std::max(widest, width);
  }
  return widest;
}

std::optional<std::size_t> nextSelectable(const MenuModel& menu, std::optional<std::size_t> from,
                                          int step) {
  const auto count = static_cast<long long>(menu.items.size());
  long long i = from ? static_cast<long long>(*from) + step : (step > 0 ? 0 : count - 1);
  for (; i >= 0 && i < count; i += step) {
    if (isSelectable(menu.items[static_cast<std::size_t>(i)])) {
      return static_cast<std::size_t>(i);
    }
  }
  return std::nullopt;
}

std::optional<std::size_t> itemForKey(const MenuModel& menu, int key) {
  if (key <= 0 || key > 0x7F || !std::isalpha(key)) {
    return std::nullopt;
  }
  const std::string letter(1, static_cast<char>(std::tolower(key)));
  for (std::size_t i = 0; i < menu.items.size(); ++i) {
    if (isSelectable(menu.items[i]) && menu.items[i].keyEquivalent == letter) {
      return i;
    }
  }
  return std::nullopt;
}

std::optional<std::size_t> carrySelection(const MenuModel& before,
                                          std::optional<std::size_t> selected,
                                          const MenuModel& after) {
  if (!selected || *selected >= before.items.size() || !isSelectable(before.items[*selected])) {
    return std::nullopt;
  }
  const MenuAction action = *before.items[*selected].action;
  for (std::size_t i = 0; i < after.items.size(); ++i) {
    if (isSelectable(after.items[i]) && after.items[i].action == action) {
      return i;
    }
  }
  // The item is gone: keep the same place among the selectable items.
  std::size_t ordinal = 0;
  for (std::size_t i = 0; i < *selected; ++i) {
    ordinal += isSelectable(before.items[i]) ? 1 : 0;
  }
  std::optional<std::size_t> last;
  for (std::size_t i = 0; i < after.items.size(); ++i) {
    if (!isSelectable(after.items[i])) {
      continue;
    }
    if (ordinal == 0) {
      return i;
    }
    --ordinal;
    last = i;
  }
  return last;
}

std::size_t scrollToShow(std::size_t top, std::optional<std::size_t> index, std::size_t visible,
                         std::size_t total) {
  if (visible == 0 || total <= visible) {
    return 0;
  }
  if (index && *index < total) {
    if (*index < top) {
      top = *index;
    } else if (*index >= top + visible) {
      top = *index + 1 - visible;
    }
  }
  return std::min(top, total - visible);
}

namespace {

// An item taken apart for fitting: a label that may be shortened, the gap after it, and the
// value runs and key hint that may not.
struct ItemParts {
  StyledRun label;
  std::optional<StyledRun> gap;  // a run of spaces between label and value
  bool dropLabel = false;        // the label goes as a whole rather than being cut ("Fans: ")
  StyledText value;
  std::string hint;
};

std::size_t runsWidth(const StyledText& runs) {
  std::size_t width = 0;
  for (const StyledRun& run : runs) {
    width += displayWidth(run.text);
  }
  return width;
}

bool allSpaces(std::string_view text) {
  return !text.empty() && text.find_first_not_of(' ') == std::string_view::npos;
}

ItemParts partsOf(const MenuItem& item, bool utf8) {
  ItemParts parts;
  parts.hint = keyHint(item);
  StyledText runs = item.styledTitle
                        ? *item.styledTitle
                        : StyledText{StyledRun{.text = item.title, .color = std::nullopt}};
  if (!utf8) {
    for (StyledRun& run : runs) {
      run.text = asciiFallback(run.text);
    }
  }
  if (runs.empty()) {
    return parts;
  }
  if (runs.size() >= 3 && allSpaces(runs[1].text)) {
    // A reading's row: name, gap, value.
    parts.label = runs[0];
    parts.gap = runs[1];
    parts.value.assign(runs.begin() + 2, runs.end());
    return parts;
  }
  if (runs.size() == 1 && parts.hint.empty()) {
    // "Fans: Auto": what follows ": " is the value.
    const std::size_t colon = runs[0].text.find(": ");
    if (colon != std::string::npos && colon + 2 < runs[0].text.size()) {
      parts.label = runs[0];
      parts.label.text.resize(colon + 2);
      parts.dropLabel = true;
      StyledRun value = runs[0];
      value.text.erase(0, colon + 2);
      parts.value.push_back(std::move(value));
      return parts;
    }
  }
  parts.label = runs[0];
  for (std::size_t i = 1; i < runs.size(); ++i) {
    parts.label.text += runs[i].text;
  }
  return parts;
}

// `text` in at most `columns`, ending in an ellipsis when it had to be cut.
std::string shortened(std::string_view text, std::size_t columns, bool utf8) {
  if (displayWidth(text) <= columns) {
    return std::string(text);
  }
  if (columns <= 1) {
    return std::string(clipToWidth(text, columns));
  }
  return std::string(clipToWidth(text, columns - 1)) + (utf8 ? "\u2026" : "~");
}

// The narrowest a label can be made: one character and the ellipsis.
constexpr std::size_t kShortestLabel = 2;

}  // namespace

FittedLine fitItem(const MenuItem& item, std::size_t width, bool utf8, std::size_t valueWidth) {
  ItemParts parts = partsOf(item, utf8);
  FittedLine line;
  line.hint = parts.hint;
  const std::size_t labelWidth = displayWidth(parts.label.text);
  const std::size_t ownValueWidth = runsWidth(parts.value);
  // Room for the title: the hint keeps its place at the right, a space before it.
  const std::size_t hintRoom = parts.hint.empty() ? 0 : displayWidth(parts.hint) + 1;
  const std::size_t room = width > hintRoom ? width - hintRoom : 0;
  if (parts.gap) {
    const std::size_t gapWidth = displayWidth(parts.gap->text);
    if (labelWidth + gapWidth + ownValueWidth > room) {
      // The value starts where the widest value of the menu has to start.
      const std::size_t column = room > std::max(valueWidth, ownValueWidth)
                                     ? room - std::max(valueWidth, ownValueWidth)
                                     : 0;
      parts.label.text = shortened(parts.label.text, column > 1 ? column - 1 : 0, utf8);
      const std::size_t used = displayWidth(parts.label.text);
      parts.gap->text.assign(column > used + 1 ? column - used : 1, ' ');
    }
    line.title.push_back(std::move(parts.label));
    line.title.push_back(std::move(*parts.gap));
  } else if (parts.dropLabel) {
    if (labelWidth + ownValueWidth <= room) {
      line.title.push_back(std::move(parts.label));
    }
  } else {
    parts.label.text = shortened(parts.label.text, room, utf8);
    line.title.push_back(std::move(parts.label));
  }
  for (StyledRun& run : parts.value) {
    line.title.push_back(std::move(run));
  }
  return line;
}

namespace {

// The widths of an item's parts as partsOf takes it apart, without copying its texts: a layout
// measures every item on every refresh.
struct PartWidths {
  std::size_t label = 0;
  std::size_t gap = 0;
  bool hasGap = false;
  bool dropLabel = false;
  std::size_t value = 0;
  std::size_t hint = 0;  // with the space before it
  std::size_t natural = 0;
};

std::size_t shownWidth(std::string_view text, bool utf8) {
  return utf8 ? displayWidth(text) : displayWidth(asciiFallback(text));
}

PartWidths measure(const MenuItem& item, bool utf8) {
  PartWidths w;
  const std::string hint = keyHint(item);
  w.hint = hint.empty() ? 0 : displayWidth(hint) + 1;
  if (item.styledTitle && item.styledTitle->size() >= 3 && allSpaces((*item.styledTitle)[1].text)) {
    const StyledText& runs = *item.styledTitle;
    w.hasGap = true;
    w.label = shownWidth(runs[0].text, utf8);
    w.gap = displayWidth(runs[1].text);
    for (std::size_t i = 2; i < runs.size(); ++i) {
      w.value += shownWidth(runs[i].text, utf8);
    }
  } else {
    std::size_t total = 0;
    if (item.styledTitle) {
      for (const StyledRun& run : *item.styledTitle) {
        total += shownWidth(run.text, utf8);
      }
    } else {
      total = shownWidth(item.title, utf8);
    }
    const std::string_view single =
        item.styledTitle
            ? (item.styledTitle->size() == 1 ? std::string_view((*item.styledTitle)[0].text)
                                             : std::string_view())
            : std::string_view(item.title);
    const std::size_t colon = hint.empty() ? single.find(": ") : std::string_view::npos;
    if (colon != std::string_view::npos && colon + 2 < single.size()) {
      w.dropLabel = true;
      w.label = shownWidth(single.substr(0, colon + 2), utf8);
      w.value = total - w.label;
    } else {
      w.label = total;
    }
  }
  w.natural = w.label + w.gap + w.value + (hint.empty() ? 0 : kKeyHintGap + displayWidth(hint));
  return w;
}

std::size_t minimumWidth(const PartWidths& w, std::size_t valueWidth) {
  const std::size_t label = std::min(w.label, kShortestLabel);
  if (w.hasGap) {
    return label + 1 + std::max(valueWidth, w.value) + w.hint;
  }
  if (w.dropLabel) {
    return w.value;
  }
  return label + w.hint;
}

}  // namespace

std::size_t menuValueWidth(const MenuModel& menu, bool utf8) {
  std::size_t widest = 0;
  for (const MenuItem& item : menu.items) {
    if (!item.isSeparator) {
      const PartWidths w = measure(item, utf8);
      widest = w.hasGap ? std::max(widest, w.value) : widest;
    }
  }
  return widest;
}

std::size_t minimumItemWidth(const MenuItem& item, bool utf8, std::size_t valueWidth) {
  return item.isSeparator ? 0 : minimumWidth(measure(item, utf8), valueWidth);
}

namespace {

// The menu cut into boxes of at most `rows` items, in order. A box ends after a section (a
// separator) when one ends in its second half, and no box but the last begins or ends with a
// separator: the box's border stands in for it.
std::vector<MenuColumn> flowColumns(const MenuModel& menu, std::size_t rows) {
  const std::vector<MenuItem>& items = menu.items;
  const std::size_t n = items.size();
  std::vector<MenuColumn> columns;
  std::size_t begin = 0;
  while (begin < n) {
    if (!columns.empty()) {
      while (begin < n && items[begin].isSeparator) {
        ++begin;
      }
      if (begin == n) {
        break;
      }
    }
    std::size_t end = std::min(begin + rows, n);
    if (end < n) {
      for (std::size_t j = end; j > begin + rows / 2; --j) {
        if (items[j - 1].isSeparator) {
          end = j;
          break;
        }
      }
    }
    std::size_t shown = end;
    while (end < n && shown > begin + 1 && items[shown - 1].isSeparator) {
      --shown;
    }
    columns.push_back({begin, shown});
    begin = end;
  }
  return columns;
}

}  // namespace

MenuLayout layoutMenu(const MenuModel& menu, std::size_t rows, std::size_t cols, bool utf8) {
  MenuLayout layout;
  const std::size_t n = menu.items.size();
  std::vector<PartWidths> widths;
  widths.reserve(n);
  std::size_t natural = 1;
  for (const MenuItem& item : menu.items) {
    if (!item.isSeparator) {
      widths.push_back(measure(item, utf8));
      natural = std::max(natural, widths.back().natural);
      if (widths.back().hasGap) {
        layout.valueWidth = std::max(layout.valueWidth, widths.back().value);
      }
    }
  }
  std::size_t minimum = 1;
  // The narrowest boxes side by side may be: labels shortened to no fewer than a dozen
  // characters, enough to tell "CPU Proximity" from "CPU Die". Narrower, one box scrolls.
  constexpr std::size_t kReadableLabel = 12;
  std::size_t readable = 1;
  for (const PartWidths& w : widths) {
    minimum = std::max(minimum, minimumWidth(w, layout.valueWidth));
    const std::size_t label = std::min(w.label, kReadableLabel);
    readable = std::max(
        readable, label + (w.hasGap ? 1 + std::max(layout.valueWidth, w.value) : w.value) + w.hint);
  }
  readable = std::min(readable, natural);
  if (rows == 0 || cols < minimum + kBoxFrame) {
    layout.tooSmall = true;
    return layout;
  }
  if (n > rows) {
    std::vector<MenuColumn> columns = flowColumns(menu, rows);
    const std::size_t k = columns.size();
    const std::size_t each = (cols + 1) / k;  // each box with the column between boxes
    if (each > kBoxFrame + 1 && each - kBoxFrame - 1 >= readable) {
      layout.textWidth = std::min(natural, each - kBoxFrame - 1);
      layout.columns = std::move(columns);
      for (const MenuColumn& c : layout.columns) {
        layout.visible = std::max(layout.visible, c.end - c.begin);
      }
      return layout;
    }
  }
  layout.textWidth = std::min(natural, cols - kBoxFrame);
  layout.columns = {{0, n}};
  layout.visible = std::min(n, rows);
  return layout;
}

}  // namespace app
