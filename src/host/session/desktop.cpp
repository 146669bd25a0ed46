// Installer chores: desktop shortcuts for the shipped templates, and removing them again.
#include "desktop.h"

#include "transfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

QString withSlash(const QString &folder) {
  return folder.endsWith(u'/') ? folder : folder + u'/';
}

bool isControl(QChar c) {
  return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

// The general escapes of a desktop entry value.
QString escapeValue(const QString &value) {
  QString out;
  out.reserve(value.size());
  for (const QChar c : value) {
    switch (c.unicode()) {
    case u'\\':
      out += u"\\\\"_s;
      break;
    case u'\n':
      out += u"\\n"_s;
      break;
    case u'\t':
      out += u"\\t"_s;
      break;
    case u'\r':
      out += u"\\r"_s;
      break;
    default:
      out += c;
    }
  }
  return out;
}

// The first line of a title file, when it has one that is not blank.
QString titleFrom(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QString text = decodeText(file.read(4096));
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    text.truncate(i);
    break;
  }
  for (QChar &c : text)
    if (isControl(c)) c = u' ';
  return text.trimmed();
}

// Writes an entry in place of whatever regular file or link has its name; a folder of that name
// stays.
bool writeEntry(const QString &path, const QByteArray &content) {
  const QFileInfo existing(path);
  if (existing.isSymLink())
    QFile::remove(path);
  else if (existing.exists() && !existing.isFile())
    return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) return false;
  if (!file.commit()) return false;
  // Desktops start only entries that are executable.
  return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                         QFile::ExeOther);
}

void appendRecord(const QString &record, const QString &line) {
  QFile file(record);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
  file.write((line + u"\r\n"_s).toUtf8());
}

} // namespace

DesktopPlaces DesktopPlaces::ofThisProgram(const QString &userFolder, const QString &cacheFolder) {
  DesktopPlaces places;
  places.program = QCoreApplication::applicationFilePath();
  places.programFolder = withSlash(QCoreApplication::applicationDirPath());
  places.templates = places.programFolder + u"Desktop/"_s;
  if (!QFileInfo(places.templates).isDir())
    places.templates = withSlash(QDir::cleanPath(places.programFolder + u"../share/nuv/Desktop"_s));
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (!desktop.isEmpty() && QFileInfo(desktop).isDir()) places.desktop = withSlash(desktop);
  places.userFolder = withSlash(userFolder);
  places.cacheFolder = withSlash(cacheFolder);
  return places;
}

QString shortcutFileName(const QString &title) {
  QString name = title;
  for (QChar &c : name)
    if (c == u'/' || isControl(c)) c = u'_';
  name = name.trimmed();
  // A leading dot would hide the entry, and ".." alone names the folder above.
  for (QChar &c : name) {
    if (c != u'.') break;
    c = u'_';
  }
  if (name.isEmpty()) name = u"Shortcut"_s;
  // Room for the extension within the 255 bytes a file name may take.
  while (name.toUtf8().size() > 240)
    name.chop(1);
  return name + u".desktop"_s;
}

QString execArgument(const QString &argument) {
  QString quoted = u"\""_s;
  for (const QChar c : argument) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
    quoted += c;
    // A lone "%" would start a field code.
    if (c == u'%') quoted += u'%';
  }
  quoted += u'"';
  return escapeValue(quoted);
}

QString shortcutEntry(const QString &title, const QString &program, const QString &templatePath,
                      const QString &workingFolder, const QString &icon) {
  QString entry = u"[Desktop Entry]\n"_s
                  u"Type=Application\n"_s
                  u"Name="_s +
                  escapeValue(title) + u"\nComment=JOV Shortcut\n"_s + u"Exec="_s +
                  execArgument(program) + u' ' + execArgument(templatePath) + u"\nPath="_s +
                  escapeValue(workingFolder) + u'\n';
  if (!icon.isEmpty()) entry += u"Icon="_s + escapeValue(icon) + u'\n';
  return entry;
}

int postInstall(const DesktopPlaces &places) {
  // No desktop: no shortcut and no record.
  if (places.desktop.isEmpty()) return 0;
  const QDir templates(places.templates);
  QStringList names;
  for (const QString &pattern : {u"*.jov"_s, u"*.nuv"_s})
    names += templates.entryList({pattern}, QDir::Files, QDir::Name);
  const QString record = places.userFolder + QLatin1StringView(uninstallRecordName);
  int written = 0;
  for (const QString &name : names) {
    const QString base = name.chopped(4);
    const QString icon = places.templates + base + u".ico"_s;
    QString title = titleFrom(places.templates + base + u".txt"_s);
    if (title.isEmpty()) title = base;
    const QString path = places.desktop + shortcutFileName(title);
    const QString entry =
        shortcutEntry(title, places.program, places.templates + name, places.programFolder,
                      QFileInfo(icon).isFile() ? icon : QString());
    if (writeEntry(path, entry.toUtf8())) ++written;
    // Recorded even when it could not be written: an uninstall then tries once more.
    appendRecord(record, path);
  }
  return written;
}

void preUninstall(const DesktopPlaces &places) {
  const QString record = places.userFolder + QLatin1StringView(uninstallRecordName);
  QFile file(record);
  if (QFileInfo(record).isFile() && file.open(QIODevice::ReadOnly)) {
    while (!file.atEnd()) {
      const QString line = QString::fromUtf8(file.readLine()).trimmed();
      // Only what looks like a shortcut: a record line never removes anything else.
      if (!line.endsWith(u".desktop"_s, Qt::CaseInsensitive)) continue;
      const QFileInfo shortcut(line);
      if (shortcut.isFile() || shortcut.isSymLink()) QFile::remove(line);
    }
    file.close();
    QFile::remove(record);
  }
  removeFolder(places.userFolder + u"Updates"_s);
  removeFolder(places.cacheFolder);
  if (places.programFolder != places.userFolder) removeFolder(places.userFolder);
}

void removeFolder(const QString &path) {
  const QString trimmed = path.trimmed();
  if (trimmed.isEmpty() || !QDir::isAbsolutePath(trimmed)) return;
  const QString folder = QDir::cleanPath(trimmed);
  if (folder == u"/"_s || folder.endsWith(u':')) return;
  const QDir dir(folder);
  // No Hidden and no System in the filter: hidden files, sockets and pipes stay.
  for (const QFileInfo &entry : dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot))
    QFile::remove(entry.filePath());
  QDir().rmdir(folder);
}

} // namespace nuv
