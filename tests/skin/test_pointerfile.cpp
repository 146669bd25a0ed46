// The pointer file reader: small generated files, and the hostile ones it must refuse.
#include "pointerfile.h"
#include "pointerfiles.h"

#include <gtest/gtest.h>

using namespace nuv;
using namespace nuv::test;

namespace {

const QRgb red = 0xFFFF0000;
const QRgb green = 0xFF00FF00;
const QRgb blue = 0xFF0000FF;

struct Step {
  int frame;
  int delayMs;
  bool operator==(const Step &) const = default;
};

std::vector<Step> stepsOf(const PointerPicture &pointer) {
  std::vector<Step> steps;
  for (const PointerStep &step : pointer.steps)
    steps.push_back({step.frame, step.delayMs});
  return steps;
}

TEST(PointerFile, ReadsSizeHotspotFramesAndSteps) {
  const struct {
    const char *name;
    QByteArray bytes;
    QSize size;
    QPoint hotspot;
    size_t frames;           // distinct pictures
    std::vector<Step> steps; // one cycle; empty for a still pointer
  } cases[] = {
      {"cur", curFile(32, {5, 7}, red), {32, 32}, {5, 7}, 1, {}},
      {"cur, largest of two",
       iconFile(2, {{16, 16, 1, 1, dib32(16, 16, red)}, {48, 48, 40, 2, dib32(48, 48, green)}}),
       {48, 48},
       {40, 2},
       1,
       {}},
      {"ico, 1-bit, hotspot at the centre",
       iconFile(1, {{16, 16, 1, 1, dib1(16, 16)}}),
       {16, 16},
       {8, 8},
       1,
       {}},
      {"ico holding a PNG",
       iconFile(1, {{24, 24, 1, 32, pngPicture(24, 24, blue)}}),
       {24, 24},
       {12, 12},
       1,
       {}},
      {"256-pixel entry written as 0",
       iconFile(2, {{0, 0, 255, 0, dib32(256, 256, red)}}),
       {256, 256},
       {255, 0},
       1,
       {}},
      {"ani, header rate",
       aniFile({curFile(32, {1, 2}, red), curFile(32, {1, 2}, green), curFile(32, {1, 2}, blue)}, 3,
               6, {}, {}),
       {32, 32},
       {1, 2},
       3,
       {{0, 100}, {1, 100}, {2, 100}}},
      {"ani, rate and sequence",
       aniFile({curFile(16, {3, 3}, red), curFile(16, {3, 3}, green)}, 2, 6, {1, 2, 3, 60},
               {0, 1, 1, 0}),
       {16, 16},
       {3, 3},
       2,
       {{0, 16}, {1, 33}, {1, 50}, {0, 1000}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<PointerPicture> pointer = readPointerFile(c.bytes);
    ASSERT_TRUE(pointer);
    ASSERT_EQ(pointer->frames.size(), c.frames);
    for (const PointerFrame &frame : pointer->frames) {
      EXPECT_EQ(frame.image.size(), c.size);
      EXPECT_EQ(frame.hotspot, c.hotspot);
    }
    EXPECT_EQ(stepsOf(*pointer), c.steps);
    EXPECT_EQ(pointer->animated(), c.steps.size() > 1);
  }
}

TEST(PointerFile, ColoursMaskAndSequenceLandInThePixels) {
  const std::optional<PointerPicture> mono =
      readPointerFile(iconFile(1, {{16, 16, 1, 1, dib1(16, 16)}}));
  ASSERT_TRUE(mono);
  EXPECT_EQ(qAlpha(mono->frames[0].image.pixel(2, 5)), 0);    // masked: see-through
  EXPECT_EQ(mono->frames[0].image.pixel(12, 5), 0xFFFFFFFFu); // white, opaque

  const std::optional<PointerPicture> ani = readPointerFile(
      aniFile({curFile(8, {0, 0}, red), curFile(8, {0, 0}, green)}, 2, 1, {}, {1, 0, 0}));
  ASSERT_TRUE(ani);
  const QRgb shown[] = {green, red, red};
  ASSERT_EQ(ani->steps.size(), std::size(shown));
  for (size_t i = 0; i < std::size(shown); ++i)
    EXPECT_EQ(ani->frames[size_t(ani->steps[i].frame)].image.pixel(4, 4), shown[i]) << i;
}

// A long sequence over a few pictures: each picture is decoded and kept once, so the pixels held
// are those of the file's pictures, not one copy per step.
TEST(PointerFile, StepsShareTheirPictures) {
  std::vector<QByteArray> frames;
  const QRgb colours[] = {red, green, blue, 0xFFFFFF00};
  for (const QRgb colour : colours)
    frames.push_back(curFile(64, {0, 0}, colour));
  std::vector<quint32> sequence;
  for (quint32 i = 0; i < quint32(maxPointerSteps); ++i)
    sequence.push_back((i * 7) % 4);
  const std::optional<PointerPicture> pointer =
      readPointerFile(aniFile(frames, 4, 2, {}, sequence));
  ASSERT_TRUE(pointer);
  ASSERT_EQ(pointer->frames.size(), 4u);
  ASSERT_EQ(pointer->steps.size(), size_t(maxPointerSteps));
  for (size_t i = 0; i < sequence.size(); ++i)
    ASSERT_EQ(pointer->steps[i].frame, int(sequence[i])) << i;
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(pointer->frames[i].image.pixel(9, 9), colours[i]) << i;
}

TEST(PointerFile, RefusesWhatIsInconsistent) {
  const QByteArray good = curFile(32, {5, 7}, red);
  QByteArray pastTheEnd = good;
  pastTheEnd.chop(1);
  QByteArray hugeWidth = good;
  hugeWidth.replace(6 + 16 + 4, 4, le32(100000));
  QByteArray longChunk = aniFile({good}, 1, 1, {}, {});
  longChunk.replace(16, 4, le32(0x7FFFFFF0)); // the anih chunk's length
  QByteArray framesHuge = aniFile({good}, 1, 1, {}, {});
  framesHuge.replace(20 + 4, 4, le32(0x80000000u));
  QByteArray stepsHuge = aniFile({good}, 1, 1, {}, {0});
  stepsHuge.replace(20 + 8, 4, le32(0x80000000u));
  QByteArray rawFrames = aniFile({good}, 1, 1, {}, {});
  rawFrames.replace(20 + 32, 4, le32(0));
  const struct {
    const char *name;
    QByteArray bytes;
  } cases[] = {
      {"empty", {}},
      {"one byte", "\x00"},
      {"no directory entries", le16(0) + le16(2) + le16(0)},
      {"not an icon type", le16(0) + le16(3) + le16(1) + QByteArray(16, '\0')},
      {"picture past the end", pastTheEnd},
      {"absurd width", hugeWidth},
      {"hotspot outside", curFile(16, {16, 2}, red)},
      {"RIFF of the wrong form", "RIFF" + le32(4) + "WAVE"},
      {"RIFF shorter than it says", "RIFF" + le32(400) + "ACON"},
      {"chunk length past the end", longChunk},
      {"frame count 2^31", framesHuge},
      {"step count 2^31", stepsHuge},
      {"fewer frames than declared", aniFile({good}, 2, 1, {}, {})},
      {"sequence naming a missing frame", aniFile({good, good}, 2, 1, {}, {0, 2})},
      {"rate table too short", aniFile({good, good}, 2, 1, {5}, {})},
      {"raw frames", rawFrames},
      {"no header", "RIFF" + le32(4 + 12) + "ACON" + chunk("LIST", "fram")},
      {"frame that is no icon", aniFile({"not an icon at all"}, 1, 1, {}, {})},
  };
  for (const auto &c : cases)
    EXPECT_FALSE(readPointerFile(c.bytes)) << c.name;
}

} // namespace
