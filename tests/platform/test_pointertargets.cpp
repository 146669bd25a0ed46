// Animated pointers step only the control under the mouse pointer, and only while it is there.
#include "pointers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

using namespace nuv;

namespace {

// The pointer changes a widget is given.
class CursorChanges : public QObject {
public:
  explicit CursorChanges(QWidget &widget) { widget.installEventFilter(this); }
  int count = 0;

protected:
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::CursorChange) ++count;
    return false;
  }
};

// Turns the event loop until holds() or a deadline that only a failing test reaches.
bool turnUntil(const std::function<bool()> &holds) {
  QElapsedTimer timer;
  timer.start();
  while (!holds() && timer.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return holds();
}

// Turns the event loop for a while: an animation left running would step meanwhile.
void turnFor(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, ms);
}

std::shared_ptr<const DesktopPointer> twoFrames() {
  QPixmap red(8, 8);
  red.fill(Qt::red);
  QPixmap blue(8, 8);
  blue.fill(Qt::blue);
  return std::make_shared<const DesktopPointer>(
      DesktopPointer{{QCursor(red), QCursor(blue)}, {{0, 1}, {1, 1}}});
}

void send(QWidget &widget, QEvent::Type type) {
  QEvent event(type);
  QCoreApplication::sendEvent(&widget, &event);
}

TEST(PointerTargets, AnAnimationStepsOnlyTheControlUnderThePointer) {
  QWidget first;
  QWidget second;
  CursorChanges firstChanges(first);
  CursorChanges secondChanges(second);
  PointerTargets targets([&](PointerTarget target) {
    return target == PointerTarget::GraphButtons ? std::vector<QWidget *>{&first, &second}
                                                 : std::vector<QWidget *>{};
  });
  targets.set(PointerTarget::GraphButtons, twoFrames());
  EXPECT_EQ(firstChanges.count, 1);
  EXPECT_EQ(secondChanges.count, 1);

  // Under the pointer nowhere: nothing steps.
  turnFor(50);
  EXPECT_EQ(firstChanges.count, 1);
  EXPECT_EQ(secondChanges.count, 1);

  const struct {
    QWidget *comes;
    CursorChanges *steps;
    CursorChanges *stays;
  } visits[] = {{&first, &firstChanges, &secondChanges},
                {&second, &secondChanges, &firstChanges},
                {&first, &firstChanges, &secondChanges}};
  for (const auto &visit : visits) {
    const int before = visit.steps->count;
    const int other = visit.stays->count;
    send(*visit.comes, QEvent::Enter);
    EXPECT_TRUE(turnUntil([&] { return visit.steps->count >= before + 4; }));
    EXPECT_EQ(visit.stays->count, other);
    send(*visit.comes, QEvent::Leave);
    const int left = visit.steps->count;
    turnFor(50);
    EXPECT_EQ(visit.steps->count, left);
  }
}

// A control made while the animation runs gets the pointer, and steps once it is entered.
TEST(PointerTargets, ALaterControlJoinsTheAnimation) {
  QWidget early;
  PointerTargets targets([&](PointerTarget) { return std::vector<QWidget *>{&early}; });
  targets.set(PointerTarget::TextButtons, twoFrames());
  QWidget later;
  CursorChanges changes(later);
  targets.apply(PointerTarget::TextButtons, &later);
  EXPECT_EQ(changes.count, 1);
  send(later, QEvent::Enter);
  EXPECT_TRUE(turnUntil([&] { return changes.count >= 4; }));
  // Restored to its own: it no longer steps.
  targets.set(PointerTarget::TextButtons, nullptr);
  targets.apply(PointerTarget::TextButtons, &later);
  const int restored = changes.count;
  turnFor(50);
  EXPECT_EQ(changes.count, restored);
}

} // namespace
