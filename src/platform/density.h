// Pictures on displays with more device pixels than logical ones: their logical size, the
// pixels a window draws, and regions traced in device pixels.
#pragma once

#include <QImage>
#include <QPainterPath>
#include <QRegion>
#include <QSize>

namespace nuv {

// What a document sees of a picture: its pixels over its device pixel ratio (2 for
// double-density art), so that art never changes a window's or a button's size.
QSize logicalSizeOf(const QImage &picture);

// The picture as a window of device pixel ratio dpr draws it pixel for pixel, so that a shape
// traced from it is the shape drawn. Art of another ratio than the window's is resampled to the
// window's device pixels: nearest-neighbour when exact (a traced edge, a colour key), else
// smoothly. A picture of ratio 1 comes back as it is: the painter scales it, and its shapes are
// traced in its own pixels and scaled with it.
QImage shownAt(const QImage &picture, qreal dpr, bool exact);

// The logical pixels that any of a device region's pixels fall in.
QRegion logicalCover(const QRegion &deviceRegion, qreal dpr);
// The device pixels that a logical rectangle touches.
QRect deviceRectOf(const QRect &logical, qreal dpr);
// The device pixels that a logical region touches.
QRegion deviceRegionOf(const QRegion &logicalRegion, qreal dpr);
// A device region in logical coordinates, exactly: a clip that keeps a painter to those device
// pixels, where a logical region can only keep it to whole logical pixels.
QPainterPath logicalPathOf(const QRegion &deviceRegion, qreal dpr);

} // namespace nuv
