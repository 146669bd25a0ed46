// Alpha regions built run by run, rows with equal runs merged into bands.
#include "alphamask.h"

#include "rowbands.h"

namespace nuv {

namespace {

// Alpha is the top byte of both 32-bit ARGB formats, premultiplied or not; others are converted.
QImage argbPixels(const QImage &image) {
  if (image.format() == QImage::Format_ARGB32 ||
      image.format() == QImage::Format_ARGB32_Premultiplied)
    return image;
  return image.convertToFormat(QImage::Format_ARGB32);
}

// Adds the runs of one row whose alpha is at least minAlpha.
void addRuns(RowBands &bands, const QRgb *row, int width, int y, int minAlpha) {
  int x = 0;
  while (x < width) {
    while (x < width && qAlpha(row[x]) < minAlpha)
      ++x;
    const int begin = x;
    while (x < width && qAlpha(row[x]) >= minAlpha)
      ++x;
    bands.addRun(y, begin, x);
  }
}

QRegion alphaRegion(const QImage &image, int minAlpha) {
  if (image.isNull() || minAlpha > 255) return {};
  if (!image.hasAlphaChannel() || minAlpha <= 0) return QRegion(image.rect());
  const QImage pixels = argbPixels(image);
  RowBands bands;
  for (int y = 0; y < pixels.height(); ++y)
    addRuns(bands, reinterpret_cast<const QRgb *>(pixels.constScanLine(y)), pixels.width(), y,
            minAlpha);
  return bands.region();
}

} // namespace

QRegion opaqueRegion(const QImage &image, int minAlpha) {
  return alphaRegion(image, minAlpha);
}

QRegion nonTransparentRegion(const QImage &image) {
  return alphaRegion(image, 1);
}

AlphaRegions alphaRegions(const QImage &image) {
  if (image.isNull()) return {};
  if (!image.hasAlphaChannel()) return {QRegion(image.rect()), QRegion(image.rect())};
  const QImage pixels = argbPixels(image);
  RowBands opaque;
  RowBands visible;
  // Row by row, so each row is read twice while it is still in the cache.
  for (int y = 0; y < pixels.height(); ++y) {
    const auto *row = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
    addRuns(opaque, row, pixels.width(), y, 255);
    addRuns(visible, row, pixels.width(), y, 1);
  }
  return {opaque.region(), visible.region()};
}

} // namespace nuv
