// The window system of a real desktop: Qt widgets for the main window and its controls.
#pragma once

#include "mainwindow.h"
#include "windowsystem.h"

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QPointer>

#include <functional>
#include <vector>

namespace nuv {

class QtWindowSystem : public WindowSystem {
public:
  // Gives the decoded picture of a resolved location (null image when there is none).
  using PictureSource = std::function<QImage(const QString &location)>;

  explicit QtWindowSystem(PictureSource pictures);
  ~QtWindowSystem() override;

  // Where the user's actions go; set once the interpreter exists.
  void setEventSink(ControlEvents *events) { m_events = events; }
  MainWindow &mainWindow() { return *m_main; }
  // EXIT ran: there is no window to show any more.
  bool mainWindowClosed() const { return m_closed; }
  // Centres the main window on its screen along each axis that nothing has placed yet.
  void centreIfUnplaced();
  // The widget showing a control, or nullptr.
  QWidget *control(ControlId id) const;

  void showMessage(const QString &title, const QString &text, MessageIcon icon) override;
  void setTitle(const QString &title) override;
  void setAlwaysOnTop(bool onTop) override;
  void setShowInTaskbar(bool show) override;
  void minimize() override;
  void closeMainWindow() override;
  void closeLoadingWindow() override;
  void showLoadingWindow() override;
  void hideLoadingWindow() override;
  void hideAlphaWindow() override;
  void setMaskColor(int red, int green, int blue) override;
  void setClipObjectsVisible(bool visible) override;
  QPoint mainWindowPosition() const override;
  void setMainWindowPosition(const QPoint &topLeft) override;
  QSize screenSize() const override;
  void setMainPicture(const QString &location) override;
  int applyWindowSkin(const QString &skinBitmap, const QString &alphaBitmap) override;
  void setMoveRestriction(int mode) override;
  bool startProcess(const QString &program, const QStringList &arguments) override;
  ControlId createControl(const ControlSpec &request) override;
  void setControlGeometry(ControlId id, const QRect &geometry) override;
  void setControlVisible(ControlId id, bool visible) override;
  void setControlPicture(ControlId id, const QString &location) override;
  void setControlText(ControlId id, const QString &text) override;

private:
  void setWindowFlag(Qt::WindowType flag, bool on);
  // Pictures become pixmaps once; hover and press swaps reuse them.
  QPixmap pixmap(const QString &location);

  PictureSource m_pictures;
  ControlEvents *m_events = nullptr;
  MainWindow *m_main;
  std::vector<QPointer<QWidget>> m_controls; // ControlId n is m_controls[n - 1]
  QHash<QString, QPixmap> m_pixmaps;
  bool m_closed = false;
  bool m_skipTaskbar = false;
};

} // namespace nuv
