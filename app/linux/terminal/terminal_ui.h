// What the terminal shows: the status line with the status item's title, the menu below it as a
// box that can be opened and closed, the selection and the scroll position of the menu, and the
// alert as a dialog box. The status item, the alerts and the key handling of the front end all
// draw through this one object, which redraws the whole screen from what it holds.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "app/linux/terminal/curses_screen.h"
#include "app/menu_model.h"
#include "app/platform.h"
#include "app/styled_text.h"

class TerminalUi {
 public:
  explicit TerminalUi(CursesScreen& screen) : screen_(screen) {}

  void setTitle(std::string_view title);
  void setAttributedTitle(const StyledText& title);
  // A rebuilt menu: the selection follows its item, the view follows the selection.
  void setMenu(const MenuModel& menu);

  bool menuOpen() const { return open_; }
  void setMenuOpen(bool open);
  std::optional<std::size_t> selected() const { return selected_; }
  const MenuModel& menu() const { return menu_; }

  // Handles one key of the main screen. Returns the action to run when the key chose an item.
  std::optional<MenuAction> handleKey(int key);

  // Redraws everything (nothing while the terminal is handed to another program).
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
  struct Geometry;
  Geometry geometry() const;
  void drawStatusLine();
  void drawMenu(const Geometry& g);
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
  std::string notice_;
  std::chrono::steady_clock::time_point noticeUntil_;
};
