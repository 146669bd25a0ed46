// Mouse pointers on the desktop: system shapes, pointer files, and the pointers of each target.
#include "pointers.h"

#include "pointerfile.h"

#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <iterator>

namespace nuv {

namespace {

// System pointer identifiers as documents give them, and the shapes that mean the same.
const struct {
  int id;
  Qt::CursorShape shape;
} systemPointers[] = {
    {32512, Qt::ArrowCursor},     {32513, Qt::IBeamCursor},     {32514, Qt::WaitCursor},
    {32515, Qt::CrossCursor},     {32516, Qt::UpArrowCursor},   {32642, Qt::SizeFDiagCursor},
    {32643, Qt::SizeBDiagCursor}, {32644, Qt::SizeHorCursor},   {32645, Qt::SizeVerCursor},
    {32646, Qt::SizeAllCursor},   {32648, Qt::ForbiddenCursor}, {32649, Qt::PointingHandCursor},
    {32650, Qt::BusyCursor},      {32651, Qt::WhatsThisCursor},
};

QCursor cursorOf(const QImage &image, QPoint hotspot) {
  return QCursor(QPixmap::fromImage(image), hotspot.x(), hotspot.y());
}

// What a control of the target shows when the document gave it no pointer: the window's
// default, the arrow over buttons (also over a window with a pointer of its own), the text bar
// over input boxes.
void applyOwnPointer(PointerTarget target, QWidget *widget) {
  switch (target) {
  case PointerTarget::Form:
    widget->unsetCursor();
    return;
  case PointerTarget::TextButtons:
  case PointerTarget::GraphButtons:
    widget->setCursor(Qt::ArrowCursor);
    return;
  case PointerTarget::InputBoxes:
    widget->setCursor(Qt::IBeamCursor);
    return;
  }
}

} // namespace

std::optional<DesktopPointer> systemPointer(int id) {
  const auto *found = std::find_if(std::begin(systemPointers), std::end(systemPointers),
                                   [&](const auto &p) { return p.id == id; });
  if (found == std::end(systemPointers)) return std::nullopt;
  return DesktopPointer{{QCursor(found->shape)}, {}};
}

DesktopPointer desktopPointer(const PointerPicture &picture) {
  DesktopPointer pointer;
  for (const PointerFrame &frame : picture.frames) {
    pointer.cursors.push_back(cursorOf(frame.image, frame.hotspot));
    if (picture.animated()) pointer.delaysMs.push_back(frame.delayMs);
  }
  return pointer;
}

void PointerTargets::set(PointerTarget target, std::optional<DesktopPointer> pointer) {
  Slot &slot = m_slots[size_t(target)];
  slot.timer.stop();
  slot.timer.disconnect();
  slot.pointer = std::move(pointer);
  slot.frame = 0;
  if (slot.pointer && !slot.pointer->delaysMs.empty()) {
    slot.timer.setSingleShot(true);
    QObject::connect(&slot.timer, &QTimer::timeout, [this, target] { step(target); });
    slot.timer.start(slot.pointer->delaysMs.front());
  }
  for (QWidget *widget : m_controls(target))
    apply(target, widget);
}

void PointerTargets::apply(PointerTarget target, QWidget *widget) const {
  const Slot &slot = m_slots[size_t(target)];
  if (slot.pointer)
    widget->setCursor(slot.pointer->cursors[slot.frame]);
  else
    applyOwnPointer(target, widget);
}

void PointerTargets::step(PointerTarget target) {
  Slot &slot = m_slots[size_t(target)];
  if (!slot.pointer || slot.pointer->delaysMs.empty()) return;
  slot.frame = (slot.frame + 1) % slot.pointer->cursors.size();
  for (QWidget *widget : m_controls(target))
    widget->setCursor(slot.pointer->cursors[slot.frame]);
  slot.timer.start(slot.pointer->delaysMs[slot.frame]);
}

} // namespace nuv
