// Reading pictures with Qt's plugins loaded only when a picture needs them.
#include "pictures.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace nuv {

namespace {

std::optional<QStringList> &hiddenFolders() {
  static std::optional<QStringList> folders;
  return folders;
}

template <typename Read> QImage readWithPlugins(Read read) {
  QImage image = read();
  if (!image.isNull() || !hiddenFolders()) return image;
  restorePlugins();
  return read();
}

// Whether decoding a picture would take more than limitBytes, as Qt counts it: 32 bits a pixel
// at least (its PNG reader takes that much for grey pictures too, and a picture is shown at 32
// bits), more in the format the header announces when that is deeper (16-bit channels take 64
// bits). Divided, not multiplied, so that no declared size overflows.
bool passesBound(QSize size, QImage::Format format, qint64 limitBytes) {
  const int announced =
      format == QImage::Format_Invalid ? 0 : int(QImage::toPixelFormat(format).bitsPerPixel());
  const qint64 rowBytes = qint64(size.width()) * std::max(announced, 32) / 8;
  return rowBytes > 0 && size.height() > limitBytes / rowBytes;
}

} // namespace

void deferPlugins() {
  if (hiddenFolders() || QCoreApplication::instance() == nullptr) return;
  hiddenFolders() = QCoreApplication::libraryPaths();
  QCoreApplication::setLibraryPaths({});
}

void restorePlugins() {
  if (!hiddenFolders()) return;
  QCoreApplication::setLibraryPaths(*hiddenFolders());
  hiddenFolders().reset();
}

void limitPictureMemory() {
  QImageReader::setAllocationLimit(pictureLimitMiB);
}

QImage readPicture(const QString &path) {
  limitPictureMemory();
  return readWithPlugins([&] { return QImage(path); });
}

QImage readPicture(const QByteArray &bytes) {
  limitPictureMemory();
  return readWithPlugins([&] { return QImage::fromData(bytes); });
}

DecodedPicture decodePicture(QIODevice &device, const QByteArray &format) {
  DecodedPicture decoded;
  auto readAs = [&](const QByteArray &hint) {
    device.seek(0);
    QImageReader reader(&device, hint);
    // Qt refuses such a picture too, but only with a warning of its own; asking the header
    // first lets the message name the picture.
    const QSize size = reader.size();
    const qint64 limitMiB = QImageReader::allocationLimit();
    if (limitMiB > 0 && size.isValid() &&
        passesBound(size, reader.imageFormat(), limitMiB * 1024 * 1024)) {
      decoded.overBound = QStringLiteral("its %1x%2 pixels pass the decoder's bound of %3 MiB")
                              .arg(size.width())
                              .arg(size.height())
                              .arg(limitMiB);
      return QImage();
    }
    return reader.read();
  };
  decoded.image = readWithPlugins([&] {
    // The content decides; the suffix helps only formats that cannot be told by content.
    QImage image = readAs({});
    if (image.isNull() && decoded.overBound.isEmpty() && !format.isEmpty())
      image = readAs(format.toLower());
    return image;
  });
  return decoded;
}

} // namespace nuv
