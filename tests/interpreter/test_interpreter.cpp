// The statement loop, block states, directives and object blocks, seen through the window-system
// log.
#include "../support/fakewindowsystem.h"
#include "interpreter.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

using namespace nuv;
using namespace nuv::test;

namespace {

struct Engine {
  FakeWindowSystem windows;
  FakeResources resources;
  Interpreter interpreter{windows, resources};

  QStringList run(const char *document) {
    QString text = QString::fromUtf8(document);
    interpreter.parseContent(text);
    return windows.log;
  }
};

struct LogCase {
  const char *name;
  const char *document;
  QStringList expected;
};

QString invalidObject(const char *line) {
  return QStringLiteral("message Parse Error|%1\n\nInvalid Object|%2")
      .arg(QString::fromUtf8(line))
      .arg(int(MessageIcon::Exclamation));
}

} // namespace

TEST(InterpreterLoop, LinesAreReadAsWritten) {
  const LogCase cases[] = {
      {"empty text", "", {}},
      {"only comments and blanks", "# a comment\n   \n\t\n\r\n# another", {}},
      {"hash inside double quotes", "TITLE \"My # 1\" # comment", {"title My # 1"}},
      {"hash inside single quotes cuts", "TITLE 'My # 1' # comment", {"title "}},
      {"lower case keyword", "title \"Hi\"", {"title Hi"}},
      {"equals after keyword", "TITLE=\"Hi\"", {"title Hi"}},
      {"blanks and tabs around", " \t TITLE \t  \"Hi\"  ", {"title Hi"}},
      {"CR only and mixed line ends",
       "TITLE 'a'\rTITLE 'b'\r\n\r\nTITLE 'c'\n\n\nTITLE 'd'",
       {"title a", "title b", "title c", "title d"}},
      {"unknown keyword ignored", "FROBNICATE 1\nTITLE 'x'", {"title x"}},
      {"EXIT does not stop the run",
       "EXIT\nTITLE 'after'",
       {"hide loading", "close main", "title after"}},
      {"MINIMIZE leaves the taskbar wish alone",
       "SHOWINTASKBAR FALSE\nMINIMIZE",
       {"taskbar 0", "minimize"}},
      {"directive inside a BUTTON block",
       "OBJECT BUTTON\nALWAYSONTOP TRUE\nCAPTION 'c'\nENDOBJECT",
       {"ontop 1", "create 0 #1"}},
      {"invalid object kind",
       "OBJECT WIDGET\nTITLE 'x'\nENDOBJECT",
       {invalidObject("OBJECT WIDGET"), "title x"}},
      {"value readers in directives",
       "TITLE UC('abc')\nALWAYSONTOP false\nSHOWINTASKBAR 1",
       {"title ABC", "ontop 0", "taskbar 1"}},
  };
  for (const LogCase &c : cases) {
    Engine engine;
    EXPECT_EQ(engine.run(c.document), c.expected) << c.name;
  }
}

TEST(InterpreterLoop, PreparationIsStableAndInPlace) {
  Engine engine;
  QString text = QStringLiteral("\tTITLE 'a'\r\n\r\n\rTITLE 'b'\n");
  engine.interpreter.parseContent(text);
  const QString once = text;
  EXPECT_EQ(once, QStringLiteral(" TITLE 'a'\nTITLE 'b'\n"));
  engine.interpreter.parseContent(text);
  EXPECT_EQ(text, once);
}

// Each text ends its run with what it could read, shows no message, and leaves the engine able
// to run the next text.
TEST(InterpreterLoop, HostileInputEndsQuietly) {
  const struct {
    QString text;
    QStringList log;
  } cases[] = {
      {QStringLiteral("TITLE \"unclosed # quote"), {"title "}},
      {QStringLiteral("TITLE UC(UC(UC("), {"title "}},
      {QStringLiteral("OBJECT BUTTON\nEVENT CLICK\nTITLE 'never closed'"), {}},
      {QStringLiteral("PRELOAD IMAGES\n'a.bmp'\n'b.bmp'"), {"show loading |0", "hide loading"}},
      {QStringLiteral("TITLE ") + QString(100000, QLatin1Char('(')), {"title "}},
      {QString::fromUtf8("TITLE '\0\xff\xfe'", 10), {"title "}},
      {QStringLiteral("OBJECT"), {invalidObject("OBJECT")}},
      {QStringLiteral("ENDOBJECT\nENDEVENT\nENDPRELOAD"), {}},
      {QStringLiteral("NEW"),
       {"start |/docs/|-ox:860|-oy:490 env NUV_NEW_DEPTH=1 NUV_NEW_BUDGET=7"}},
  };
  for (const auto &c : cases) {
    Engine engine;
    QString text = c.text;
    engine.interpreter.parseContent(text);
    EXPECT_EQ(engine.windows.log, c.log) << c.text.left(40).toStdString();
    engine.windows.log.clear();
    EXPECT_EQ(engine.run("TITLE 'next'"), QStringList{QStringLiteral("title next")})
        << c.text.left(40).toStdString();
  }
}

TEST(Directives, RestrictMoveAcceptsNumberConstantAndWord) {
  const struct {
    const char *operand;
    QStringList expected;
  } cases[] = {
      {"2", {"restrict 2"}},
      {"NUV.RMHorizontalOnly", {"restrict 2"}},
      {"horizontalOnly", {"restrict 2"}},
      {"3", {"restrict 3"}},
      {"NUV.RMVerticalOnly", {"restrict 3"}},
      {"VERTICALONLY", {"restrict 3"}},
      {"1", {"restrict 1"}},
      {"NoMove", {"restrict 1"}},
      {"0", {"restrict 0"}},
      {"none", {"restrict 0"}},
      {"NUV.RMNone", {"restrict 0"}},
      {"7", {}},
      {"sideways", {}},
  };
  for (const auto &c : cases) {
    Engine engine;
    EXPECT_EQ(engine.run((QByteArray("RESTRICTMOVE ") + c.operand).constData()), c.expected)
        << c.operand;
  }
  Engine engine;
  engine.run("RESTRICTMOVE VERTICALONLY\nRESTRICTMOVE sideways");
  EXPECT_EQ(engine.interpreter.settings().restrictMove, MoveRestriction::VerticalOnly);
  // The free mode's constant lifts a restriction as the word does.
  engine.run("RESTRICTMOVE nuv.rmnone");
  EXPECT_EQ(engine.interpreter.settings().restrictMove, MoveRestriction::Free);
}

TEST(Directives, SetMaskColorSplitsBytes) {
  const struct {
    const char *operand;
    MaskColor expected;
  } cases[] = {
      {"255", {255, 0, 0}},        {"65280", {0, 255, 0}}, {"16711680", {0, 0, 255}},
      {"RGB(1, 2, 3)", {1, 2, 3}}, {"-5", {0, 0, 0}},      {"99999999", {255, 255, 255}},
  };
  for (const auto &c : cases) {
    Engine engine;
    EXPECT_TRUE(engine.run((QByteArray("SETMASKCOLOR ") + c.operand).constData()).isEmpty());
    EXPECT_EQ(engine.interpreter.settings().maskColor, c.expected) << c.operand;
  }
}

// The colour and CLIPOBJECTS reach the desktop with the next skin, and a shown alpha skin hears
// of CLIPOBJECTS at once.
TEST(Directives, SkinsCarryMaskColourAndClipping) {
  Engine engine;
  engine.windows.compositor = true;
  engine.run("SETMASKCOLOR 255\nCLIPOBJECTS FALSE\n"
             "OBJECT FORM\nALPHABLENDBITMAP 'glow.png'\nBITMAP 'skin.bmp'\nSETSHAPEBMP\nENDOBJECT\n"
             "CLIPOBJECTS TRUE");
  ASSERT_EQ(engine.windows.skins.size(), 1u);
  const SkinRequest &skin = engine.windows.skins[0];
  EXPECT_EQ(skin.maskColor, (MaskColor{255, 0, 0}));
  EXPECT_FALSE(skin.clipObjects);
  EXPECT_EQ(nameOf(skin.alphaBitmap), QStringLiteral("/docs/glow.png"));
  EXPECT_EQ(engine.interpreter.settings().skin, SkinKind::Alpha);
  EXPECT_EQ(engine.windows.calls(QStringLiteral("clip")), QStringList{QStringLiteral("clip 1")});

  Engine noCompositor;
  noCompositor.run("OBJECT FORM\nALPHABLENDBITMAP 'glow.png'\nBITMAP 'skin.bmp'\nSETSHAPEBMP\n"
                   "ENDOBJECT\nCLIPOBJECTS FALSE");
  EXPECT_EQ(noCompositor.interpreter.settings().skin, SkinKind::Shaped);
  EXPECT_TRUE(noCompositor.windows.calls(QStringLiteral("clip")).isEmpty());
}

TEST(Directives, LoadingImageShapedFlagIsSticky) {
  Engine engine;
  engine.run("LOADINGIMAGE SHAPED \"one.bmp\"\nLOADINGIMAGE \"two.bmp\"");
  EXPECT_TRUE(engine.interpreter.settings().loadingImageShaped);
  EXPECT_EQ(engine.interpreter.settings().loadingImage, QStringLiteral("two.bmp"));
  EXPECT_EQ(engine.windows.calls(QStringLiteral("hide loading")).size(), 2);
}

// Targets: 0 windows, 1 text buttons, 2 graphical buttons, 3 input boxes.
TEST(Directives, PointerStatementsSetTheirTargetsInOrder) {
  const LogCase cases[] = {
      {"global",
       "SETGLOBALCURSOR 32514",
       {"pointer 0 32514|", "pointer 2 32514|", "pointer 1 32514|", "pointer 3 32514|"}},
      {"form", "SETFORMCURSOR NUV.MPWait", {"pointer 0 32514|"}},
      {"buttons", "SETBUTTONCURSOR NUV.MPHand", {"pointer 2 32649|", "pointer 1 32649|"}},
      {"text buttons", "settextbuttoncursor 'hand.cur'", {"pointer 1 0|hand.cur"}},
      {"graph buttons", "SETGRAPHBUTTONCURSOR \"http://h/a.ani\"", {"pointer 2 0|http://h/a.ani"}},
      {"input boxes", "SETINPUTBOXCURSOR NUV.MPIBeam", {"pointer 3 32513|"}},
      {"empty restores", "SETFORMCURSOR ''", {"pointer 0 0|"}},
      {"default constant restores",
       "SETBUTTONCURSOR NUV.MPDefault",
       {"pointer 2 0|", "pointer 1 0|"}},
  };
  for (const LogCase &c : cases) {
    Engine engine;
    EXPECT_EQ(engine.run(c.document), c.expected) << c.name;
  }
}

TEST(Directives, APointerFileIsFetchedOnceAndAMissingOneChangesNothing) {
  Engine engine;
  engine.run("SETGLOBALCURSOR 'a.cur'");
  EXPECT_EQ(engine.resources.log, QStringList{"file a.cur"});
  engine.windows.log.clear();
  engine.resources.unavailable = true;
  engine.run("SETGLOBALCURSOR 'http://h/gone.cur'");
  EXPECT_EQ(engine.windows.log, QStringList());
}

TEST(Directives, CacheLevelReachesTheCache) {
  Engine engine;
  engine.run("CACHELEVEL 2");
  EXPECT_EQ(engine.interpreter.settings().cacheLevel, 2);
  EXPECT_EQ(engine.resources.cacheLevel, 2);
}

TEST(Directives, NewStartsTheEngineWithAnArgumentList) {
  Engine engine;
  engine.interpreter.setProgramPath(QStringLiteral("/opt/nuv/nuv"));
  engine.windows.position = QPoint(120, 80);
  engine.run("NEW \"other app.nuv\" -relative -x:5");
  EXPECT_EQ(engine.windows.calls(QStringLiteral("start")),
            QStringList{QStringLiteral("start /opt/nuv/nuv|/docs/other app.nuv|-ox:120|-oy:80|"
                                       "-relative|-x:5 env NUV_NEW_DEPTH=1 NUV_NEW_BUDGET=7")});
}

// Documents and pages are untrusted: of the rest of the line only placement options pass.
TEST(Directives, NewPassesOnlyPlacementOptions) {
  const struct {
    const char *line;
    const char *passed; // after the origin, "|"-separated
  } cases[] = {
      {"NEW \"o.nuv\" -preuninstall", ""},
      {"NEW \"o.nuv\" -postinstall -x:5", "|-x:5"},
      {"NEW \"o.nuv\" \"-x:5 -postinstall\"", ""},
      {"NEW \"o.nuv\" /other.nuv", ""},
      {"NEW \"o.nuv\" a b c", ""},
      {"NEW \"o.nuv\" -xx:10 -unknown", ""},
      {"NEW \"o.nuv\" -X:10 -y:20- -OX:1 -oy:2 -NoMove -relativeXYZ",
       "|-X:10|-y:20-|-OX:1|-oy:2|-NoMove|-relativeXYZ"},
  };
  for (const auto &c : cases) {
    Engine engine;
    engine.windows.position = QPoint(120, 80);
    engine.run(c.line);
    EXPECT_EQ(
        engine.windows.calls(QStringLiteral("start")),
        QStringList{QStringLiteral(
                        "start |/docs/o.nuv|-ox:120|-oy:80%1 env NUV_NEW_DEPTH=1 NUV_NEW_BUDGET=7")
                        .arg(QString::fromUtf8(c.passed))})
        << c.line;
  }
}

// An unplaced window is centred later; the new engine counts from where it will be.
TEST(Directives, NewPassesThePlaceTheWindowWillHave) {
  const struct {
    QPoint position;
    const char *origin;
  } cases[] = {
      {{unplaced, unplaced}, "-ox:860|-oy:490"}, // (1920 - 200) / 2, (1080 - 100) / 2
      {{30, unplaced}, "-ox:30|-oy:490"},
      {{unplaced, 40}, "-ox:860|-oy:40"},
  };
  for (const auto &c : cases) {
    Engine engine;
    engine.windows.position = c.position;
    engine.run("NEW \"o.nuv\"");
    EXPECT_EQ(
        engine.windows.calls(QStringLiteral("start")),
        QStringList{QStringLiteral("start |/docs/o.nuv|%1 env NUV_NEW_DEPTH=1 NUV_NEW_BUDGET=7")
                        .arg(QString::fromUtf8(c.origin))})
        << c.origin;
  }
}

// The depth travels to the new engine one deeper; an engine at the bound starts none and says so.
TEST(Directives, NewAsksWhetherTheDocumentMayStartTheLocation) {
  Engine engine;
  engine.resources.baseFolder = QStringLiteral("http://doc.example/");
  engine.resources.startable = [](const QString &location) {
    return location.startsWith(QStringLiteral("http:"));
  };
  EXPECT_EQ(engine.run("NEW \"/home/me/local.nuv\"\nNEW \"other.nuv\""),
            (QStringList{"diagnostic NEW \"/home/me/local.nuv\" refused: a Skivet from the network "
                         "may start only network locations",
                         "start |http://doc.example/other.nuv|-ox:860|-oy:490 env NUV_NEW_DEPTH=1 "
                         "NUV_NEW_BUDGET=7"}));
}

TEST(Directives, NewStopsAtTheDepthBound) {
  const struct {
    int depth;
    QStringList log;
  } cases[] = {
      {-5, {"start |/docs/o.nuv|-ox:10|-oy:20|-x:1 env NUV_NEW_DEPTH=1 NUV_NEW_BUDGET=7"}},
      {0, {"start |/docs/o.nuv|-ox:10|-oy:20|-x:1 env NUV_NEW_DEPTH=1 NUV_NEW_BUDGET=7"}},
      {7, {"start |/docs/o.nuv|-ox:10|-oy:20|-x:1 env NUV_NEW_DEPTH=8 NUV_NEW_BUDGET=7"}},
      {8,
       {"diagnostic NEW \"/docs/o.nuv\" refused: this engine was started by 8 NEW in a row, the "
        "most allowed"}},
      {1000,
       {"diagnostic NEW \"/docs/o.nuv\" refused: this engine was started by 1000 NEW in a row, "
        "the most allowed"}},
  };
  for (const auto &c : cases) {
    Engine engine;
    engine.windows.position = QPoint(10, 20);
    engine.interpreter.setNewDepth(c.depth);
    EXPECT_EQ(engine.run("NEW \"o.nuv\" -x:1"), c.log) << c.depth;
  }
}

TEST(Directives, NewStartsAtMostFiveEnginesASecond) {
  Engine engine;
  engine.interpreter.setNewBudget(1 << 20); // the rate alone bounds this engine
  qint64 now = 5000;
  engine.interpreter.setClock([&now] { return now; });
  const auto starts = [&](const char *document) {
    engine.windows.log.clear();
    engine.run(document);
    return std::pair(engine.windows.calls(QStringLiteral("start")).size(),
                     engine.windows.calls(QStringLiteral("diagnostic")));
  };
  const char *seven = "NEW 'a'\nNEW 'a'\nNEW 'a'\nNEW 'a'\nNEW 'a'\nNEW 'a'\nNEW 'a'";
  const QString refused =
      QStringLiteral("diagnostic NEW \"/docs/a\" refused: more than 5 NEW in one second");
  EXPECT_EQ(starts(seven), std::pair(qsizetype(5), QStringList{refused, refused}));
  now += 999;
  EXPECT_EQ(starts("NEW 'a'"), std::pair(qsizetype(0), QStringList{refused}));
  now += 1;
  EXPECT_EQ(starts(seven), std::pair(qsizetype(5), QStringList{refused, refused}));
}

// Each NEW costs one and hands the new engine half of what is left; a spent budget refuses.
TEST(Directives, NewSplitsItsBudget) {
  const QString spent =
      QStringLiteral("diagnostic NEW \"/docs/a\" refused: this engine's share of the 16 engines a "
                     "chain of NEW may have is spent");
  const struct {
    int budget;
    QStringList shares; // of each NEW that starts an engine, then the refusals
  } cases[] = {
      {15, {"7", "3", "1", "0", spent}},         {2, {"0", "0", spent, spent, spent}},
      {1, {"0", spent, spent, spent, spent}},    {0, {spent, spent, spent, spent, spent}},
      {-3, {spent, spent, spent, spent, spent}},
  };
  for (const auto &c : cases) {
    Engine engine;
    engine.interpreter.setNewBudget(c.budget);
    QStringList shares;
    for (const QString &line : engine.run("NEW 'a'\nNEW 'a'\nNEW 'a'\nNEW 'a'\nNEW 'a'")) {
      if (line.startsWith(u"diagnostic")) shares << line;
      if (line.startsWith(u"start")) shares << line.section(QStringLiteral("NUV_NEW_BUDGET="), 1);
    }
    EXPECT_EQ(shares, c.shares) << c.budget;
  }
}

// Every engine of a chain runs the same document, each with what its parent handed it: however
// many NEW lines the document has, the chain stays within its bound.
TEST(Directives, NewChainsStayWithinTheirBudgetInTotal) {
  const struct {
    int lines;
    int engines;
  } cases[] = {{1, 5}, {2, 12}, {3, 15}, {4, 16}, {5, 16}};
  for (const auto &c : cases) {
    const QByteArray document = QByteArray("NEW 'self.nuv'\n").repeated(c.lines);
    std::vector<std::pair<int, int>> waiting{{0, Interpreter::maxChainEngines - 1}};
    int engines = 0;
    // Past the bound, a fault would multiply the engines; stop counting well before.
    while (!waiting.empty() && engines <= 4 * Interpreter::maxChainEngines) {
      const auto [depth, budget] = waiting.back();
      waiting.pop_back();
      ++engines;
      Engine engine;
      engine.interpreter.setNewDepth(depth);
      engine.interpreter.setNewBudget(budget);
      for (const QString &line : engine.run(document.constData()))
        if (line.startsWith(u"start"))
          waiting.emplace_back(depth + 1,
                               line.section(QStringLiteral("NUV_NEW_BUDGET="), 1).toInt());
    }
    EXPECT_EQ(engines, c.engines) << c.lines << " NEW lines";
  }
}

TEST(ObjectBlocks, ButtonPropertiesAreLiterals) {
  const struct {
    const char *line;
    int width;
    bool visible;
    const char *caption;
  } cases[] = {
      {"WIDTH 12.9", 12, true, ""},    {"WIDTH abc", 0, true, ""},
      {"WIDTH -5", -5, true, ""},      {"VISIBLE true", 100, true, ""},
      {"VISIBLE yes", 100, false, ""}, {"CAPTION 'single'", 100, true, "single"},
      {"CAPTION bare", 100, true, ""}, {"caption = \"eq\"", 100, true, "eq"},
  };
  for (const auto &c : cases) {
    Engine engine;
    engine.run((QByteArray("OBJECT BUTTON\n") + c.line + "\nENDOBJECT").constData());
    const ButtonRecord &b = engine.interpreter.objects().buttonTable[1];
    EXPECT_EQ(b.width, c.width) << c.line;
    EXPECT_EQ(b.visible, c.visible) << c.line;
    EXPECT_EQ(b.caption, QString::fromUtf8(c.caption)) << c.line;
  }
}

TEST(ObjectBlocks, DeclarationsCreateControlsAndNames) {
  Engine engine;
  engine.run("OBJECT BUTTON\nENDOBJECT\n"
             "OBJECT BUTTON\nBITMAP 'b.bmp'\nCAPTION 'Go'\nENDOBJECT\n"
             "OBJECT BUTTON\nTYPE graphical\nENDOBJECT\n"
             "OBJECT INPUTBOX\nNAME Box1\nVISIBLE false\nTEXT 'hi'\nENDOBJECT\n"
             "OBJECT FORM\nNAME Main\nENDOBJECT\n");
  const ObjectModel &m = engine.interpreter.objects();
  ASSERT_EQ(m.objectIndex.count(), 4);
  EXPECT_EQ(m.objectIndex[1].name, QStringLiteral("Object1"));
  EXPECT_EQ(m.objectIndex[1].kind, ObjectKind::TextButton);
  EXPECT_EQ(m.objectIndex[2].name, QStringLiteral("Object2"));
  EXPECT_EQ(m.objectIndex[2].kind, ObjectKind::TextPictureButton);
  EXPECT_EQ(m.buttonTable[2].name, QStringLiteral("Object2"));
  EXPECT_EQ(m.buttonTable[3].controlIndex, 0) << "graphical without a bitmap is not shown";
  EXPECT_EQ(m.objectIndex[3].kind, ObjectKind::InputBox);
  EXPECT_EQ(m.objectIndex[4].kind, ObjectKind::Form);
  EXPECT_EQ(m.findObject(QStringLiteral("OBJECT2")), 2);
  EXPECT_EQ(m.findObject(QStringLiteral("MAIN")), 4);
  EXPECT_EQ(m.findObject(QStringLiteral("NOBODY")), -1);

  ASSERT_EQ(engine.windows.controls.size(), 3u);
  const ControlSpec &first = engine.windows.controls[0];
  EXPECT_EQ(first.geometry, QRect(0, 0, 100, 30));
  EXPECT_EQ(nameOf(engine.windows.controls[1].picture), QStringLiteral("/docs/b.bmp"));
  EXPECT_TRUE(engine.windows.controls[2].visible) << "input boxes always show at creation";
  EXPECT_FALSE(m.inputBoxTable[1].visible);
  // Each control carries its object's name, which screen readers call it by.
  const char *const names[] = {"Object1", "Object2", "Box1"};
  for (size_t i = 0; i < std::size(names); ++i)
    EXPECT_EQ(engine.windows.controls[i].name, QString::fromUtf8(names[i])) << i;
}

TEST(ObjectBlocks, TwoOpensBeforeOneCloseLeaveTheFirstWithoutControl) {
  Engine engine;
  engine.run("OBJECT BUTTON\nNAME A\nOBJECT BUTTON\nNAME B\nENDOBJECT");
  const ObjectModel &m = engine.interpreter.objects();
  EXPECT_EQ(m.buttonTable.count(), 2);
  EXPECT_EQ(m.buttonTable[1].controlIndex, 0);
  EXPECT_EQ(m.buttonTable[2].controlIndex, 1);
  EXPECT_EQ(m.findObject(QStringLiteral("A")), -1);
}

TEST(EventBlocks, BodiesAreStoredUninterpreted) {
  Engine engine;
  engine.run("OBJECT BUTTON\n"
             "EVENT CLICK\nTITLE 'first'\nENDEVENT\n"
             "EVENT click\n  # kept comment\n\tTITLE 'second'\n"
             "OBJECT BUTTON\nENDOBJECT\nENDEVENT # closes\n"
             "EVENT CHANGED\nTITLE 'discarded'\nENDEVENT\n"
             "TITLE 'outside'\n"
             "ENDOBJECT");
  const ButtonRecord &b = engine.interpreter.objects().buttonTable[1];
  EXPECT_EQ(b.onClick,
            QStringLiteral("# kept comment\nTITLE 'second'\nOBJECT BUTTON\nENDOBJECT\n"));
  EXPECT_EQ(engine.interpreter.objects().buttonTable.count(), 1);
  EXPECT_EQ(engine.windows.calls(QStringLiteral("title")),
            QStringList{QStringLiteral("title outside")})
      << "only the outer block's own lines run";
}

TEST(EventBlocks, UnclosedBlockKeepsWhatWasRead) {
  Engine engine;
  engine.run("OBJECT INPUTBOX\nEVENT CHANGED\nTITLE 'a'\nTITLE 'b'");
  EXPECT_EQ(engine.interpreter.objects().inputBoxTable[1].onChanged,
            QStringLiteral("TITLE 'a'\nTITLE 'b'\n"));
  EXPECT_TRUE(engine.windows.calls(QStringLiteral("title")).isEmpty());
}

TEST(EventBlocks, EventTextRunsLaterAndMayDeclareObjects) {
  Engine engine;
  engine.run("OBJECT BUTTON\nNAME B1\nEVENT CLICK\nOBJECT BUTTON\nCAPTION 'made'\nENDOBJECT\n"
             "TITLE B1.CAPTION\nENDEVENT\nCAPTION 'orig'\nENDOBJECT");
  for (int i = 0; i < 2; ++i) {
    QString click = engine.interpreter.objects().buttonTable[1].onClick;
    engine.interpreter.parseContent(click);
  }
  EXPECT_EQ(engine.interpreter.objects().buttonTable.count(), 3);
  EXPECT_EQ(engine.windows.calls(QStringLiteral("title")),
            (QStringList{QStringLiteral("title orig"), QStringLiteral("title orig")}));
}

TEST(Preload, ListsFetchEachItemAndResumeAfterTheEnd) {
  Engine engine;
  engine.run("preload images\n'a.bmp' # note\n# skipped\n   \n\"b.bmp\"\nUC('c.png')\n"
             "ENDPRELOAD\nPRELOAD FILE 'c.cur'\nPRELOAD IMAGE \"http://h/d.png\"\n"
             "PRELOAD NOTHING\nOBJECT BUTTON\nENDOBJECT");
  EXPECT_EQ(engine.resources.log,
            (QStringList{"images a.bmp|b.bmp|C.PNG", "file c.cur", "image http://h/d.png"}));
  EXPECT_EQ(engine.windows.calls(QStringLiteral("show loading")),
            QStringList(4, QStringLiteral("show loading |0")));
  EXPECT_EQ(engine.windows.calls(QStringLiteral("hide loading")).size(), 4);
  EXPECT_EQ(engine.interpreter.objects().objectIndex.count(), 1);
}

TEST(Preload, TheLoadingWindowShowsTheLoadingImage) {
  Engine engine;
  engine.run("LOADINGIMAGE SHAPED 'wait.png'\nPRELOAD FILE 'a'\nLOADINGIMAGE ''\nPRELOAD FILE 'b'");
  EXPECT_EQ(engine.windows.calls(QStringLiteral("show loading")),
            (QStringList{"show loading /docs/wait.png|1", "show loading |1"}));
}

// A click during a preload runs its block, whose own PRELOAD fetches; the window stays up until
// the outer statement ends.
TEST(Preload, APreloadDuringAPreloadRunsAndLeavesTheWindowToTheOuterOne) {
  Engine engine;
  engine.run("OBJECT BUTTON\nNAME B\nEVENT CLICK\nPRELOAD IMAGES\n'inner.png'\nENDPRELOAD\n"
             "TITLE 'clicked'\nENDEVENT\nENDOBJECT");
  engine.resources.duringPreload = [&] { engine.interpreter.buttonClicked(1); };
  engine.windows.log.clear();
  engine.run("PRELOAD FILES\n'outer'\nENDPRELOAD\nTITLE 'after'");
  EXPECT_EQ(engine.resources.log, (QStringList{"files outer", "images inner.png"}));
  EXPECT_EQ(engine.windows.log, (QStringList{"show loading |0", "show loading |0", "title clicked",
                                             "hide loading", "title after"}));
}

TEST(Preload, UnclosedListTakesTheRestOfTheText) {
  Engine engine;
  engine.run("PRELOAD FILES\n'a'\nTITLE 'x'");
  EXPECT_EQ(engine.resources.log, (QStringList{"files a|"}));
  EXPECT_TRUE(engine.windows.calls(QStringLiteral("title")).isEmpty());
}

TEST(Properties, ReferencesReadRecords) {
  Engine engine;
  engine.run("OBJECT BUTTON\nNAME Button1\nCAPTION 'Play'\nLEFT 40\nENDOBJECT\n"
             "OBJECT INPUTBOX\nNAME Box1\nTEXT 'mixed Case'\nENDOBJECT\n"
             "OBJECT BUTTON\nTYPE SHAPED\nBITMAP 's.bmp'\nCAPTION 'S'\nLEFT 7\nENDOBJECT\n"
             "OBJECT FORM\nNAME Main\nENDOBJECT\n");
  const struct {
    const char *value;
    const char *expected;
  } cases[] = {
      {"Button1.CAPTION", "Play"},
      {"BUTTON1.caption", "Play"},
      {"Button1 . CAPTION", "Play"},
      {"Button1.LEFT", "40"},
      {"Button1.VISIBLE", "True"},
      {"Button1.SHAPED", "False"},
      {"UC(Box1.TEXT)", "MIXED CASE"},
      {"Object3.LEFT", "7"},
      {"Object3.CAPTION", "S"},
      {"Box1.CAPTION", ""},
      {"Main.NAME", ""},
      {"Nobody.TEXT", ""},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(engine.interpreter.evaluator().stringValue(QString::fromUtf8(c.value), 1),
              QString::fromUtf8(c.expected))
        << c.value;
  }
}

TEST(EndOfRun, PendingBitmapBecomesPlainPicture) {
  Engine plain;
  plain.run("OBJECT FORM\nBITMAP \"skin.bmp\"\nENDOBJECT");
  EXPECT_EQ(plain.windows.log, (QStringList{"skin /docs/skin.bmp| plain"}));
  EXPECT_EQ(plain.interpreter.settings().skin, SkinKind::Plain);

  Engine shaped;
  shaped.run("OBJECT FORM\nBITMAP \"skin.bmp\"\nSETSHAPEBMP\nENDOBJECT");
  EXPECT_EQ(shaped.windows.log, (QStringList{"skin /docs/skin.bmp|"}));
  EXPECT_EQ(shaped.interpreter.settings().skin, SkinKind::Shaped);
}

TEST(EndOfRun, FormPlacementCountsFromTheFarEdge) {
  Engine engine;
  engine.run("OBJECT FORM\nLEFT 100-\nTOP 40\nENDOBJECT");
  EXPECT_EQ(engine.windows.position, QPoint(1820, 40));
}

// Values past the int range stop at its edge: a sum that wrapped would throw the window or a
// control to the other end of the range.
TEST(Placement, NumbersPastTheRangeSaturate) {
  constexpr int most = std::numeric_limits<int>::max();
  constexpr int least = std::numeric_limits<int>::min();
  Engine form;
  form.run("OBJECT FORM\nLEFT -3000000000-\nTOP 3000000000-\nENDOBJECT");
  EXPECT_EQ(form.windows.position, QPoint(most, 1080 - most));

  const struct {
    const char *document;
    QRect geometry; // of the one control
  } cases[] = {
      {"OBJECT INPUTBOX\nLEFT 2147483647\nTOP 2147483000\nWIDTH 100\nHEIGHT 2147483647\n"
       "ENDOBJECT",
       QRect(QPoint(most, 2147483000), QPoint(most, most))},
      {"OBJECT BUTTON\nCAPTION 'c'\nLEFT -2147483648\nTOP 5\nWIDTH -5\nHEIGHT 9999999999\n"
       "ENDOBJECT",
       QRect(QPoint(least, 5), QPoint(least, most))},
      {"OBJECT BROWSER\nLEFT 99999999999\nWIDTH 99999999999\nENDOBJECT",
       QRect(QPoint(most, 0), QPoint(most, -1))},
  };
  for (const auto &c : cases) {
    Engine engine;
    engine.run(c.document);
    const QRect geometry = engine.windows.controls.empty() ? engine.windows.browsers.at(0).geometry
                                                           : engine.windows.controls[0].geometry;
    EXPECT_EQ(geometry, c.geometry) << c.document;
  }

  // The same through commands at run time.
  Engine commanded;
  commanded.run("OBJECT INPUTBOX\nNAME Box\nWIDTH 100\nHEIGHT 10\nENDOBJECT");
  commanded.windows.log.clear();
  EXPECT_EQ(commanded.run("Box LEFT 2147483647\nBox TOP -2147483648\nBox HEIGHT -5"),
            (QStringList{"geometry #1 2147483647 0 1 10", "geometry #1 2147483647 -2147483648 1 10",
                         "geometry #1 2147483647 -2147483648 1 1"}));
}

TEST(ObjectCommands, KeywordNamesWinOverObjectNames) {
  Engine engine;
  engine.run("OBJECT BUTTON\nNAME Title\nENDOBJECT\nTitle 'a keyword, not a command'");
  EXPECT_EQ(engine.windows.calls(QStringLiteral("title")),
            QStringList{QStringLiteral("title a keyword, not a command")});
}

namespace {

// Runs an event text in the middle of a fetch, as a click during a transfer would.
class NestingResources : public FakeResources {
public:
  Interpreter *interpreter = nullptr;
  QString inner;
  Picture loadPicture(const QString &location) override {
    Picture picture = FakeResources::loadPicture(location);
    if (!inner.isEmpty()) {
      QString text = std::exchange(inner, QString());
      interpreter->parseContent(text);
    }
    return picture;
  }
};

} // namespace

TEST(NestedRuns, InnerRunSeesObjectsAndOuterRunResumes) {
  FakeWindowSystem windows;
  NestingResources resources;
  Interpreter interpreter(windows, resources);
  resources.interpreter = &interpreter;
  resources.inner = QStringLiteral("TITLE Early.CAPTION\nOBJECT BUTTON\nNAME Inner\nENDOBJECT");
  QString outer = QStringLiteral("OBJECT BUTTON\nNAME Early\nCAPTION 'e'\nENDOBJECT\n"
                                 "OBJECT BUTTON\nNAME Late\n"
                                 "PRELOAD IMAGE 'x.bmp'\nCAPTION 'l'\nENDOBJECT\nTITLE 'done'");
  interpreter.parseContent(outer);
  const ObjectModel &m = interpreter.objects();
  EXPECT_EQ(windows.calls(QStringLiteral("title")),
            (QStringList{QStringLiteral("title e"), QStringLiteral("title done")}));
  EXPECT_EQ(m.findObject(QStringLiteral("INNER")), 2);
  // The inner declaration appended a record; the outer block goes on with the newest one.
  EXPECT_EQ(m.buttonTable.count(), 3);
}
