// Window shapes of alpha skins and the colour key over them.
#include "alphashape.h"

namespace nuv {

WindowShape alphaWindowShape(const AlphaRegions &skin, const QRegion &objects, bool clipObjects,
                             bool composited) {
  const QRegion shown = clipObjects ? objects.intersected(skin.opaque) : objects;
  if (composited) return {std::nullopt, skin.visible.united(shown)};
  return {skin.opaque.united(shown), std::nullopt};
}

std::optional<QRegion> objectClip(const QRegion &opaque, const QRect &geometry,
                                  const std::optional<QRegion> &own) {
  const QRect whole(QPoint(0, 0), geometry.size());
  const QRegion shown = own.value_or(QRegion(whole));
  const QRegion clipped = shown.intersected(opaque.translated(-geometry.topLeft()));
  if (!own && clipped == QRegion(whole)) return std::nullopt;
  return clipped;
}

QImage keyColour(const QImage &image, QRgb colour) {
  QImage keyed = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  // Only an opaque pixel can have exactly the colour; premultiplying leaves those unchanged.
  const QRgb key = colour | 0xff000000u;
  for (int y = 0; y < keyed.height(); ++y) {
    auto *row = reinterpret_cast<QRgb *>(keyed.scanLine(y));
    for (int x = 0; x < keyed.width(); ++x)
      if (row[x] == key) row[x] = 0;
  }
  return keyed;
}

} // namespace nuv
