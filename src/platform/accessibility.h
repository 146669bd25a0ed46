// How a Skivet's window and controls appear to screen readers, through Qt's accessibility.
#pragma once

class QString;
class QWidget;

namespace nuv {

// Makes Qt describe the engine's own widgets: the window and the layers that hold the controls
// list only what shows, and picture and shaped buttons are push buttons whose press action
// clicks. Nothing is made until an assistive technology asks, so this costs nothing without one.
void installAccessibility();

// Names a control for screen readers. Qt makes a control's accessible interface as soon as its
// name is set, so without an assistive technology the name waits on the control and is given
// when one becomes active.
void nameForScreenReaders(QWidget *control, const QString &name);

} // namespace nuv
