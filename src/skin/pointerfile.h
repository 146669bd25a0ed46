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

// All the pixels of one pointer file's pictures together: 16 MiB decoded at most.
inline constexpr qint64 maxPointerPixels = qint64(4) * 1024 * 1024;

struct PointerFrame {
  QImage image; // premultiplied ARGB
  QPoint hotspot;
};

// One shown frame of an animation cycle.
struct PointerStep {
  int frame = 0;   // index into PointerPicture::frames
  int delayMs = 0; // how long it shows
};

// Each distinct picture once; an animation's steps name them by index, so a long sequence over
// few pictures costs no more pixels than the pictures themselves.
struct PointerPicture {
  std::vector<PointerFrame> frames;
  std::vector<PointerStep> steps; // one cycle, in order; empty for a still pointer
  bool animated() const { return steps.size() > 1; }
};

// A .cur or .ico file (the largest picture of its directory; a cursor's hotspot from its
// directory entry, an icon's at its centre) or an .ani file (RIFF "ACON"). nullopt for anything
// else and for anything inconsistent: sizes, counts or chunk lengths that do not fit.
std::optional<PointerPicture> readPointerFile(QByteArrayView bytes);

} // namespace nuv
