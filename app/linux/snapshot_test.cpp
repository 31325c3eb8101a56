// The headless snapshot's JSON.
#include "app/linux/snapshot.h"

#include <gtest/gtest.h>

#include "app/testing/fake_platform.h"
#include "smc/testing/fake_smc.h"

namespace {

TEST(SnapshotJson, EscapesStrings) {
  EXPECT_EQ(jsonString("a\"b\\c\n\x01\u00B0"), "\"a\\\"b\\\\c\\n\\u0001\u00B0\"");
}

TEST(SnapshotJson, TitleMenuAndState) {
  FakeSMC smc;
  FakePlatform platform(smc);
  auto delegate = std::make_shared<AppDelegate>(platform.environment());
  RecordingStatusItem::Title title;
  title.plain = "-- \u00B0C";
  MenuModel menu;
  MenuItem header;
  header.title = "FANS";
  header.styledTitle = StyledText{{"FANS", FontRole::bold11, ColorRole::secondaryLabel},
                                  {"  ", FontRole::monoRegular12, std::nullopt}};
  menu.addItem(header);
  menu.addItem(MenuItem::separatorItem());
  MenuItem quit;
  quit.title = "Quit Quillomatics";
  quit.action = MenuAction::quitApp;
  quit.keyEquivalent = "q";
  menu.addItem(quit);
  EXPECT_EQ(snapshotJson(title, menu, *delegate),
            "{\"title\": {\"plain\": \"-- \u00B0C\"}, \"menu\": ["
            "{\"title\": \"FANS\", \"runs\": [{\"text\": \"FANS\", \"font\": \"bold-11\", "
            "\"color\": \"secondaryLabel\"}, {\"text\": \"  \", \"font\": \"mono-12-regular\", "
            "\"color\": null}], \"action\": null, \"key\": \"\"}, "
            "{\"separator\": true}, "
            "{\"title\": \"Quit Quillomatics\", \"runs\": null, \"action\": \"quitApp\", "
            "\"key\": \"q\"}], "
            "\"state\": {\"fanMode\": \"auto\", \"fansForced\": false, \"useFahrenheit\": false, "
            "\"fanCount\": 0}}");

  RecordingStatusItem::Title styled;
  styled.styled = StyledText{{"62\u00B0C", FontRole::monoMedium12, ColorRole::systemOrange}};
  EXPECT_TRUE(snapshotJson(styled, MenuModel{}, *delegate)
                  .starts_with("{\"title\": {\"runs\": [{\"text\": \"62\u00B0C\", \"font\": "
                               "\"mono-12-medium\", \"color\": \"systemOrange\"}]}, \"menu\": []"));
}

}  // namespace
