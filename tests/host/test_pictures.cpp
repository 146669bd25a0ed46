// Reading pictures: ordinary bad input, and a declared size beyond the allocation limit.
#include "pictures.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QtEndian>

namespace nuv {
namespace {

// The CRC-32 PNG chunks carry, bit by bit: a few bytes only.
quint32 crc32Of(const QByteArray &bytes) {
  quint32 crc = 0xffffffffu;
  for (const char byte : bytes) {
    crc ^= quint8(byte);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xedb88320u : crc >> 1;
  }
  return ~crc;
}

QByteArray chunk(const char *kind, const QByteArray &data) {
  QByteArray out(4, '\0');
  qToBigEndian<quint32>(quint32(data.size()), out.data());
  const QByteArray body = QByteArray(kind, 4) + data;
  QByteArray crc(4, '\0');
  qToBigEndian<quint32>(crc32Of(body), crc.data());
  return out + body + crc;
}

enum PngColour : char { Grey = 0, Rgb = 2, GreyAlpha = 4, Rgba = 6 };

// A PNG whose header declares width x height pixels, followed by one tiny data chunk.
QByteArray declaredPng(quint32 width, quint32 height, char bits = 8, PngColour colour = Rgba) {
  QByteArray header(13, '\0');
  qToBigEndian<quint32>(width, header.data());
  qToBigEndian<quint32>(height, header.data() + 4);
  header[8] = bits; // per channel
  header[9] = colour;
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
         chunk("IDAT", QByteArray::fromHex("789c636000000000040001")) + chunk("IEND", QByteArray());
}

QByteArray encoded(const QImage &image, const char *format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

TEST(Pictures, HugeDeclaredSizeIsRefusedBeforeDecoding) {
  QElapsedTimer timer;
  timer.start();
  EXPECT_TRUE(readPicture(declaredPng(100000, 100000)).isNull());
  EXPECT_TRUE(readPicture(declaredPng(20000, 20000)).isNull()); // 1.5 GiB: over the limit
  EXPECT_LT(timer.elapsed(), 2000);
}

QStringList &qtMessages() {
  static QStringList messages;
  return messages;
}

// The decoder's bound counts what decoding takes, as Qt does: 16-bit channels take 8 bytes a
// pixel, and grey pictures 4 like the rest. A picture past the bound gets the engine's notice
// and never reaches Qt's own refusal; one within it is not refused.
TEST(Pictures, DecoderBoundCountsTheBytesOfEachFormat) {
  const struct {
    const char *name;
    QByteArray png;
    bool overBound;
  } cases[] = {
      {"16-bit RGBA, 288 MB", declaredPng(6000, 6000, 16, Rgba), true},
      {"16-bit RGB, 288 MB", declaredPng(6000, 6000, 16, Rgb), true},
      {"16-bit grey with alpha, 288 MB", declaredPng(6000, 6000, 16, GreyAlpha), true},
      {"16-bit RGBA, 260 MB", declaredPng(5700, 5700, 16, Rgba), false},
      {"8-bit RGBA, 144 MB", declaredPng(6000, 6000, 8, Rgba), false},
      {"16-bit grey, 269 MB", declaredPng(8200, 8200, 16, Grey), true},
      {"16-bit grey, 135 MB", declaredPng(5800, 5800, 16, Grey), false},
      {"1-bit grey, 269 MB", declaredPng(8200, 8200, 1, Grey), true},
  };
  limitPictureMemory();
  const QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType, const QMessageLogContext &, const QString &text) { qtMessages() << text; });
  for (const auto &c : cases) {
    qtMessages().clear();
    QBuffer buffer;
    buffer.setData(c.png);
    buffer.open(QIODevice::ReadOnly);
    const DecodedPicture decoded = decodePicture(buffer, "png");
    EXPECT_EQ(!decoded.overBound.isEmpty(), c.overBound) << c.name;
    for (const QString &message : qtMessages())
      EXPECT_FALSE(message.contains(u"allocation limit"))
          << c.name << ": " << message.toStdString();
  }
  qInstallMessageHandler(previous);
}

TEST(Pictures, OrdinaryBadInput) {
  QImage image(6, 4, QImage::Format_RGB32);
  image.fill(qRgb(10, 20, 30));
  const QByteArray png = encoded(image, "PNG");
  QByteArray bmp = encoded(image, "BMP");
  ASSERT_FALSE(bmp.isEmpty());
  // Stored top-down: a negative height is a valid BMP.
  qToLittleEndian<qint32>(-4, bmp.data() + 22);
  const struct {
    const char *name;
    QByteArray bytes;
    bool reads;
  } cases[] = {
      {"zero bytes", QByteArray(), false},     {"truncated PNG", png.left(png.size() / 2), false},
      {"header only", png.left(33), false},    {"whole PNG", png, true},
      {"BMP with negative height", bmp, true},
  };
  for (const auto &c : cases) {
    const QImage read = readPicture(c.bytes);
    EXPECT_EQ(!read.isNull(), c.reads) << c.name;
    if (c.reads) {
      EXPECT_EQ(read.size(), QSize(6, 4)) << c.name;
    }
  }
}

} // namespace
} // namespace nuv
