// Opaque and visible regions of small alpha images.
#include "alphaimage.h"
#include "alphamask.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace nuv {
namespace {

using test::alphaImage;

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
