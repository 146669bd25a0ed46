// The X11 details Qt does not expose: taskbar entries of top-level windows, and what the server
// offers for drawing.
#pragma once

class QWidget;

namespace nuv {

// Adds or removes _NET_WM_STATE_SKIP_TASKBAR (and _SKIP_PAGER) on a top-level window: asks the
// window manager when the window is mapped, and keeps the property itself in step so the state
// is right with or without one. Does nothing off X11.
void setSkipTaskbar(QWidget *widget, bool skip);

// Whether the X server lets clients draw with the graphics hardware (DRI3 or DRI2); without
// either, OpenGL on it is a software rasteriser. False off X11.
bool x11OffersDirectRendering();

} // namespace nuv
