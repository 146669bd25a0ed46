// The disk cache of downloads, the picture table, and the per-user folder that holds them.
#pragma once

#include "transfer.h"

#include <QDate>
#include <QHash>
#include <QImage>
#include <QString>
#include <QStringView>

#include <memory>
#include <optional>

namespace nuv {

// A decoded picture shared by every user of the same location; null means no picture.
using Picture = std::shared_ptr<const QImage>;

// $XDG_DATA_HOME/NUV/ (default ~/.local/share/NUV/), created when missing; when it cannot be
// made, the program's own folder. Always ends in "/".
QString userFolder();
// The cache folder inside the per-user folder, created when missing; ends in "/".
QString defaultCacheFolder();

// Cache file name of a location: same length, letters and digits only, from the Windows-1252
// code of each UTF-16 unit. Stored caches rely on these names: they never change.
QString cacheNameOf(QStringView location);
// The extension a cache body file may carry: extensionOf of the location when it follows the last
// "/" or "\" and is 1 to 8 letters or digits; otherwise "".
QString cacheExtensionOf(QStringView location);
// cacheNameOf of the location, cut and completed with a stable hash when it would be too long for
// a file name.
QString cacheFileNameOf(QStringView location);

// Header file layouts, lines ending in CR LF.
// Picture and file fetches: last-modified value (or ""), the location, " " + last byte index.
QByteArray fetchHeaderText(QStringView lastModified, QStringView location, qint64 byteCount);
// Document reader: the location, " " + character count.
QByteArray documentHeaderText(QStringView location, qint64 characterCount);

// Deletes the plain files of folder whose last change lies more than 5 calendar days from today,
// either way. Returns how many were deleted.
int sweepCacheFolder(const QString &folder, QDate today = QDate::currentDate());

class Cache {
public:
  // cacheFolder ends in "/" and is created when missing.
  explicit Cache(const QString &cacheFolder = defaultCacheFolder());

  QString cacheFolder() const { return m_cacheFolder; }
  QString baseFolder() const { return m_baseFolder; }
  void setBaseFolder(const QString &folder) { m_baseFolder = folder; }
  int cacheLevel() const { return m_cacheLevel; }
  void setCacheLevel(int level) { m_cacheLevel = level; }
  Transfer &transfer() { return m_transfer; }

  QString resolve(QStringView location) const { return resolveLocationIn(location); }

  QString headerFileOf(QStringView location) const;
  QString bodyFileOf(QStringView location) const;
  // Both the header and the body file exist.
  bool hasCachedCopy(QStringView location) const;
  // The whole cache body file, when there is a cached copy.
  std::optional<QByteArray> cachedBody(QStringView location) const;

  // Resolves location in place and gives a local file holding its content: the local path itself,
  // or the cache body file of a remote location. "" when a remote location cannot be had, neither
  // from the server nor from the cache.
  QString fetchToCache(QString &location);
  // Resolves location in place and gives its picture, decoded once per run. A picture that
  // cannot be decoded stays "no picture" for the rest of the run; a remote one that cannot be
  // fetched is tried again next time.
  Picture loadPictureCached(QString &location);

  // Decodes every picture afresh when next asked for: their files may have changed.
  void forgetPictures() { m_pictures.clear(); }

  // Stores a document the reader has downloaded, in the document header layout.
  bool storeDocument(QStringView location, const QByteArray &bytes, qint64 characterCount);
  int sweep(QDate today = QDate::currentDate()) const {
    return sweepCacheFolder(m_cacheFolder, today);
  }

private:
  struct Copy {
    bool ok = false;
    // Set when the content was downloaded in this call.
    QByteArray downloaded;
  };
  struct PictureEntry {
    Picture picture;
    bool done = false;
  };

  QString resolveLocationIn(QStringView location) const;
  Copy obtainCopy(const QString &location);
  std::optional<QString> askLastModified(const QString &location);
  bool writeCopy(const QString &location, const QByteArray &header, const QByteArray &body) const;

  QString m_cacheFolder;
  QString m_baseFolder;
  int m_cacheLevel = 1;
  Transfer m_transfer;
  QHash<QString, PictureEntry> m_pictures;
};

} // namespace nuv
