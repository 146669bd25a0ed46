// The widgets that show a Skivet's objects, each reporting the user's actions by record index.
#include "controls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace nuv {

TextButton::TextButton(ControlEvents *&events, int recordIndex, ControlId id, QWidget *parent)
    : QPushButton(parent), m_events(events), m_record(recordIndex), m_id(id) {
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QPushButton::clicked, this, [this] {
    if (m_events != nullptr) m_events->buttonClicked(m_record);
  });
}

void TextButton::setPicture(const QPixmap &picture) {
  m_picture = picture;
  update();
}

void TextButton::mouseMoveEvent(QMouseEvent *event) {
  QPushButton::mouseMoveEvent(event);
  if (m_events != nullptr) m_events->pointerOverButton(m_record, m_id, false);
}

void TextButton::paintEvent(QPaintEvent *event) {
  if (m_picture.isNull()) {
    QPushButton::paintEvent(event);
    return;
  }
  // The caption stands over the picture, centred.
  QStylePainter painter(this);
  painter.drawPixmap((width() - m_picture.width()) / 2, (height() - m_picture.height()) / 2,
                     m_picture);
  if (isDown()) painter.fillRect(rect(), QColor(0, 0, 0, 40));
  painter.drawText(rect(), Qt::AlignCenter, text());
}

PictureButton::PictureButton(ControlEvents *&events, int recordIndex, ControlId id, QWidget *parent)
    : QWidget(parent), m_events(events), m_record(recordIndex), m_id(id) {
  setMouseTracking(true);
}

void PictureButton::setPicture(const QPixmap &picture) {
  m_picture = picture;
  update();
}

void PictureButton::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, m_picture);
}

void PictureButton::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton) return;
  m_pressed = true;
  if (m_events != nullptr) m_events->buttonPressed(m_record, m_id);
}

void PictureButton::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton || !m_pressed) return;
  m_pressed = false;
  if (m_events == nullptr) return;
  // The events may run a block that lets further events through; keep our own state first.
  const bool inside = rect().contains(event->position().toPoint()) &&
                      (mask().isEmpty() || mask().contains(event->position().toPoint()));
  m_events->buttonReleased(m_record, m_id);
  if (inside) m_events->buttonClicked(m_record);
}

void PictureButton::mouseMoveEvent(QMouseEvent *) {
  if (m_events != nullptr) m_events->pointerOverButton(m_record, m_id, true);
}

InputBox::InputBox(ControlEvents *&events, int recordIndex, QWidget *parent)
    : QLineEdit(parent), m_events(events), m_record(recordIndex) {}

void InputBox::keyPressEvent(QKeyEvent *event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  // The record sees the text as it stood before this key.
  if (m_events != nullptr && (enter || !event->text().isEmpty())) {
    const QPointer<InputBox> self(this);
    m_events->inputBoxKey(m_record, text(), enter);
    if (self.isNull()) return;
  }
  QLineEdit::keyPressEvent(event);
}

} // namespace nuv
