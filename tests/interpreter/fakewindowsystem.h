// A recording window system: every call becomes one line of a log the tests read.
#pragma once

#include "resources.h"
#include "windowsystem.h"

#include <QStringList>
#include <vector>

namespace nuv::test {

class FakeWindowSystem : public WindowSystem {
public:
  QStringList log;
  std::vector<ControlSpec> controls; // ControlId n is controls[n - 1]
  QPoint position{-99999, -99999};
  QSize screen{1920, 1080};

  void showMessage(const QString &title, const QString &text, MessageIcon icon) override {
    log << QStringLiteral("message %1|%2|%3").arg(title, text).arg(int(icon));
  }
  void setTitle(const QString &title) override { log << QStringLiteral("title ") + title; }
  void setAlwaysOnTop(bool onTop) override { log << QStringLiteral("ontop %1").arg(onTop); }
  void setShowInTaskbar(bool show) override { log << QStringLiteral("taskbar %1").arg(show); }
  void minimize() override { log << QStringLiteral("minimize"); }
  void closeMainWindow() override { log << QStringLiteral("close main"); }
  void closeLoadingWindow() override { log << QStringLiteral("close loading"); }
  void showLoadingWindow() override { log << QStringLiteral("show loading"); }
  void hideLoadingWindow() override { log << QStringLiteral("hide loading"); }
  void hideAlphaWindow() override { log << QStringLiteral("hide alpha"); }
  void setMaskColor(int r, int g, int b) override {
    log << QStringLiteral("mask %1 %2 %3").arg(r).arg(g).arg(b);
  }
  void setClipObjectsVisible(bool visible) override {
    log << QStringLiteral("clip %1").arg(visible);
  }
  QPoint mainWindowPosition() const override { return position; }
  void setMainWindowPosition(const QPoint &topLeft) override {
    position = topLeft;
    log << QStringLiteral("move %1 %2").arg(topLeft.x()).arg(topLeft.y());
  }
  QSize screenSize() const override { return screen; }
  void setMainPicture(const QString &location) override {
    log << QStringLiteral("picture ") + location;
  }
  int applyWindowSkin(const QString &skin, const QString &alpha) override {
    log << QStringLiteral("skin %1|%2").arg(skin, alpha);
    return skin.isEmpty() ? 0 : 1;
  }
  void setMoveRestriction(int mode) override { log << QStringLiteral("restrict %1").arg(mode); }
  bool startProcess(const QString &program, const QStringList &arguments) override {
    log << QStringLiteral("start %1|%2").arg(program, arguments.join(QLatin1Char('|')));
    return true;
  }
  ControlId createControl(const ControlSpec &request) override {
    controls.push_back(request);
    log << QStringLiteral("create %1 #%2").arg(int(request.kind)).arg(request.element);
    return ControlId(controls.size());
  }

  void setControlGeometry(ControlId control, const QRect &g) override {
    log << QStringLiteral("geometry #%1 %2 %3 %4 %5")
               .arg(control)
               .arg(g.left())
               .arg(g.top())
               .arg(g.width())
               .arg(g.height());
  }
  void setControlVisible(ControlId control, bool visible) override {
    log << QStringLiteral("visible #%1 %2").arg(control).arg(visible);
  }
  void setControlPicture(ControlId control, const QString &location) override {
    log << QStringLiteral("picture #%1 %2").arg(control).arg(location);
  }
  void setControlText(ControlId control, const QString &text) override {
    log << QStringLiteral("text #%1 %2").arg(control).arg(text);
  }

  // Log lines that start with the given prefix.
  QStringList calls(const QString &prefix) const {
    QStringList out;
    for (const QString &line : log)
      if (line.startsWith(prefix)) out << line;
    return out;
  }
};

class FakeResources : public DocumentResources {
public:
  QString baseFolder = QStringLiteral("/docs/");
  QStringList log;
  int cacheLevel = 1;

  QString resolveLocation(const QString &location) override {
    if (location.startsWith(QLatin1Char('/')) || location.contains(QLatin1Char(':')))
      return location;
    return baseFolder + location;
  }
  QString fetchToCache(const QString &location) override {
    log << QStringLiteral("file ") + location;
    return location;
  }
  bool loadPictureCached(const QString &location) override {
    log << QStringLiteral("image ") + location;
    return true;
  }
  void setCacheLevel(int level) override { cacheLevel = level; }
};

} // namespace nuv::test
