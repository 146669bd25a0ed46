// The window system of a real desktop: Qt widgets for the main window and its controls.
#include "qtwindowsystem.h"

#include "messages.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>

namespace nuv {

QtWindowSystem::QtWindowSystem(PictureSource pictures)
    : m_pictures(std::move(pictures)), m_main(new MainWindow) {
  // Not placed yet: skins centre a window left at this marker.
  m_main->move(-99999, -99999);
}

QtWindowSystem::~QtWindowSystem() {
  delete m_main;
}

void QtWindowSystem::showMessage(const QString &title, const QString &text, MessageIcon icon) {
  showMessageBox(title, text, icon);
}

void QtWindowSystem::setTitle(const QString &title) {
  m_main->setWindowTitle(title);
}

void QtWindowSystem::setWindowFlag(Qt::WindowType flag, bool on) {
  if (m_main->windowFlags().testFlag(flag) == on) return;
  const bool visible = m_main->isVisible();
  m_main->setWindowFlag(flag, on); // hides the window; show it again where it was
  if (visible && !m_closed) m_main->show();
}

void QtWindowSystem::setAlwaysOnTop(bool onTop) {
  setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
}

void QtWindowSystem::setShowInTaskbar(bool show) {
  // A tool window has no taskbar entry.
  setWindowFlag(Qt::Tool, !show);
}

void QtWindowSystem::minimize() {
  m_main->showMinimized();
}

void QtWindowSystem::closeMainWindow() {
  m_closed = true;
  m_main->close();
  QCoreApplication::exit(0);
}

void QtWindowSystem::closeLoadingWindow() {}
void QtWindowSystem::showLoadingWindow() {}
void QtWindowSystem::hideLoadingWindow() {}
void QtWindowSystem::hideAlphaWindow() {}
void QtWindowSystem::setMaskColor(int, int, int) {}
void QtWindowSystem::setClipObjectsVisible(bool) {}

QPoint QtWindowSystem::mainWindowPosition() const {
  return m_main->pos();
}

void QtWindowSystem::setMainWindowPosition(const QPoint &topLeft) {
  m_main->move(topLeft);
}

QSize QtWindowSystem::screenSize() const {
  const QScreen *screen =
      m_main->screen() != nullptr ? m_main->screen() : QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry().size() : QSize(1024, 768);
}

void QtWindowSystem::setMainPicture(const QString &location) {
  m_main->setPicture(m_pictures(location));
}

void QtWindowSystem::applyWindowSkin(const QString &skinBitmap, const QString &) {
  // Outline shaping and alpha skins come with the skin layer; until then the bitmap is shown plain.
  m_main->setPicture(m_pictures(skinBitmap));
}

bool QtWindowSystem::startProcess(const QString &program, const QStringList &arguments) {
  return QProcess::startDetached(program, arguments);
}

ControlId QtWindowSystem::createControl(const ControlSpec &spec) {
  QWidget *widget = nullptr;
  const QImage picture = spec.picture.isEmpty() ? QImage() : m_pictures(spec.picture);
  switch (spec.kind) {
  case ControlKind::TextButton:
  case ControlKind::TextPictureButton: {
    auto *button = new QPushButton(spec.caption, m_main);
    if (!picture.isNull()) {
      button->setIcon(QPixmap::fromImage(picture));
      button->setIconSize(picture.size());
    }
    widget = button;
    break;
  }
  case ControlKind::PictureButton:
  case ControlKind::ShapedButton: {
    auto *label = new QLabel(m_main);
    label->setPixmap(QPixmap::fromImage(picture));
    widget = label;
    break;
  }
  case ControlKind::InputBox:
    widget = new QLineEdit(spec.text, m_main);
    break;
  case ControlKind::Browser:
    widget = new QWidget(m_main);
    break;
  }
  QRect geometry = spec.geometry;
  if (geometry.size().isEmpty() && !picture.isNull()) geometry.setSize(picture.size());
  widget->setGeometry(geometry);
  widget->setVisible(spec.visible);
  m_controls.emplace_back(widget);
  return ControlId(m_controls.size());
}

} // namespace nuv
