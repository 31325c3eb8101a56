#include "app/linux/terminal/terminal_ui.h"

#include <algorithm>
#include <vector>

#include "app/linux/terminal/menu_view.h"

namespace app {

#define NCURSES_WIDECHAR 1
#include <ncursesw/curses.h>

namespace {

constexpr int kEscape = 27;
constexpr int kControlL = 12;

// Writes `text` at (y, x) with `attributes`, cut so that nothing reaches column `limit`. Returns
// the column after the text.
int put(int y, int x, int limit, std::string_view text, attr_t attributes) {
  if (x >= limit || y < 0 || y >= LINES) {
    return x;
  }
  const std::string clipped(clipToWidth(text, static_cast<std::size_t>(limit - x)));
  attrset(attributes);
  mvaddstr(y, x, clipped.c_str());
  attrset(A_NORMAL);
  return x + static_cast<int>(displayWidth(clipped));
}

void fill(int y, int x, int width, attr_t attributes) {
  if (width > 0) {
    mvhline(y, x, ' ' | attributes, width);
  }
}

// Greedy word wrap to `width` columns; a word longer than a line is cut.
std::vector<std::string> wrap(std::string_view text, std::size_t width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.find(' ', pos), text.size());
    std::string_view word = text.substr(pos, end - pos);
    pos = end + 1;
    if (word.empty()) {
      continue;
    }
    const std::size_t needed = displayWidth(line) + (line.empty() ? 0 : 1) + displayWidth(word);
    if (!line.empty() && needed > width) {
      lines.push_back(line);
      line.clear();
    }
    if (!line.empty()) {
      line += ' ';
    }
    line += std::string(clipToWidth(word, width));
  }
  if (!line.empty()) {
    lines.push_back(line);
  }
  return lines;
}

// An empty box with a line border from row `top` to row `bottom`, `width` columns from `left`.
void drawBox(int top, int bottom, int left, int width) {
  attrset(A_NORMAL);
  for (int y = top; y <= bottom; ++y) {
    fill(y, left, width, A_NORMAL);
  }
  mvaddch(top, left, ACS_ULCORNER);
  mvhline(top, left + 1, ACS_HLINE, width - 2);
  mvaddch(top, left + width - 1, ACS_URCORNER);
  mvvline(top + 1, left, ACS_VLINE, bottom - top - 1);
  mvvline(top + 1, left + width - 1, ACS_VLINE, bottom - top - 1);
  mvaddch(bottom, left, ACS_LLCORNER);
  mvhline(bottom, left + 1, ACS_HLINE, width - 2);
  mvaddch(bottom, left + width - 1, ACS_LRCORNER);
}

}  // namespace

std::string TerminalUi::shown(std::string_view utf8) const {
  return screen_.utf8() ? std::string(utf8) : asciiFallback(utf8);
}

namespace {

// Lines for the menu's items: below the status line, inside the box's top and bottom borders.
std::size_t itemRows(int lines) {
  return lines > 3 ? static_cast<std::size_t>(lines - 3) : 0;
}

}  // namespace

MenuLayout TerminalUi::layoutFor(const MenuModel& menu) const {
  return layoutMenu(menu, itemRows(LINES), static_cast<std::size_t>(std::max(COLS, 0)),
                    screen_.utf8());
}

const MenuLayout& TerminalUi::layout() {
  if (layoutLines_ != LINES || layoutCols_ != COLS) {
    layout_ = layoutFor(menu_);
    layoutLines_ = LINES;
    layoutCols_ = COLS;
  }
  return layout_;
}

void TerminalUi::setTitle(std::string_view title) {
  if (plainTitle_ == title && !styledTitle_) {
    return;
  }
  plainTitle_ = std::string(title);
  styledTitle_.reset();
  titleChanged_ = true;
}

void TerminalUi::setAttributedTitle(const StyledText& title) {
  if (styledTitle_ == title && !plainTitle_) {
    return;
  }
  styledTitle_ = title;
  plainTitle_.reset();
  titleChanged_ = true;
}

void TerminalUi::setMenu(const MenuModel& menu) {
  if (menu == menu_) {
    return;
  }
  const std::optional<std::size_t> selected = carrySelection(menu_, selected_, menu);
  MenuLayout next = layoutFor(menu);
  const bool sameShape = layoutLines_ == LINES && layoutCols_ == COLS && next == layout_ &&
                         menu.items.size() == menu_.items.size() && selected == selected_;
  if (sameShape && !redrawAll_) {
    // The same boxes in the same places: only the rows whose item changed are drawn again.
    for (std::size_t i = 0; i < menu.items.size(); ++i) {
      if (!(menu.items[i] == menu_.items[i])) {
        changedRows_.push_back(i);
      }
    }
  } else {
    redrawAll_ = true;
  }
  menu_ = menu;
  selected_ = selected;
  layout_ = std::move(next);
  layoutLines_ = LINES;
  layoutCols_ = COLS;
}

void TerminalUi::flush() {
  if (screen_.suspended()) {
    return;
  }
  // A notice whose time is up leaves the status line to the key hints again.
  if (!notice_.empty() && std::chrono::steady_clock::now() >= noticeUntil_) {
    notice_.clear();
    titleChanged_ = true;
  }
  if (redrawAll_ || layoutLines_ != LINES || layoutCols_ != COLS) {
    draw();
    return;
  }
  // Rows of a closed menu change nothing on screen.
  const bool rowsShown = showMenu() && !layout().tooSmall && !changedRows_.empty();
  if (!titleChanged_ && !rowsShown) {
    changedRows_.clear();
    return;
  }
  if (titleChanged_) {
    drawStatusLine();
  }
  if (rowsShown) {
    for (const std::size_t index : changedRows_) {
      drawItem(index);
    }
  }
  titleChanged_ = false;
  changedRows_.clear();
  refresh();
}

void TerminalUi::setMenuOpen(bool open) {
  open_ = open;
  draw();
}

void TerminalUi::moveSelection(int step) {
  if (const auto next = nextSelectable(menu_, selected_, step)) {
    selected_ = next;
  }
  followSelection();
}

void TerminalUi::followSelection() {
  const MenuLayout& l = layout();
  if (l.columns.size() == 1) {
    scrollTop_ = scrollToShow(scrollTop_, selected_, l.visible, menu_.items.size());
  } else {
    scrollTop_ = 0;
  }
}

void TerminalUi::scrollBy(long long lines) {
  const MenuLayout& l = layout();
  if (l.columns.size() != 1) {
    return;
  }
  const long long top = std::max(0LL, static_cast<long long>(scrollTop_) + lines);
  scrollTop_ =
      scrollToShow(static_cast<std::size_t>(top), std::nullopt, l.visible, menu_.items.size());
}

std::optional<MenuAction> TerminalUi::handleKey(int key) {
  std::optional<MenuAction> chosen;
  switch (key) {
    case ' ':
      open_ = !open_;
      break;
    case kEscape:
      open_ = false;
      break;
    case KEY_ENTER:
    case '\r':
    case '\n':
      if (!open_) {
        open_ = true;
      } else if (selected_ && *selected_ < menu_.items.size()) {
        chosen = menu_.items[*selected_].action;
      }
      break;
    case KEY_UP:
    case KEY_DOWN:
      open_ = true;
      moveSelection(key == KEY_UP ? -1 : 1);
      break;
    case KEY_HOME:
    case KEY_END:
      open_ = true;
      selected_ = nextSelectable(menu_, std::nullopt, key == KEY_HOME ? 1 : -1);
      scrollTop_ = key == KEY_HOME ? 0 : menu_.items.size();
      followSelection();
      break;
    case KEY_PPAGE:
    case KEY_NPAGE: {
      const auto page = static_cast<long long>(std::max<std::size_t>(layout().visible, 2) - 1);
      scrollBy(key == KEY_PPAGE ? -page : page);
      break;
    }
    case KEY_RESIZE:
      resized();
      return std::nullopt;
    case kControlL:
      clearok(curscr, TRUE);
      break;
    default:
      // A key equivalent runs its item without moving the selection.
      if (const auto item = itemForKey(menu_, key)) {
        chosen = menu_.items[*item].action;
      }
      break;
  }
  draw();
  return chosen;
}

void TerminalUi::resized() {
  screen_.updateSize();
  followSelection();
  draw();
}

void TerminalUi::draw() {
  if (screen_.suspended()) {
    return;
  }
  erase();
  const MenuLayout& l = layout();
  // A size change or a new menu may leave the view past the end.
  scrollTop_ = l.columns.size() == 1
                   ? scrollToShow(scrollTop_, std::nullopt, l.visible, menu_.items.size())
                   : 0;
  drawStatusLine();
  if (showMenu()) {
    drawMenu();
  }
  redrawAll_ = false;
  titleChanged_ = false;
  changedRows_.clear();
  refresh();
}

void TerminalUi::showNotice(std::string_view text, double seconds) {
  notice_ = std::string(text);
  noticeUntil_ = std::chrono::steady_clock::now() +
                 std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                     std::chrono::duration<double>(seconds));
  draw();
}

void TerminalUi::drawStatusLine() {
  const int cols = COLS;
  fill(0, 0, cols, A_REVERSE);
  // The status item: its title on the terminal's own background, like an item in the menu bar.
  StyledText title;
  if (styledTitle_) {
    title = *styledTitle_;
  } else if (plainTitle_) {
    title.push_back(
        StyledRun{.text = *plainTitle_, .font = FontRole::monoRegular12, .color = std::nullopt});
  }
  std::size_t titleWidth = 0;
  for (StyledRun& run : title) {
    run.text = shown(run.text);
    titleWidth += displayWidth(run.text);
  }
  const int segment = static_cast<int>(titleWidth) + 2;
  const int titleX = std::max(0, cols - segment);
  fill(0, titleX, std::min(segment, cols), A_NORMAL);
  int x = titleX + 1;
  for (const StyledRun& run : title) {
    x = put(0, x, cols, run.text, screen_.attributesFor(run.font, run.color));
  }
  if (!notice_.empty() && std::chrono::steady_clock::now() < noticeUntil_) {
    put(0, 1, titleX, shown(notice_), A_REVERSE | A_BOLD);
    return;
  }
  notice_.clear();
  // How to use it, as much as fits to the left of the title.
  const char* hints[] = {" Quillomatics", "  Space: menu", "  Up/Down Enter: choose",
                         "  a p m u q: actions"};
  x = 0;
  for (const char* hint : hints) {
    const int width = static_cast<int>(displayWidth(hint));
    if (x + width >= titleX) {
      break;
    }
    x = put(0, x, titleX, hint, A_REVERSE | (x == 0 ? A_BOLD : A_NORMAL));
  }
}

namespace {

// Where the boxes of a layout start: side by side at the right of the terminal, like a menu-bar
// menu under its item.
int boxesLeft(const MenuLayout& l, int cols) {
  const auto boxes = static_cast<int>(l.columns.size());
  const int boxWidth = static_cast<int>(l.textWidth + kBoxFrame);
  return std::max(0, cols - (boxes * (boxWidth + 1) - 1));
}

}  // namespace

std::optional<std::pair<int, int>> TerminalUi::placeOf(std::size_t index) const {
  const MenuLayout& l = layout_;
  const int boxWidth = static_cast<int>(l.textWidth + kBoxFrame);
  const int left = boxesLeft(l, COLS);
  if (l.columns.size() == 1) {
    if (index < scrollTop_ || index >= scrollTop_ + l.visible) {
      return std::nullopt;
    }
    return std::pair{2 + static_cast<int>(index - scrollTop_), left};
  }
  for (std::size_t c = 0; c < l.columns.size(); ++c) {
    const MenuColumn& column = l.columns[c];
    if (index >= column.begin && index < column.end) {
      return std::pair{2 + static_cast<int>(index - column.begin),
                       left + static_cast<int>(c) * (boxWidth + 1)};
    }
  }
  return std::nullopt;
}

void TerminalUi::drawTooSmall() {
  // Under the status line at the right, where the menu would be, as much as there is room for.
  int y = 1;
  for (const std::string& line : wrap("terminal too small", static_cast<std::size_t>(COLS))) {
    if (y >= LINES) {
      break;
    }
    put(y++, std::max(0, COLS - static_cast<int>(displayWidth(line))), COLS, line, A_BOLD);
  }
}

void TerminalUi::drawMenu() {
  const MenuLayout& l = layout();
  if (l.tooSmall) {
    drawTooSmall();
    return;
  }
  const int boxWidth = static_cast<int>(l.textWidth + kBoxFrame);
  const std::size_t total = menu_.items.size();
  int left = boxesLeft(l, COLS);
  for (const MenuColumn& column : l.columns) {
    const int right = left + boxWidth - 1;
    const bool scrolls = l.columns.size() == 1;
    const std::size_t rows = scrolls ? l.visible : column.end - column.begin;
    const int top = 1;
    const int bottom = top + static_cast<int>(rows) + 1;
    attrset(A_NORMAL);
    mvaddch(top, left, ACS_ULCORNER);
    mvhline(top, left + 1, ACS_HLINE, boxWidth - 2);
    mvaddch(top, right, ACS_URCORNER);
    mvaddch(bottom, left, ACS_LLCORNER);
    mvhline(bottom, left + 1, ACS_HLINE, boxWidth - 2);
    mvaddch(bottom, right, ACS_LRCORNER);
    if (scrolls) {
      const attr_t arrows = A_BOLD;
      if (scrollTop_ > 0) {
        put(top, left + boxWidth / 2 - 1, right, screen_.utf8() ? " \u25B2 " : " ^ ", arrows);
      }
      if (scrollTop_ + l.visible < total) {
        put(bottom, left + boxWidth / 2 - 1, right, screen_.utf8() ? " \u25BC " : " v ", arrows);
      }
      for (std::size_t row = 0; row < l.visible; ++row) {
        drawItem(scrollTop_ + row);
      }
    } else {
      for (std::size_t index = column.begin; index < column.end; ++index) {
        drawItem(index);
      }
    }
    left += boxWidth + 1;
  }
}

void TerminalUi::drawItem(std::size_t index) {
  const auto place = placeOf(index);
  if (!place || index >= menu_.items.size()) {
    return;
  }
  const auto [y, left] = *place;
  const int boxWidth = static_cast<int>(layout_.textWidth + kBoxFrame);
  const int right = left + boxWidth - 1;
  const MenuItem& item = menu_.items[index];
  attrset(A_NORMAL);
  if (item.isSeparator) {
    mvaddch(y, left, ACS_LTEE);
    mvhline(y, left + 1, ACS_HLINE, boxWidth - 2);
    mvaddch(y, right, ACS_RTEE);
    return;
  }
  mvaddch(y, left, ACS_VLINE);
  mvaddch(y, right, ACS_VLINE);
  const bool highlighted = selected_ == index && isSelectable(item);
  const attr_t highlight = highlighted ? A_REVERSE : A_NORMAL;
  fill(y, left + 1, boxWidth - 2, highlight);
  const int textX = left + 2;
  const int textEnd = textX + static_cast<int>(layout_.textWidth);
  const FittedLine line = fitItem(item, layout_.textWidth, screen_.utf8(), layout_.valueWidth);
  int x = textX;
  if (item.styledTitle) {
    for (const StyledRun& run : line.title) {
      x = put(y, x, textEnd, run.text, screen_.attributesFor(run.font, run.color) | highlight);
    }
  } else if (!line.title.empty()) {
    // A plain item without an action is shown as disabled.
    const attr_t secondary =
        screen_.attributesFor(FontRole::monoRegular12, ColorRole::secondaryLabel);
    x = put(y, x, textEnd, line.title.front().text, isSelectable(item) ? highlight : secondary);
  }
  // The key hint keeps its place at the right.
  if (!line.hint.empty()) {
    const int hintX = textEnd - static_cast<int>(displayWidth(line.hint));
    if (hintX >= textX) {
      const attr_t secondary =
          screen_.attributesFor(FontRole::monoRegular12, ColorRole::secondaryLabel);
      put(y, hintX, textEnd, line.hint, highlighted ? highlight : secondary);
    }
  }
}

void TerminalUi::drawAlert(const Alert& alert, std::size_t button) {
  erase();
  const int lines = LINES;
  const int cols = COLS;
  const int boxWidth = std::min(cols, 60);
  const bool framed = boxWidth >= 12 && lines >= 5;
  const int textWidth = std::max(1, framed ? boxWidth - 4 : cols);
  std::vector<std::string> buttons = alert.buttons;
  if (buttons.empty()) {
    buttons.push_back("OK");
  }

  struct Line {
    std::string text;
    attr_t attributes;
  };
  std::vector<Line> body;
  const attr_t message = alert.style == AlertStyle::critical
                             ? screen_.attributesFor(FontRole::bold13, ColorRole::systemRed)
                             : screen_.attributesFor(FontRole::bold13, std::nullopt);
  for (std::string& line : wrap(shown(alert.messageText), static_cast<std::size_t>(textWidth))) {
    body.push_back({std::move(line), message});
  }
  body.push_back({"", A_NORMAL});
  for (std::string& line :
       wrap(shown(alert.informativeText), static_cast<std::size_t>(textWidth))) {
    body.push_back({std::move(line), A_NORMAL});
  }
  body.push_back({"", A_NORMAL});
  // In a short terminal the blank lines go first, then the end of the text: the buttons stay.
  const auto room = static_cast<std::size_t>(std::max(0, lines - 1 - (framed ? 2 : 0)));
  if (body.size() > room) {
    std::erase_if(body, [](const Line& line) { return line.text.empty(); });
  }
  if (body.size() > room) {
    body.resize(room);
  }

  const int height = static_cast<int>(body.size()) + 1 + (framed ? 2 : 0);
  const int top = std::max(0, (lines - height) / 2);
  const int left = framed ? (cols - boxWidth) / 2 : 0;
  const int textX = framed ? left + 2 : 0;
  if (framed) {
    drawBox(top, std::min(lines - 1, top + height - 1), left, boxWidth);
  }
  int y = top + (framed ? 1 : 0);
  const int limit = textX + textWidth;
  for (const Line& line : body) {
    if (y >= lines - (framed ? 1 : 0)) {
      break;
    }
    put(y++, textX, limit, line.text, line.attributes);
  }
  // The buttons at the bottom right, the chosen one highlighted.
  if (y < lines - (framed ? 1 : 0)) {
    std::size_t width = 0;
    for (const std::string& title : buttons) {
      width += displayWidth(title) + 5;
    }
    int x = std::max(textX, limit - static_cast<int>(width) + 1);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      x = put(y, x, limit, "[ " + shown(buttons[i]) + " ]", i == button ? A_REVERSE : A_NORMAL);
      x += 1;
    }
  }
  refresh();
}

std::optional<std::size_t> TerminalUi::runAlert(const Alert& alert,
                                                const std::function<bool()>& waitForInput) {
  const std::size_t count = std::max<std::size_t>(alert.buttons.size(), 1);
  std::size_t button = 0;
  for (;;) {
    drawAlert(alert, button);
    if (!waitForInput()) {
      return std::nullopt;
    }
    for (int key = getch(); key != ERR; key = getch()) {
      switch (key) {
        case KEY_ENTER:
        case '\r':
        case '\n':
        case ' ':
          return button;
        case kEscape:
          // Escape cancels: the last button, which is the only one of a one-button alert.
          return count - 1;
        case KEY_LEFT:
        case KEY_BTAB:
          button = button == 0 ? 0 : button - 1;
          break;
        case KEY_RIGHT:
        case '\t':
          button = std::min(button + 1, count - 1);
          break;
        case KEY_RESIZE:
          screen_.updateSize();
          break;
        default:
          // A button's first letter chooses it ("q" for "Quit").
          for (std::size_t i = 0; i < alert.buttons.size(); ++i) {
            const std::string& title = alert.buttons[i];
            if (!title.empty() && key > 0 && key < 0x80 &&
                std::tolower(key) == std::tolower(static_cast<unsigned char>(title[0]))) {
              return i;
            }
          }
          break;
      }
    }
  }
}

}  // namespace app
