// Reading mouse pointer files: static ones (.cur, .ico) and animated ones (.ani), bounded.
#include "pointerfile.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace nuv {

namespace {

// Animation rates count sixtieths of a second ("jiffies").
constexpr qint64 jiffiesPerSecond = 60;

// Little-endian reads that fail, instead of reading past the end.
class Bytes {
public:
  explicit Bytes(QByteArrayView data) : m_data(data) {}
  qint64 size() const { return m_data.size(); }
  bool has(qint64 at, qint64 count) const {
    return at >= 0 && count >= 0 && at <= size() && count <= size() - at;
  }
  std::optional<quint32> u32(qint64 at) const {
    if (!has(at, 4)) return std::nullopt;
    const auto *p = reinterpret_cast<const uchar *>(m_data.data() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
  }
  std::optional<quint16> u16(qint64 at) const {
    if (!has(at, 2)) return std::nullopt;
    const auto *p = reinterpret_cast<const uchar *>(m_data.data() + at);
    return quint16(p[0] | p[1] << 8);
  }
  uchar byte(qint64 at) const { return uchar(m_data[at]); } // only after has()
  bool tagAt(qint64 at, const char (&tag)[5]) const {
    return has(at, 4) && std::memcmp(m_data.data() + at, tag, 4) == 0;
  }
  QByteArrayView slice(qint64 at, qint64 count) const { return m_data.sliced(at, count); }

private:
  QByteArrayView m_data;
};

bool withinSide(qint64 side) {
  return side >= 1 && side <= maxPointerSide;
}

// A PNG picture inside a directory entry; its size is checked before anything is decoded.
QImage readPng(QByteArrayView data) {
  QByteArray copy = data.toByteArray();
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "png");
  const QSize size = reader.size();
  if (!withinSide(size.width()) || !withinSide(size.height())) return {};
  QImage image = reader.read();
  if (image.size() != size) return {};
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A device-independent bitmap as icons store it: the colour rows, then a 1-bit transparency
// mask, both bottom-up, with a height field that counts both.
QImage readDib(const Bytes &dib) {
  const std::optional<quint32> headerSize = dib.u32(0);
  const std::optional<quint32> rawWidth = dib.u32(4);
  const std::optional<quint32> rawHeight = dib.u32(8);
  const std::optional<quint16> bpp = dib.u16(14);
  const std::optional<quint32> compression = dib.u32(16);
  const std::optional<quint32> coloursUsed = dib.u32(32);
  if (!headerSize || !rawWidth || !rawHeight || !bpp || !compression || !coloursUsed) return {};
  if (*headerSize < 40 || !dib.has(0, *headerSize) || *compression != 0) return {};
  const qint64 width = qint32(*rawWidth);
  const qint64 doubleHeight = qint32(*rawHeight);
  if (doubleHeight % 2 != 0) return {};
  const qint64 height = doubleHeight / 2;
  if (!withinSide(width) || !withinSide(height)) return {};
  const int bits = *bpp;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return {};

  const qint64 paletteSize = bits <= 8 ? (*coloursUsed != 0 ? *coloursUsed : 1u << bits) : 0;
  if (paletteSize > (qint64(1) << bits) && bits <= 8) return {};
  const qint64 paletteAt = *headerSize;
  const qint64 xorAt = paletteAt + paletteSize * 4;
  const qint64 xorStride = (width * bits + 31) / 32 * 4;
  const qint64 andAt = xorAt + xorStride * height;
  const qint64 andStride = (width + 31) / 32 * 4;
  if (!dib.has(xorAt, xorStride * height)) return {};
  // A 32-bit picture may carry its transparency in its alpha channel alone.
  const bool hasMask = dib.has(andAt, andStride * height);
  if (!hasMask && bits != 32) return {};

  QImage image(int(width), int(height), QImage::Format_ARGB32);
  if (image.isNull()) return {};
  bool anyAlpha = false;
  for (qint64 y = 0; y < height; ++y) {
    const qint64 row = xorAt + (height - 1 - y) * xorStride;
    auto *out = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
    for (qint64 x = 0; x < width; ++x) {
      QRgb colour = 0;
      if (bits <= 8) {
        const qint64 bit = x * bits;
        const int shift = 8 - bits - int(bit % 8);
        const int index = (dib.byte(row + bit / 8) >> shift) & ((1 << bits) - 1);
        if (index >= paletteSize) return {};
        const qint64 p = paletteAt + index * 4;
        colour = qRgb(dib.byte(p + 2), dib.byte(p + 1), dib.byte(p));
      } else {
        const qint64 p = row + x * (bits / 8);
        const int alpha = bits == 32 ? dib.byte(p + 3) : 255;
        anyAlpha = anyAlpha || (bits == 32 && alpha != 0);
        colour = qRgba(dib.byte(p + 2), dib.byte(p + 1), dib.byte(p), alpha);
      }
      out[x] = colour;
    }
  }
  // Without an alpha channel worth the name, the mask says which pixels are see-through.
  if (bits != 32 || !anyAlpha) {
    if (!hasMask) return {};
    for (qint64 y = 0; y < height; ++y) {
      const qint64 row = andAt + (height - 1 - y) * andStride;
      auto *out = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
      for (qint64 x = 0; x < width; ++x) {
        const bool clear = (dib.byte(row + x / 8) >> (7 - x % 8)) & 1;
        out[x] = clear ? qRgba(0, 0, 0, 0) : (out[x] | 0xFF000000u);
      }
    }
  }
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A .cur or .ico file: the largest picture of its directory.
std::optional<PointerFrame> readIconDirectory(QByteArrayView data) {
  const Bytes file(data);
  const std::optional<quint16> reserved = file.u16(0);
  const std::optional<quint16> type = file.u16(2);
  const std::optional<quint16> count = file.u16(4);
  if (!reserved || !type || !count || *reserved != 0) return std::nullopt;
  if ((*type != 1 && *type != 2) || *count < 1 || *count > maxPointerEntries) return std::nullopt;
  if (!file.has(6, qint64(*count) * 16)) return std::nullopt;

  qint64 best = -1;
  qint64 bestArea = 0;
  for (qint64 i = 0; i < *count; ++i) {
    const qint64 entry = 6 + i * 16;
    const qint64 side = file.byte(entry) == 0 ? 256 : file.byte(entry);
    const qint64 other = file.byte(entry + 1) == 0 ? 256 : file.byte(entry + 1);
    const qint64 length = *file.u32(entry + 8);
    const qint64 offset = *file.u32(entry + 12);
    // Every entry must lie inside the file, not only the one chosen.
    if (length < 8 || !file.has(offset, length)) return std::nullopt;
    if (side * other > bestArea) {
      bestArea = side * other;
      best = entry;
    }
  }
  const qint64 offset = *file.u32(best + 12);
  const QByteArrayView picture = file.slice(offset, *file.u32(best + 8));
  static const char pngSignature[] = "\x89PNG\r\n\x1a\n";
  const bool png = picture.size() >= 8 && std::memcmp(picture.data(), pngSignature, 8) == 0;
  QImage image = png ? readPng(picture) : readDib(Bytes(picture));
  if (image.isNull()) return std::nullopt;

  QPoint hotspot(image.width() / 2, image.height() / 2);
  if (*type == 2) {
    hotspot = QPoint(*file.u16(best + 4), *file.u16(best + 6));
    if (!image.rect().contains(hotspot)) return std::nullopt;
  }
  return PointerFrame{std::move(image), hotspot};
}

// RIFF "ACON": an "anih" header, optional "rate" and "seq " tables, and a "LIST" of "fram" whose
// "icon" chunks are .cur/.ico files. Chunks it does not know (titles, authors) are skipped.
std::optional<PointerPicture> readAnimated(QByteArrayView data) {
  const Bytes file(data);
  const std::optional<quint32> riffSize = file.u32(4);
  if (!riffSize || !file.tagAt(8, "ACON") || !file.has(8, *riffSize)) return std::nullopt;
  const qint64 end = 8 + qint64(*riffSize);

  std::optional<qint64> header;
  std::optional<std::pair<qint64, qint64>> rates;
  std::optional<std::pair<qint64, qint64>> sequence;
  std::vector<PointerFrame> pictures;
  qint64 pixels = 0;
  for (qint64 at = 12; at + 8 <= end;) {
    const qint64 length = *file.u32(at + 4);
    const qint64 body = at + 8;
    if (length > end - body) return std::nullopt;
    if (file.tagAt(at, "anih")) {
      if (length < 36 || header) return std::nullopt;
      header = body;
    } else if (file.tagAt(at, "rate")) {
      if (rates) return std::nullopt;
      rates = {body, length};
    } else if (file.tagAt(at, "seq ")) {
      if (sequence) return std::nullopt;
      sequence = {body, length};
    } else if (file.tagAt(at, "LIST") && length >= 4 && file.tagAt(body, "fram")) {
      for (qint64 sub = body + 4; sub + 8 <= body + length;) {
        const qint64 subLength = *file.u32(sub + 4);
        if (subLength > body + length - (sub + 8)) return std::nullopt;
        if (file.tagAt(sub, "icon")) {
          if (int(pictures.size()) >= maxPointerFrames) return std::nullopt;
          std::optional<PointerFrame> frame = readIconDirectory(file.slice(sub + 8, subLength));
          if (!frame) return std::nullopt;
          pixels += qint64(frame->image.width()) * frame->image.height();
          if (pixels > maxPointerPixels) return std::nullopt;
          pictures.push_back(std::move(*frame));
        }
        sub += 8 + subLength + (subLength & 1);
      }
    }
    at = body + length + (length & 1);
  }
  if (!header) return std::nullopt;
  const qint64 frameCount = *file.u32(*header + 4);
  const qint64 stepCount = *file.u32(*header + 8);
  const qint64 defaultRate = *file.u32(*header + 28);
  const quint32 flags = *file.u32(*header + 32);
  // Bit 0: the frames are icon files; raw bitmaps are not read.
  if ((flags & 1) == 0) return std::nullopt;
  if (frameCount < 1 || frameCount > maxPointerFrames || frameCount != qint64(pictures.size()))
    return std::nullopt;
  const qint64 steps = sequence ? stepCount : frameCount;
  if (steps < 1 || steps > maxPointerSteps) return std::nullopt;
  if (sequence && sequence->second < steps * 4) return std::nullopt;
  if (rates && rates->second < steps * 4) return std::nullopt;

  PointerPicture result;
  result.steps.reserve(size_t(steps));
  for (qint64 step = 0; step < steps; ++step) {
    const qint64 index = sequence ? *file.u32(sequence->first + step * 4) : step;
    if (index >= frameCount) return std::nullopt;
    const qint64 jiffies = rates ? *file.u32(rates->first + step * 4) : defaultRate;
    // At least one jiffy, at most a minute.
    const qint64 delayMs =
        std::clamp<qint64>(jiffies, 1, 60 * jiffiesPerSecond) * 1000 / jiffiesPerSecond;
    result.steps.push_back(PointerStep{int(index), int(delayMs)});
  }
  result.frames = std::move(pictures);
  return result;
}

} // namespace

std::optional<PointerPicture> readPointerFile(QByteArrayView bytes) {
  if (bytes.size() > maxPointerFileBytes) return std::nullopt;
  if (bytes.startsWith("RIFF")) return readAnimated(bytes);
  std::optional<PointerFrame> frame = readIconDirectory(bytes);
  if (!frame) return std::nullopt;
  PointerPicture picture;
  picture.frames.push_back(std::move(*frame));
  return picture;
}

} // namespace nuv
