// Arbitrary bytes through the pointer file reader (.cur, .ico, .ani), as a server could send them.
#include "pointerfile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  const std::optional<nuv::PointerPicture> pointer = nuv::readPointerFile(bytes);
  if (!pointer) return 0;
  // What the reader gives must be what it promises: bounded pictures with hotspots inside, and
  // steps that name those pictures.
  qint64 pixels = 0;
  for (const nuv::PointerFrame &frame : pointer->frames) {
    if (frame.image.isNull() || frame.image.width() > nuv::maxPointerSide ||
        frame.image.height() > nuv::maxPointerSide || !frame.image.rect().contains(frame.hotspot))
      __builtin_trap();
    pixels += qint64(frame.image.width()) * frame.image.height();
  }
  if (pointer->frames.empty() || pixels > nuv::maxPointerPixels ||
      pointer->steps.size() > size_t(nuv::maxPointerSteps))
    __builtin_trap();
  for (const nuv::PointerStep &step : pointer->steps)
    if (step.frame < 0 || size_t(step.frame) >= pointer->frames.size() || step.delayMs <= 0)
      __builtin_trap();
  return 0;
}
