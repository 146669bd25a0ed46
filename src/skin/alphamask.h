// Regions of an alpha skin's pixels by their alpha: opaque parts and visible parts.
#pragma once

#include <QImage>
#include <QRegion>

namespace nuv {

// Pixels whose alpha is at least minAlpha (default: fully opaque). An image without an alpha
// channel is opaque everywhere.
QRegion opaqueRegion(const QImage &image, int minAlpha = 255);

// Pixels whose alpha is above zero: what a click on the skin should hit.
QRegion nonTransparentRegion(const QImage &image);

// Both regions of a skin, read in one pass over its pixels.
struct AlphaRegions {
  QRegion opaque;  // alpha 255
  QRegion visible; // alpha above 0
};
AlphaRegions alphaRegions(const QImage &image);

} // namespace nuv
