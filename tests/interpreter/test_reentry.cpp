// What the user does while a picture is still coming: every picture arrives before the window
// system is asked to show it, and what ran meanwhile is respected, never undone or crashed into.
#include "../support/fakewindowsystem.h"
#include "interpreter.h"

#include <gtest/gtest.h>

#include <QHash>

using namespace nuv;
using namespace nuv::test;

namespace {

// A fetch that waits: while the picture at a location "comes", the test's action runs, as an
// event the event loop delivers meanwhile would.
class WaitingResources : public FakeResources {
public:
  QHash<QString, std::function<void()>> whileFetching;

  Picture loadPicture(const QString &location) override {
    Picture picture = FakeResources::loadPicture(location);
    if (const std::function<void()> action = whileFetching.take(location)) action();
    return picture;
  }
};

// Two picture buttons: A with remote over and down pictures, B with local ones.
const char *const kButtons = "OBJECT BUTTON\nNAME A\nTYPE GRAPHICAL\nBITMAP 'a.bmp'\n"
                             "OVERBITMAP 'http://h/a-over.bmp'\nDOWNBITMAP 'http://h/a-down.bmp'\n"
                             "EVENT MOUSEOVER\nTITLE 'over A'\nENDEVENT\nENDOBJECT\n"
                             "OBJECT BUTTON\nNAME B\nTYPE GRAPHICAL\nBITMAP 'b.bmp'\n"
                             "OVERBITMAP 'b-over.bmp'\n"
                             "EVENT MOUSEOVER\nTITLE 'over B'\nENDEVENT\nENDOBJECT\n";

struct Engine {
  FakeWindowSystem windows;
  WaitingResources resources;
  Interpreter interpreter{windows, resources};

  explicit Engine(const char *document = kButtons) {
    run(document);
    windows.log.clear();
    resources.log.clear();
  }
  void run(const char *text) {
    QString document = QString::fromUtf8(text);
    interpreter.parseContent(document);
  }
  // Runs text while the picture at location comes.
  void whileFetching(const char *location, const char *text) {
    whileFetching(location, [this, text] { run(text); });
  }
  void whileFetching(const char *location, std::function<void()> action) {
    resources.whileFetching.insert(QString::fromUtf8(location), std::move(action));
  }
  ControlId controlOf(const char *name) const {
    const ObjectModel &m = interpreter.objects();
    return m.objectIndex[m.findObject(QString::fromUtf8(name).toUpper())].control;
  }
};

TEST(WhileAPictureComes, TheLoadingWindowShowsOnlyOnceItsPictureIsThere) {
  const struct {
    const char *meanwhile;
    QStringList log;
  } cases[] = {
      // The window is gone: no loading window shows after it.
      {"EXIT", {"hide loading", "hide loading", "close main", "hide loading"}},
      // The nested LOADINGIMAGE takes the loading window away; the outer PRELOAD then shows its
      // own, with the picture it fetched.
      {"LOADINGIMAGE 'other.png'",
       {"hide loading", "hide loading", "show loading http://h/held.png|0", "hide loading"}},
  };
  for (const auto &c : cases) {
    Engine engine("");
    engine.whileFetching("http://h/held.png", c.meanwhile);
    engine.run("LOADINGIMAGE 'http://h/held.png'\nPRELOAD IMAGE 'x.png'");
    EXPECT_EQ(engine.windows.log, c.log) << c.meanwhile;
  }
}

TEST(WhileAPictureComes, AnObjectDeclaredMeanwhileKeepsItsOwnControl) {
  Engine engine("");
  engine.whileFetching("http://h/held.png",
                       "OBJECT BUTTON\nNAME Quick\nTYPE GRAPHICAL\nBITMAP 'q.bmp'\nENDOBJECT");
  engine.run("OBJECT BUTTON\nNAME Slow\nTYPE GRAPHICAL\nBITMAP 'http://h/held.png'\nENDOBJECT");
  const ControlId slow = engine.controlOf("Slow");
  const ControlId quick = engine.controlOf("Quick");
  ASSERT_NE(slow, quick);
  const std::vector<ControlSpec> &made = engine.windows.controls;
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(nameOf(made[size_t(slow - 1)].picture), QStringLiteral("http://h/held.png"));
  EXPECT_EQ(nameOf(made[size_t(quick - 1)].picture), QStringLiteral("/docs/q.bmp"));
  // Commands reach the control each name was made with.
  engine.windows.log.clear();
  engine.run("Slow HIDE\nQuick LEFT 7");
  EXPECT_EQ(engine.windows.log,
            (QStringList{QStringLiteral("visible #%1 0").arg(slow),
                         QStringLiteral("geometry #%1 7 0 100 30").arg(quick)}));
}

// A reload (--watch) waits while the engine is running; a swap whose picture is coming counts.
TEST(WhileAPictureComes, ASwapIsARunThatAReloadWaitsFor) {
  const struct {
    const char *location;
    void (*swap)(Interpreter &);
  } cases[] = {
      {"http://h/a-down.bmp", [](Interpreter &i) { i.buttonPressed(1, 1); }},
      {"http://h/a-over.bmp", [](Interpreter &i) { i.pointerOverButton(1, 1, true); }},
  };
  for (const auto &c : cases) {
    Engine engine;
    bool running = false;
    engine.whileFetching(c.location, [&] { running = engine.interpreter.isRunning(); });
    c.swap(engine.interpreter);
    EXPECT_TRUE(running) << c.location;
    EXPECT_FALSE(engine.interpreter.isRunning()) << c.location;
  }
}

TEST(WhileAPictureComes, WhatHappensMeanwhileWins) {
  const struct {
    const char *name;
    const char *location;
    void (*first)(Interpreter &);
    void (*meanwhile)(Interpreter &);
    QStringList log;
    int hovered;
  } cases[] = {
      {"released before the down picture came: the normal picture stays", "http://h/a-down.bmp",
       [](Interpreter &i) { i.buttonPressed(1, 1); },
       [](Interpreter &i) { i.buttonReleased(1, 1); }, QStringList{"picture #1 /docs/a.bmp"}, -1},
      {"left for the background before the over picture came: no hover at all",
       "http://h/a-over.bmp", [](Interpreter &i) { i.pointerOverButton(1, 1, true); },
       [](Interpreter &i) { i.pointerOverBackground(); }, QStringList{}, -1},
      {"moved on to B before A's over picture came: B is hovered", "http://h/a-over.bmp",
       [](Interpreter &i) { i.pointerOverButton(1, 1, true); },
       [](Interpreter &i) { i.pointerOverButton(2, 2, true); },
       QStringList{"picture #2 /docs/b-over.bmp", "title over B"}, 2},
      {"moves inside A while its over picture comes are one entry", "http://h/a-over.bmp",
       [](Interpreter &i) { i.pointerOverButton(1, 1, true); },
       [](Interpreter &i) { i.pointerOverButton(1, 1, true); },
       QStringList{"picture #1 http://h/a-over.bmp", "title over A"}, 1},
      {"pressed while the over picture came: the down picture stays", "http://h/a-over.bmp",
       [](Interpreter &i) { i.pointerOverButton(1, 1, true); },
       [](Interpreter &i) { i.buttonPressed(1, 1); },
       QStringList{"picture #1 http://h/a-down.bmp", "title over A"}, 1},
  };
  for (const auto &c : cases) {
    Engine engine;
    engine.whileFetching(c.location, [&] { c.meanwhile(engine.interpreter); });
    c.first(engine.interpreter);
    EXPECT_EQ(engine.windows.log, c.log) << c.name;
    EXPECT_EQ(engine.interpreter.hoveredButton(), c.hovered) << c.name;
  }
}

TEST(WhileAPictureComes, ExitEndsTheTransfersAndTheRunGoesOn) {
  Engine engine("");
  engine.resources.duringPreload = [&] { engine.run("EXIT"); };
  engine.run("PRELOAD IMAGES\nhttp://h/held.png\nENDPRELOAD\nTITLE 'after'");
  EXPECT_TRUE(engine.resources.log.contains(QStringLiteral("end transfers")));
  EXPECT_EQ(engine.windows.calls(QStringLiteral("close main")).size(), 1);
  EXPECT_EQ(engine.windows.calls(QStringLiteral("title")), QStringList{"title after"});
}

} // namespace
