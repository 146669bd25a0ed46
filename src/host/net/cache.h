// The disk cache of downloads, the picture table, and the per-user folder that holds them.
#pragma once

#include "localfile.h"
#include "picture.h"
#include "transfer.h"

#include <QDate>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <memory>
#include <optional>

namespace nuv {

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
  // The header file names exactly this location (names collide: "-" and "l" share one), and the
  // body file is the one it describes: the length it announced (bytes, or for a document the
  // characters of its text), and written for this location (bodies carry the digest of their
  // location as the extended attribute user.nuv.location; one without, from before, or on a
  // file system without them, goes by its length). Anything else is a miss, which a download
  // then replaces.
  bool hasCachedCopy(QStringView location) const;
  // The whole cache body file, when there is a cached copy.
  std::optional<QByteArray> cachedBody(QStringView location) const;
  // The cache body file opened for reading, when there is a cached copy: the very file checked.
  OpenedFile openCachedBody(QStringView location) const;

  // Resolves location in place and gives a local file holding its content: the local path itself,
  // or the cache body file of a remote location. "" when a remote location cannot be had, neither
  // from the server nor from the cache.
  QString fetchToCache(QString &location);
  // Resolves location in place and gives its picture, decoded once per run however the location
  // is spelled. A picture that cannot be decoded stays "no picture" for the rest of the run; a
  // remote one that cannot be fetched is tried again next time. A picture refused by a bound
  // (bytes, the decoder's, the table's) or because it is no regular file is said in one line.
  Picture loadPictureCached(QString &location);
  // Fetches every location of a list side by side, each under the rules of fetchToCache, and
  // for pictures of loadPictureCached too (they land in the picture table). Returns once all are
  // done; a location that cannot be had is left as those would leave it.
  void preloadFiles(const QStringList &locations) { preload(locations, false); }
  void preloadPictures(const QStringList &locations) { preload(locations, true); }

  // Bound on the decoded pictures the table keeps. Past it, pictures no one else holds go first,
  // least recently asked for first; when all are in use a new picture is refused.
  static constexpr qint64 defaultMaxPictureBytes = qint64(512) * 1024 * 1024;
  void setMaxPictureBytes(qint64 bytes) { m_maxPictureBytes = bytes; }
  qint64 pictureBytes() const { return m_pictureBytes; }
  // Where the one-line notices about refused pictures go; standard error when unset.
  void setPictureNotice(std::function<void(const QString &)> notice) {
    m_pictureNotice = std::move(notice);
  }

  // Decodes every picture afresh when next asked for: their files may have changed.
  void forgetPictures() {
    m_pictures.clear();
    m_artTried.clear();
    m_artPreloaded.clear();
    m_pictureBytes = 0;
  }

  // For a display of 1.5 device pixels or more to a pixel: a picture whose double-density art
  // (highDensityLocationOf, beside it or on the same server, through the cache) exists and is
  // exactly twice its size is shown from that art, with a device pixel ratio of 2 so that it
  // keeps the picture's size. The art is looked for once per picture and run; art that is
  // missing or unreadable is no error, and only the picture itself can fail. Off by default:
  // nothing is looked for.
  void setHighDensity(bool on) { m_highDensity = on; }

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
    // No copy, and the download passed the size bound: asking again will not help.
    bool overSizeBound = false;
  };
  // One picture of the table, or a location that gave none.
  struct PictureEntry {
    Picture picture;
    qint64 cost = 0;
    quint64 lastUse = 0;
  };

  // The first step towards a remote copy; the later ones depend on the server's answers.
  enum class CopyStep { UseCopy, AskServer, Download };

  QString resolveLocationIn(QStringView location) const;
  Copy obtainCopy(const QString &location);
  // The steps of obtainCopy, shared with preloading, which runs them for many locations at once.
  CopyStep firstStep(bool hasCopy) const;
  // After the HEAD answer: nullopt when the cached copy serves, else the header's new first line.
  std::optional<QString> changedLastModified(const QString &location,
                                             const TransferResult &head) const;
  Copy storeDownload(const QString &location, const QString &lastModified, TransferResult &download,
                     bool hasCopy) const;
  // Decodes what obtainCopy gave into the picture table; no picture and no entry when there was
  // nothing to decode, so that a later request tries again.
  Picture settlePicture(const QString &location, const QString &key, const Copy &copy);
  // Decodes what source holds (nothing when null or empty) into the table under key, unless a
  // bound or the decoder refuses it.
  Picture keepPicture(const QString &key, const QString &location, QIODevice *source,
                      const QByteArray &format, QString failure);
  void preload(const QStringList &locations, bool pictures);
  void queueCopy(TransferGroup &group, const QString &location,
                 std::function<void(const Copy &)> settle);
  // The picture table's entry for key, shown from its double-density art when that is wanted
  // and can be had; picture is what the entry holds now.
  Picture withHighDensityArt(const QString &location, const QString &key, Picture picture);
  // The double-density art at a location, decoded; null when it cannot be had.
  QImage readHighDensityArt(const QString &art);
  QString pictureKeyOf(const QString &location, QString &path) const;
  bool makeRoomForPicture(qint64 cost);
  void notePicture(const QString &key, const QString &location, const QString &cause);
  bool writeCopy(const QString &location, const QByteArray &header, const QByteArray &body) const;

  QString m_cacheFolder;
  QString m_baseFolder;
  int m_cacheLevel = 1;
  Transfer m_transfer;
  // Keyed by pictureKeyOf.
  QHash<QString, PictureEntry> m_pictures;
  qint64 m_pictureBytes = 0;
  qint64 m_maxPictureBytes = defaultMaxPictureBytes;
  quint64 m_pictureClock = 0;
  QSet<QString> m_noticed;
  bool m_highDensity = false;
  QSet<QString> m_artTried; // picture keys whose art was looked for this run
  // Art a preload fetched, until its picture is shown: whether the cache holds a copy.
  QHash<QString, bool> m_artPreloaded;
  std::function<void(const QString &)> m_pictureNotice;
};

} // namespace nuv
