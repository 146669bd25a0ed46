// Reading pictures with Qt's plugins loaded only when a picture needs them.
#include "pictures.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QStringList>

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

} // namespace nuv
