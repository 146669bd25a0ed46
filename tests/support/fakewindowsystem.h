// A recording window system: every call becomes one line of a log the tests read.
#pragma once

#include "pointerfile.h"
#include "resources.h"
#include "windowsystem.h"

#include <QImage>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

namespace nuv::test {

// The fake resources' pictures carry the location they came from, so a log can name them.
inline Picture pictureNamed(const QString &location) {
  QImage image(1, 1, QImage::Format_RGB32);
  image.setText(QStringLiteral("location"), location);
  return std::make_shared<const QImage>(image);
}
// What a log line says of a picture: its location, "" for none, "?" for one that could not be had.
inline QString nameOf(const Picture &picture) {
  return picture ? picture->text(QStringLiteral("location")) : QStringLiteral("?");
}
inline QString nameOf(const std::optional<Picture> &picture) {
  return picture ? nameOf(*picture) : QString();
}

class FakeWindowSystem : public WindowSystem {
public:
  QStringList log;
  std::vector<ControlSpec> controls; // in creation order
  std::vector<BrowserSpec> browsers;
  std::vector<SkinRequest> skins;
  QPoint position{unplaced, unplaced};
  QSize screen{1920, 1080};
  QSize windowSize{200, 100}; // what an unplaced window is centred by
  bool browserModule = true;  // false: createBrowser finds no browser module
  bool compositor = false;    // true: alpha skins show as alpha, else the bitmap stands in
  bool pointersLoad = true;

  void showMessage(const QString &title, const QString &text, MessageIcon icon) override {
    log << QStringLiteral("message %1|%2|%3").arg(title, text).arg(int(icon));
  }
  void setTitle(const QString &title) override { log << QStringLiteral("title ") + title; }
  void setAlwaysOnTop(bool onTop) override { log << QStringLiteral("ontop %1").arg(onTop); }
  void setShowInTaskbar(bool show) override { log << QStringLiteral("taskbar %1").arg(show); }
  void minimize() override { log << QStringLiteral("minimize"); }
  void closeMainWindow() override { log << QStringLiteral("close main"); }
  QPoint mainWindowPosition() const override { return position; }
  QPoint mainWindowPlacement() const override {
    return {position.x() == unplaced ? screen.width() / 2 - windowSize.width() / 2 : position.x(),
            position.y() == unplaced ? screen.height() / 2 - windowSize.height() / 2
                                     : position.y()};
  }
  void setMainWindowPosition(const QPoint &topLeft) override {
    position = topLeft;
    log << QStringLiteral("move %1 %2").arg(topLeft.x()).arg(topLeft.y());
  }
  // Runs the action at once, as a window that has shown does.
  void whenPlaced(std::function<void()> action) override { action(); }
  QSize screenSize() const override { return screen; }
  void setMoveRestriction(MoveRestriction restriction) override {
    log << QStringLiteral("restrict %1").arg(int(restriction));
  }
  // "start program|arguments", then " env " and the environment settings when there are any.
  bool startProcess(const QString &program, const QStringList &arguments,
                    const QStringList &environment) override {
    log << QStringLiteral("start %1|%2").arg(program, arguments.join(QLatin1Char('|'))) +
               (environment.isEmpty()
                    ? QString()
                    : QStringLiteral(" env ") + environment.join(QLatin1Char(' ')));
    return true;
  }
  void writeDiagnostic(const QString &line) override {
    log << QStringLiteral("diagnostic ") + line;
  }

  // "skin bitmap|alpha", then " plain" for the end-of-run picture; the request is kept whole.
  SkinKind applySkin(const SkinRequest &skin) override {
    skins.push_back(skin);
    log << QStringLiteral("skin %1|%2%3")
               .arg(nameOf(skin.bitmap), nameOf(skin.alphaBitmap),
                    skin.shape ? QString() : QStringLiteral(" plain"));
    if (skin.alphaBitmap && compositor) return SkinKind::Alpha;
    if (!skin.bitmap || !skin.shape) return SkinKind::Plain;
    return SkinKind::Shaped;
  }
  void setClipObjects(bool clip) override { log << QStringLiteral("clip %1").arg(clip); }

  void showLoadingWindow(const Picture &picture, bool shaped) override {
    log << QStringLiteral("show loading %1|%2")
               .arg(picture ? nameOf(picture) : QString())
               .arg(shaped);
  }
  void hideLoadingWindow() override { log << QStringLiteral("hide loading"); }

  bool setPointer(PointerTarget target, const Pointer &pointer) override {
    log << QStringLiteral("pointer %1 %2|%3")
               .arg(int(target))
               .arg(pointer.systemId)
               .arg(pointer.picture
                        ? pointer.picture->frames.front().image.text(QStringLiteral("location"))
                        : QString());
    return pointersLoad;
  }

  ControlId createControl(const ControlSpec &request) override {
    controls.push_back(request);
    log << QStringLiteral("create %1 #%2").arg(int(request.kind)).arg(request.element);
    return nextId();
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
  void setControlPicture(ControlId control, const Picture &picture) override {
    log << QStringLiteral("picture #%1 %2").arg(control).arg(nameOf(picture));
  }
  void setControlText(ControlId control, const QString &text) override {
    log << QStringLiteral("text #%1 %2").arg(control).arg(text);
  }

  std::optional<ControlId> createBrowser(const BrowserSpec &request) override {
    browsers.push_back(request);
    log << QStringLiteral("browser record %1").arg(request.recordIndex);
    if (!browserModule) return std::nullopt;
    return nextId();
  }
  void navigate(ControlId browser, const QString &url) override {
    log << QStringLiteral("navigate #%1 %2").arg(browser).arg(url);
  }
  void browserAction(ControlId browser, BrowserAction action) override {
    const char *const names[] = {"back", "forward", "refresh", "stop"};
    log << QStringLiteral("action #%1 %2").arg(browser).arg(QLatin1String(names[int(action)]));
  }
  void setBrowserSilent(ControlId browser, bool silent) override {
    log << QStringLiteral("silent #%1 %2").arg(browser).arg(silent);
  }

  // Log lines that start with the given prefix.
  QStringList calls(const QString &prefix) const {
    QStringList out;
    for (const QString &line : log)
      if (line.startsWith(prefix)) out << line;
    return out;
  }

private:
  // Ids count every control and browser in creation order, from 1.
  ControlId nextId() { return ControlId(++m_lastId); }
  int m_lastId = 0;
};

class FakeResources : public DocumentResources {
public:
  QString baseFolder = QStringLiteral("/docs/");
  QStringList log;
  int cacheLevel = 1;
  bool unavailable = false; // fetchToCache finds nothing
  // Runs inside the next list preload, as a user's click during the fetch would.
  std::function<void()> duringPreload;

  QString resolveLocation(const QString &location) override {
    if (location.startsWith(QLatin1Char('/')) || location.contains(QLatin1Char(':')))
      return location;
    return baseFolder + location;
  }
  QString fetchToCache(const QString &location) override {
    log << QStringLiteral("file ") + location;
    return unavailable ? QString() : location;
  }
  Picture loadPicture(const QString &location) override {
    log << QStringLiteral("image ") + location;
    return pictureNamed(location);
  }
  std::shared_ptr<const PointerPicture> loadPointer(const QString &location) override {
    log << QStringLiteral("file ") + location;
    if (unavailable) return nullptr;
    PointerPicture pointer;
    pointer.frames.push_back(PointerFrame{*pictureNamed(location), QPoint()});
    return std::make_shared<const PointerPicture>(std::move(pointer));
  }
  void setCacheLevel(int level) override { cacheLevel = level; }
  // The locations NEW may start; every one unless a test says otherwise.
  std::function<bool(const QString &)> startable;
  bool mayStart(const QString &location) override { return !startable || startable(location); }
  void endTransfers() override { log << QStringLiteral("end transfers"); }
  // A list arrives whole, as one line.
  void preloadFiles(const QStringList &locations) override {
    log << QStringLiteral("files ") + locations.join(QLatin1Char('|'));
    runDuringPreload();
  }
  void preloadPictures(const QStringList &locations) override {
    log << QStringLiteral("images ") + locations.join(QLatin1Char('|'));
    runDuringPreload();
  }

private:
  void runDuringPreload() {
    if (!duringPreload) return;
    const std::function<void()> run = std::exchange(duringPreload, nullptr);
    run();
  }
};

} // namespace nuv::test
