// Disk cache rules (CACHELEVEL, last-modified checks, offline use) and the picture table.
#include "cache.h"

#include "localfile.h"
#include "locations.h"
#include "pictures.h"
#include "text.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

// Bound on a header file read back: a location and two short lines.
constexpr qint64 maxHeaderBytes = 64 * 1024;

// What a header file says about its entry.
struct HeaderFacts {
  QString location;
  // Fetch headers give the body's byte count; document headers count characters, which says
  // nothing exact about bytes.
  std::optional<qint64> bodySize;
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
    return HeaderFacts{QString::fromUtf8(lines[1]), *lastIndex + 1};
  }
  if (lines.size() == 2) {
    const std::optional<qint64> count = countLine(lines[1]);
    if (!count || *count < 0) return std::nullopt;
    return HeaderFacts{QString::fromUtf8(lines[0]), std::nullopt};
  }
  return std::nullopt;
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
  const LocalFile header = readRegularFile(headerFileOf(location), maxHeaderBytes);
  if (!header.ok()) return false;
  // Many locations share a name: the copy is this location's only when its header says so, and
  // the body is the one that header announced (not half of another location's copy).
  const std::optional<HeaderFacts> facts = headerFacts(header.bytes);
  if (!facts || facts->location != location) return false;
  const QFileInfo body(bodyFileOf(location));
  return body.isFile() && (!facts->bodySize || body.size() == *facts->bodySize);
}

std::optional<QByteArray> Cache::cachedBody(QStringView location) const {
  if (!hasCachedCopy(location)) return std::nullopt;
  LocalFile body = readRegularFile(bodyFileOf(location), m_transfer.limits().maxBodyBytes);
  if (!body.ok()) return std::nullopt;
  return std::move(body.bytes);
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

  QImage image;
  if (!isRemote(location)) {
    const QString path = findLocalFile(location);
    if (!path.isEmpty()) image = readPicture(path);
  } else {
    const Copy copy = obtainCopy(location);
    if (!copy.ok && copy.downloaded.isEmpty()) {
      // Nothing to decode: forget the location so a later request tries again.
      const auto entry = m_pictures.constFind(location);
      if (entry != m_pictures.cend() && entry->done) return entry->picture;
      m_pictures.remove(location);
      return {};
    }
    if (!copy.downloaded.isEmpty())
      image = readPicture(copy.downloaded);
    else
      image = readPicture(bodyFileOf(location));
  }
  // An event run during the transfer may have loaded the same location meanwhile.
  PictureEntry &entry = m_pictures[location];
  if (!entry.done) entry = PictureEntry{decodePicture(image), true};
  return entry.picture;
}

bool Cache::storeDocument(QStringView location, const QByteArray &bytes, qint64 characterCount) {
  return writeCopy(location.toString(), documentHeaderText(location, characterCount), bytes);
}

std::optional<QString> Cache::askLastModified(const QString &location) {
  const TransferResult answer = m_transfer.head(location);
  if (answer.outcome != TransferOutcome::Complete) return std::nullopt;
  // An error answer says nothing of the document's age: its headers are not the document's.
  return answer.succeeded() ? answer.header(u"last-modified") : QString();
}

Cache::Copy Cache::obtainCopy(const QString &location) {
  const bool hasCopy = hasCachedCopy(location);
  QString lastModified;
  if (hasCopy && m_cacheLevel != 0) {
    if (m_cacheLevel == 2) return {true, {}};
    const std::optional<QString> serverValue = askLastModified(location);
    // No answer from the server counts as offline: the copy serves.
    if (!serverValue || *serverValue == firstLineOf(headerFileOf(location))) return {true, {}};
    lastModified = *serverValue;
  }
  TransferResult download = m_transfer.fetchBytes(location);
  // Error pages and cut-off transfers never reach the cache; a good copy stays in use.
  if (!download.succeeded()) return {hasCopy, {}};
  const bool written = writeCopy(
      location, fetchHeaderText(lastModified, location, download.body.size()), download.body);
  return {written || hasCopy, std::move(download.body)};
}

bool Cache::writeCopy(const QString &location, const QByteArray &header,
                      const QByteArray &body) const {
  QDir().mkpath(m_cacheFolder);
  // Body first: a header only ever announces a complete body.
  return saveAtomically(bodyFileOf(location), body) &&
         saveAtomically(headerFileOf(location), header);
}

} // namespace nuv
