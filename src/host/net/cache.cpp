// Disk cache rules (CACHELEVEL, last-modified checks, offline use) and the picture table.
#include "cache.h"

#include "locations.h"
#include "pictures.h"
#include "text.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <cstdlib>
#include <iterator>

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

bool saveAtomically(const QString &path, const QByteArray &bytes) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

Picture decodePicture(const QImage &image) {
  return image.isNull() ? Picture() : std::make_shared<const QImage>(image);
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
  return QFileInfo::exists(headerFileOf(location)) && QFileInfo::exists(bodyFileOf(location));
}

std::optional<QByteArray> Cache::cachedBody(QStringView location) const {
  if (!hasCachedCopy(location)) return std::nullopt;
  QFile file(bodyFileOf(location));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.readAll();
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
  const auto known = m_pictures.constFind(location);
  if (known != m_pictures.cend() && known->done) return known->picture;
  if (known == m_pictures.cend()) m_pictures.insert(location, PictureEntry{});

  if (isRemote(location)) return settlePicture(location, obtainCopy(location));
  QImage image;
  const QString path = findLocalFile(location);
  if (!path.isEmpty()) image = readPicture(path);
  PictureEntry &entry = m_pictures[location];
  if (!entry.done) entry = PictureEntry{decodePicture(image), true};
  return entry.picture;
}

Picture Cache::settlePicture(const QString &location, const Copy &copy) {
  if (!copy.ok && copy.downloaded.isEmpty()) {
    // Nothing to decode: forget the location so a later request tries again.
    const auto entry = m_pictures.constFind(location);
    if (entry != m_pictures.cend() && entry->done) return entry->picture;
    m_pictures.remove(location);
    return {};
  }
  const QImage image =
      !copy.downloaded.isEmpty() ? readPicture(copy.downloaded) : readPicture(bodyFileOf(location));
  // An event run during the transfer may have loaded the same location meanwhile.
  PictureEntry &entry = m_pictures[location];
  if (!entry.done) entry = PictureEntry{decodePicture(image), true};
  return entry.picture;
}

// Every item takes the same steps as a single fetch; only the requests overlap. A HEAD answer
// that finds the copy stale queues the item's download at once, without waiting for the others.
void Cache::preload(const QStringList &locations, bool pictures) {
  TransferGroup group(m_transfer);
  QSet<QString> queued;
  for (const QString &written : locations) {
    const QString location = resolveLocationIn(written);
    if (queued.contains(location)) continue;
    if (!isRemote(location)) {
      QString local = written;
      if (pictures) loadPictureCached(local);
      continue;
    }
    if (pictures) {
      const auto known = m_pictures.constFind(location);
      if (known != m_pictures.cend() && known->done) continue;
      if (known == m_pictures.cend()) m_pictures.insert(location, PictureEntry{});
    }
    queued.insert(location);
    const bool hasCopy = hasCachedCopy(location);
    auto settle = [this, location, pictures](const Copy &copy) {
      if (pictures) settlePicture(location, copy);
    };
    auto download = [this, &group, location, hasCopy, settle](const QString &lastModified) {
      group.add(location, false, [=, this](TransferResult &&answer) {
        settle(storeDownload(location, lastModified, answer, hasCopy));
      });
    };
    switch (firstStep(hasCopy)) {
    case CopyStep::UseCopy:
      settle({true, {}});
      break;
    case CopyStep::AskServer:
      group.add(location, true, [=, this](TransferResult &&head) {
        const std::optional<QString> changed = changedLastModified(location, head);
        if (changed)
          download(*changed);
        else
          settle({true, {}});
      });
      break;
    case CopyStep::Download:
      download(QString());
      break;
    }
  }
  group.wait();
}

bool Cache::storeDocument(QStringView location, const QByteArray &bytes, qint64 characterCount) {
  return writeCopy(location.toString(), documentHeaderText(location, characterCount), bytes);
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
  if (!download.succeeded()) return {hasCopy, {}};
  const bool written = writeCopy(
      location, fetchHeaderText(lastModified, location, download.body.size()), download.body);
  return {written || hasCopy, std::move(download.body)};
}

Cache::Copy Cache::obtainCopy(const QString &location) {
  const bool hasCopy = hasCachedCopy(location);
  QString lastModified;
  switch (firstStep(hasCopy)) {
  case CopyStep::UseCopy:
    return {true, {}};
  case CopyStep::AskServer: {
    const std::optional<QString> changed = changedLastModified(location, m_transfer.head(location));
    if (!changed) return {true, {}};
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
  return saveAtomically(bodyFileOf(location), body) &&
         saveAtomically(headerFileOf(location), header);
}

} // namespace nuv
