// Opaque and visible regions of small alpha images.
#include "alphamask.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace nuv {
namespace {

// Alpha by character: '.' 0, ':' 128, '#' 255.
QImage alphaImage(const QStringList &rows) {
  QImage image(int(rows.first().size()), int(rows.size()), QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const char c = rows[y].at(x).toLatin1();
      image.setPixel(x, y, qRgba(40, 80, 120, c == '#' ? 255 : c == ':' ? 128 : 0));
    }
  return image;
}

// QRegion's == compares rectangle lists; the same pixels may be split differently.
bool samePixels(const QRegion &a, const QRegion &b) {
  return a.xored(b).isEmpty();
}

// The same pixels united one by one: slow, but plainly right.
QRegion pixelUnion(const QStringList &rows, const QString &inside) {
  QRegion region;
  for (int y = 0; y < rows.size(); ++y)
    for (int x = 0; x < rows[y].size(); ++x)
      if (inside.contains(rows[y].at(x))) region += QRect(x, y, 1, 1);
  return region;
}

const QStringList alphaCases[] = {
    {"....", "....", "...."},
    {"####", "####"},
    {"..#:", ".##.", ".##.", "#..#"},
    {"#.#.#", "#.#.#", "#.#.#", ".#.#.", "#.#.#"},
    {":##:", "#..#", "#..#", ":##:"},
    {"##..", "##..", "..##", "..##", "##..", "....", "##.."},
    {"#"},
};

TEST(AlphaMask, OpaqueRegionIsTheFullyOpaquePixels) {
  for (const QStringList &rows : alphaCases)
    EXPECT_TRUE(samePixels(opaqueRegion(alphaImage(rows)), pixelUnion(rows, "#")))
        << rows.join('/').toStdString();
}

TEST(AlphaMask, NonTransparentRegionIsEveryVisiblePixel) {
  for (const QStringList &rows : alphaCases)
    EXPECT_TRUE(samePixels(nonTransparentRegion(alphaImage(rows)), pixelUnion(rows, "#:")))
        << rows.join('/').toStdString();
}

TEST(AlphaMask, ThresholdChoosesThePixels) {
  const QStringList rows = {"..#:", ".:#.", "#::#"};
  EXPECT_TRUE(samePixels(opaqueRegion(alphaImage(rows), 128), pixelUnion(rows, "#:")));
  EXPECT_TRUE(samePixels(opaqueRegion(alphaImage(rows), 129), pixelUnion(rows, "#")));
  EXPECT_EQ(opaqueRegion(alphaImage(rows), 0), QRegion(0, 0, 4, 3));
}

// Premultiplied pixels keep their alpha; pictures without alpha are opaque everywhere.
TEST(AlphaMask, PixelFormats) {
  const QStringList rows = {"..#:", ".##."};
  const QImage premultiplied =
      alphaImage(rows).convertToFormat(QImage::Format_ARGB32_Premultiplied);
  EXPECT_TRUE(samePixels(nonTransparentRegion(premultiplied), pixelUnion(rows, "#:")));
  QImage opaque(5, 3, QImage::Format_RGB32);
  opaque.fill(Qt::black);
  EXPECT_EQ(opaqueRegion(opaque), QRegion(0, 0, 5, 3));
  EXPECT_TRUE(opaqueRegion(QImage()).isEmpty());
}

// Rows with the same runs become one band.
TEST(AlphaMask, EqualRowsMergeIntoBands) {
  const QRegion region = opaqueRegion(alphaImage({"#.#", "#.#", "#.#", "...", "###"}));
  EXPECT_EQ(region.rectCount(), 3);
  EXPECT_TRUE(samePixels(region, pixelUnion({"#.#", "#.#", "#.#", "...", "###"}, "#")));
}

} // namespace
} // namespace nuv
