#include "app/linux/terminal/curses_screen.h"

#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace app {

#define NCURSES_WIDECHAR 1
#include <ncursesw/curses.h>

namespace {

// Colour pairs, one per colour role.
enum Pair : short { kGreen = 1, kOrange, kRed, kCyan, kSecondary, kPairCount };

}  // namespace

std::unique_ptr<CursesScreen> CursesScreen::open(std::string& error) {
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0') {
    error = "TERM is not set";
    return nullptr;
  }
  std::unique_ptr<CursesScreen> screen(new CursesScreen());
  const char* codeset = nl_langinfo(CODESET);
  screen->utf8_ = codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
  SCREEN* created = newterm(nullptr, stdout, stdin);
  if (created == nullptr) {
    error = std::string("cannot drive a terminal of type \"") + term + "\"";
    return nullptr;
  }
  screen->screen_ = created;
  set_term(created);
  // Without cursor addressing (a "dumb" terminal, a printing one) a screen cannot be drawn.
  const char* address = tigetstr(const_cast<char*>("cup"));
  if (address == nullptr || address == reinterpret_cast<char*>(-1) || LINES < 1 || COLS < 1) {
    error = std::string("a terminal of type \"") + term + "\" cannot place the cursor";
    return nullptr;  // the destructor ends the screen
  }
  cbreak();  // keys one at a time; Ctrl-C still sends SIGINT
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  nodelay(stdscr, TRUE);
  set_escdelay(25);
  curs_set(0);
  leaveok(stdscr, TRUE);
  // No look for typed-ahead keys while the screen is updated: curses would flush its output and
  // poll the keyboard every few lines, which makes one small write per changed line. The update
  // goes out in one write; keys are read when it is done.
  typeahead(-1);
  screen->setUpColors();
  // Until its first return from endwin(), ncurses 6 flushes its output at every cursor move of
  // an update: one write(2) per changed stretch of a line. Leaving and re-entering curses mode
  // before anything is drawn puts it in its running state, where an update goes out in one
  // write. Nothing is shown yet, so the round trip is not seen. Leaving curses mode also left
  // keypad mode, which is asked for again at once so that the first key is read right.
  endwin();
  refresh();
  keypad(stdscr, TRUE);
  return screen;
}

CursesScreen::~CursesScreen() {
  if (!suspended_) {
    curs_set(1);
    endwin();
  }
  delscreen(static_cast<SCREEN*>(screen_));
}

void CursesScreen::setUpColors() {
  const char* noColor = std::getenv("NO_COLOR");
  if (!has_colors() || (noColor != nullptr && *noColor != '\0') || start_color() != OK ||
      COLOR_PAIRS < kPairCount) {
    depth_ = ColorDepth::none;
    return;
  }
  // Keep the terminal's own foreground and background where the theme's colours should show.
  const short background = use_default_colors() == OK ? -1 : COLOR_BLACK;
  depth_ = COLORS >= 256  ? ColorDepth::full
           : COLORS >= 16 ? ColorDepth::sixteen
                          : ColorDepth::eight;
  // Orange exists only in the 256-colour palette; yellow is the nearest of the basic eight.
  const short orange = depth_ == ColorDepth::full ? 208 : COLOR_YELLOW;
  // The secondary label is grey: a mid grey, or "bright black"; with eight colours it is the
  // normal foreground dimmed (see attributesFor).
  const short grey = depth_ == ColorDepth::full      ? 245
                     : depth_ == ColorDepth::sixteen ? 8
                                                     : (background == -1 ? -1 : COLOR_WHITE);
  init_pair(kGreen, COLOR_GREEN, background);
  init_pair(kOrange, orange, background);
  init_pair(kRed, COLOR_RED, background);
  init_pair(kCyan, COLOR_CYAN, background);
  init_pair(kSecondary, grey, background);
}

unsigned CursesScreen::attributesFor(FontRole font, std::optional<ColorRole> color) const {
  attr_t attributes = A_NORMAL;
  if (font == FontRole::bold13 || font == FontRole::bold11) {
    attributes |= A_BOLD;
  }
  if (!color) {
    return static_cast<unsigned>(attributes);
  }
  if (depth_ == ColorDepth::none) {
    // Without colour the bands still differ: warm in bold, hot in bold underlined.
    switch (*color) {
      case ColorRole::systemOrange:
        attributes |= A_BOLD;
        break;
      case ColorRole::systemRed:
        attributes |= A_BOLD | A_UNDERLINE;
        break;
      case ColorRole::secondaryLabel:
        attributes |= A_DIM;
        break;
      case ColorRole::label:
      case ColorRole::systemGreen:
      case ColorRole::systemCyan:
        break;
    }
    return static_cast<unsigned>(attributes);
  }
  switch (*color) {
    case ColorRole::label:
      break;
    case ColorRole::secondaryLabel:
      attributes |= COLOR_PAIR(kSecondary);
      if (depth_ == ColorDepth::eight) {
        attributes |= A_DIM;
      }
      break;
    case ColorRole::systemGreen:
      attributes |= COLOR_PAIR(kGreen);
      break;
    case ColorRole::systemOrange:
      attributes |= COLOR_PAIR(kOrange);
      break;
    case ColorRole::systemRed:
      attributes |= COLOR_PAIR(kRed);
      break;
    case ColorRole::systemCyan:
      attributes |= COLOR_PAIR(kCyan);
      break;
  }
  return static_cast<unsigned>(attributes);
}

void CursesScreen::suspend() {
  if (suspended_) {
    return;
  }
  curs_set(1);
  endwin();
  std::fflush(stdout);
  suspended_ = true;
}

void CursesScreen::resume() {
  if (!suspended_) {
    return;
  }
  suspended_ = false;
  reset_prog_mode();
  curs_set(0);
  updateSize();
  clearok(curscr, TRUE);
}

bool CursesScreen::updateSize() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) {
    return false;
  }
  if (size.ws_row == LINES && size.ws_col == COLS) {
    return false;
  }
  resizeterm(size.ws_row, size.ws_col);
  return true;
}

}  // namespace app
