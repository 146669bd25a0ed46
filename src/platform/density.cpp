// Pictures on displays with more device pixels than logical ones.
#include "density.h"

#include <QTransform>

#include <cmath>

namespace nuv {

QSize logicalSizeOf(const QImage &picture) {
  const qreal ratio = picture.devicePixelRatio();
  if (ratio == 1.0) return picture.size();
  return QSize(qRound(picture.width() / ratio), qRound(picture.height() / ratio));
}

QImage shownAt(const QImage &picture, qreal dpr, bool exact) {
  const qreal ratio = picture.devicePixelRatio();
  if (ratio == 1.0 || qFuzzyCompare(ratio, dpr) || picture.isNull()) return picture;
  const QSize logical = logicalSizeOf(picture);
  QImage shown = picture.scaled(qRound(logical.width() * dpr), qRound(logical.height() * dpr),
                                Qt::IgnoreAspectRatio,
                                exact ? Qt::FastTransformation : Qt::SmoothTransformation);
  shown.setDevicePixelRatio(dpr);
  return shown;
}

QRegion logicalCover(const QRegion &deviceRegion, qreal dpr) {
  if (dpr == 1.0) return deviceRegion;
  QRegion cover;
  for (const QRect &r : deviceRegion) {
    const int left = int(std::floor(r.left() / dpr));
    const int top = int(std::floor(r.top() / dpr));
    const int right = int(std::ceil((r.right() + 1) / dpr));
    const int bottom = int(std::ceil((r.bottom() + 1) / dpr));
    cover += QRect(left, top, right - left, bottom - top);
  }
  return cover;
}

QRect deviceRectOf(const QRect &logical, qreal dpr) {
  const int left = int(std::floor(logical.left() * dpr));
  const int top = int(std::floor(logical.top() * dpr));
  const int right = int(std::ceil((logical.right() + 1) * dpr));
  const int bottom = int(std::ceil((logical.bottom() + 1) * dpr));
  return {left, top, right - left, bottom - top};
}

QRegion deviceRegionOf(const QRegion &logicalRegion, qreal dpr) {
  if (dpr == 1.0) return logicalRegion;
  QRegion device;
  for (const QRect &r : logicalRegion)
    device += deviceRectOf(r, dpr);
  return device;
}

QPainterPath logicalPathOf(const QRegion &deviceRegion, qreal dpr) {
  QPainterPath path;
  path.addRegion(deviceRegion);
  return QTransform::fromScale(1 / dpr, 1 / dpr).map(path);
}

} // namespace nuv
