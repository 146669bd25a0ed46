// Mouse pointers on the desktop: system shapes, pointer files, and the pointers of each target.
#include "pointers.h"

#include "pointerfile.h"

#include <QEvent>
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
  pointer.cursors.reserve(picture.frames.size());
  for (const PointerFrame &frame : picture.frames)
    pointer.cursors.push_back(cursorOf(frame.image, frame.hotspot));
  pointer.steps = picture.steps;
  return pointer;
}

PointerTargets::PointerTargets(Controls controls) : m_controls(std::move(controls)) {
  for (size_t i = 0; i < m_slots.size(); ++i) {
    const auto target = PointerTarget(i);
    Slot &slot = m_slots[i];
    slot.watch = std::make_unique<HoverWatch>(*this, target);
    slot.timer.setSingleShot(true);
    QObject::connect(&slot.timer, &QTimer::timeout, [this, target] { step(target); });
  }
}

PointerTargets::~PointerTargets() {
  // The controls may outlive this; their filters must not.
  for (Slot &slot : m_slots)
    slot.watch.reset();
}

const QCursor &PointerTargets::cursorOf(const Slot &slot) {
  const DesktopPointer &pointer = *slot.pointer;
  if (pointer.steps.empty()) return pointer.cursors.front();
  return pointer.cursors[size_t(pointer.steps[slot.step].frame)];
}

void PointerTargets::set(PointerTarget target, std::shared_ptr<const DesktopPointer> pointer) {
  Slot &slot = m_slots[size_t(target)];
  slot.timer.stop();
  slot.pointer = std::move(pointer);
  slot.step = 0;
  slot.shownOn = nullptr;
  for (QWidget *widget : m_controls(target))
    apply(target, widget);
}

void PointerTargets::apply(PointerTarget target, QWidget *widget) {
  Slot &slot = m_slots[size_t(target)];
  if (!slot.pointer) {
    applyOwnPointer(target, widget);
    return;
  }
  widget->setCursor(cursorOf(slot));
  if (!slot.pointer->animated()) return;
  // Watched from now on; a control already under the mouse pointer starts the animation.
  widget->installEventFilter(slot.watch.get());
  if (widget->underMouse()) entered(target, widget);
}

bool PointerTargets::HoverWatch::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::Enter)
    m_owner.entered(m_target, static_cast<QWidget *>(watched));
  else if (event->type() == QEvent::Leave || event->type() == QEvent::Hide)
    m_owner.left(m_target, static_cast<QWidget *>(watched));
  return false;
}

void PointerTargets::entered(PointerTarget target, QWidget *widget) {
  Slot &slot = m_slots[size_t(target)];
  if (!slot.pointer || !slot.pointer->animated()) return;
  slot.shownOn = widget;
  // It may show an older step than the one the animation has reached.
  widget->setCursor(cursorOf(slot));
  if (!slot.timer.isActive()) slot.timer.start(slot.pointer->steps[slot.step].delayMs);
}

void PointerTargets::left(PointerTarget target, QWidget *widget) {
  Slot &slot = m_slots[size_t(target)];
  if (slot.shownOn != widget) return;
  slot.shownOn = nullptr;
  slot.timer.stop();
}

void PointerTargets::step(PointerTarget target) {
  Slot &slot = m_slots[size_t(target)];
  if (!slot.pointer || !slot.pointer->animated() || slot.shownOn.isNull()) return;
  slot.step = (slot.step + 1) % slot.pointer->steps.size();
  slot.shownOn->setCursor(cursorOf(slot));
  slot.timer.start(slot.pointer->steps[slot.step].delayMs);
}

} // namespace nuv
