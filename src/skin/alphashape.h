// How a window with a per-pixel-alpha skin is cut and where it takes clicks, from the skin's
// regions and the objects on it; and the colour key over such a skin.
#pragma once

#include "alphamask.h"

#include <QImage>
#include <QRect>
#include <QRegion>

#include <optional>

namespace nuv {

// The X shapes of a translucent window, in window pixels.
struct WindowShape {
  std::optional<QRegion> bounding; // none: the window is not cut
  std::optional<QRegion> input;    // none: clicks follow the bounding shape
};

// With a compositor the whole window shows, blended, and clicks land on the skin's visible
// pixels and the objects. Without one translucent pixels would show black, so the window is cut
// to the opaque pixels, and to the objects too unless CLIPOBJECTS clips them to those pixels.
// objects is what the visible objects cover, unclipped.
WindowShape alphaWindowShape(const AlphaRegions &skin, const QRegion &objects, bool clipObjects,
                             bool composited);

// The part of an object at geometry (window pixels) that CLIPOBJECTS lets show: its own shape
// (object pixels; none for its whole rectangle) within the skin's opaque pixels, in object
// pixels. None when nothing is cut away.
std::optional<QRegion> objectClip(const QRegion &opaque, const QRect &geometry,
                                  const std::optional<QRegion> &own);

// The image with every pixel of exactly the colour made fully transparent, as premultiplied
// ARGB: what the engine paints in the mask colour shows the skin below.
QImage keyColour(const QImage &image, QRgb colour);

} // namespace nuv
