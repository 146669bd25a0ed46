// The small window shown while PRELOAD fetches: a "LOADING" panel, or the document's picture.
#include "loadingwindow.h"

#include "compositor.h"
#include "density.h"
#include "outline.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace nuv {

namespace {

const QSize panelSize(184, 64);
constexpr int pulseMs = 40;
constexpr int stripeWidth = 48;

QFont labelFont() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(12);
  font.setBold(true);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
  return font;
}

} // namespace

LoadingWindow::LoadingWindow()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::BypassWindowManagerHint) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setWindowTitle(QStringLiteral("LOADING"));
  m_pulse.setInterval(pulseMs);
  connect(&m_pulse, &QTimer::timeout, this, [this] {
    m_phase = (m_phase + 4) % (width() + stripeWidth);
    update();
  });
}

void LoadingWindow::present(const QImage &picture, bool shaped, const QWidget *near) {
  m_picture = picture;
  m_deviceShape = QRegion();
  clearMask();
  if (m_picture.isNull()) {
    resize(panelSize);
  } else {
    m_picture = shownAt(picture, devicePixelRatioF(), shaped);
    resize(logicalSizeOf(m_picture));
    // A picture without a shape keeps its rectangle. Art is traced in device pixels, which the
    // native window takes as they are (see MainWindow::setDeviceShape).
    const QRegion region = shaped ? outlineRegion(TraceOutline(m_picture)) : QRegion();
    const qreal scale = m_picture.devicePixelRatio();
    if (!region.isEmpty()) setMask(logicalCover(region, scale));
    if (scale != 1.0) m_deviceShape = region;
  }
  if (!m_deviceShape.isEmpty() && testAttribute(Qt::WA_WState_Created))
    setBoundingShape(this, m_deviceShape);
  // At start-up nothing else shows, so Esc must be able to reach this window.
  setWindowFlag(Qt::WindowDoesNotAcceptFocus, near != nullptr);
  setAttribute(Qt::WA_ShowWithoutActivating, near != nullptr);
  const QScreen *screen = near != nullptr && near->screen() != nullptr
                              ? near->screen()
                              : QGuiApplication::primaryScreen();
  if (screen != nullptr) move(screen->geometry().center() - rect().center());
  update();
}

void LoadingWindow::showEvent(QShowEvent *) {
  // A native window made anew took the mask; the exact shape goes over it.
  if (!m_deviceShape.isEmpty()) setBoundingShape(this, m_deviceShape);
  if (m_picture.isNull()) m_pulse.start();
  QCoreApplication::instance()->installEventFilter(this);
}

void LoadingWindow::hideEvent(QHideEvent *) {
  m_pulse.stop();
  QCoreApplication::instance()->removeEventFilter(this);
}

void LoadingWindow::mousePressEvent(QMouseEvent *event) {
  // A click anywhere on it, picture or panel, is the person giving up.
  event->accept();
  Q_EMIT cancelled();
}

bool LoadingWindow::eventFilter(QObject *, QEvent *event) {
  if (event->type() != QEvent::KeyPress) return false;
  if (static_cast<QKeyEvent *>(event)->key() != Qt::Key_Escape) return false;
  // Taken here, at its first receiver, so one press cancels once and reaches nothing else.
  Q_EMIT cancelled();
  return true;
}

void LoadingWindow::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  if (!m_picture.isNull()) {
    painter.drawImage(0, 0, m_picture);
    return;
  }
  // A dark panel with a hairline frame, the word, and a stripe running along the bottom.
  const QColor panel(0x26, 0x2a, 0x31);
  const QColor frame(0x4a, 0x52, 0x5e);
  const QColor accent(0x4f, 0xa3, 0xf7);
  painter.fillRect(rect(), panel);
  painter.setPen(frame);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  painter.setPen(QColor(0xf2, 0xf4, 0xf7));
  painter.setFont(labelFont());
  painter.drawText(rect().adjusted(0, 0, 0, -6), Qt::AlignCenter, QStringLiteral("LOADING"));
  const int track = height() - 6;
  painter.fillRect(QRect(1, track, width() - 2, 3), frame);
  const int left = m_phase - stripeWidth;
  painter.fillRect(QRect(left, track, stripeWidth, 3).intersected(rect().adjusted(1, 0, -1, 0)),
                   accent);
}

} // namespace nuv
