#include "app/linux/terminal/menu_view.h"

#include <gtest/gtest.h>

namespace app {

namespace {

MenuItem info(std::string title) {
  MenuItem item;
  item.title = std::move(title);
  return item;
}

MenuItem command(std::string title, MenuAction action, std::string key) {
  MenuItem item;
  item.title = std::move(title);
  item.action = action;
  item.keyEquivalent = std::move(key);
  return item;
}

// The fan block and the tail of the menu in a given mode, as the refresh builds them.
MenuModel menuInMode(std::string_view mode) {
  MenuModel menu;
  menu.addItem(info("Quillomatics"));
  menu.addItem(MenuItem::separatorItem());
  menu.addItem(info("Fan 1 1200 RPM"));
  menu.addItem(MenuItem::separatorItem());
  menu.addItem(info("Fans: " + std::string(mode)));
  if (mode != "Auto") {
    menu.addItem(command("Switch to Auto", MenuAction::setFansAuto, "a"));
  }
  if (mode != "Proactive") {
    menu.addItem(command("Proactive Cooling", MenuAction::setFansProactive, "p"));
  }
  if (mode != "Max") {
    menu.addItem(command("Fans to Max", MenuAction::setFansMax, "m"));
  }
  menu.addItem(MenuItem::separatorItem());
  menu.addItem(command("Switch to Fahrenheit", MenuAction::toggleUnit, "u"));
  menu.addItem(MenuItem::separatorItem());
  menu.addItem(command("Quit Quillomatics", MenuAction::quitApp, "q"));
  return menu;
}

TEST(TerminalText, WidthCountsCodePointsNotBytes) {
  EXPECT_EQ(displayWidth("53\u00B0C"), 4u);
  EXPECT_EQ(displayWidth("e\u0301"), 1u);  // a combining accent takes no column
  EXPECT_EQ(displayWidth(""), 0u);
  // A stray continuation byte or a cut sequence still moves on, one column each.
  EXPECT_EQ(displayWidth("\x80x"), 2u);
  EXPECT_EQ(displayWidth("a\xC2"), 2u);
}

TEST(TerminalText, ClipsAtCodePointBoundaries) {
  EXPECT_EQ(clipToWidth("62.3\u00B0C", 5), "62.3\u00B0");
  EXPECT_EQ(clipToWidth("62.3\u00B0C", 4), "62.3");
  EXPECT_EQ(clipToWidth("abc", 10), "abc");
  EXPECT_EQ(clipToWidth("abc", 0), "");
}

TEST(TerminalText, AsciiFallbackDropsTheDegreeSign) {
  EXPECT_EQ(asciiFallback("53\u00B0C"), "53C");
  EXPECT_EQ(asciiFallback("Fans: Proactive (40-75\u00B0C)"), "Fans: Proactive (40-75C)");
  EXPECT_EQ(asciiFallback("\u00E9t\u00E9"), "?t?");
}

TEST(TerminalMenu, TextWidthMakesRoomForKeyHints) {
  MenuModel menu;
  menu.addItem(info("CPU Die                 62.3\u00B0C"));  // 30 columns
  EXPECT_EQ(menuTextWidth(menu, true), 30u);
  menu.addItem(command("Switch to Fahrenheit", MenuAction::toggleUnit, "u"));  // 20 + 4 + 1
  EXPECT_EQ(menuTextWidth(menu, true), 30u);
  menu.addItem(command("A much longer command title", MenuAction::quitApp, "q"));  // 27 + 4 + 1
  EXPECT_EQ(menuTextWidth(menu, true), 32u);
  // The styled title is what is shown, and separators take no width.
  MenuModel styled;
  MenuItem row = info("x");
  row.styledTitle = StyledText{
      {.text = "Fan 1", .font = FontRole::monoRegular12, .color = std::nullopt},
      {.text = "                   ", .font = FontRole::monoRegular12, .color = std::nullopt},
      {.text = "1200 RPM", .font = FontRole::monoMedium12, .color = ColorRole::systemCyan}};
  styled.addItem(row);
  styled.addItem(MenuItem::separatorItem());
  EXPECT_EQ(menuTextWidth(styled, false), 32u);
}

TEST(TerminalMenu, SelectionSkipsInformationRowsAndStopsAtTheEnds) {
  const MenuModel menu = menuInMode("Auto");
  // Items: 5 Proactive, 6 Max, 8 unit, 10 quit.
  EXPECT_EQ(nextSelectable(menu, std::nullopt, 1), 5u);
  EXPECT_EQ(nextSelectable(menu, std::nullopt, -1), 10u);
  EXPECT_EQ(nextSelectable(menu, 6u, 1), 8u);
  EXPECT_EQ(nextSelectable(menu, 8u, -1), 6u);
  EXPECT_EQ(nextSelectable(menu, 10u, 1), std::nullopt);
  EXPECT_EQ(nextSelectable(menu, 5u, -1), std::nullopt);
  EXPECT_EQ(nextSelectable(MenuModel{}, std::nullopt, 1), std::nullopt);
}

TEST(TerminalMenu, KeysChooseOnlyItemsTheMenuOffers) {
  const MenuModel menu = menuInMode("Auto");
  EXPECT_EQ(itemForKey(menu, 'p'), 5u);
  EXPECT_EQ(itemForKey(menu, 'M'), 6u);
  EXPECT_EQ(itemForKey(menu, 'q'), 10u);
  // "Switch to Auto" is not in the menu while the fans are automatic.
  EXPECT_EQ(itemForKey(menu, 'a'), std::nullopt);
  EXPECT_EQ(itemForKey(menu, 'x'), std::nullopt);
  EXPECT_EQ(itemForKey(menu, 0x1B), std::nullopt);
  EXPECT_EQ(itemForKey(menu, 0x1A4), std::nullopt);  // a curses key code beyond ASCII
  EXPECT_EQ(itemForKey(menu, -1), std::nullopt);
}

TEST(TerminalMenu, SelectionFollowsItsItemAcrossARebuild) {
  const MenuModel automatic = menuInMode("Auto");
  const MenuModel proactive = menuInMode("Proactive");
  // The unit switch is still there.
  EXPECT_EQ(carrySelection(automatic, 8u, automatic), 8u);
  // Choosing "Proactive Cooling" removes it: the highlight stays first among the commands,
  // now on "Switch to Auto".
  EXPECT_EQ(carrySelection(automatic, 5u, proactive), 5u);
  EXPECT_EQ(proactive.items[5].action, MenuAction::setFansAuto);
  // The menu lost its commands: the last selectable item, or none at all.
  MenuModel onlyQuit;
  onlyQuit.addItem(command("Quit Quillomatics", MenuAction::quitApp, "q"));
  EXPECT_EQ(carrySelection(automatic, 6u, onlyQuit), 0u);
  EXPECT_EQ(carrySelection(automatic, 6u, MenuModel{}), std::nullopt);
  // Nothing selected, or a stale index: nothing selected after.
  EXPECT_EQ(carrySelection(automatic, std::nullopt, proactive), std::nullopt);
  EXPECT_EQ(carrySelection(automatic, 42u, proactive), std::nullopt);
}

MenuItem reading(std::string name, std::string value) {
  MenuItem item = info(name + " " + value);
  const std::size_t gap = name.size() < 22 ? 24 - name.size() : 2;
  item.styledTitle = StyledText{
      {.text = name, .font = FontRole::monoRegular12, .color = ColorRole::label},
      {.text = std::string(gap, ' '), .font = FontRole::monoRegular12, .color = std::nullopt},
      {.text = value, .font = FontRole::monoMedium12, .color = ColorRole::systemGreen}};
  return item;
}

std::string shownText(const FittedLine& line) {
  std::string text = plainText(line.title);
  return line.hint.empty() ? text : text + "|" + line.hint;
}

TEST(TerminalMenu, NarrowRowsShortenLabelsAndKeepValuesWholeAndLinedUp) {
  const MenuItem platform = reading("Platform Controller", "41.0\u00B0C");
  const MenuItem fan = reading("Fan 1", "1850 RPM");
  // Wide enough: as the menu has it.
  EXPECT_EQ(shownText(fitItem(platform, 40, true, 8)), "Platform Controller     41.0\u00B0C");
  // Narrower: the gap goes first, then the label, whose value starts where the widest one must.
  EXPECT_EQ(shownText(fitItem(platform, 28, true, 8)), "Platform Controller 41.0\u00B0C");
  EXPECT_EQ(shownText(fitItem(platform, 18, true, 8)), "Platform\u2026 41.0\u00B0C");
  EXPECT_EQ(shownText(fitItem(fan, 18, true, 8)), "Fan 1     1850 RPM");
  EXPECT_EQ(shownText(fitItem(platform, 18, false, 8)), "Platform~ 41.0C");
  // The key hint stays; the mode line drops "Fans: " rather than cut the mode.
  EXPECT_EQ(
      shownText(fitItem(command("Fans to Full Speed", MenuAction::setFansMax, "m"), 10, true, 8)),
      "Fans to\u2026|m");
  EXPECT_EQ(shownText(fitItem(info("Fans: Proactive (40-75\u00B0C)"), 20, true, 8)),
            "Proactive (40-75\u00B0C)");
  // Narrowest with every value whole: a letter and the ellipsis, a space, the value.
  EXPECT_EQ(minimumItemWidth(platform, true, 8), 11u);
  EXPECT_EQ(minimumItemWidth(info("Fans: Auto"), true, 8), 4u);
}

TEST(TerminalMenu, ATallMenuFlowsIntoBoxesSideBySideOrScrollsOrIsTooSmall) {
  // 32 items as the refresh builds them for 13 sensors and 2 fans.
  MenuModel menu;
  menu.addItem(info("Quillomatics"));
  menu.addItem(MenuItem::separatorItem());
  for (const auto& [title, count] : {std::pair{"CPU", 2}, {"GPU", 2}, {"OTHER", 9}}) {
    menu.addItem(info(title));
    for (int i = 0; i < count; ++i) {
      menu.addItem(reading(std::string(title) + " Sensor " + std::to_string(i), "40.0\u00B0C"));
    }
    menu.addItem(MenuItem::separatorItem());
  }
  menu.addItem(info("FANS"));
  menu.addItem(reading("Fan 1", "1850 RPM"));
  menu.addItem(reading("Fan 2", "1702 RPM"));
  const MenuModel tail = menuInMode("Auto");  // from the separator after the fan rows on
  menu.items.insert(menu.items.end(), tail.items.begin() + 3, tail.items.end());
  ASSERT_EQ(menu.items.size(), 32u);
  // 80 x 24: two boxes, the first ending with the OTHER section (its separator left to the
  // border), every item in view.
  const MenuLayout two = layoutMenu(menu, 21, 80, true);
  ASSERT_FALSE(two.tooSmall);
  ASSERT_EQ(two.columns.size(), 2u);
  EXPECT_EQ(two.columns[0], (MenuColumn{0, 20}));
  EXPECT_EQ(two.columns[1], (MenuColumn{21, 32}));
  EXPECT_EQ(two.textWidth, 32u);
  // Shorter still: three boxes, their labels shortened to fit 80 columns.
  const MenuLayout three = layoutMenu(menu, 11, 80, true);
  EXPECT_EQ(three.columns, (std::vector<MenuColumn>{{0, 9}, {10, 20}, {21, 32}}));
  EXPECT_EQ(three.textWidth, 22u);
  // Tall enough: one box as wide as its widest row.
  const MenuLayout one = layoutMenu(menu, 47, 100, true);
  EXPECT_EQ(one.columns, (std::vector<MenuColumn>{{0, 32}}));
  EXPECT_EQ(one.visible, 32u);
  // Short and narrow: one box that scrolls, its labels shortened.
  const MenuLayout scrolled = layoutMenu(menu, 21, 40, true);
  EXPECT_EQ(scrolled.columns.size(), 1u);
  EXPECT_EQ(scrolled.visible, 21u);
  EXPECT_EQ(scrolled.textWidth, 32u);
  EXPECT_EQ(layoutMenu(menu, 21, 20, true).textWidth, 16u);
  // Narrower than a letter, a space and "1850 RPM" in a box, or no row for an item.
  EXPECT_FALSE(layoutMenu(menu, 21, 15, true).tooSmall);
  EXPECT_TRUE(layoutMenu(menu, 21, 14, true).tooSmall);
  EXPECT_TRUE(layoutMenu(menu, 0, 80, true).tooSmall);
}

TEST(TerminalMenu, ScrollingKeepsTheSelectionInViewAndTheViewFull) {
  // Everything fits: never scrolled.
  EXPECT_EQ(scrollToShow(3, 9u, 20, 12), 0u);
  // 20 lines, 5 in view.
  EXPECT_EQ(scrollToShow(0, 2u, 5, 20), 0u);
  EXPECT_EQ(scrollToShow(0, 7u, 5, 20), 3u);              // down just enough
  EXPECT_EQ(scrollToShow(10, 4u, 5, 20), 4u);             // up just enough
  EXPECT_EQ(scrollToShow(18, std::nullopt, 5, 20), 15u);  // no empty lines at the end
  EXPECT_EQ(scrollToShow(4, std::nullopt, 0, 20), 0u);    // nothing in view
}

}  // namespace

}  // namespace app
