// Window shapes, object clips and the colour key of alpha skins, on small hand-drawn images.
#include "alphaimage.h"
#include "alphashape.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace nuv {
namespace {

using test::alphaImage;

// A region drawn as rows, 'x' inside.
QRegion drawn(const QStringList &rows) {
  QRegion region;
  for (int y = 0; y < rows.size(); ++y)
    for (int x = 0; x < rows[y].size(); ++x)
      if (rows[y].at(x) == u'x') region += QRect(x, y, 1, 1);
  return region;
}

bool samePixels(const QRegion &a, const QRegion &b) {
  return a.xored(b).isEmpty();
}

std::string show(const std::optional<QRegion> &region) {
  if (!region) return "none";
  std::string text;
  for (const QRect &r : *region)
    text += "(" + std::to_string(r.x()) + "," + std::to_string(r.y()) + " " +
            std::to_string(r.width()) + "x" + std::to_string(r.height()) + ")";
  return text.empty() ? "empty" : text;
}

// Expected regions as drawings; an empty list means "none".
bool matches(const std::optional<QRegion> &got, const QStringList &expected) {
  if (expected.isEmpty()) return !got.has_value();
  return got.has_value() && samePixels(*got, drawn(expected));
}

// A soft-edged skin with a half-transparent shadow row, and one object over its lower right.
const QStringList skin = {".:##.", ":###:", ":###:", "..:.."};
const QRect object(3, 2, 2, 2);

TEST(AlphaShape, RegionsOfTheSkin) {
  const AlphaRegions regions = alphaRegions(alphaImage(skin));
  EXPECT_TRUE(samePixels(regions.opaque, drawn({"..xx.", ".xxx.", ".xxx.", "....."})));
  EXPECT_TRUE(samePixels(regions.visible, drawn({".xxx.", "xxxxx", "xxxxx", "..x.."})));
  const QImage opaque(3, 2, QImage::Format_RGB32);
  EXPECT_EQ(alphaRegions(opaque).opaque, QRegion(0, 0, 3, 2));
  EXPECT_EQ(alphaRegions(opaque).visible, QRegion(0, 0, 3, 2));
  EXPECT_TRUE(alphaRegions(QImage()).visible.isEmpty());
}

TEST(AlphaShape, WindowShapeByCompositorAndClipObjects) {
  const struct {
    bool composited;
    bool clipObjects;
    QStringList bounding;
    QStringList input;
  } cases[] = {
      // Blended: nothing is cut; clicks land on visible pixels and on what shows of the object.
      {true, true, {}, {".xxx.", "xxxxx", "xxxxx", "..x.."}},
      {true, false, {}, {".xxx.", "xxxxx", "xxxxx", "..xxx"}},
      // No compositor: cut to the opaque pixels, plus the whole object when it is not clipped.
      {false, true, {"..xx.", ".xxx.", ".xxx.", "....."}, {}},
      {false, false, {"..xx.", ".xxx.", ".xxxx", "...xx"}, {}},
  };
  const AlphaRegions regions = alphaRegions(alphaImage(skin));
  for (const auto &c : cases) {
    const WindowShape shape =
        alphaWindowShape(regions, QRegion(object), c.clipObjects, c.composited);
    EXPECT_TRUE(matches(shape.bounding, c.bounding))
        << c.composited << c.clipObjects << " bounding " << show(shape.bounding);
    EXPECT_TRUE(matches(shape.input, c.input))
        << c.composited << c.clipObjects << " input " << show(shape.input);
  }
}

TEST(AlphaShape, ObjectClipInObjectPixels) {
  const QRegion opaque = alphaRegions(alphaImage(skin)).opaque;
  const std::optional<QRegion> diagonal = drawn({"x.", ".x"});
  const struct {
    QRect geometry;
    std::optional<QRegion> own;
    QStringList expected; // empty: nothing cut away
  } cases[] = {
      {QRect(1, 1, 3, 2), std::nullopt, {}},           // wholly on opaque pixels
      {QRect(3, 2, 2, 2), std::nullopt, {"x.", ".."}}, // only its top-left pixel is opaque
      {QRect(0, 3, 5, 1), std::nullopt, {"....."}},    // on the shadow: nothing shows
      {QRect(1, 1, 2, 2), diagonal, {"x.", ".x"}},     // a shaped object keeps its shape
      {QRect(2, 0, 2, 2), drawn({".x", "xx"}), {".x", "xx"}},
      {QRect(3, 1, 2, 2), diagonal, {"x.", ".."}},
  };
  for (const auto &c : cases) {
    const std::optional<QRegion> clip = objectClip(opaque, c.geometry, c.own);
    EXPECT_TRUE(matches(clip, c.expected))
        << c.geometry.x() << "," << c.geometry.y() << " " << show(clip);
  }
}

TEST(AlphaShape, ColourKeyClearsExactlyTheColour) {
  const QRgb key = qRgb(254, 1, 254);
  const struct {
    QRgb pixel;
    bool cleared;
  } cases[] = {
      {qRgb(254, 1, 254), true},        {qRgb(254, 1, 253), false}, {qRgb(255, 1, 254), false},
      {qRgba(254, 1, 254, 128), false}, // blended, so no longer the colour
      {qRgb(0, 0, 0), false},           {qRgba(0, 0, 0, 0), true}, // transparent stays transparent
  };
  QImage image(int(std::size(cases)), 1, QImage::Format_ARGB32);
  for (int x = 0; x < image.width(); ++x)
    image.setPixel(x, 0, cases[x].pixel);
  const QImage keyed = keyColour(image, key);
  ASSERT_EQ(keyed.format(), QImage::Format_ARGB32_Premultiplied);
  const QImage plain = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  for (int x = 0; x < image.width(); ++x)
    EXPECT_EQ(keyed.pixel(x, 0), cases[x].cleared ? 0u : plain.pixel(x, 0)) << x;
  // Pictures without alpha are keyed too.
  QImage rgb(2, 1, QImage::Format_RGB32);
  rgb.setPixel(0, 0, key);
  rgb.setPixel(1, 0, qRgb(1, 2, 3));
  EXPECT_EQ(qAlpha(keyColour(rgb, key).pixel(0, 0)), 0);
  EXPECT_EQ(keyColour(rgb, key).pixel(1, 0), qRgb(1, 2, 3));
}

} // namespace
} // namespace nuv
