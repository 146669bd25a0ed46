// Reading mouse pointer files: static ones (.cur, .ico) and animated ones (.ani), bounded.
#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QPoint>

#include <optional>
#include <vector>

namespace nuv {

// Bounds on what a pointer file may declare; the bytes come from the network.
inline constexpr qsizetype maxPointerFileBytes = 4 * 1024 * 1024;
inline constexpr int maxPointerSide = 256;
inline constexpr int maxPointerFrames = 256; // distinct pictures of an animation
inline constexpr int maxPointerSteps = 1024; // shown frames of one animation cycle
inline constexpr int maxPointerEntries = 64; // pictures in one .cur/.ico directory

struct PointerFrame {
  QImage image; // premultiplied ARGB
  QPoint hotspot;
  int delayMs = 0; // how long the frame shows; 0 for a still pointer
};

// One frame for a still pointer; the steps of one cycle, in order, for an animated one.
struct PointerPicture {
  std::vector<PointerFrame> frames;
  bool animated() const { return frames.size() > 1; }
};

// A .cur or .ico file (the largest picture of its directory; a cursor's hotspot from its
// directory entry, an icon's at its centre) or an .ani file (RIFF "ACON"). nullopt for anything
// else and for anything inconsistent: sizes, counts or chunk lengths that do not fit.
std::optional<PointerPicture> readPointerFile(QByteArrayView bytes);

} // namespace nuv
