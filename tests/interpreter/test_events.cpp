// Commands on objects and the user's actions on controls, seen through the window-system log.
#include "fakewindowsystem.h"
#include "interpreter.h"

#include <gtest/gtest.h>

using namespace nuv;
using namespace nuv::test;

namespace {

// Controls are created in this order, so their ids are 1, 2, 3, 4, 5.
const char *const kDocument = "OBJECT BUTTON\nNAME Txt\nCAPTION 'T'\n"
                              "EVENT MOUSEOVER\nTITLE 'over text'\nENDEVENT\nENDOBJECT\n"
                              "OBJECT BUTTON\nNAME A\nTYPE GRAPHICAL\nBITMAP 'a.bmp'\n"
                              "OVERBITMAP 'a-over.bmp'\nDOWNBITMAP 'a-down.bmp'\n"
                              "EVENT CLICK\nTITLE A.LEFT\nENDEVENT\n"
                              "EVENT MOUSEOVER\nTITLE 'over A'\nENDEVENT\nENDOBJECT\n"
                              "OBJECT BUTTON\nNAME B\nTYPE SHAPED\nBITMAP 'b.bmp'\n"
                              "OVERBITMAP 'b-over.bmp'\n"
                              "EVENT MOUSEOVER\nTITLE 'over B'\nENDEVENT\nENDOBJECT\n"
                              "OBJECT BUTTON\nNAME OnlyOver\nTYPE GRAPHICAL\nBITMAP 'c.bmp'\n"
                              "ENDOBJECT\n"
                              "OBJECT INPUTBOX\nNAME Box\nTEXT 'start'\n"
                              "EVENT CHANGED\nTITLE UC(Box.TEXT)\nENDEVENT\nENDOBJECT\n"
                              "OBJECT FORM\nNAME Main\nENDOBJECT\n";

struct Engine {
  FakeWindowSystem windows;
  FakeResources resources;
  Interpreter interpreter{windows, &resources};

  Engine() {
    run(kDocument);
    windows.log.clear();
  }
  QStringList run(const char *text) {
    QString document = QString::fromUtf8(text);
    interpreter.parseContent(document);
    return windows.log;
  }
  QString value(const char *text) const {
    return interpreter.evaluator().stringValue(QString::fromUtf8(text), 1);
  }
};

} // namespace

TEST(ObjectCommands, ChangeControlsAndRecords) {
  const struct {
    const char *command;
    QStringList log;
    const char *property;
    const char *expected;
  } cases[] = {
      {"A.LEFT 120", {"geometry #2 120 0 100 30"}, "A.LEFT", "120"},
      {"a left 120", {"geometry #2 120 0 100 30"}, "A.LEFT", "120"},
      {"A  TOP 7", {"geometry #2 0 7 100 30"}, "A.TOP", "7"},
      {"A.WIDTH ABS(-50)", {"geometry #2 0 0 50 30"}, "A.WIDTH", "50"},
      {"A.HEIGHT 10.5", {"geometry #2 0 0 100 10"}, "A.HEIGHT", "10"},
      {"A hide", {"visible #2 0"}, "A.VISIBLE", "False"},
      {"Txt SHOW", {"visible #1 1"}, "Txt.VISIBLE", "True"},
      {"A.BITMAP 'new.bmp'", {"picture #2 /docs/new.bmp"}, "A.BITMAP", "new.bmp"},
      {"B.BITMAP \"new.bmp\"", {"picture #3 /docs/new.bmp"}, "B.BITMAP", "new.bmp"},
      {"Txt.BITMAP 'new.bmp'", {}, "Txt.BITMAP", ""},
      {"Txt.TEXT 'no'", {}, "Txt.CAPTION", "T"},
      {"A.FLY 3", {}, "A.LEFT", "0"},
      {"Box.TEXT 'typed'", {"text #5 typed"}, "Box.TEXT", "typed"},
      {"Box.TEXT UC('up')", {"text #5 UP"}, "Box.TEXT", "UP"},
      {"Box.WIDTH 50", {"geometry #5 0 0 50 20"}, "Box.WIDTH", "50"},
      {"Box.BITMAP 'x.bmp'", {}, "Box.TEXT", "start"},
      {"Nobody.LEFT 5", {}, "A.LEFT", "0"},
  };
  for (const auto &c : cases) {
    Engine engine;
    EXPECT_EQ(engine.run(c.command), c.log) << c.command;
    EXPECT_EQ(engine.value(c.property), QString::fromUtf8(c.expected)) << c.command;
  }
}

TEST(FormCommands, MoveAndReskinAtRunTime) {
  const struct {
    const char *commands;
    QStringList log;
  } cases[] = {
      {"Main LEFT 0-", {"move 1920 -99999"}},
      {"main.top 20", {"move -99999 20"}},
      {"Main TOP Box", {"move -99999 0"}},
      {"Main.BITMAP 'skin.bmp'", {"hide alpha", "picture /docs/skin.bmp"}},
      {"Main.BITMAP 'skin.bmp'\nMain SETSHAPEBMP", {"skin /docs/skin.bmp|"}},
      {"Main ALPHABLENDBITMAP 'glow.png'\nMain BITMAP 'skin.bmp'\nMain SETSHAPEBMP",
       {"skin /docs/skin.bmp|/docs/glow.png"}},
      {"Main NAME Other", {}},
  };
  for (const auto &c : cases) {
    Engine engine;
    EXPECT_EQ(engine.run(c.commands), c.log) << c.commands;
  }
}

TEST(FormCommands, PendingBitmapsLiveForOneRun) {
  Engine engine;
  engine.run("Main.BITMAP 'skin.bmp'\nTITLE 'first run'");
  engine.windows.log.clear();
  engine.run("Main SETSHAPEBMP");
  EXPECT_EQ(engine.windows.log, QStringList{"skin |"});
}

TEST(ControlEvents, ClicksPressesAndKeys) {
  Engine engine;
  Interpreter &i = engine.interpreter;
  i.buttonPressed(2, 2);
  i.buttonReleased(2, 2);
  i.buttonClicked(2);
  i.buttonClicked(1);    // no CLICK block
  i.buttonPressed(3, 3); // no DOWNBITMAP
  i.inputBoxKey(1, QStringLiteral("abc"), false);
  i.inputBoxKey(1, QStringLiteral("abcd"), true);
  EXPECT_EQ(engine.windows.log, (QStringList{"picture #2 /docs/a-down.bmp",
                                             "picture #2 /docs/a.bmp", "title 0", "title ABCD"}));
  EXPECT_EQ(engine.value("Box.TEXT"), QStringLiteral("abcd"));
}

TEST(ControlEvents, HoverMovesBetweenButtons) {
  Engine engine;
  Interpreter &i = engine.interpreter;
  i.pointerOverButton(2, 2, true);
  i.pointerOverButton(2, 2, true); // still on A: nothing again
  i.pointerOverButton(3, 3, true); // straight onto B
  i.pointerOverBackground();
  i.pointerOverBackground();
  i.pointerOverButton(1, 1, false); // from the background: nothing
  i.pointerOverButton(2, 2, true);
  i.pointerOverButton(1, 1, false); // straight from a hovered button
  EXPECT_EQ(engine.windows.log,
            (QStringList{"picture #2 /docs/a-over.bmp", "title over A",
                         "picture #3 /docs/b-over.bmp", "title over B", "picture #2 /docs/a.bmp",
                         "picture #3 /docs/b.bmp", "picture #2 /docs/a-over.bmp", "title over A",
                         "picture #2 /docs/a.bmp", "title over text"}));
  EXPECT_EQ(i.hoveredButton(), -1);
}

TEST(ControlEvents, ButtonWithoutOverPictureKeepsItsPicture) {
  Engine engine;
  engine.interpreter.pointerOverButton(4, 4, true);
  engine.interpreter.pointerOverBackground();
  EXPECT_TRUE(engine.windows.log.isEmpty());
}

TEST(ControlEvents, BlocksThatDeclareObjectsOfTheirOwnKind) {
  Engine engine;
  engine.run("OBJECT BUTTON\nNAME Maker\nEVENT CLICK\nOBJECT BUTTON\nCAPTION 'made'\nENDOBJECT\n"
             "TITLE Maker.NAME\nENDEVENT\nENDOBJECT");
  const int maker = engine.interpreter.objects().buttonTable.count();
  for (int n = 0; n < 3; ++n)
    engine.interpreter.buttonClicked(maker);
  EXPECT_EQ(engine.interpreter.objects().buttonTable.count(), maker + 3);
  EXPECT_EQ(engine.windows.calls(QStringLiteral("title")).size(), 3);
}
