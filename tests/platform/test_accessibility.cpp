// Controls' names reach screen readers, and cost nothing until one is active.
#include "qtwindowsystem.h"

#include <QAccessible>
#include <QSet>

#include <gtest/gtest.h>

using namespace nuv;

namespace {

// Every object Qt made an accessible interface for. Qt asks the latest factory first.
QSet<QObject *> &described() {
  static QSet<QObject *> objects;
  return objects;
}

QAccessibleInterface *recordingFactory(const QString &, QObject *object) {
  described().insert(object);
  return nullptr;
}

} // namespace

TEST(Accessibility, ControlsAreNamedOnlyOnceAReaderIsActive) {
  ASSERT_FALSE(QAccessible::isActive());
  struct {
    ObjectKind kind;
    const char *caption;
    const char *name;
    const char *expected;
    QAccessible::Role role;
  } const cases[] = {
      {ObjectKind::TextButton, "Go on", "Go", "Go on", QAccessible::Button},
      {ObjectKind::TextButton, "", "Bare", "Bare", QAccessible::Button},
      {ObjectKind::PictureButton, "", "Play", "Play", QAccessible::Button},
      {ObjectKind::PictureButton, "Stop now", "Stop", "Stop now", QAccessible::Button},
      {ObjectKind::InputBox, "", "Station", "Station", QAccessible::EditableText},
      {ObjectKind::InputBox, "", "Volume", "Volume", QAccessible::EditableText},
  };
  QtWindowSystem windows;
  QAccessible::installFactory(recordingFactory);
  std::vector<ControlId> ids;
  for (const auto &c : cases) {
    ControlSpec request;
    request.kind = c.kind;
    request.caption = QString::fromUtf8(c.caption);
    request.name = QString::fromUtf8(c.name);
    request.geometry = QRect(0, 0, 40, 20);
    ids.push_back(windows.createControl(request));
  }
  // Naming a button must not make Qt describe it. Qt describes every line edit as it is made,
  // and a text button as its caption is set, reader or not: those are not asked.
  for (size_t i = 0; i < std::size(cases); ++i) {
    if (cases[i].kind == ObjectKind::PictureButton ||
        (cases[i].kind == ObjectKind::TextButton && *cases[i].caption == '\0')) {
      EXPECT_FALSE(described().contains(windows.control(ids[i]))) << cases[i].name;
    }
  }

  QAccessible::removeFactory(recordingFactory);
  QAccessible::setActive(true);
  for (size_t i = 0; i < std::size(cases); ++i) {
    QAccessibleInterface *control = QAccessible::queryAccessibleInterface(windows.control(ids[i]));
    ASSERT_NE(control, nullptr) << cases[i].name;
    EXPECT_EQ(control->text(QAccessible::Name), QString::fromUtf8(cases[i].expected));
    EXPECT_EQ(control->role(), cases[i].role) << cases[i].name;
  }
  QAccessible::setActive(false);
}
