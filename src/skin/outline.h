// Outline tracing: the outer contour of a bitmap's first blob, and the window region made from it.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRegion>

#include <cstdint>
#include <vector>

namespace nuv {

// Traces the outer contour of the first blob (in reading order) of pixels whose colour differs
// from the top-left pixel's colour. Pixels touching only at a corner are connected. Positions
// outside the image count as the top-left colour: a blob that touches an edge (a mask drawn to
// the picture's border, a block at the left edge) is traced along its own outline, never around
// the outside of the image, which would give a sliver or a corner instead of the shape.
//
// Returns points 0..N in image coordinates, clockwise on screen, with point N equal to point 0;
// a single pixel p gives (p, p). Returns an empty outline when no pixel differs from the
// top-left one, and also when the trace has not come back to its start pixel within the step
// bound: an outline that does not close is no shape, so callers leave the region as it was.
//
// Colours are compared as 32-bit pixels (RGB32 or premultiplied ARGB32, so every fully
// transparent pixel is the same colour). Cost: the pixels scanned to find the start plus the
// outline length.
std::vector<QPoint> TraceOutline(const QImage &image);

// The same with an explicit bound on the number of trace steps.
std::vector<QPoint> TraceOutline(const QImage &image, std::int64_t maxSteps);

// The default step bound for an image: four visits of every pixel of the image and of the
// one-pixel frame around it, more than any closing outline takes.
std::int64_t outlineStepBound(const QSize &size);

// The window region of an outline: the polygon of points 0..N-1 (the closing duplicate left
// out) filled with the winding rule, the same pixels as QRegion(QPolygon, Qt::WindingFill)
// gives, but in time linear in the outline for traced outlines. Pixels count as inside by their
// top-left corner, so the region leaves out the outline's rightmost column and bottom row: a
// w x h block of pixels gives (w-1) x (h-1), and a single pixel or a one-pixel-wide line give
// an empty region. Empty for an empty outline too; an empty region means no shape, so callers
// keep the previous region then.
QRegion outlineRegion(const std::vector<QPoint> &outline);

} // namespace nuv
