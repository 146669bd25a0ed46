// Commands on objects and the user's actions on controls, seen through the window-system log.
#include "../support/fakewindowsystem.h"
#include "interpreter.h"

#include <gtest/gtest.h>

#include <functional>

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
  Interpreter interpreter{windows, resources};

  explicit Engine(const char *document = kDocument, bool browserModule = true) {
    windows.browserModule = browserModule;
    run(document);
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

struct CommandCase {
  const char *command;
  QStringList log;      // what reaches the window system
  const char *property; // read afterwards
  const char *expected;
};

// Each command on a fresh engine.
template <size_t N> void expectCommands(const char *document, const CommandCase (&cases)[N]) {
  for (const CommandCase &c : cases) {
    Engine engine(document);
    EXPECT_EQ(engine.run(c.command), c.log) << c.command;
    EXPECT_EQ(engine.value(c.property), QString::fromUtf8(c.expected)) << c.command;
  }
}

} // namespace

TEST(ObjectCommands, ChangeControlsAndRecords) {
  const CommandCase cases[] = {
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
  expectCommands(kDocument, cases);
}

TEST(FormCommands, MoveAndReskinAtRunTime) {
  const struct {
    const char *commands;
    QStringList log;
  } cases[] = {
      {"Main LEFT 0-", {"move 1920 -99999"}},
      {"main.top 20", {"move -99999 20"}},
      {"Main TOP Box", {"move -99999 0"}},
      {"Main.BITMAP 'skin.bmp'", {"skin /docs/skin.bmp| plain"}},
      {"Main.BITMAP 'skin.bmp'\nMain SETSHAPEBMP", {"skin /docs/skin.bmp|"}},
      // The bitmap only stands in for an alpha picture that cannot be had: not fetched here.
      {"Main ALPHABLENDBITMAP 'glow.png'\nMain BITMAP 'skin.bmp'\nMain SETSHAPEBMP",
       {"skin ?|/docs/glow.png"}},
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

// A button that lost the whole of its picture gets again the one it shows: the over picture
// while hovered, else its normal one; a button without a picture gets none.
TEST(ControlEvents, AWantedPictureIsTheOneShown) {
  Engine engine;
  Interpreter &i = engine.interpreter;
  i.pointerOverButton(2, 2, true);
  engine.windows.log.clear();
  i.pictureWanted(2, 2);
  i.pictureWanted(1, 1);
  i.pictureWanted(99, 7);
  EXPECT_EQ(engine.windows.log, (QStringList{"picture #2 /docs/a-over.bmp"}));
  i.pointerOverBackground();
  engine.windows.log.clear();
  i.pictureWanted(2, 2);
  EXPECT_EQ(engine.windows.log, (QStringList{"picture #2 /docs/a.bmp"}));
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

namespace {

const char *const kBrowserDocument =
    "OBJECT BROWSER\nNAME Web\nLEFT 5\nTOP 6\nWIDTH 300\nHEIGHT 200\nLOCATION 'start.html'\n"
    "MASK 'mask.bmp'\nHOME 'home.html'\n"
    "EVENT BEFORENAVIGATE\nTITLE Web.TARGETURL\nENDEVENT\n"
    "EVENT AFTERNAVIGATE\nTITLE LC(Web.LOCATION)\nENDEVENT\nENDOBJECT\n"
    "OBJECT BROWSER\nNAME Quiet\nJSERRORS TRUE\nVISIBLE FALSE\nENDOBJECT\n";

} // namespace

TEST(Browsers, DeclarationCarriesResolvedLocationAndMask) {
  Engine engine(kBrowserDocument);
  ASSERT_EQ(engine.windows.browsers.size(), 2u);
  const BrowserSpec &web = engine.windows.browsers[0];
  EXPECT_EQ(web.recordIndex, 1);
  EXPECT_EQ(web.geometry, QRect(5, 6, 300, 200));
  EXPECT_EQ(web.location, QStringLiteral("file:///docs/start.html"));
  EXPECT_EQ(web.documentOrigin, QStringLiteral("file:///docs/"));
  EXPECT_EQ(nameOf(web.mask), QStringLiteral("/docs/mask.bmp"));
  EXPECT_TRUE(web.silent) << "pages stay silent unless JSERRORS TRUE";
  EXPECT_TRUE(web.visible);
  const BrowserSpec &quiet = engine.windows.browsers[1];
  EXPECT_FALSE(quiet.silent);
  EXPECT_FALSE(quiet.visible);
  EXPECT_TRUE(quiet.location.isEmpty());
}

TEST(Browsers, CommandsReachTheBrowserAndItsRecord) {
  const CommandCase cases[] = {
      {"Web BACK", {"action #1 back"}, "Web.LOCATION", "file:///docs/start.html"},
      {"web.forward", {"action #1 forward"}, "", ""},
      {"Web REFRESH", {"action #1 refresh"}, "", ""},
      {"Web STOP", {"action #1 stop"}, "", ""},
      {"Web.LOCATION 'page.html'",
       {"navigate #1 file:///docs/page.html"},
       "Web.LOCATION",
       "file:///docs/page.html"},
      {"Web LOCATION UC('http://h/x')", {"navigate #1 HTTP://H/X"}, "Web.LOCATION", "HTTP://H/X"},
      {"Web LOCATION \"help.html#faq\"",
       {"navigate #1 file:///docs/help.html#faq"},
       "Web.LOCATION",
       "file:///docs/help.html#faq"},
      {"Web JSERRORS true", {"silent #1 1"}, "", ""},
      {"Web JSERRORS", {"silent #1 0"}, "", ""},
      {"Web WIDTH 50", {"geometry #1 5 6 50 200"}, "Web.WIDTH", "50"},
      {"Web HIDE", {"visible #1 0"}, "Web.VISIBLE", "True"},
      {"Quiet SHOW", {"visible #2 1"}, "Quiet.VISIBLE", "False"},
      {"Web FLY", {}, "Web.HOME", ""},
  };
  expectCommands(kBrowserDocument, cases);
}

TEST(Browsers, WithoutTheModuleTheObjectKeepsItsRecord) {
  Engine engine(kBrowserDocument, false);
  const ObjectModel &m = engine.interpreter.objects();
  const int entry = m.findObject(QStringLiteral("WEB"));
  ASSERT_EQ(entry, 1);
  EXPECT_EQ(m.objectIndex[entry].kind, ObjectKind::Browser);
  EXPECT_EQ(m.objectIndex[entry].control, 0);
  engine.run("Web.LOCATION 'next.html'");
  EXPECT_EQ(engine.value("Web.LOCATION"), QStringLiteral("file:///docs/next.html"));
}

// However they are declared, a document shows at most 16 browsers; the rest keep their records
// as without the module, and the first of them is named once. A reload starts afresh.
TEST(Browsers, ADocumentShowsAtMostSixteen) {
  const QByteArray sixteen = QByteArray("OBJECT BROWSER\nENDOBJECT\n").repeated(16);
  const QByteArray extra = "OBJECT BROWSER\nNAME Extra\nENDOBJECT\n";
  const struct {
    const char *name;
    QByteArray document;
    int clicks;
  } cases[] = {
      {"in the document", sixteen + extra + "OBJECT BROWSER\nENDOBJECT\n", 0},
      {"by an event, click after click",
       "OBJECT BUTTON\nNAME Maker\nEVENT CLICK\n" + extra + "ENDEVENT\nENDOBJECT\n" + sixteen, 3},
  };
  const QStringList notice{QStringLiteral(
      "diagnostic BROWSER Extra and any later one not shown: a document shows at most 16 "
      "browsers")};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Engine engine("");
    engine.run(c.document.constData());
    for (int click = 0; click < c.clicks; ++click)
      engine.interpreter.buttonClicked(1);
    EXPECT_EQ(engine.windows.browsers.size(), 16u);
    EXPECT_EQ(engine.windows.calls(QStringLiteral("diagnostic")), notice);
    const ObjectModel &m = engine.interpreter.objects();
    const int entry = m.findObject(QStringLiteral("EXTRA"));
    ASSERT_GE(entry, 0);
    EXPECT_EQ(m.objectIndex[entry].kind, ObjectKind::Browser);
    EXPECT_EQ(m.objectIndex[entry].control, 0);
    engine.run("Extra.LOCATION 'next.html'");
    EXPECT_EQ(engine.value("Extra.LOCATION"), QStringLiteral("file:///docs/next.html"));

    engine.windows.log.clear();
    engine.interpreter.resetDocument();
    engine.run((sixteen + extra).constData());
    EXPECT_EQ(engine.windows.browsers.size(), 32u);
    EXPECT_EQ(engine.windows.calls(QStringLiteral("diagnostic")), notice);
  }
}

TEST(Browsers, NavigationsRecordTheAddressBeforeTheBlockRuns) {
  Engine engine(kBrowserDocument);
  Interpreter &i = engine.interpreter;
  i.beforeNavigate(1, QStringLiteral("http://h/Frame.html"));
  i.afterNavigate(1, QStringLiteral("http://h/Top.html"));
  i.beforeNavigate(2, QStringLiteral("http://h/quiet.html")); // no block
  i.beforeNavigate(3, QStringLiteral("http://h/none.html"));  // no such record
  i.afterNavigate(0, QStringLiteral("http://h/none.html"));
  EXPECT_EQ(engine.windows.log,
            (QStringList{"title http://h/Frame.html", "title http://h/top.html"}));
  EXPECT_EQ(engine.value("Web.TARGETURL"), QStringLiteral("http://h/Frame.html"));
  EXPECT_EQ(engine.value("Quiet.TARGETURL"), QStringLiteral("http://h/quiet.html"));
  EXPECT_EQ(engine.value("Web.LOCATION"), QStringLiteral("http://h/Top.html"));
}

// Inside the web engine's callback nothing runs; each block runs later with its own address.
TEST(Browsers, CallbacksOnlyRecordAndBlocksRunAfter) {
  Engine engine(kBrowserDocument);
  Interpreter &i = engine.interpreter;
  i.navigationRequested(1, QStringLiteral("http://h/one.html"));
  i.navigationRequested(1, QStringLiteral("http://h/two.html"));
  i.navigationFinished(1, QStringLiteral("http://h/Two.html"));
  EXPECT_TRUE(engine.windows.log.isEmpty());
  EXPECT_EQ(engine.value("Web.TARGETURL"), QStringLiteral("http://h/two.html"));
  EXPECT_EQ(engine.value("Web.LOCATION"), QStringLiteral("http://h/Two.html"));
  i.beforeNavigate(1, QStringLiteral("http://h/one.html"));
  EXPECT_EQ(engine.windows.log, QStringList{"title http://h/one.html"});
}

TEST(Browsers, PageCommandsSplitBeforeDecoding) {
  Engine engine(kBrowserDocument);
  engine.interpreter.pageCommand(1, QStringLiteral("file:///docs/"),
                                 QStringLiteral("TITLE%20'a;b';TITLE+%27c%3Bd%27;Web BACK"));
  EXPECT_EQ(engine.windows.log, (QStringList{"title a;b", "title c;d", "action #1 back"}));
  EXPECT_TRUE(engine.value("Web.TARGETURL").isEmpty()) << "a command is no navigation";
}

TEST(Browsers, UrlDecoding) {
  const struct {
    const char16_t *encoded;
    QString decoded;
  } cases[] = {
      {u"a+b", QStringLiteral("a b")},
      {u"%41%62", QStringLiteral("Ab")},
      {u"%2541", QStringLiteral("%41")}, // a decoded "%" is not decoded again
      {u"%2B", QStringLiteral("+")},
      {u"x%4", QStringLiteral("x\u0004")},
      {u"%4G1", QStringLiteral("\u0004"
                               "1")},
      {u"%G41", QString(QChar(0)) + QStringLiteral("1")},
      {u"ab%", QStringLiteral("ab") + QChar(0)},
      // Escapes next to each other that form UTF-8 give its characters; any other byte stays
      // the character of its code.
      {u"Gr%C3%BC%C3%9Fe", QStringLiteral("Gr\u00FC\u00DFe")},
      {u"%c3%a9%E2%82%AC", QStringLiteral("\u00E9\u20AC")},
      {u"%F0%9F%98%80", QStringLiteral("\U0001F600")},
      {u"%C3", QStringLiteral("\u00C3")},
      {u"%C3+%BC", QStringLiteral("\u00C3 \u00BC")},
      {u"%C3%BCx%C3", QStringLiteral("\u00FCx\u00C3")},
      {u"%C3%zz%BC", QStringLiteral("\u00C3") + QChar(0) + QStringLiteral("\u00BC")},
      {u"%E2%82", QStringLiteral("\u00E2\u0082")},
      {u"%C0%80", QStringLiteral("\u00C0\u0080")},                   // overlong
      {u"%ED%A0%80", QStringLiteral("\u00ED\u00A0\u0080")},          // a surrogate
      {u"%F4%90%80%80", QStringLiteral("\u00F4\u0090\u0080\u0080")}, // past U+10FFFF
      {u"\u00C3\u00BC", QStringLiteral("\u00C3\u00BC")},             // no escapes: as written
  };
  for (const auto &c : cases)
    EXPECT_EQ(urlDecode(QStringView(c.encoded)), c.decoded)
        << QString::fromUtf16(c.encoded).toStdString();
}

TEST(Browsers, AddressesOfPagesAndTheirOrigins) {
  const struct {
    const char *address;
    const char *origin;
  } cases[] = {
      {"http://Host.Example/a/b.html", "http://host.example:80"},
      {"HTTPS://h:8443/x", "https://h:8443"},
      {"http://127.0.0.1:8702", "http://127.0.0.1:8702"},
      {"ftp://files/x.zip", "ftp://files:21"},
      {"/docs/page.html", "file:///docs/"},
      {"file:///docs/sub/page.html", "file:///docs/sub/"},
      {"file:///docs/../etc/", "file:///etc/"},
      {"/docs/help.html?from=/elsewhere/x#faq", "file:///docs/"},
      {"file://", ""},
      {"C:/docs/x.html", ""},
      {"about:blank", ""},
      {"", ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(originOf(QString::fromUtf8(c.address)), QString::fromUtf8(c.origin)) << c.address;
  EXPECT_EQ(browserAddress(QStringLiteral("/my docs/a.html")),
            QStringLiteral("file:///my docs/a.html"));
  EXPECT_EQ(browserAddress(QStringLiteral("http://h/a")), QStringLiteral("http://h/a"));
  // A local address keeps its query and fragment, as a web address does.
  EXPECT_EQ(browserAddress(QStringLiteral("/docs/help.html#faq")),
            QStringLiteral("file:///docs/help.html#faq"));
  EXPECT_EQ(browserAddress(QStringLiteral("/my docs/a.html?q=1&r=/x#top")),
            QStringLiteral("file:///my docs/a.html?q=1&r=/x#top"));
}

namespace {

// One browser sent to a remote page by LOCATION, with a HOME on another server.
const char *const kTrustDocument =
    "OBJECT BROWSER\nNAME Web\nLOCATION 'http://Pages.Example:81/start.html'\n"
    "HOME 'https://home.example/'\nENDOBJECT\n";

} // namespace

TEST(Browsers, OnlyTrustedPagesCommandTheEngine) {
  const struct {
    const char *origin;
    bool runs;
  } cases[] = {
      {"file:///docs/", true}, // the local document's own folder
      {"file:///docs/sub/deeper/", true},
      {"file:///docs/../etc/", false},
      {"file:///docsx/", false},
      {"file:///", false},
      {"file://", false}, // a file page that cannot be placed
      {"", false},
      {"http://pages.example:81", true}, // LOCATION in the block
      {"http://PAGES.example:81/", true},
      {"http://pages.example:82", false},
      {"https://pages.example:81", false},
      {"https://home.example:443", true}, // HOME in the block
      {"http://home.example", false},
      {"http://127.0.0.1:8702", false},
  };
  for (const auto &c : cases) {
    Engine engine(kTrustDocument);
    engine.interpreter.pageCommand(1, QString::fromUtf8(c.origin), QStringLiteral("TITLE+'ran'"));
    const QStringList expected =
        c.runs
            ? QStringList{"title ran"}
            : QStringList{QStringLiteral("diagnostic NUV: command refused: the page's origin "
                                         "is not trusted: ") +
                          (*c.origin ? QString::fromUtf8(c.origin) : QStringLiteral("(unknown)"))};
    EXPECT_EQ(engine.windows.log, expected) << c.origin;
  }
}

TEST(Browsers, TrustComesFromTheDocumentNotFromPages) {
  Engine engine(kTrustDocument);
  Interpreter &i = engine.interpreter;
  const QString later = QStringLiteral("http://later.example:9");
  const QString other = QStringLiteral("http://other.example:9");
  // The document's own LOCATION command trusts the new address's origin.
  engine.run("Web LOCATION 'http://later.example:9/next.html'");
  // A trusted page sending the browser elsewhere trusts nothing new.
  i.pageCommand(1, later, QStringLiteral("Web+LOCATION+'http://other.example:9/'"));
  engine.windows.log.clear();
  i.pageCommand(1, later, QStringLiteral("TITLE+'later'"));
  i.pageCommand(1, other, QStringLiteral("TITLE+'other'"));
  EXPECT_EQ(engine.windows.log,
            (QStringList{"title later", "diagnostic NUV: command refused: the page's origin is "
                                        "not trusted: http://other.example:9"}));
}

TEST(Browsers, RemoteDocumentTrustsItsOwnServer) {
  Engine engine("");
  engine.resources.baseFolder = QStringLiteral("http://doc.example:8000/skivets/");
  engine.run("OBJECT BROWSER\nNAME Web\nLOCATION 'page.html'\nENDOBJECT\n");
  ASSERT_EQ(engine.windows.browsers.size(), 1u);
  EXPECT_EQ(engine.windows.browsers[0].location,
            QStringLiteral("http://doc.example:8000/skivets/page.html"));
  EXPECT_EQ(engine.windows.browsers[0].documentOrigin, QStringLiteral("http://doc.example:8000"));
  engine.windows.log.clear();
  engine.interpreter.pageCommand(1, QStringLiteral("http://doc.example:8000"),
                                 QStringLiteral("TITLE+'own'"));
  engine.interpreter.pageCommand(1, QStringLiteral("file:///skivets/"),
                                 QStringLiteral("TITLE+'local'"));
  EXPECT_EQ(engine.windows.calls(QStringLiteral("title")), QStringList{"title own"});
}

TEST(Browsers, ReloadForgetsWhatTheOldVersionTrusted) {
  Engine engine(kTrustDocument);
  engine.interpreter.resetDocument();
  engine.run("OBJECT BROWSER\nNAME Web\nLOCATION 'http://new.example:81/'\nENDOBJECT\n");
  engine.windows.log.clear();
  for (const char *origin :
       {"http://pages.example:81", "https://home.example:443", "http://new.example:81"})
    engine.interpreter.pageCommand(1, QString::fromUtf8(origin), QStringLiteral("TITLE+'ran'"));
  EXPECT_EQ(engine.windows.log,
            (QStringList{"diagnostic NUV: command refused: the page's origin is not trusted: "
                         "http://pages.example:81",
                         "diagnostic NUV: command refused: the page's origin is not trusted: "
                         "https://home.example:443",
                         "title ran"}));
}

// A trusted page may declare objects, but their blocks act for the page when they run later:
// whatever address they give a browser earns no trust.
TEST(Browsers, BlocksThatPagesDeclareTrustNothing) {
  const QString trusted = QStringLiteral("http://pages.example:81");
  const QString elsewhere = QStringLiteral("http://elsewhere.example:9");
  const struct {
    const char *declared;
    std::function<void(Interpreter &)> trigger;
  } cases[] = {
      {"OBJECT BUTTON;NAME Go;EVENT CLICK;Web LOCATION 'http://elsewhere.example:9/';ENDEVENT;"
       "ENDOBJECT",
       [](Interpreter &i) { i.buttonClicked(1); }},
      {"OBJECT BUTTON;NAME Go;TYPE GRAPHICAL;EVENT MOUSEOVER;"
       "Web LOCATION 'http://elsewhere.example:9/';ENDEVENT;ENDOBJECT",
       [](Interpreter &i) { i.pointerOverButton(1, 2, true); }},
      {"OBJECT INPUTBOX;NAME Box;EVENT CHANGED;Web LOCATION 'http://elsewhere.example:9/';"
       "ENDEVENT;ENDOBJECT",
       [](Interpreter &i) { i.inputBoxKey(1, QStringLiteral("x"), true); }},
      {"OBJECT BROWSER;NAME Other;EVENT AFTERNAVIGATE;Web LOCATION 'http://elsewhere.example:9/';"
       "ENDEVENT;ENDOBJECT",
       [](Interpreter &i) { i.afterNavigate(2, QStringLiteral("http://x.example/")); }},
      {"OBJECT BROWSER;NAME Other;EVENT BEFORENAVIGATE;Web LOCATION 'http://elsewhere.example:9/';"
       "ENDEVENT;ENDOBJECT",
       [](Interpreter &i) { i.beforeNavigate(2, QStringLiteral("http://x.example/")); }},
      // What such a block declares is the page's too.
      {"OBJECT BUTTON;NAME Go;EVENT CLICK;OBJECT BROWSER;NAME Made;"
       "LOCATION 'http://elsewhere.example:9/';ENDOBJECT;ENDEVENT;ENDOBJECT",
       [](Interpreter &i) { i.buttonClicked(1); }},
  };
  for (const auto &c : cases) {
    Engine engine(kTrustDocument);
    Interpreter &i = engine.interpreter;
    i.pageCommand(1, trusted, QString::fromUtf8(c.declared));
    c.trigger(i);
    const bool navigated =
        engine.windows.log.join(u'\n').contains(QStringLiteral("navigate #1 http://elsewhere")) ||
        (engine.windows.browsers.size() == 2 &&
         engine.windows.browsers[1].location.startsWith(QStringLiteral("http://elsewhere")));
    EXPECT_TRUE(navigated) << c.declared << " never ran its block";
    engine.windows.log.clear();
    i.pageCommand(1, elsewhere, QStringLiteral("TITLE+'ran'"));
    EXPECT_EQ(engine.windows.log,
              QStringList{QStringLiteral("diagnostic NUV: command refused: the page's origin is "
                                         "not trusted: http://elsewhere.example:9")})
        << c.declared;
  }
  // The document's own blocks still trust what they give.
  Engine engine(kTrustDocument);
  engine.run("OBJECT BUTTON\nNAME Go\nEVENT CLICK\nWeb LOCATION 'http://elsewhere.example:9/'\n"
             "ENDEVENT\nENDOBJECT\n");
  engine.interpreter.buttonClicked(1);
  engine.windows.log.clear();
  engine.interpreter.pageCommand(1, elsewhere, QStringLiteral("TITLE+'ran'"));
  EXPECT_EQ(engine.windows.log, QStringList{"title ran"});
}

// A foreign page that commands in a loop is named once; the rest is a count every ten seconds.
TEST(Browsers, RefusalsAreSaidOnceThenCounted) {
  Engine engine(kTrustDocument);
  qint64 now = 5'000;
  engine.interpreter.setClock([&now] { return now; });
  const QString refused = QStringLiteral("diagnostic NUV: command refused: the page's origin is "
                                         "not trusted: ");
  const auto more = [](int n) {
    return QStringLiteral("diagnostic NUV: %1 more commands refused from pages whose origin is "
                          "not trusted")
        .arg(n);
  };
  const struct {
    qint64 at;
    const char *origin;
    QStringList said;
  } steps[] = {
      {5'000, "http://a.example:1", {refused + "http://a.example:1"}},
      {5'100, "http://a.example:1", {}},
      {5'200, "", {refused + "(unknown)"}},
      {5'300, "", {}},
      {14'999, "http://a.example:1", {}},
      {15'000, "http://a.example:1", {more(4)}},
      {15'001, "http://b.example:1", {refused + "http://b.example:1"}},
      {24'999, "http://b.example:1", {}},
      {25'000, "http://a.example:1", {more(2)}},
  };
  for (const auto &step : steps) {
    now = step.at;
    engine.windows.log.clear();
    engine.interpreter.pageCommand(1, QString::fromUtf8(step.origin), QStringLiteral("TITLE+'x'"));
    EXPECT_EQ(engine.windows.log, step.said) << step.at;
  }
  // Origins made up without end: only the first few are named, the rest counted.
  engine.windows.log.clear();
  for (int n = 0; n < 100; ++n)
    engine.interpreter.pageCommand(1, QStringLiteral("http://o%1.example:1").arg(n),
                                   QStringLiteral("TITLE+'x'"));
  const qsizetype named = RefusalNotices::maxNamedOrigins - 3;
  ASSERT_EQ(engine.windows.log.size(), named);
  EXPECT_EQ(engine.windows.log.last(),
            refused + QStringLiteral("http://o%1.example:1").arg(named - 1));
  now = 35'000;
  engine.windows.log.clear();
  engine.interpreter.pageCommand(1, QStringLiteral("http://o0.example:1"),
                                 QStringLiteral("TITLE+'x'"));
  EXPECT_EQ(engine.windows.log, QStringList{more(int(100 - named + 1))});
}
