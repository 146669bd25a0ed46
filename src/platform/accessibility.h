// How a Skivet's window and controls appear to screen readers, through Qt's accessibility.
#pragma once

namespace nuv {

// Makes Qt describe the engine's own widgets: the window and the layers that hold the controls
// list only what shows, and picture and shaped buttons are push buttons whose press action
// clicks. Nothing is made until an assistive technology asks, so this costs nothing without one.
void installAccessibility();

} // namespace nuv
