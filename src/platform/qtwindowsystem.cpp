// The window system of a real desktop: Qt widgets for the main window and its controls.
#include "qtwindowsystem.h"

#include "controls.h"
#include "messages.h"
#include "outline.h"
#include "x11.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTimer>

namespace nuv {

namespace {

constexpr int unplaced = -99999;

} // namespace

QtWindowSystem::QtWindowSystem(PictureSource pictures)
    : m_pictures(std::move(pictures)), m_main(new MainWindow(m_events)) {
  // Not placed yet: skins centre a window left at this marker.
  m_main->move(unplaced, unplaced);
  // Every new native window (flag changes make one) starts without the taskbar state.
  QObject::connect(m_main, &MainWindow::aboutToMap, m_main, [this] {
    if (!m_skipTaskbar) return;
    // Once before mapping (a window manager reads it then), once after (for one that lost it).
    setSkipTaskbar(m_main, true);
    QTimer::singleShot(0, m_main, [this] {
      if (m_skipTaskbar) setSkipTaskbar(m_main, true);
    });
  });
}

QtWindowSystem::~QtWindowSystem() {
  delete m_main;
}

QWidget *QtWindowSystem::control(ControlId id) const {
  if (id < 1 || id > ControlId(m_controls.size())) return nullptr;
  return m_controls[size_t(id - 1)];
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
  const QPoint at = m_main->pos();
  m_main->setWindowFlag(flag, on); // hides the window; show it again where it was
  m_main->move(at);
  if (visible && !m_closed) m_main->show();
}

void QtWindowSystem::setAlwaysOnTop(bool onTop) {
  setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
}

void QtWindowSystem::setShowInTaskbar(bool show) {
  if (m_skipTaskbar == !show) return;
  m_skipTaskbar = !show;
  if (m_main->isVisible()) setSkipTaskbar(m_main, m_skipTaskbar);
}

void QtWindowSystem::minimize() {
  m_main->setWindowState(Qt::WindowMinimized);
}

void QtWindowSystem::closeMainWindow() {
  m_closed = true;
  m_main->close();
  QCoreApplication::exit(0);
}

// The loading window, the alpha background and the clip container come with their own layers.
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

QPixmap QtWindowSystem::pixmap(const QString &location) {
  const auto found = m_pixmaps.constFind(location);
  if (found != m_pixmaps.constEnd()) return *found;
  const QImage image = m_pictures(location);
  QPixmap converted = image.isNull() ? QPixmap() : QPixmap::fromImage(image);
  // A location without a picture is asked again next time: a remote one may come back.
  if (!converted.isNull()) m_pixmaps.insert(location, converted);
  return converted;
}

void QtWindowSystem::setMainPicture(const QString &location) {
  m_main->setPicture(m_pictures(location));
}

void QtWindowSystem::centreIfUnplaced() {
  QPoint at = m_main->pos();
  const QSize screen = screenSize();
  if (at.x() == unplaced) at.setX(screen.width() / 2 - m_main->width() / 2);
  if (at.y() == unplaced) at.setY(screen.height() / 2 - m_main->height() / 2);
  m_main->move(at);
}

int QtWindowSystem::applyWindowSkin(const QString &skinBitmap, const QString &) {
  // Alpha-blended skins come with their own layer; until then the bitmap is the skin, as on a
  // desktop without per-pixel alpha.
  if (skinBitmap.isEmpty()) return 0;
  hideAlphaWindow();
  const QImage picture = m_pictures(skinBitmap);
  m_main->setPicture(picture);
  centreIfUnplaced();
  // A bitmap without a shape leaves the window's region as it was.
  const QRegion region = outlineRegion(TraceOutline(picture));
  if (!region.isEmpty()) m_main->setMask(region);
  return 1;
}

void QtWindowSystem::setMoveRestriction(int mode) {
  m_main->setMoveRestriction(mode);
}

bool QtWindowSystem::startProcess(const QString &program, const QStringList &arguments) {
  return QProcess::startDetached(program, arguments);
}

ControlId QtWindowSystem::createControl(const ControlSpec &request) {
  const ControlId id = ControlId(m_controls.size()) + 1;
  QWidget *widget = nullptr;
  const QPixmap picture = request.picture.isEmpty() ? QPixmap() : pixmap(request.picture);
  QRect geometry = request.geometry;
  switch (request.kind) {
  case ControlKind::TextButton:
  case ControlKind::TextPictureButton: {
    auto *button = new TextButton(m_events, request.recordIndex, id, m_main);
    button->setText(request.caption);
    button->setPicture(picture);
    widget = button;
    break;
  }
  case ControlKind::PictureButton:
  case ControlKind::ShapedButton: {
    auto *button = new PictureButton(m_events, request.recordIndex, id, m_main);
    button->setPicture(picture);
    if (request.kind == ControlKind::ShapedButton) {
      // Sized to its picture and cut to the picture's outline, once: a later BITMAP keeps it.
      geometry.setSize(picture.size());
      const QRegion region = outlineRegion(TraceOutline(picture.toImage()));
      if (!region.isEmpty()) button->setMask(region);
    }
    widget = button;
    break;
  }
  case ControlKind::InputBox: {
    auto *box = new InputBox(m_events, request.recordIndex, m_main);
    box->setText(request.text);
    widget = box;
    break;
  }
  case ControlKind::Browser:
    widget = new QWidget(m_main);
    break;
  }
  widget->setGeometry(geometry);
  widget->setVisible(request.visible);
  m_controls.emplace_back(widget);
  return id;
}

void QtWindowSystem::setControlGeometry(ControlId id, const QRect &geometry) {
  QWidget *widget = control(id);
  if (widget == nullptr) return;
  // Shaped buttons keep the size of their picture.
  if (qobject_cast<PictureButton *>(widget) != nullptr && !widget->mask().isEmpty())
    widget->move(geometry.topLeft());
  else
    widget->setGeometry(geometry);
}

void QtWindowSystem::setControlVisible(ControlId id, bool visible) {
  if (QWidget *widget = control(id)) widget->setVisible(visible);
}

void QtWindowSystem::setControlPicture(ControlId id, const QString &location) {
  QWidget *widget = control(id);
  if (auto *button = qobject_cast<PictureButton *>(widget))
    button->setPicture(pixmap(location));
  else if (auto *text = qobject_cast<TextButton *>(widget))
    text->setPicture(pixmap(location));
}

void QtWindowSystem::setControlText(ControlId id, const QString &text) {
  if (auto *box = qobject_cast<QLineEdit *>(control(id))) box->setText(text);
}

} // namespace nuv
