// Outline tracing on small hand-drawn bitmaps, with polygons worked out by hand from the rule.
#include "outline.h"

#include <gtest/gtest.h>

#include <QPolygon>
#include <QStringList>

#include <random>
#include <vector>

namespace nuv {
namespace {

// '.' white, '#' black, 'o' red, 'm' the default mask colour of documents.
QRgb colourOf(char c) {
  switch (c) {
  case '#':
    return qRgb(0, 0, 0);
  case 'o':
    return qRgb(255, 0, 0);
  case 'm':
    return qRgb(254, 1, 254);
  default:
    return qRgb(255, 255, 255);
  }
}

QImage bitmap(const QStringList &rows, QImage::Format format = QImage::Format_RGB32) {
  QImage image(int(rows.first().size()), int(rows.size()), QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      image.setPixel(x, y, colourOf(rows[y].at(x).toLatin1()));
  return image.convertToFormat(format);
}

struct TraceCase {
  const char *name;
  QStringList rows;
  std::vector<QPoint> expected;
};

const TraceCase traceCases[] = {
    {"single pixel gives (p, p)", {"....", ".#..", "...."}, {{1, 1}, {1, 1}}},
    {"block, clockwise",
     {".....", ".##..", ".##..", "....."},
     {{1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}}},
    {"ring: outer contour only",
     {"......", ".####.", ".#..#.", ".#..#.", ".####.", "......"},
     {{1, 1},
      {2, 1},
      {3, 1},
      {4, 1},
      {4, 2},
      {4, 3},
      {4, 4},
      {3, 4},
      {2, 4},
      {1, 4},
      {1, 3},
      {1, 2},
      {1, 1}}},
    {"two blobs: the first in reading order",
     {"........", "....##..", "....##..", ".##.....", ".##.....", "........"},
     {{4, 1}, {5, 1}, {5, 2}, {4, 2}, {4, 1}}},
    {"diagonal-only connection",
     {"......", "...#..", "..#...", ".#....", "......"},
     {{3, 1}, {2, 2}, {1, 3}, {2, 2}, {3, 1}}},
    // Outside the image is transparent: a shape at an edge is traced along its own outline.
    {"block at the top edge", {".##.", ".##.", "...."}, {{1, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 0}}},
    {"block at the right edge",
     {"....", "..##", "..##", "...."},
     {{2, 1}, {3, 1}, {3, 2}, {2, 2}, {2, 1}}},
    {"block at the bottom edge",
     {"....", ".##.", ".##."},
     {{1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}}},
    {"block at the left edge",
     {"....", "##..", "##..", "...."},
     {{0, 1}, {1, 1}, {1, 2}, {0, 2}, {0, 1}}},
    {"mask drawn to every edge, its corners cut",
     {".##.", "####", "####", ".##."},
     {{1, 0}, {2, 0}, {3, 1}, {3, 2}, {2, 3}, {1, 3}, {0, 2}, {0, 1}, {1, 0}}},
    {"top-left pixel in the shape's colour makes it transparent",
     {"######", "##.o##", "##o.##", "######"},
     {{2, 1}, {3, 1}, {3, 2}, {2, 2}, {2, 1}}},
    {"the document mask colour is an ordinary shape colour",
     {".....", ".mm..", ".mm..", "....."},
     {{1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}}},
    {"all background", {"....", "....", "...."}, {}},
    {"all one colour", {"####", "####"}, {}},
};

TEST(TraceOutline, HandTracedBitmaps) {
  for (const TraceCase &c : traceCases)
    EXPECT_EQ(TraceOutline(bitmap(c.rows)), c.expected) << c.name;
}

// Pixels are compared after one conversion, whatever format the picture was loaded in.
TEST(TraceOutline, SameOutlineInEveryPixelFormat) {
  const QImage::Format formats[] = {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied,
                                    QImage::Format_RGB888, QImage::Format_Indexed8,
                                    QImage::Format_RGB16};
  for (const TraceCase &c : traceCases)
    for (QImage::Format format : formats)
      EXPECT_EQ(TraceOutline(bitmap(c.rows, format)), c.expected) << c.name << " " << format;
}

// Stride padding must not be read as pixels: a 3-pixel-wide Indexed8 row has a padded stride.
TEST(TraceOutline, NarrowImageWithPaddedRows) {
  const QImage image = bitmap({"...", ".#.", "..."}, QImage::Format_RGB888);
  EXPECT_EQ(TraceOutline(image), (std::vector<QPoint>{{1, 1}, {1, 1}}));
}

TEST(TraceOutline, NullImageHasNoOutline) {
  EXPECT_TRUE(TraceOutline(QImage()).empty());
}

// A transparent top-left pixel: every fully transparent pixel is the same colour.
TEST(TraceOutline, TransparentPixelsAreOneColour) {
  QImage image(4, 3, QImage::Format_ARGB32);
  image.fill(qRgba(10, 20, 30, 0));
  image.setPixel(3, 0, qRgba(200, 0, 0, 0));
  image.setPixel(1, 1, qRgba(0, 0, 0, 255));
  EXPECT_EQ(TraceOutline(image), (std::vector<QPoint>{{1, 1}, {1, 1}}));
}

TEST(TraceOutline, StepBoundEndsTraceWithNoOutline) {
  const QImage ring = bitmap({"......", ".####.", ".#..#.", ".#..#.", ".####.", "......"});
  EXPECT_TRUE(TraceOutline(ring, 11).empty());
  EXPECT_EQ(TraceOutline(ring, 12).size(), 13u);
  EXPECT_GE(outlineStepBound(ring.size()), 12);
}

struct RegionCase {
  const char *name;
  QStringList rows;
  QRegion expected;
};

// Pixels count by their top-left corner: the outline's right column and bottom row fall out.
TEST(OutlineRegion, RegionsOfSmallShapes) {
  const RegionCase cases[] = {
      {"ring: region without the hole",
       {"......", ".####.", ".#..#.", ".#..#.", ".####.", "......"},
       QRegion(1, 1, 3, 3)},
      {"3 x 2 block", {".....", ".###.", ".###.", "....."}, QRegion(1, 1, 2, 1)},
      {"single pixel: empty", {"...", ".#.", "..."}, QRegion()},
      {"one-pixel line: empty", {"......", ".####.", "......"}, QRegion()},
      {"block at the left edge", {"....", "##..", "##..", "...."}, QRegion(0, 1, 1, 1)},
  };
  for (const RegionCase &c : cases)
    EXPECT_TRUE(outlineRegion(TraceOutline(bitmap(c.rows))).xored(c.expected).isEmpty()) << c.name;
}

// A browser mask or a skin drawn to the picture's border, with rounded corners in the top-left
// colour: the region is the rounded shape, not a corner and not the whole frame.
TEST(OutlineRegion, ShapeDrawnToEveryEdgeKeepsItsCorners) {
  QImage image(40, 20, QImage::Format_RGB32);
  image.fill(qRgb(0, 0, 0));
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4 - i; ++j) {
      for (const QPoint corner :
           {QPoint(i, j), QPoint(39 - i, j), QPoint(i, 19 - j), QPoint(39 - i, 19 - j)})
        image.setPixel(corner, qRgb(255, 255, 255));
    }
  }
  const QRegion region = outlineRegion(TraceOutline(image));
  EXPECT_TRUE(region.subtracted(QRegion(image.rect())).isEmpty());
  for (const QPoint inside : {QPoint(20, 10), QPoint(0, 10), QPoint(20, 0), QPoint(4, 0),
                              QPoint(0, 4), QPoint(38, 10), QPoint(20, 18)})
    EXPECT_TRUE(region.contains(inside)) << inside.x() << "," << inside.y();
  for (const QPoint cut : {QPoint(0, 0), QPoint(2, 1), QPoint(37, 0), QPoint(0, 18)})
    EXPECT_FALSE(region.contains(cut)) << cut.x() << "," << cut.y();
}

TEST(OutlineRegion, RingRegionHoldsItsHole) {
  const QRegion region = outlineRegion(
      TraceOutline(bitmap({"......", ".####.", ".#..#.", ".#..#.", ".####.", "......"})));
  for (const QPoint hole : {QPoint(2, 2), QPoint(3, 2), QPoint(2, 3), QPoint(3, 3)})
    EXPECT_TRUE(region.contains(hole)) << hole.x() << "," << hole.y();
}

// The linear-time region of a traced outline matches Qt's own winding-fill scan conversion.
TEST(OutlineRegion, SamePixelsAsQtPolygonFill) {
  std::mt19937 random(7);
  std::vector<QImage> images;
  for (const TraceCase &c : traceCases)
    images.push_back(bitmap(c.rows));
  for (int n = 0; n < 300; ++n) {
    QImage image(3 + int(random() % 14), 3 + int(random() % 14), QImage::Format_RGB32);
    const unsigned density = random() % 100;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        image.setPixel(x, y, random() % 100 < density ? colourOf('#') : colourOf('.'));
    image.setPixel(0, 0, colourOf('.'));
    images.push_back(image);
  }
  for (const QImage &image : images) {
    const std::vector<QPoint> outline = TraceOutline(image);
    if (outline.empty()) continue;
    const QPolygon polygon(QList<QPoint>(outline.begin(), outline.end() - 1));
    EXPECT_TRUE(outlineRegion(outline).xored(QRegion(polygon, Qt::WindingFill)).isEmpty());
  }
}

// Points that are not one traced step apart still make the polygon's region.
TEST(OutlineRegion, ArbitraryPolygon) {
  const std::vector<QPoint> square = {{0, 0}, {10, 0}, {10, 5}, {0, 5}, {0, 0}};
  EXPECT_TRUE(outlineRegion(square).xored(QRegion(0, 0, 10, 5)).isEmpty());
}

TEST(OutlineRegion, EmptyOutlineGivesEmptyRegion) {
  EXPECT_TRUE(outlineRegion({}).isEmpty());
}

} // namespace
} // namespace nuv
