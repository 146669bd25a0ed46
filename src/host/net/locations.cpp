// Resolving and naming document locations, and finding local files despite letter case.
#include "locations.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace nuv {

namespace {

bool startsWithScheme(QStringView location, QStringView scheme) {
  return location.startsWith(scheme, Qt::CaseInsensitive);
}

qsizetype lastSeparator(QStringView location) {
  return std::max(location.lastIndexOf(u'/'), location.lastIndexOf(u'\\'));
}

QString withSlashes(QStringView location) {
  QString text = location.toString();
  text.replace(u'\\', u'/');
  return text;
}

// The entry of folder whose name equals name apart from letter case; "" when none.
QString matchInFolder(const QString &folder, const QString &name) {
  const QStringList entries =
      QDir(folder.isEmpty() ? QStringLiteral(".") : folder)
          .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                     QDir::Name);
  const auto match = std::find_if(entries.begin(), entries.end(), [&](const QString &entry) {
    return entry.compare(name, Qt::CaseInsensitive) == 0;
  });
  return match == entries.end() ? QString() : *match;
}

} // namespace

bool isRemote(QStringView location) {
  return startsWithScheme(location, u"http:") || startsWithScheme(location, u"https:") ||
         startsWithScheme(location, u"ftp:");
}

bool isAbsoluteLocation(QStringView location) {
  if (location.startsWith(u'/') || location.startsWith(u'\\')) return true;
  if (location.size() >= 2 && location[1] == u':' && location[0].isLetter()) return true;
  return isRemote(location) || startsWithScheme(location, u"file:");
}

QString resolveLocation(QStringView location, QStringView baseFolder) {
  if (isRemote(location)) return location.toString();
  QString local = withSlashes(location);
  if (isAbsoluteLocation(local)) return local;
  if (isRemote(baseFolder)) return baseFolder.toString() + local;
  return withSlashes(baseFolder) + local;
}

QString folderOf(QStringView location) {
  return location.left(lastSeparator(location) + 1).toString();
}

QString displayNameOf(QStringView location) {
  QString path = location.toString();
  if (path.size() >= 2 && path.startsWith(u'"') && path.endsWith(u'"'))
    path = path.mid(1, path.size() - 2);
  if (locationExists(path)) path = u'/' + QFileInfo(findLocalFile(path)).fileName();
  const qsizetype separator = lastSeparator(path);
  if (separator < 0) return {};
  const QString name = path.mid(separator + 1);
  const qsizetype dot = name.lastIndexOf(u'.');
  return dot < 0 ? name : name.left(dot);
}

QString extensionOf(QStringView location) {
  const qsizetype dot = location.lastIndexOf(u'.');
  return dot < 0 ? QString() : location.mid(dot).toString();
}

QString localPathOf(QStringView location) {
  if (isRemote(location)) return {};
  if (!startsWithScheme(location, u"file:")) return withSlashes(location);
  const QUrl url(withSlashes(location));
  if (url.isLocalFile()) return url.toLocalFile();
  return withSlashes(location.mid(5));
}

QString findLocalFile(QStringView location) {
  QString path = localPathOf(location);
  if (path.isEmpty()) return {};
  if (QFileInfo::exists(path)) return path;
  QString found = path.startsWith(u'/') ? QStringLiteral("/") : QString();
  for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
    if (part == u"." || part == u".." || QFileInfo::exists(found + part)) {
      found += part + u'/';
      continue;
    }
    const QString match = matchInFolder(found, part);
    if (match.isEmpty()) return {};
    found += match + u'/';
  }
  found.chop(1);
  return found;
}

bool locationExists(QStringView location) {
  const QString path = findLocalFile(location);
  return !path.isEmpty() && QFileInfo(path).isFile();
}

QString highDensityLocationOf(QStringView location) {
  qsizetype pathStart = 0;
  qsizetype pathEnd = location.size();
  if (isRemote(location)) {
    const qsizetype authority = location.indexOf(u"://");
    if (authority < 0) return {};
    pathStart = location.indexOf(u'/', authority + 3);
    if (pathStart < 0) return {};
    for (const char16_t stop : {u'?', u'#'}) {
      const qsizetype at = location.indexOf(stop, pathStart);
      if (at >= 0) pathEnd = std::min(pathEnd, at);
    }
  }
  const QStringView path = location.mid(pathStart, pathEnd - pathStart);
  const qsizetype nameStart = lastSeparator(path) + 1;
  const QStringView name = path.mid(nameStart);
  if (name.isEmpty()) return {};
  // A leading dot starts a hidden name, not an extension.
  const qsizetype dot = name.lastIndexOf(u'.');
  const qsizetype stemLength = dot > 0 ? dot : name.size();
  if (name.left(stemLength).endsWith(u"@2x", Qt::CaseInsensitive)) return {};
  QString art = location.toString();
  art.insert(pathStart + nameStart + stemLength, QStringLiteral("@2x"));
  return art;
}

} // namespace nuv
