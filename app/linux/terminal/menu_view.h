// The open menu of the terminal front end as plain data: which lines it has, how wide its columns
// are, which action item is selected and which part of a menu too tall for the terminal is in
// view. Nothing here touches the terminal, so the rules can be tested on their own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "app/menu_model.h"

// Columns a UTF-8 text takes on a terminal: one per code point, none for combining marks. The
// menu's texts are names, digits, the degree sign and letters, all one column wide.
std::size_t displayWidth(std::string_view utf8);

// The longest prefix of `utf8` that fits in `columns`, cut at a code point boundary.
std::string_view clipToWidth(std::string_view utf8, std::size_t columns);

// The text as a terminal without UTF-8 can show it: the degree sign is dropped ("53°C" becomes
// "53C") and any other non-ASCII code point becomes "?".
std::string asciiFallback(std::string_view utf8);

// Whether a menu item can be chosen: it has an action.
bool isSelectable(const MenuItem& item);

// The text shown at the right end of an action item for its key equivalent ("a"); empty when it
// has none.
std::string keyHint(const MenuItem& item);

// Width of the menu's text column: the widest item, counting an action item's title, a gap of at
// least four spaces and its key hint.
std::size_t menuTextWidth(const MenuModel& menu, bool utf8);

// Gap between an action item's title and its key hint.
inline constexpr std::size_t kKeyHintGap = 4;

// The first selectable item after (`step` 1) or before (`step` -1) `from`; with no `from`, the
// first (step 1) or last (step -1) selectable item. None when there is none in that direction.
std::optional<std::size_t> nextSelectable(const MenuModel& menu, std::optional<std::size_t> from,
                                          int step);

// The item chosen by a key press: the selectable item whose key equivalent is that letter (either
// case). None for any other key.
std::optional<std::size_t> itemForKey(const MenuModel& menu, int key);

// The selection after the menu was rebuilt: the item with the same action when the new menu still
// has one; otherwise the selectable item at the same place among the selectable items (or the
// last one), so that choosing an item that then disappears leaves the highlight where it was.
std::optional<std::size_t> carrySelection(const MenuModel& before,
                                          std::optional<std::size_t> selected,
                                          const MenuModel& after);

// The first line in view of a list of `total` lines of which `visible` fit, moved as little as
// possible from `top` so that line `index` is in view, and never leaving empty lines at the end.
std::size_t scrollToShow(std::size_t top, std::optional<std::size_t> index, std::size_t visible,
                         std::size_t total);
