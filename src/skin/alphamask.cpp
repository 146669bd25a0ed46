// Alpha regions built run by run, rows with equal runs merged into bands.
#include "alphamask.h"

#include "rowbands.h"

namespace nuv {

namespace {

QRegion alphaRegion(const QImage &image, int minAlpha) {
  if (image.isNull() || minAlpha > 255) return {};
  if (!image.hasAlphaChannel() || minAlpha <= 0) return QRegion(image.rect());
  // Non-premultiplied: alpha stays in the top byte whatever the colour.
  const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
  const int width = pixels.width();
  RowBands bands;
  for (int y = 0; y < pixels.height(); ++y) {
    const auto *row = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
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
  return bands.region();
}

} // namespace

QRegion opaqueRegion(const QImage &image, int minAlpha) {
  return alphaRegion(image, minAlpha);
}

QRegion nonTransparentRegion(const QImage &image) {
  return alphaRegion(image, 1);
}

} // namespace nuv
