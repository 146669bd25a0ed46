// The widgets that show a Skivet's objects, each reporting the user's actions by record index.
#include "controls.h"

#include "density.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace nuv {

void PictureView::paint(QPainter &painter, QPoint origin, const QRect &area) const {
  if (!pixels) return;
  // Only what is asked for: a small control on a huge picture never touches the rest.
  const QRect placed(origin + at, logicalSizeOf(*pixels));
  const QRect target = placed & area;
  if (target.isEmpty()) return;
  const QRect source = target.translated(-placed.topLeft());
  const qreal ratio = pixels->devicePixelRatio();
  if (ratio == 1.0) {
    painter.drawImage(target.topLeft(), *pixels, source);
    return;
  }
  painter.drawImage(QRectF(target), *pixels,
                    QRectF(QPointF(source.topLeft()) * ratio, QSizeF(source.size()) * ratio));
}

namespace {

// The region less one pixel along every edge, diagonals included.
QRegion eroded(const QRegion &region) {
  const QRegion across = region & region.translated(1, 0) & region.translated(-1, 0);
  return across & across.translated(0, 1) & across.translated(0, -1);
}

} // namespace

FocusRing FocusRing::along(const QRegion &outline) {
  const QRegion once = eroded(outline);
  return {outline - once, once - eroded(once)};
}

void FocusRing::paint(QPainter &painter, const QPalette &palette) const {
  const QColor highlight = palette.color(QPalette::Highlight);
  const QColor contrast = highlight.lightness() > 128 ? QColor(Qt::black) : QColor(Qt::white);
  for (const QRect &band : outer)
    painter.fillRect(band, highlight);
  for (const QRect &band : inner)
    painter.fillRect(band, contrast);
}

bool FocusRing::shownOn(const QWidget *control) {
  return control->hasFocus() && control->window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

QPoint PictureView::originOn(const QWidget *button, QSize pictureSize) {
  if (qobject_cast<const TextButton *>(button) == nullptr) return {0, 0};
  return {(button->width() - pictureSize.width()) / 2,
          (button->height() - pictureSize.height()) / 2};
}

TextButton::TextButton(int recordIndex, int id, ControlSink sink, QWidget *parent)
    : QPushButton(parent), m_record(recordIndex), m_id(id), m_sink(sink) {
  setMouseTracking(true);
  // Reached by Tab, never by a click: clicking a button leaves the focus in an input box.
  setFocusPolicy(Qt::TabFocus);
  connect(this, &QPushButton::clicked, this, [this] {
    if (ControlEvents *events = m_sink.get()) events->buttonClicked(m_record);
  });
}

void TextButton::setPicture(PictureView picture) {
  m_picture = std::move(picture);
  update();
}

void TextButton::mouseMoveEvent(QMouseEvent *event) {
  QPushButton::mouseMoveEvent(event);
  if (ControlEvents *events = m_sink.get()) events->pointerOverButton(m_record, m_id, false);
}

void TextButton::paintEvent(QPaintEvent *event) {
  if (m_picture.isNull()) {
    QPushButton::paintEvent(event);
    return;
  }
  // The caption stands over the picture, centred.
  QStylePainter painter(this);
  m_picture.paint(painter, PictureView::originOn(this, m_picture.size), event->rect());
  if (isDown()) painter.fillRect(rect(), QColor(0, 0, 0, 40));
  painter.drawText(rect(), Qt::AlignCenter, text());
  if (FocusRing::shownOn(this)) FocusRing::along(QRegion(rect())).paint(painter, palette());
}

void TextButton::keyPressEvent(QKeyEvent *event) {
  // Outside a dialog a push button ignores Enter; here Enter clicks, as Space does on release.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (!event->isAutoRepeat()) click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

PictureButton::PictureButton(int recordIndex, int id, ControlSink sink, QWidget *parent)
    : QWidget(parent), m_record(recordIndex), m_id(id), m_sink(sink) {
  setMouseTracking(true);
  setFocusPolicy(Qt::TabFocus);
}

void PictureButton::setPicture(PictureView picture) {
  m_picture = std::move(picture);
  update();
}

void PictureButton::setOutline(const QRegion &outline, qreal scale) {
  m_outline = logicalCover(outline, scale);
  m_exactOutline = scale == 1.0 ? QPainterPath() : logicalPathOf(outline, scale);
  m_outlineRing.reset();
  setMask(m_outline);
}

void PictureButton::paintEvent(QPaintEvent *event) {
  QPainter painter(this);
  // The mask holds whole logical pixels; the picture keeps to the device pixels traced.
  if (!m_exactOutline.isEmpty()) painter.setClipPath(m_exactOutline);
  m_picture.paint(painter, QPoint(0, 0), event->rect());
  painter.setClipping(false);
  if (!FocusRing::shownOn(this)) return;
  if (m_outline.isEmpty()) {
    FocusRing::along(QRegion(rect())).paint(painter, palette());
    return;
  }
  if (!m_outlineRing) m_outlineRing = FocusRing::along(m_outline);
  m_outlineRing->paint(painter, palette());
}

bool PictureButton::report(void (ControlEvents::*event)(int, ControlId)) {
  ControlEvents *const events = m_sink.get();
  if (events == nullptr) return true;
  const QPointer<PictureButton> self(this);
  (events->*event)(m_record, m_id);
  return !self.isNull();
}

bool PictureButton::reportClick() {
  ControlEvents *const events = m_sink.get();
  if (events == nullptr) return true;
  const QPointer<PictureButton> self(this);
  events->buttonClicked(m_record);
  return !self.isNull();
}

void PictureButton::click() {
  if (report(&ControlEvents::buttonPressed) && report(&ControlEvents::buttonReleased))
    reportClick();
}

void PictureButton::keyPressEvent(QKeyEvent *event) {
  switch (event->key()) {
  case Qt::Key_Space:
    // A held key repeats; the button stays pressed once until the key comes up.
    if (!event->isAutoRepeat() && !m_pressed) {
      m_pressed = m_spaceDown = true;
      report(&ControlEvents::buttonPressed);
    }
    return;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    if (!event->isAutoRepeat() && !m_pressed) click();
    return;
  default:
    QWidget::keyPressEvent(event);
  }
}

void PictureButton::keyReleaseEvent(QKeyEvent *event) {
  if (event->key() != Qt::Key_Space || !m_spaceDown) {
    QWidget::keyReleaseEvent(event);
    return;
  }
  if (event->isAutoRepeat()) return;
  m_pressed = m_spaceDown = false;
  if (report(&ControlEvents::buttonReleased)) reportClick();
}

// Focus moving away while Space is held takes the press back without a click, as a pointer
// released off the button does.
void PictureButton::focusOutEvent(QFocusEvent *event) {
  QWidget::focusOutEvent(event);
  if (!m_spaceDown) return;
  m_pressed = m_spaceDown = false;
  report(&ControlEvents::buttonReleased);
}

void PictureButton::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton || m_spaceDown) return;
  m_pressed = true;
  report(&ControlEvents::buttonPressed);
}

void PictureButton::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton || !m_pressed || m_spaceDown) return;
  m_pressed = false;
  // The release may run a block that lets further events through; decide the click first.
  const bool inside = rect().contains(event->position().toPoint()) &&
                      (mask().isEmpty() || mask().contains(event->position().toPoint()));
  if (report(&ControlEvents::buttonReleased) && inside) reportClick();
}

void PictureButton::mouseMoveEvent(QMouseEvent *) {
  if (ControlEvents *events = m_sink.get()) events->pointerOverButton(m_record, m_id, true);
}

InputBox::InputBox(int recordIndex, ControlSink sink, QWidget *parent)
    : QLineEdit(parent), m_record(recordIndex), m_sink(sink) {}

void InputBox::keyPressEvent(QKeyEvent *event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  ControlEvents *const events = m_sink.get();
  if (events != nullptr && (enter || !event->text().isEmpty())) {
    const QPointer<InputBox> self(this);
    events->inputBoxKey(m_record, text(), enter);
    if (self.isNull()) return;
  }
  QLineEdit::keyPressEvent(event);
}

} // namespace nuv
