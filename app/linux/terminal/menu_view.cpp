#include "app/linux/terminal/menu_view.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

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
