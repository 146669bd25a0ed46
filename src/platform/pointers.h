// Mouse pointers on the desktop: system shapes, pointer files, and the pointers of each target.
#pragma once

#include "windowsystem.h"

#include <QCursor>
#include <QImage>
#include <QTimer>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace nuv {

// A pointer ready to show: one cursor, or the frames of an animated one with their delays.
struct DesktopPointer {
  std::vector<QCursor> cursors;
  std::vector<int> delaysMs; // one per cursor when animated; empty when still
};

// The system pointer a document's number names; nullopt for a number that names none.
std::optional<DesktopPointer> systemPointer(int id);

// The cursors of a decoded pointer file, with their delays when it is animated.
DesktopPointer desktopPointer(const PointerPicture &picture);

// The pointer each target has, applied to every control of the target. An animated pointer
// steps all controls of its target together on one timer, so the frames cost one timer per
// target however many controls there are.
class PointerTargets {
public:
  using Controls = std::function<std::vector<QWidget *>(PointerTarget target)>;

  explicit PointerTargets(Controls controls) : m_controls(std::move(controls)) {}

  // nullopt gives the target its own pointer back. A pointer replaced here is released.
  void set(PointerTarget target, std::optional<DesktopPointer> pointer);
  // Gives a control the pointer of its target as it stands now.
  void apply(PointerTarget target, QWidget *widget) const;

private:
  struct Slot {
    std::optional<DesktopPointer> pointer;
    size_t frame = 0;
    QTimer timer;
  };
  void step(PointerTarget target);

  Controls m_controls;
  std::array<Slot, 4> m_slots; // by PointerTarget
};

} // namespace nuv
