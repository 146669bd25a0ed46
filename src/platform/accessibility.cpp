// How a Skivet's window and controls appear to screen readers, through Qt's accessibility.
#include "accessibility.h"

#include "controls.h"
#include "mainwindow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QMetaObject>
#include <QPointer>

#include <utility>

namespace nuv {

namespace {

// Qt lists every child widget, hidden or not; a hidden object is no part of what a person can
// reach, so it leaves the tree.
class ShownChildren : public QAccessibleWidget {
public:
  using QAccessibleWidget::QAccessibleWidget;

  int childCount() const override { return int(shown().size()); }

  QAccessibleInterface *child(int index) const override {
    const QList<QWidget *> children = shown();
    if (index < 0 || index >= children.size()) return nullptr;
    return QAccessible::queryAccessibleInterface(children[index]);
  }

  int indexOfChild(const QAccessibleInterface *child) const override {
    if (child == nullptr || !child->object()->isWidgetType()) return -1;
    return int(shown().indexOf(static_cast<QWidget *>(child->object())));
  }

private:
  QList<QWidget *> shown() const {
    QList<QWidget *> children;
    for (QObject *object : widget()->children()) {
      auto *child = qobject_cast<QWidget *>(object);
      if (child != nullptr && !child->isWindow() && !child->isHidden()) children.append(child);
    }
    return children;
  }
};

// A picture or shaped button: a push button, named by the window system, whose press action
// does what a click does.
class PictureButtonAccessible : public QAccessibleWidget {
public:
  explicit PictureButtonAccessible(PictureButton *button)
      : QAccessibleWidget(button, QAccessible::Button) {}

  QStringList actionNames() const override {
    return QStringList{pressAction()} + QAccessibleWidget::actionNames();
  }

  void doAction(const QString &action) override {
    if (action != pressAction()) {
      QAccessibleWidget::doAction(action);
      return;
    }
    // The action comes over the bus, whose caller waits for the answer: answer first, and let
    // the click's block run from the event loop, as a click's would.
    const QPointer<PictureButton> button(static_cast<PictureButton *>(widget()));
    QMetaObject::invokeMethod(
        button,
        [button] {
          if (!button.isNull()) button->click();
        },
        Qt::QueuedConnection);
  }
};

QAccessibleInterface *interfaceFor(const QString &, QObject *object) {
  if (auto *button = qobject_cast<PictureButton *>(object))
    return new PictureButtonAccessible(button);
  if (auto *window = qobject_cast<MainWindow *>(object))
    return new ShownChildren(window, QAccessible::Window);
  // The layers that hold the controls: plain widgets right under the main window.
  auto *widget = qobject_cast<QWidget *>(object);
  if (widget != nullptr && widget->metaObject() == &QWidget::staticMetaObject &&
      qobject_cast<MainWindow *>(widget->parent()) != nullptr)
    return new ShownChildren(widget, QAccessible::Grouping);
  return nullptr;
}

} // namespace

// Gives the waiting names once an assistive technology comes.
class NameOnActivation : public QAccessible::ActivationObserver {
public:
  void accessibilityActiveChanged(bool active) override {
    if (!active) return;
    for (QWidget *widget : QApplication::allWidgets()) {
      auto *waiting = dynamic_cast<WaitingName *>(widget);
      // A control without a name has nothing to give: Qt names it from what it shows.
      if (waiting == nullptr || waiting->m_waitingName.isEmpty()) continue;
      widget->setAccessibleName(std::exchange(waiting->m_waitingName, QString()));
    }
  }
};

void installAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(interfaceFor);
    static NameOnActivation observer;
    QAccessible::installActivationObserver(&observer);
    return true;
  }();
  (void)installed;
}

void nameForScreenReaders(QWidget *control, const QString &name) {
  auto *waiting = dynamic_cast<WaitingName *>(control);
  if (QAccessible::isActive() || waiting == nullptr) {
    control->setAccessibleName(name);
    return;
  }
  waiting->m_waitingName = name;
}

} // namespace nuv
