// The curses screen of the terminal front end, owned for as long as the front end runs: started
// on standard input and output, ended (terminal modes, cursor and screen contents restored) by
// the destructor on every way out. Also the mapping of the core's font and colour roles to
// terminal attributes, for colour terminals of 256, 16 and 8 colours and for monochrome ones.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/styled_text.h"

namespace app {

class CursesScreen {
 public:
  // How many colours the roles are mapped onto.
  enum class ColorDepth { none, eight, sixteen, full };

  // Starts curses; none (with the reason in `error`) when the terminal cannot be driven, for
  // example for an unknown TERM. The locale's character type must be set before.
  static std::unique_ptr<CursesScreen> open(std::string& error);
  ~CursesScreen();
  CursesScreen(const CursesScreen&) = delete;
  CursesScreen& operator=(const CursesScreen&) = delete;

  // Whether texts can be written as UTF-8 (the locale's character set is UTF-8).
  bool utf8() const { return utf8_; }
  ColorDepth depth() const { return depth_; }
  // The attributes (colour pair included) that show a run of this font and colour.
  unsigned attributesFor(FontRole font, std::optional<ColorRole> color) const;

  // Gives the terminal back for a program that talks to the user itself (a password prompt):
  // the terminal's own modes and screen are restored until resume().
  void suspend();
  // Takes the terminal again after suspend(): program modes back, the size looked up afresh, and
  // everything redrawn on the next refresh.
  void resume();
  // Looks up the terminal's size and makes curses use it. True when it changed.
  bool updateSize();
  bool suspended() const { return suspended_; }

 private:
  CursesScreen() = default;
  void setUpColors();

  void* screen_ = nullptr;  // the SCREEN of newterm
  bool utf8_ = false;
  bool suspended_ = false;
  ColorDepth depth_ = ColorDepth::none;
};

}  // namespace app
