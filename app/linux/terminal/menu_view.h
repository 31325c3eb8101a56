// The open menu of the terminal front end as plain data: which lines it has, how wide its columns
// are, how it is laid out in the terminal's size (side-by-side boxes, shortened labels), which
// action item is selected and which part of a menu too tall for the terminal is in view. Nothing
// here touches the terminal, so the rules can be tested on their own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/menu_model.h"

namespace app {

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

// An item's line as the terminal shows it in `width` columns of text: the title's runs (as
// shown: the ASCII fallback without UTF-8) and the key hint, which the drawer puts at the right
// end. Labels give way before values: first the gaps shrink to one space, then a label is cut
// and ends in an ellipsis; a value is never cut. Labels are a row's name, an action's title, a
// section header and the "Fans: " before the fan mode, which goes as a whole; values are the
// temperature, the fan speed, "N/A", the fan mode and the key hint.
// When a reading's row has to give way, its value starts `valueWidth` columns from the end, so
// that the values of all rows still line up (the widest value of the menu: menuValueWidth).
struct FittedLine {
  StyledText title;  // for a plain item one run, whose roles the drawer does not use
  std::string hint;
};
FittedLine fitItem(const MenuItem& item, std::size_t width, bool utf8, std::size_t valueWidth);

// The widest value of the menu's reading rows.
std::size_t menuValueWidth(const MenuModel& menu, bool utf8);

// The narrowest text width at which fitItem still shows every value of `item` whole, with the
// values of the menu's rows `valueWidth` wide.
std::size_t minimumItemWidth(const MenuItem& item, bool utf8, std::size_t valueWidth);

// Which items one box of the menu shows: [begin, end).
struct MenuColumn {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool operator==(const MenuColumn&) const = default;
};

// How the open menu sits in the terminal below the status line.
struct MenuLayout {
  // No width at which every value shows whole, or no row for an item: the terminal says so.
  bool tooSmall = false;
  std::size_t textWidth = 0;   // columns of text inside each box
  std::size_t valueWidth = 0;  // menuValueWidth, for fitItem
  // One box that scrolls, showing `visible` of its items; or several side by side, every item
  // in view.
  std::vector<MenuColumn> columns;
  std::size_t visible = 0;
  bool operator==(const MenuLayout&) const = default;
};

// Each box takes its text width and four columns of border and margin; boxes side by side are
// one column apart.
inline constexpr std::size_t kBoxFrame = 4;

// The layout of `menu` with `rows` lines for items (below the status line and inside the box's
// borders) and `cols` columns. A menu taller than `rows` flows into boxes side by side, each
// breaking after a section where it can, when they fit the width with labels of a dozen
// characters or more; otherwise one box scrolls. A box narrower than its widest row shortens
// labels (fitItem).
MenuLayout layoutMenu(const MenuModel& menu, std::size_t rows, std::size_t cols, bool utf8);

// The first line in view of a list of `total` lines of which `visible` fit, moved as little as
// possible from `top` so that line `index` is in view, and never leaving empty lines at the end.
std::size_t scrollToShow(std::size_t top, std::optional<std::size_t> index, std::size_t visible,
                         std::size_t total);

}  // namespace app
