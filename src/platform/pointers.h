// Mouse pointers on the desktop: system shapes, pointer files, and the pointers of each target.
#pragma once

#include "pointerfile.h"
#include "windowsystem.h"

#include <QCursor>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace nuv {

// A pointer ready to show: one cursor per distinct picture, and the steps of an animated one,
// which name the cursors by index.
struct DesktopPointer {
  std::vector<QCursor> cursors;
  std::vector<PointerStep> steps; // empty for a still pointer; more than one when animated
  bool animated() const { return steps.size() > 1; }
};

// The system pointer a document's number names; nullopt for a number that names none.
std::optional<DesktopPointer> systemPointer(int id);

// The cursors of a decoded pointer file, one per picture, with its steps.
DesktopPointer desktopPointer(const PointerPicture &picture);

// The pointer each target has, applied to every control of the target. An animated pointer runs
// only while a control of its target is under the mouse pointer, and steps that control alone:
// elsewhere it costs nothing, however many controls there are.
class PointerTargets {
public:
  using Controls = std::function<std::vector<QWidget *>(PointerTarget target)>;

  explicit PointerTargets(Controls controls);
  ~PointerTargets();
  PointerTargets(const PointerTargets &) = delete;
  PointerTargets &operator=(const PointerTargets &) = delete;

  // Null gives the target its own pointer back. One pointer may serve several targets.
  void set(PointerTarget target, std::shared_ptr<const DesktopPointer> pointer);
  // Gives a control the pointer of its target as it stands now.
  void apply(PointerTarget target, QWidget *widget);

private:
  // Sees the mouse pointer enter and leave the controls of one target.
  class HoverWatch : public QObject {
  public:
    HoverWatch(PointerTargets &owner, PointerTarget target) : m_owner(owner), m_target(target) {}

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    PointerTargets &m_owner;
    PointerTarget m_target;
  };

  struct Slot {
    std::shared_ptr<const DesktopPointer> pointer;
    size_t step = 0;
    QTimer timer;
    QPointer<QWidget> shownOn; // the control of the target under the mouse pointer
    std::unique_ptr<HoverWatch> watch;
  };
  void entered(PointerTarget target, QWidget *widget);
  void left(PointerTarget target, QWidget *widget);
  void step(PointerTarget target);
  static const QCursor &cursorOf(const Slot &slot);

  Controls m_controls;
  std::array<Slot, 4> m_slots; // by PointerTarget
};

} // namespace nuv
