// What the terminal shows: the status line with the status item's title, the menu below it as a
// box (or boxes side by side when it is taller than the terminal) that can be opened and closed,
// the selection and the scroll position of the menu, and the alert as a dialog box. The status
// item, the alerts and the key handling of the front end all draw through this one object. A
// refresh's new title and menu are only recorded; flush() then puts on screen what changed, in
// one update of the terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/linux/terminal/curses_screen.h"
#include "app/linux/terminal/menu_view.h"
#include "app/menu_model.h"
#include "app/platform.h"
#include "app/styled_text.h"

namespace app {

class TerminalUi {
 public:
  explicit TerminalUi(CursesScreen& screen) : screen_(screen) {}

  // Recorded for the next flush().
  void setTitle(std::string_view title);
  void setAttributedTitle(const StyledText& title);
  // A rebuilt menu: the selection follows its item, the view follows the selection. Recorded for
  // the next flush(), which redraws only the rows that changed when the layout stayed the same.
  void setMenu(const MenuModel& menu);
  // Puts on screen what changed since the screen was last updated, in one update.
  void flush();

  bool menuOpen() const { return open_; }
  void setMenuOpen(bool open);
  std::optional<std::size_t> selected() const { return selected_; }
  const MenuModel& menu() const { return menu_; }

  // Handles one key of the main screen. Returns the action to run when the key chose an item.
  std::optional<MenuAction> handleKey(int key);

  // Redraws everything now (nothing while the terminal is handed to another program).
  void draw();
  // Shows `text` on the status line in place of the key hints for the next `seconds` seconds
  // (what a password prompt said last, for instance).
  void showNotice(std::string_view text, double seconds);
  // The terminal may have changed its size: takes the new size, keeps the selection in view and
  // redraws.
  void resized();

  // Shows the alert and waits until it is dismissed. `waitForInput` blocks until a key may be
  // read and returns false when the wait was ended by a termination signal, which dismisses the
  // alert too. Returns the index of the button that was chosen, or none for a signal.
  std::optional<std::size_t> runAlert(const Alert& alert,
                                      const std::function<bool()>& waitForInput);

 private:
  // The layout for the terminal's present size, worked out again only when the menu's shape or
  // the size changed.
  const MenuLayout& layout();
  MenuLayout layoutFor(const MenuModel& menu) const;
  bool showMenu() const { return open_ && !menu_.items.empty(); }
  // The screen line of an item and the left column of its box; none when it is out of view.
  std::optional<std::pair<int, int>> placeOf(std::size_t index) const;
  void drawStatusLine();
  void drawMenu();
  void drawItem(std::size_t index);
  void drawTooSmall();
  void drawAlert(const Alert& alert, std::size_t button);
  void moveSelection(int step);
  void scrollBy(long long lines);
  void followSelection();
  // A text as the terminal can show it.
  std::string shown(std::string_view utf8) const;

  CursesScreen& screen_;
  std::optional<std::string> plainTitle_;
  std::optional<StyledText> styledTitle_;
  MenuModel menu_;
  bool open_ = true;
  std::optional<std::size_t> selected_;
  std::size_t scrollTop_ = 0;
  MenuLayout layout_;
  int layoutLines_ = -1;  // the size layout_ was made for; -1: to be made
  int layoutCols_ = -1;
  // What the next flush() draws: everything, or the status line and some item rows.
  bool redrawAll_ = true;
  bool titleChanged_ = false;
  std::vector<std::size_t> changedRows_;
  std::string notice_;
  std::chrono::steady_clock::time_point noticeUntil_;
};

}  // namespace app
