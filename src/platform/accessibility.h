// How a Skivet's window and controls appear to screen readers, through Qt's accessibility.
#pragma once

#include <QString>

class QWidget;

namespace nuv {

// Makes Qt describe the engine's own widgets: the window and the layers that hold the controls
// list only what shows, and picture and shaped buttons are push buttons whose press action
// clicks. Nothing is made until an assistive technology asks, so this costs nothing without one.
void installAccessibility();

// Where a control keeps its name for screen readers while no assistive technology is active. A
// member, not a dynamic property: setting one per control costs a property search and an
// allocation, which a document of many controls pays many times over.
class WaitingName {
public:
  virtual ~WaitingName() = default;

private:
  friend void nameForScreenReaders(QWidget *control, const QString &name);
  friend class NameOnActivation;
  QString m_waitingName;
};

// Names a control for screen readers. Qt makes a control's accessible interface as soon as its
// name is set, so without an assistive technology the name waits on the control (a WaitingName)
// and is given when one becomes active.
void nameForScreenReaders(QWidget *control, const QString &name);

} // namespace nuv
