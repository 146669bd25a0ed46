// Web origins of addresses, and the rule of which of them may command the engine.
#include "pageorigins.h"

#include <QDir>
#include <QUrl>

#include <utility>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

bool isLocalPath(const QString &address) {
  return address.startsWith(u'/');
}

// "file://" and the folder, cleaned so that ".." cannot climb out of it.
QString fileOrigin(const QString &folder) {
  QString clean = QDir::cleanPath(folder);
  if (!clean.endsWith(u'/')) clean += u'/';
  return u"file://"_s + clean;
}

// A local browser address is a file path, then perhaps a query ("?") and a fragment ("#"), as in
// any web address.
qsizetype endOfFilePath(QStringView address) {
  for (qsizetype i = 0; i < address.size(); ++i)
    if (address[i] == u'?' || address[i] == u'#') return i;
  return address.size();
}

QString folderOfPath(const QString &path) {
  if (path.endsWith(u'/')) return path;
  return path.left(path.lastIndexOf(u'/') + 1);
}

int defaultPort(const QString &scheme) {
  if (scheme == u"http") return 80;
  if (scheme == u"https") return 443;
  if (scheme == u"ftp") return 21;
  return -1;
}

} // namespace

QString originOf(const QString &address) {
  if (isLocalPath(address)) return fileOrigin(folderOfPath(address.left(endOfFilePath(address))));
  const QUrl url(address);
  if (!url.isValid()) return {};
  const QString scheme = url.scheme().toLower();
  if (scheme == u"file")
    return url.path().isEmpty() ? QString() : fileOrigin(folderOfPath(url.path()));
  const int port = url.port(defaultPort(scheme));
  if (url.host().isEmpty() || port < 0) return {};
  return scheme + u"://"_s + url.host().toLower() + u':' + QString::number(port);
}

QString browserAddress(const QString &resolvedLocation) {
  if (!isLocalPath(resolvedLocation)) return resolvedLocation;
  const qsizetype end = endOfFilePath(resolvedLocation);
  const QString file = QUrl::fromLocalFile(resolvedLocation.left(end)).toString();
  return file + resolvedLocation.mid(end);
}

void PageOrigins::trustAddress(const QString &address) {
  const QString origin = originOf(address);
  if (!origin.isEmpty() && !m_origins.contains(origin)) m_origins.append(origin);
}

bool PageOrigins::trusts(const QString &origin, const QString &baseFolder) const {
  const QString sender = originOf(origin);
  if (sender.isEmpty()) return false;
  const auto covers = [&sender](const QString &trusted) {
    // A file origin names a folder: it covers the folders below it as well.
    if (trusted.startsWith(u"file://")) return sender.startsWith(trusted);
    return sender == trusted;
  };
  if (covers(originOf(baseFolder))) return true;
  for (const QString &trusted : m_origins)
    if (covers(trusted)) return true;
  return false;
}

std::optional<QString> RefusalNotices::refuse(const QString &origin, qint64 nowMs) {
  if (!m_lastCounted) m_lastCounted = nowMs;
  const QString named = origin.isEmpty() ? u"(unknown)"_s : origin;
  if (!m_named.contains(named) && m_named.size() < maxNamedOrigins) {
    m_named.insert(named);
    return u"NUV: command refused: the page's origin is not trusted: "_s + named;
  }
  ++m_uncounted;
  if (nowMs - *m_lastCounted < countIntervalMs) return std::nullopt;
  m_lastCounted = nowMs;
  return u"NUV: "_s + QString::number(std::exchange(m_uncounted, 0)) +
         u" more commands refused from pages whose origin is not trusted"_s;
}

} // namespace nuv
