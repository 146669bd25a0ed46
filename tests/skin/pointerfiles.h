// Small pointer files built in memory, for the reader's tests and the fuzzer's seeds.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QtEndian>

#include <vector>

namespace nuv::test {

inline QByteArray le16(int value) {
  QByteArray bytes(2, '\0');
  qToLittleEndian(quint16(value), bytes.data());
  return bytes;
}

inline QByteArray le32(quint32 value) {
  QByteArray bytes(4, '\0');
  qToLittleEndian(value, bytes.data());
  return bytes;
}

// A 32-bit icon bitmap, every pixel the colour (alpha included), with an all-clear mask.
inline QByteArray dib32(int width, int height, QRgb colour) {
  QByteArray bytes = le32(40) + le32(quint32(width)) + le32(quint32(height * 2)) + le16(1) +
                     le16(32) + le32(0) + le32(0) + le32(0) + le32(0) + le32(0) + le32(0);
  for (int i = 0; i < width * height; ++i)
    bytes += le32(colour);
  bytes += QByteArray((width + 31) / 32 * 4 * height, '\0');
  return bytes;
}

// A 1-bit icon bitmap in black and white; the mask makes its left half see-through.
inline QByteArray dib1(int width, int height) {
  QByteArray bytes = le32(40) + le32(quint32(width)) + le32(quint32(height * 2)) + le16(1) +
                     le16(1) + le32(0) + le32(0) + le32(0) + le32(0) + le32(2) + le32(0);
  bytes += le32(0x000000) + le32(0xFFFFFF);
  const int stride = (width + 31) / 32 * 4;
  bytes += QByteArray(stride * height, char(0xFF)); // colour: all white
  for (int y = 0; y < height; ++y) {
    QByteArray row(stride, '\0');
    for (int x = 0; x < width / 2; ++x)
      row[x / 8] = char(uchar(row[x / 8]) | (0x80 >> (x % 8)));
    bytes += row;
  }
  return bytes;
}

inline QByteArray pngPicture(int width, int height, QRgb colour) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

struct IconEntry {
  int width;
  int height;
  int hotX; // planes for an icon
  int hotY; // bits per pixel for an icon
  QByteArray picture;
};

// type 2: a .cur file; type 1: an .ico file.
inline QByteArray iconFile(int type, const std::vector<IconEntry> &entries) {
  QByteArray bytes = le16(0) + le16(type) + le16(int(entries.size()));
  qsizetype offset = 6 + 16 * qsizetype(entries.size());
  for (const IconEntry &e : entries) {
    bytes += char(e.width & 0xFF);
    bytes += char(e.height & 0xFF);
    bytes += QByteArray(2, '\0');
    bytes += le16(e.hotX) + le16(e.hotY) + le32(quint32(e.picture.size())) + le32(quint32(offset));
    offset += e.picture.size();
  }
  for (const IconEntry &e : entries)
    bytes += e.picture;
  return bytes;
}

inline QByteArray chunk(const char *tag, const QByteArray &data) {
  QByteArray bytes = QByteArray(tag, 4) + le32(quint32(data.size())) + data;
  if (data.size() % 2 != 0) bytes += '\0';
  return bytes;
}

// An animated pointer: frames are .cur files; rate and sequence are left out when empty.
inline QByteArray aniFile(const std::vector<QByteArray> &frames, quint32 frameCount,
                          quint32 defaultRate, const std::vector<quint32> &rates,
                          const std::vector<quint32> &sequence) {
  const quint32 steps = sequence.empty() ? frameCount : quint32(sequence.size());
  const quint32 flags = 1 | (sequence.empty() ? 0 : 2);
  QByteArray header = le32(36) + le32(frameCount) + le32(steps) + le32(0) + le32(0) + le32(0) +
                      le32(0) + le32(defaultRate) + le32(flags);
  QByteArray body = chunk("anih", header);
  auto table = [](const std::vector<quint32> &values) {
    QByteArray bytes;
    for (quint32 v : values)
      bytes += le32(v);
    return bytes;
  };
  if (!rates.empty()) body += chunk("rate", table(rates));
  if (!sequence.empty()) body += chunk("seq ", table(sequence));
  QByteArray list = "fram";
  for (const QByteArray &frame : frames)
    list += chunk("icon", frame);
  body += chunk("LIST", list);
  return "RIFF" + le32(quint32(body.size() + 4)) + "ACON" + body;
}

// A one-picture .cur of a solid colour.
inline QByteArray curFile(int side, QPoint hotspot, QRgb colour) {
  return iconFile(2, {{side, side, hotspot.x(), hotspot.y(), dib32(side, side, colour)}});
}

} // namespace nuv::test
