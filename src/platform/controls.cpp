// The widgets that show a Skivet's objects, each reporting the user's actions by record index.
#include "controls.h"

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
  const QRect placed(origin + at, pixels->size());
  const QRect target = placed & area;
  if (target.isEmpty()) return;
  painter.drawImage(target.topLeft(), *pixels, target.translated(-placed.topLeft()));
}

QPoint PictureView::originOn(const QWidget *button, QSize pictureSize) {
  if (qobject_cast<const TextButton *>(button) == nullptr) return {0, 0};
  return {(button->width() - pictureSize.width()) / 2,
          (button->height() - pictureSize.height()) / 2};
}

TextButton::TextButton(int recordIndex, int id, QWidget *parent)
    : QPushButton(parent), m_record(recordIndex), m_id(id) {
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QPushButton::clicked, this, [this] { Q_EMIT activated(m_record); });
}

void TextButton::setPicture(PictureView picture) {
  m_picture = std::move(picture);
  update();
}

void TextButton::mouseMoveEvent(QMouseEvent *event) {
  QPushButton::mouseMoveEvent(event);
  Q_EMIT pointerOver(m_record, m_id);
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
}

PictureButton::PictureButton(int recordIndex, int id, QWidget *parent)
    : QWidget(parent), m_record(recordIndex), m_id(id) {
  setMouseTracking(true);
}

void PictureButton::setPicture(PictureView picture) {
  m_picture = std::move(picture);
  update();
}

void PictureButton::setOutline(const QRegion &outline) {
  m_outline = outline;
  setMask(outline);
}

void PictureButton::paintEvent(QPaintEvent *event) {
  QPainter painter(this);
  m_picture.paint(painter, QPoint(0, 0), event->rect());
}

void PictureButton::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton) return;
  m_pressed = true;
  Q_EMIT pressed(m_record, m_id);
}

void PictureButton::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton || !m_pressed) return;
  m_pressed = false;
  // The release may run a block that lets further events through; decide the click first.
  const bool inside = rect().contains(event->position().toPoint()) &&
                      (mask().isEmpty() || mask().contains(event->position().toPoint()));
  Q_EMIT released(m_record, m_id);
  if (inside) Q_EMIT activated(m_record);
}

void PictureButton::mouseMoveEvent(QMouseEvent *) {
  Q_EMIT pointerOver(m_record, m_id);
}

InputBox::InputBox(int recordIndex, QWidget *parent) : QLineEdit(parent), m_record(recordIndex) {}

void InputBox::keyPressEvent(QKeyEvent *event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter || !event->text().isEmpty()) {
    const QPointer<InputBox> self(this);
    Q_EMIT keyTyped(m_record, text(), enter);
    if (self.isNull()) return;
  }
  QLineEdit::keyPressEvent(event);
}

} // namespace nuv
