// The window system of a real desktop: Qt widgets for the main window and its controls.
#pragma once

#include "browsers.h"
#include "controls.h"
#include "mainwindow.h"
#include "pointers.h"
#include "windowsystem.h"

#include <QCursor>
#include <QImage>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace nuv {

class AlphaSkin;
class LoadingWindow;

// Controls hold the picture table's own decoded pictures, so what they show counts against its
// bound, once however many show it. A control that shows at most a quarter of a picture of at
// least minCutPictureBytes keeps a copy of that part instead, which lets the table drop the
// whole; such parts together stay under maxCutBytes, past which controls share the whole again.
// Copies of art at the display's own ratio count with them.
inline constexpr qint64 minCutPictureBytes = qint64(4) * 1024 * 1024;
inline constexpr qint64 maxCutBytes = qint64(64) * 1024 * 1024;

class QtWindowSystem : public WindowSystem {
public:
  QtWindowSystem();
  ~QtWindowSystem() override;

  // Where the user's actions go; set once the interpreter exists, cleared before it goes.
  void setEventSink(ControlEvents *events) { m_events = events; }
  MainWindow &mainWindow() { return *m_main; }
  // EXIT ran: there is no window to show any more.
  bool mainWindowClosed() const { return m_closed; }
  // Centres the main window on its screen along each axis that nothing has placed yet.
  void centreIfUnplaced();
  // Shows the window the document built, centred along each axis nothing placed.
  void showMainWindow();
  // The widget showing a control, or nullptr.
  QWidget *control(ControlId id) const;
  // Takes away what a document built (controls, skin, pointers, window flags) and keeps the
  // window where it is, for the document to run afresh. Only between runs.
  void resetDocument();
  Browsers &browsers() { return m_browsers; }
  // Whether ending the process must take everything apart in order: a browser's profile is
  // written as it goes away, and a clipboard this process owns reaches the desktop's keeper
  // only as the application object goes. Otherwise nothing outlives the process but files
  // that are complete already.
  bool needsOrderlyEnd() const;

  void showMessage(const QString &title, const QString &text, MessageIcon icon) override;
  void setTitle(const QString &title) override;
  void setAlwaysOnTop(bool onTop) override;
  void setShowInTaskbar(bool show) override;
  void minimize() override;
  void closeMainWindow() override;
  QPoint mainWindowPosition() const override;
  QPoint mainWindowPlacement() const override;
  void whenPlaced(std::function<void()> action) override;
  void setMainWindowPosition(const QPoint &topLeft) override;
  QSize screenSize() const override;
  void setMoveRestriction(MoveRestriction restriction) override;
  bool startProcess(const QString &program, const QStringList &arguments,
                    const QStringList &environment) override;
  void writeDiagnostic(const QString &line) override;
  SkinKind applySkin(const SkinRequest &skin) override;
  void setClipObjects(bool clip) override;
  void showLoadingWindow(const Picture &picture, bool shaped) override;
  // Runs when the person cancels the wait the loading window shows (Esc, or a click on it).
  void setLoadingCancel(std::function<void()> cancel) { m_loadingCancel = std::move(cancel); }
  void hideLoadingWindow() override;
  bool setPointer(PointerTarget target, const Pointer &pointer) override;
  ControlId createControl(const ControlSpec &request) override;
  void setControlGeometry(ControlId id, const QRect &geometry) override;
  void setControlVisible(ControlId id, bool visible) override;
  void setControlPicture(ControlId id, const Picture &picture) override;
  void setControlText(ControlId id, const QString &text) override;
  std::optional<ControlId> createBrowser(const BrowserSpec &request) override;
  void navigate(ControlId browser, const QString &url) override;
  void browserAction(ControlId browser, BrowserAction action) override;
  void setBrowserSilent(ControlId browser, bool silent) override;

private:
  void setWindowFlag(Qt::WindowType flag, bool on);
  // Gives the window the last caption asked for since the previous publish.
  void publishTitle();
  void holdFocusInWindow();
  void runWhenPlaced();
  // The pointer a target was given, or its own, on one control of that target.
  void applyPointer(PointerTarget target, QWidget *widget);
  SkinKind showSkin(const SkinRequest &skin);
  // Made on the first alpha skin: most documents never need the compositor watch.
  AlphaSkin &alphaSkin();
  void leaveAlphaSkin();
  std::vector<QWidget *> controlsOf(PointerTarget target) const;
  // What a control shows of picture when shown is the part of it that the control covers.
  PictureView viewOf(const Picture &picture, const QRect &shown);
  // Gives a button its picture for its present size.
  void showPicture(ControlId id, QWidget *widget, const Picture &picture);

  ControlEvents *m_events = nullptr;
  MainWindow *m_main;
  std::unique_ptr<LoadingWindow> m_loading; // while PRELOAD runs
  std::function<void()> m_loadingCancel;
  Browsers m_browsers;
  std::vector<QPointer<QWidget>> m_controls; // ControlId n is m_controls[n - 1]
  // The pictures that controls showing a part were cut from, for a new cut after a resize while
  // the table still has them.
  std::unordered_map<ControlId, std::weak_ptr<const QImage>> m_cutFrom;
  std::shared_ptr<qint64> m_cutBytes = std::make_shared<qint64>(0); // parts alive, all controls
  AlphaSkin *m_alpha = nullptr;                                     // a child of the main window
  SkinKind m_skin = SkinKind::Plain;
  bool m_timeSkins = false; // NUV_TIME_SKINS: each switch's cost on standard error
  PointerTargets m_pointers;
  // The pointer file last made into cursors, and those cursors, while anything holds them.
  std::weak_ptr<const PointerPicture> m_lastPointerSource;
  std::weak_ptr<const DesktopPointer> m_lastPointer;
  QString m_pendingTitle;
  bool m_titlePending = false;
  bool m_closed = false;
  bool m_browserMade = false;
  bool m_shown = false;
  std::vector<std::function<void()>> m_whenPlaced; // until the window first shows or closes
  bool m_skipTaskbar = false;
};

} // namespace nuv
