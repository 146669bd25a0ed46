// The Skivet's frameless main window: a background picture, dragged by its background.
#include "mainwindow.h"

#include "compositor.h"
#include "density.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWindow>

#include <cstdio>

namespace nuv {

MainWindow::MainWindow(QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setMouseTracking(true);
  // Wayland shapes a window by its transparent pixels: a shaped skin paints only inside its mask
  // and leaves the rest transparent.
  if (onWayland()) {
    setAttribute(Qt::WA_TranslucentBackground, true);
    m_clipToMask = true;
  }
}

QWidget *MainWindow::controlParent() {
  if (!m_layers.empty() && m_inLastLayer < controlsPerLayer) {
    ++m_inLastLayer;
    return m_layers.back();
  }
  // A layer paints nothing and passes the pointer on (tracked, so that hovering reaches the
  // window too); it covers the window exactly, so it clips its controls as the window would.
  auto *layer = new QWidget(this);
  layer->setMouseTracking(true);
  layer->setGeometry(rect());
  layer->show();
  m_layers.push_back(layer);
  m_inLastLayer = 1;
  return layer;
}

// A control's own handler may still be under way beneath a loop it turns (a script error's
// message box): hidden now, each layer goes once the event loop is back below that handler.
void MainWindow::clearControls() {
  for (QWidget *layer : m_layers) {
    layer->hide();
    layer->deleteLater();
  }
  m_layers.clear();
  m_inLastLayer = 0;
}

void MainWindow::resizeEvent(QResizeEvent *) {
  for (QWidget *layer : m_layers)
    layer->setGeometry(rect());
}

void MainWindow::setPicture(const QImage &picture, bool smooth) {
  m_picture = picture;
  m_smooth = smooth;
  if (!picture.isNull()) resize(logicalSizeOf(picture));
  update();
}

void MainWindow::setDeviceShape(const QRegion &deviceRegion) {
  m_deviceShape = deviceRegion;
  m_shapeCover = logicalCover(deviceRegion, devicePixelRatioF());
  setMask(m_shapeCover);
  applyDeviceShape();
}

// Qt shapes a native window from the mask when it makes it; the exact shape goes over that.
void MainWindow::applyDeviceShape() {
  if (m_deviceShape.isEmpty() || mask() != m_shapeCover) return;
  setBoundingShape(this, m_deviceShape);
}

void MainWindow::paintEvent(QPaintEvent *event) {
  QPainter painter(this);
  // Wayland shows every pixel a window paints: its shape is what the window leaves unpainted.
  if (m_clipToMask && !m_deviceShape.isEmpty() && mask() == m_shapeCover)
    painter.setClipPath(logicalPathOf(m_deviceShape, devicePixelRatioF()));
  else if (m_clipToMask && !mask().isEmpty())
    painter.setClipRegion(mask());
  // An ARGB window that shows no alpha skin is opaque all over.
  if (!m_translucent && testAttribute(Qt::WA_TranslucentBackground))
    painter.fillRect(event->rect(), palette().window());
  painter.setRenderHint(QPainter::SmoothPixmapTransform, m_smooth);
  if (!m_picture.isNull()) painter.drawImage(0, 0, m_picture);
  if (!m_painted) {
    m_painted = true;
    Q_EMIT firstPaint();
  }
}

void MainWindow::showEvent(QShowEvent *) {
  applyDeviceShape();
  Q_EMIT aboutToMap();
}

void MainWindow::changeEvent(QEvent *event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  const auto *change = static_cast<QWindowStateChangeEvent *>(event);
  if (change->oldState().testFlag(Qt::WindowMinimized) && !isMinimized()) Q_EMIT restored();
}

void MainWindow::setTranslucent(bool translucent) {
  if (translucent == m_translucent) return;
  m_translucent = translucent;
  update();
  if (!translucent || testAttribute(Qt::WA_TranslucentBackground)) return;
  const bool remake = testAttribute(Qt::WA_WState_Created);
  const bool visible = isVisible();
  const QPoint at = pos();
  if (remake) {
    hide();
    destroy(true, true);
  }
  setAttribute(Qt::WA_TranslucentBackground, true);
  if (!remake) return;
  move(at);
  // Showing makes the native window; the flags (on top, frameless) and hints go with it.
  if (visible) show();
}

void MainWindow::mousePressEvent(QMouseEvent *event) {
  if (onWayland()) {
    // Only the compositor moves windows there, and only freely.
    if (event->button() != Qt::LeftButton || windowHandle() == nullptr) return;
    if (m_restriction == MoveRestriction::Free) {
      windowHandle()->startSystemMove();
    } else if (m_restriction != MoveRestriction::NoMove && !m_restrictionSaid) {
      m_restrictionSaid = true;
      std::fprintf(stderr, "nuv: under Wayland the compositor moves windows and cannot keep a "
                           "move to one direction, so this window is not moved (RESTRICTMOVE)\n");
    }
    return;
  }
  m_dragging = true;
  m_grab = event->globalPosition().toPoint() - pos();
}

// Every drag by the background honours RESTRICTMOVE, whatever the skin.
void MainWindow::mouseMoveEvent(QMouseEvent *event) {
  if (m_dragging) {
    const QPoint wanted = event->globalPosition().toPoint() - m_grab;
    QPoint at = pos();
    switch (m_restriction) {
    case MoveRestriction::Free:
      at = wanted;
      break;
    case MoveRestriction::HorizontalOnly:
      at.setX(wanted.x());
      break;
    case MoveRestriction::VerticalOnly:
      at.setY(wanted.y());
      break;
    case MoveRestriction::NoMove:
      break;
    }
    if (at != pos()) move(at);
  }
  Q_EMIT pointerOverBackground();
}

void MainWindow::mouseReleaseEvent(QMouseEvent *) {
  m_dragging = false;
}

} // namespace nuv
