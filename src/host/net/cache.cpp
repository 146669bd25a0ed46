// Disk cache rules (CACHELEVEL, last-modified checks, offline use) and the picture table.
#include "cache.h"

#include "localfile.h"
#include "locations.h"
#include "pictures.h"
#include "text.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include <sys/xattr.h>

namespace nuv {

namespace {

// Room for a body extension (up to 9 characters) and a save-file suffix within 255 bytes.
constexpr qsizetype maxStemLength = 200;
constexpr qsizetype hashLength = 16;
constexpr qsizetype maxExtensionLength = 8;
// Body suffix of a location without a usable extension, so body and header never share a name.
const QString plainBodySuffix = QStringLiteral(".dat");
constexpr qint64 maxAgeDays = 5;

QString withTrailingSlash(const QString &folder) {
  return folder.endsWith(u'/') ? folder : folder + u'/';
}

bool isAsciiAlphanumeric(QChar c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

QString firstLineOf(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray line = file.readLine();
  while (line.endsWith('\n') || line.endsWith('\r'))
    line.chop(1);
  return QString::fromUtf8(line);
}

// A body file carries the digest of the location it was written for, as an extended attribute:
// names collide, and two engines writing colliding copies at once can leave one location's
// header beside another's body. The attribute travels with the body's content through the
// rename, and neither file names nor header layouts change.
constexpr char bodyMarkName[] = "user.nuv.location";

QByteArray bodyMarkFor(QStringView location) {
  return QCryptographicHash::hash(location.toUtf8(), QCryptographicHash::Sha256);
}

// mark, when given, goes on the file before it takes the name.
bool saveAtomically(const QString &path, const QByteArray &bytes, const QByteArray &mark = {}) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  // A file system without extended attributes keeps the body unmarked; the length still counts.
  if (!mark.isEmpty())
    (void)::fsetxattr(file.handle(), bodyMarkName, mark.constData(), size_t(mark.size()), 0);
  return file.commit();
}

enum class BodyMark { Same, Other, None };

// Whether an open body file was written for the location: Same, Other, or None for a body
// written before marks (or on a file system that keeps none).
BodyMark readBodyMark(int fd, QStringView location) {
  char mark[64];
  const ssize_t size = ::fgetxattr(fd, bodyMarkName, mark, sizeof mark);
  if (size < 0) return errno == ENODATA || errno == ENOTSUP ? BodyMark::None : BodyMark::Other;
  return QByteArrayView(mark, size) == bodyMarkFor(location) ? BodyMark::Same : BodyMark::Other;
}

// Bound on a header file read back: a location and two short lines.
constexpr qint64 maxHeaderBytes = 64 * 1024;

// What a header file says about its entry.
struct HeaderFacts {
  QString location;
  // Fetch headers give the body's byte count. Document headers count the characters of its
  // text: its bytes when written as single-byte characters, fewer for UTF-8.
  qint64 count = 0;
  bool countsCharacters = false;
};

// " 123" (or " -1" for an empty download) as written after the location; nullopt otherwise.
std::optional<qint64> countLine(const QByteArray &line) {
  if (!line.startsWith(' ')) return std::nullopt;
  bool ok = false;
  const qint64 value = line.mid(1).toLongLong(&ok);
  return ok ? std::optional<qint64>(value) : std::nullopt;
}

// Parses either header layout by its shape: fetch headers have three lines (the location on
// the second), document headers two (the location on the first). Anything else is no entry.
std::optional<HeaderFacts> headerFacts(const QByteArray &text) {
  QList<QByteArray> lines = text.split('\n');
  for (QByteArray &line : lines) {
    if (line.endsWith('\r')) line.chop(1);
  }
  while (!lines.isEmpty() && lines.last().isEmpty())
    lines.removeLast();
  if (lines.size() == 3) {
    const std::optional<qint64> lastIndex = countLine(lines[2]);
    if (!lastIndex || *lastIndex < -1) return std::nullopt;
    return HeaderFacts{QString::fromUtf8(lines[1]), *lastIndex + 1, false};
  }
  if (lines.size() == 2) {
    const std::optional<qint64> count = countLine(lines[1]);
    if (!count || *count < 0) return std::nullopt;
    return HeaderFacts{QString::fromUtf8(lines[0]), *count, true};
  }
  return std::nullopt;
}

} // namespace

QString userFolder() {
  QString base = qEnvironmentVariable("XDG_DATA_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base))
    base = QDir::homePath() + QStringLiteral("/.local/share");
  QString folder = withTrailingSlash(base) + QStringLiteral("NUV/");
  if (QDir().mkpath(folder)) return folder;
  if (QCoreApplication::instance())
    return withTrailingSlash(QCoreApplication::applicationDirPath());
  return withTrailingSlash(QDir::currentPath());
}

QString defaultCacheFolder() {
  QString folder = userFolder() + QStringLiteral("cache/");
  QDir().mkpath(folder);
  return folder;
}

QString cacheExtensionOf(QStringView location) {
  const qsizetype dot = location.lastIndexOf(u'.');
  const qsizetype separator = std::max(location.lastIndexOf(u'/'), location.lastIndexOf(u'\\'));
  if (dot < 0 || dot < separator) return {};
  QString extension = extensionOf(location);
  const qsizetype length = extension.size() - 1;
  if (length < 1 || length > maxExtensionLength) return {};
  if (!std::all_of(extension.begin() + 1, extension.end(), isAsciiAlphanumeric)) return {};
  return extension;
}

// The alphabet is 63 long with "0" twice, and cache files on disk depend on this exact
// mapping. Remainder r picks 1-based position r, so position 63 ("z") is never reached
// by a remainder of 1..62 (62 gives "y"); codes that are multiples of 63 take that free
// "z", which keeps them apart from every other character.
QString cacheNameOf(QStringView location) {
  static constexpr char16_t alphabet[] =
      u"01234567890ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  static_assert(std::size(alphabet) - 1 == 63);
  QString out(location.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < location.size(); ++i) {
    const int remainder = windows1252Code(location[i]) % 63;
    out[i] = QChar(remainder == 0 ? alphabet[62] : alphabet[remainder - 1]);
  }
  return out;
}

QString cacheFileNameOf(QStringView location) {
  QString name = cacheNameOf(location);
  if (name.size() <= maxStemLength) return name;
  // "_" is outside the name alphabet, so a cut name never equals a whole one.
  const QByteArray hash =
      QCryptographicHash::hash(location.toUtf8(), QCryptographicHash::Sha256).toHex();
  return name.left(maxStemLength - hashLength - 1) + u'_' +
         QString::fromLatin1(hash.left(hashLength));
}

QByteArray fetchHeaderText(QStringView lastModified, QStringView location, qint64 byteCount) {
  return lastModified.toUtf8() + "\r\n" + location.toUtf8() + "\r\n " +
         QByteArray::number(byteCount - 1) + "\r\n";
}

QByteArray documentHeaderText(QStringView location, qint64 characterCount) {
  return location.toUtf8() + "\r\n " + QByteArray::number(characterCount) + "\r\n";
}

int sweepCacheFolder(const QString &folder, QDate today) {
  int deleted = 0;
  const QFileInfoList files =
      QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
  for (const QFileInfo &file : files) {
    const qint64 days = std::llabs(file.lastModified().date().daysTo(today));
    if (days > maxAgeDays && QFile::remove(file.absoluteFilePath())) ++deleted;
  }
  return deleted;
}

Cache::Cache(const QString &cacheFolder) : m_cacheFolder(withTrailingSlash(cacheFolder)) {
  QDir().mkpath(m_cacheFolder);
}

QString Cache::resolveLocationIn(QStringView location) const {
  return resolveLocation(location, m_baseFolder);
}

QString Cache::headerFileOf(QStringView location) const {
  return m_cacheFolder + cacheFileNameOf(location);
}

QString Cache::bodyFileOf(QStringView location) const {
  const QString extension = cacheExtensionOf(location);
  return headerFileOf(location) + (extension.isEmpty() ? plainBodySuffix : extension);
}

bool Cache::hasCachedCopy(QStringView location) const {
  return openCachedBody(location).ok();
}

std::optional<QByteArray> Cache::cachedBody(QStringView location) const {
  const OpenedFile body = openCachedBody(location);
  if (!body.ok()) return std::nullopt;
  return body.file->readAll();
}

// Many locations share a name: the copy is this location's only when its header says so, and
// the body opened is the one that header describes, written for this location and of the length
// announced (not another location's copy, nor half of one). What is checked is what is served:
// the file stays open.
OpenedFile Cache::openCachedBody(QStringView location) const {
  OpenedFile missing;
  missing.error = LocalReadError::Missing;
  const LocalFile header = readRegularFile(headerFileOf(location), maxHeaderBytes);
  if (!header.ok()) return missing;
  const std::optional<HeaderFacts> facts = headerFacts(header.bytes);
  if (!facts || facts->location != location) return missing;
  OpenedFile body = openRegularFile(bodyFileOf(location), m_transfer.limits().maxBodyBytes);
  if (!body.ok()) return missing;
  if (readBodyMark(body.file->handle(), location) == BodyMark::Other) return missing;
  const qint64 size = body.file->size();
  if (size == facts->count) return body;
  if (!facts->countsCharacters) return missing;
  const qsizetype characters = decodeText(body.file->readAll()).size();
  if (characters != facts->count || !body.file->seek(0)) return missing;
  return body;
}

QString Cache::fetchToCache(QString &location) {
  location = resolveLocationIn(location);
  if (!isRemote(location)) {
    const QString found = findLocalFile(location);
    return found.isEmpty() ? localPathOf(location) : found;
  }
  if (!obtainCopy(location).ok || !hasCachedCopy(location)) return {};
  return bodyFileOf(location);
}

Picture Cache::loadPictureCached(QString &location) {
  location = resolveLocationIn(location);
  QString path;
  const QString key = pictureKeyOf(location, path);
  if (const auto known = m_pictures.find(key); known != m_pictures.end()) {
    known->lastUse = ++m_pictureClock;
    // A preloaded picture has not been looked at for its art yet.
    return withHighDensityArt(location, key, known->picture);
  }
  if (isRemote(location))
    return withHighDensityArt(location, key, settlePicture(location, key, obtainCopy(location)));

  // The decoder reads the rows from the file itself: a copy of the whole file first would cost
  // its size in fresh memory, which start-up pays page by page.
  OpenedFile file;
  file.error = LocalReadError::Missing;
  QString failure;
  if (!path.isEmpty()) file = openRegularFile(path, m_transfer.limits().maxBodyBytes);
  if (file.error == LocalReadError::NotRegular)
    failure = QStringLiteral("it is not a regular file: devices, FIFOs and folders are never "
                             "read");
  else if (file.error == LocalReadError::TooLarge)
    failure = QStringLiteral("it is larger than the bound of ") +
              describeBytes(m_transfer.limits().maxBodyBytes);
  return withHighDensityArt(
      location, key,
      keepPicture(key, location, file.file.get(), QFileInfo(path).suffix().toLatin1(), failure));
}

// The art replaces the picture in the table: what is shown is what the bound counts.
Picture Cache::withHighDensityArt(const QString &location, const QString &key, Picture picture) {
  if (!m_highDensity || !picture || m_artTried.contains(key)) return picture;
  m_artTried.insert(key);
  // Beside the file as it is spelled on disk: "SKIN.BMP" found as "skin.bmp" has "skin@2x.bmp".
  const QString art =
      highDensityLocationOf(isRemote(location) ? location : findLocalFile(location));
  if (art.isEmpty()) return picture;
  QImage image = readHighDensityArt(art);
  if (image.isNull()) return picture;
  if (image.size() != picture->size() * 2) {
    notePicture(art, art,
                QStringLiteral("its %1x%2 pixels are not twice the %3x%4 of the picture, so the "
                               "picture is shown")
                    .arg(image.width())
                    .arg(image.height())
                    .arg(picture->width())
                    .arg(picture->height()));
    return picture;
  }
  // An event run while the art was fetched may have changed the table.
  auto entry = m_pictures.find(key);
  if (entry == m_pictures.end() || entry->picture != picture) return picture;
  const qint64 oldCost = entry->cost;
  const qint64 cost = image.sizeInBytes();
  m_pictureBytes -= oldCost;
  // The entry itself stays: picture holds it in use.
  if (!makeRoomForPicture(cost)) {
    m_pictureBytes += oldCost;
    return picture;
  }
  image.setDevicePixelRatio(2);
  entry = m_pictures.find(key);
  entry->picture = std::make_shared<const QImage>(std::move(image));
  entry->cost = cost;
  m_pictureBytes += cost;
  return entry->picture;
}

// Through the cache as any picture, but quietly: most pictures have no such art, and a server's
// "not found" is the common answer.
QImage Cache::readHighDensityArt(const QString &art) {
  QBuffer downloaded;
  OpenedFile file;
  QByteArray format;
  if (const auto preloaded = m_artPreloaded.constFind(art); preloaded != m_artPreloaded.cend()) {
    const bool ok = *preloaded;
    m_artPreloaded.erase(preloaded);
    if (!ok) return {};
    file = openCachedBody(art);
    format = cacheExtensionOf(art).mid(1).toLatin1();
  } else if (isRemote(art)) {
    const Copy copy = obtainCopy(art);
    format = cacheExtensionOf(art).mid(1).toLatin1();
    if (!copy.downloaded.isEmpty()) {
      downloaded.setData(copy.downloaded);
      downloaded.open(QIODevice::ReadOnly);
      return decodePicture(downloaded, format).image;
    }
    if (!copy.ok) return {};
    file = openCachedBody(art);
  } else {
    // Only the exact name: looking through the folder for another letter case costs a listing
    // of it for every picture that has no art.
    const QString path = localPathOf(art);
    file = openRegularFile(path, m_transfer.limits().maxBodyBytes);
    format = QFileInfo(path).suffix().toLatin1();
  }
  if (!file.ok()) return {};
  return decodePicture(*file.file, format).image;
}

Picture Cache::settlePicture(const QString &location, const QString &key, const Copy &copy) {
  if (!copy.ok && copy.downloaded.isEmpty() && !copy.overSizeBound) {
    // Nothing to decode, for now: a later request tries again. An event run during the
    // transfer may have loaded it meanwhile.
    const auto entry = m_pictures.constFind(key);
    return entry != m_pictures.cend() ? entry->picture : Picture();
  }
  QString failure;
  QBuffer downloaded;
  OpenedFile cached;
  QIODevice *source = nullptr;
  if (copy.overSizeBound) {
    failure = QStringLiteral("it is larger than the bound of ") +
              describeBytes(m_transfer.limits().maxBodyBytes);
  } else if (!copy.downloaded.isEmpty()) {
    downloaded.setData(copy.downloaded);
    downloaded.open(QIODevice::ReadOnly);
    source = &downloaded;
  } else {
    cached = openCachedBody(location);
    source = cached.file.get();
  }
  return keepPicture(key, location, source, cacheExtensionOf(location).mid(1).toLatin1(), failure);
}

Picture Cache::keepPicture(const QString &key, const QString &location, QIODevice *source,
                           const QByteArray &format, QString failure) {
  Picture picture;
  if (failure.isEmpty() && source != nullptr && source->size() > 0) {
    DecodedPicture decoded = decodePicture(*source, format);
    failure = decoded.overBound;
    if (!decoded.image.isNull()) picture = std::make_shared<const QImage>(decoded.image);
  }
  if (!failure.isEmpty()) notePicture(key, location, failure);

  // An event run during a transfer may have loaded the same picture meanwhile.
  if (const auto known = m_pictures.constFind(key); known != m_pictures.cend())
    return known->picture;
  const qint64 cost = picture ? picture->sizeInBytes() : 0;
  if (!makeRoomForPicture(cost)) {
    // Not kept, so a later request, once pictures are out of use, tries again.
    notePicture(key, location,
                QStringLiteral("the pictures in use fill the picture table's bound of ") +
                    describeBytes(m_maxPictureBytes));
    return {};
  }
  m_pictures.insert(key, PictureEntry{picture, cost, ++m_pictureClock});
  m_pictureBytes += cost;
  return picture;
}

// Remote pictures by their normalised address, local ones by the file they name, so that
// spellings of one picture ("a.png", "./a.png", "sub/../A.PNG") share one decoded copy.
QString Cache::pictureKeyOf(const QString &location, QString &path) const {
  if (isRemote(location)) {
    const QUrl url(location, QUrl::TolerantMode);
    if (!url.isValid()) return location;
    return url.adjusted(QUrl::NormalizePathSegments).toString(QUrl::FullyEncoded);
  }
  path = findLocalFile(location);
  if (!path.isEmpty()) {
    if (const std::optional<FileIdentity> identity = identityOf(path))
      return QStringLiteral("file-id:%1:%2").arg(identity->device).arg(identity->inode);
  }
  return QStringLiteral("file:") + QDir::cleanPath(localPathOf(location));
}

// A picture counts as shown while anyone besides the table holds it or shares its pixels: a
// window keeps the image, and a control's pixmap may share the image's memory.
bool Cache::makeRoomForPicture(qint64 cost) {
  while (m_pictureBytes + cost > m_maxPictureBytes) {
    auto victim = m_pictures.end();
    for (auto entry = m_pictures.begin(); entry != m_pictures.end(); ++entry) {
      const Picture &picture = entry->picture;
      if (!picture || picture.use_count() > 1 || !picture->isDetached()) continue;
      if (victim == m_pictures.end() || entry->lastUse < victim->lastUse) victim = entry;
    }
    if (victim == m_pictures.end()) return false;
    m_pictureBytes -= victim->cost;
    m_pictures.erase(victim);
  }
  return true;
}

void Cache::notePicture(const QString &key, const QString &location, const QString &cause) {
  if (m_noticed.contains(key)) return;
  m_noticed.insert(key);
  const QString line =
      QStringLiteral("Picture not loaded: ") + location + QStringLiteral(": ") + cause + u'.';
  if (m_pictureNotice) {
    m_pictureNotice(line);
    return;
  }
  std::fprintf(stderr, "%s\n", qPrintable(line));
  std::fflush(stderr);
}

bool Cache::storeDocument(QStringView location, const QByteArray &bytes, qint64 characterCount) {
  return writeCopy(location.toString(), documentHeaderText(location, characterCount), bytes);
}

// Every item takes the same steps as a single fetch; only the requests overlap. A HEAD answer
// that finds the copy stale queues the item's download at once, without waiting for the others.
void Cache::preload(const QStringList &locations, bool pictures) {
  TransferGroup group(m_transfer);
  QSet<QString> queued;
  for (const QString &written : locations) {
    const QString location = resolveLocationIn(written);
    if (!isRemote(location)) {
      QString local = written;
      if (pictures) loadPictureCached(local);
      continue;
    }
    QString path;
    const QString key = pictureKeyOf(location, path);
    if (queued.contains(key) || (pictures && m_pictures.contains(key))) continue;
    queued.insert(key);
    // A picture's art comes with it, so that showing the picture later asks nothing more.
    if (pictures && m_highDensity && !m_artTried.contains(key)) {
      const QString art = highDensityLocationOf(location);
      if (!art.isEmpty())
        queueCopy(group, art,
                  [this, art](const Copy &copy) { m_artPreloaded.insert(art, copy.ok); });
    }
    queueCopy(group, location, [this, location, key, pictures](const Copy &copy) {
      if (pictures) settlePicture(location, key, copy);
    });
  }
  group.wait();
}

// The steps of obtainCopy for one location of a group; settle gets what they gave.
void Cache::queueCopy(TransferGroup &group, const QString &location,
                      std::function<void(const Copy &)> settle) {
  const bool hasCopy = hasCachedCopy(location);
  auto download = [this, &group, location, hasCopy, settle](const QString &lastModified) {
    group.add(location, false, [=, this](TransferResult &&answer) {
      settle(storeDownload(location, lastModified, answer, hasCopy));
    });
  };
  switch (firstStep(hasCopy)) {
  case CopyStep::UseCopy:
    settle({true, {}, false});
    break;
  case CopyStep::AskServer:
    group.add(location, true, [=, this](TransferResult &&head) {
      const std::optional<QString> changed = changedLastModified(location, head);
      if (changed)
        download(*changed);
      else
        settle({true, {}, false});
    });
    break;
  case CopyStep::Download:
    download(QString());
    break;
  }
}

Cache::CopyStep Cache::firstStep(bool hasCopy) const {
  if (!hasCopy || m_cacheLevel == 0) return CopyStep::Download;
  return m_cacheLevel == 2 ? CopyStep::UseCopy : CopyStep::AskServer;
}

std::optional<QString> Cache::changedLastModified(const QString &location,
                                                  const TransferResult &head) const {
  // No answer from the server counts as offline: the copy serves.
  if (head.outcome != TransferOutcome::Complete) return std::nullopt;
  // An error answer says nothing of the document's age: its headers are not the document's.
  const QString serverValue = head.succeeded() ? head.header(u"last-modified") : QString();
  if (serverValue == firstLineOf(headerFileOf(location))) return std::nullopt;
  return serverValue;
}

Cache::Copy Cache::storeDownload(const QString &location, const QString &lastModified,
                                 TransferResult &download, bool hasCopy) const {
  // Error pages and cut-off transfers never reach the cache; a good copy stays in use.
  if (!download.succeeded()) return {hasCopy, {}, !hasCopy && download.overSizeBound};
  const bool written = writeCopy(
      location, fetchHeaderText(lastModified, location, download.body.size()), download.body);
  return {written || hasCopy, std::move(download.body), false};
}

Cache::Copy Cache::obtainCopy(const QString &location) {
  const bool hasCopy = hasCachedCopy(location);
  QString lastModified;
  switch (firstStep(hasCopy)) {
  case CopyStep::UseCopy:
    return {true, {}, false};
  case CopyStep::AskServer: {
    const std::optional<QString> changed = changedLastModified(location, m_transfer.head(location));
    if (!changed) return {true, {}, false};
    lastModified = *changed;
    break;
  }
  case CopyStep::Download:
    break;
  }
  TransferResult download = m_transfer.fetchBytes(location);
  return storeDownload(location, lastModified, download, hasCopy);
}

bool Cache::writeCopy(const QString &location, const QByteArray &header,
                      const QByteArray &body) const {
  QDir().mkpath(m_cacheFolder);
  // Body first: a header only ever announces a complete body.
  return saveAtomically(bodyFileOf(location), body, bodyMarkFor(location)) &&
         saveAtomically(headerFileOf(location), header);
}

} // namespace nuv
