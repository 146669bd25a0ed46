// The window system of a real desktop: Qt widgets for the main window and its controls.
#pragma once

#include "mainwindow.h"
#include "windowsystem.h"

#include <QImage>
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

  MainWindow &mainWindow() { return *m_main; }
  // EXIT ran: there is no window to show any more.
  bool mainWindowClosed() const { return m_closed; }

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
  void applyWindowSkin(const QString &skinBitmap, const QString &alphaBitmap) override;
  bool startProcess(const QString &program, const QStringList &arguments) override;
  ControlId createControl(const ControlSpec &spec) override;

private:
  void setWindowFlag(Qt::WindowType flag, bool on);

  PictureSource m_pictures;
  MainWindow *m_main;
  std::vector<QPointer<QWidget>> m_controls; // ControlId n is m_controls[n - 1]
  bool m_closed = false;
};

} // namespace nuv
