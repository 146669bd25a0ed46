// Installer chores: desktop shortcuts for the shipped templates, and removing them again.
#include "desktop.h"

#include "installdirs.h"
#include "localfile.h"
#include "transfer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

// Bounds on what the chores read: a title is one line, an entry of ours a few hundred bytes, and
// the record one line per entry ever written.
constexpr qint64 maxTitleBytes = 4096;
constexpr qint64 maxEntryBytes = 64 * 1024;
constexpr qint64 maxRecordBytes = 1024 * 1024;
// Free names tried for an entry before the template goes without one: "Title (2)" and on.
constexpr int maxNameTries = 100;
// xdg-user-dir is a few lines of shell; one that takes longer than this is not answering.
constexpr int userDirToolMs = 5000;

// The line that marks an entry this engine wrote.
constexpr QStringView entryMarker = u"Comment=JOV Shortcut";

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

// The first line of a title file, when it has one that is not blank. Read as documents are, so
// a FIFO or device never holds the installer.
QString titleFrom(const QString &path) {
  const LocalFile file = readRegularFile(path, maxTitleBytes, PastBound::Cut);
  if (!file.ok()) return {};
  QString text = decodeText(file.bytes);
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    text.truncate(i);
    break;
  }
  for (QChar &c : text)
    if (isControl(c)) c = u' ';
  return text.trimmed();
}

// A regular file (never a link) holding an entry this engine wrote: the marker comment, and
// this program first on its Exec line.
bool isOwnEntry(const QString &path, const QString &program) {
  if (QFileInfo(path).isSymLink()) return false;
  const LocalFile file = readRegularFile(path, maxEntryBytes);
  if (!file.ok()) return false;
  const QString exec = u"Exec="_s + execArgument(program) + u' ';
  const QString text = decodeText(file.bytes);
  bool marked = false;
  bool started = false;
  for (QStringView line : QStringView(text).split(u'\n')) {
    if (line.endsWith(u'\r')) line.chop(1);
    marked = marked || line == entryMarker;
    started = started || line.startsWith(exec);
  }
  return marked && started;
}

bool isTaken(const QString &path) {
  const QFileInfo existing(path);
  return existing.exists() || existing.isSymLink();
}

// "Name (n).desktop" from "Name.desktop".
QString numbered(const QString &fileName, int n) {
  return fileName.chopped(8) + u" (%1).desktop"_s.arg(n);
}

// Where the entry for a title goes: its own name, else the first numbered one, that is free or
// holds an entry of ours; "" when none is.
QString entryPathFor(const DesktopPlaces &places, const QString &title) {
  const QString fileName = shortcutFileName(title);
  for (int n = 1; n <= maxNameTries; ++n) {
    const QString path = places.desktop + (n == 1 ? fileName : numbered(fileName, n));
    if (!isTaken(path) || isOwnEntry(path, places.program)) return path;
  }
  return {};
}

// Writes an entry of ours, new or in place of an older one.
bool writeEntry(const QString &path, const QByteArray &content) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) return false;
  if (!file.commit()) return false;
  // Desktops start only entries that are executable.
  return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                         QFile::ExeOther);
}

// Appends only to a regular file: opening a FIFO to write would wait for a reader.
void appendRecord(const QString &record, const QString &line) {
  const int fd = ::open(QFile::encodeName(record).constData(),
                        O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return;
  QFile file;
  if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return;
  file.write((line + u"\r\n"_s).toUtf8());
}

// The path a record line names when it may be deleted: absolute, directly in the desktop folder,
// and an entry this engine wrote. "" otherwise.
QString deletableEntry(const DesktopPlaces &places, const QString &line) {
  if (places.desktop.isEmpty() || !line.startsWith(u'/')) return {};
  if (!line.endsWith(u".desktop"_s, Qt::CaseInsensitive)) return {};
  const QString path = QDir::cleanPath(line);
  const QFileInfo entry(path);
  if (entry.path() != QDir::cleanPath(places.desktop)) return {};
  return isOwnEntry(path, places.program) ? path : QString();
}

// What `xdg-user-dir DESKTOP` answers; "" when the program is missing, fails or names no
// absolute folder.
QString askUserDirTool() {
  const QString tool = QStandardPaths::findExecutable(u"xdg-user-dir"_s);
  if (tool.isEmpty()) return {};
  QProcess process;
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start(tool, {u"DESKTOP"_s});
  if (!process.waitForFinished(userDirToolMs)) {
    process.kill();
    process.waitForFinished();
    return {};
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
  const QString answer = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
  if (!QDir::isAbsolutePath(answer) || answer.contains(u'\n')) return {};
  return QDir::cleanPath(answer);
}

// A base folder of the XDG rules: the variable when it holds an absolute path, else the default
// under the home folder.
QString xdgBase(const char *variable, const QString &underHome) {
  const QString base = qEnvironmentVariable(variable);
  if (!base.isEmpty() && QDir::isAbsolutePath(base)) return withSlash(base);
  return withSlash(QDir::homePath()) + underHome;
}

// Deletes a folder the engine made, with all it holds; links inside are removed, never followed.
// A link in the folder's place is left alone: it is not the engine's.
void removeTree(const QString &folder) {
  const QFileInfo info(folder);
  if (info.isSymLink() || !info.isDir()) return;
  QDir(folder).removeRecursively();
}

} // namespace

QString desktopFolder() {
  const QString answer = askUserDirTool();
  if (!answer.isEmpty()) return withSlash(answer);
  // Qt reads user-dirs.dirs as xdg-user-dir does, and falls back to ~/Desktop.
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (desktop.isEmpty() || !QDir::isAbsolutePath(desktop)) return {};
  return withSlash(QDir::cleanPath(desktop));
}

DesktopPlaces DesktopPlaces::ofThisProgram(const QString &userFolder, const QString &cacheFolder) {
  DesktopPlaces places;
  places.program = QCoreApplication::applicationFilePath();
  places.programFolder = withSlash(QCoreApplication::applicationDirPath());
  places.templates = places.programFolder + u"Desktop/"_s;
  if (!QFileInfo(places.templates).isDir())
    places.templates = withSlash(QDir::cleanPath(
        places.programFolder + QLatin1StringView(installed::dataFolder) + u"/Desktop"_s));
  places.desktop = desktopFolder();
  places.userFolder = withSlash(userFolder);
  places.cacheFolder = withSlash(cacheFolder);
  // Profiles are kept under the data folder's NUV/ even when the per-user folder fell back to
  // the program folder; Qt WebEngine's own folders follow the application name.
  const QString data = xdgBase("XDG_DATA_HOME", u".local/share/"_s);
  const QString cache = xdgBase("XDG_CACHE_HOME", u".cache/"_s);
  places.webFolders = {data + u"NUV/browsers"_s};
  const QString application = QCoreApplication::applicationName();
  if (!application.isEmpty() && !application.contains(u'/'))
    places.webFolders +=
        {data + application + u"/QtWebEngine"_s, cache + application + u"/QtWebEngine"_s};
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
                  escapeValue(title) + u'\n' + entryMarker.toString() + u"\nExec="_s +
                  execArgument(program) + u' ' + execArgument(templatePath) + u"\nPath="_s +
                  escapeValue(workingFolder) + u'\n';
  if (!icon.isEmpty()) entry += u"Icon="_s + escapeValue(icon) + u'\n';
  return entry;
}

PostInstallReport postInstall(const DesktopPlaces &places) {
  PostInstallReport report;
  report.desktop = places.desktop;
  const QDir templates(places.templates);
  QStringList names;
  for (const QString &pattern : {u"*.jov"_s, u"*.nuv"_s})
    names += templates.entryList({pattern}, QDir::Files, QDir::Name);
  report.templates = int(names.size());
  // No desktop: no shortcut and no record. A missing one is made, as the desktop would.
  if (places.desktop.isEmpty()) {
    report.problem = u"no desktop folder could be named"_s;
    return report;
  }
  if (names.isEmpty()) return report;
  if (!QFileInfo(places.desktop).isDir() && !QDir().mkpath(places.desktop)) {
    report.problem = u"the folder could not be made"_s;
    return report;
  }
  const QString record = places.userFolder + QLatin1StringView(uninstallRecordName);
  for (const QString &name : names) {
    const QString base = name.chopped(4);
    const QString icon = places.templates + base + u".ico"_s;
    QString title = titleFrom(places.templates + base + u".txt"_s);
    if (title.isEmpty()) title = base;
    const QString path = entryPathFor(places, title);
    if (path.isEmpty()) {
      report.failed += places.desktop + shortcutFileName(title);
      continue;
    }
    const QString entry =
        shortcutEntry(title, places.program, places.templates + name, places.programFolder,
                      QFileInfo(icon).isFile() ? icon : QLatin1StringView(engineIconName));
    if (writeEntry(path, entry.toUtf8()))
      report.written += path;
    else
      report.failed += path;
    // Recorded even when it could not be written: an uninstall then tries once more.
    appendRecord(record, path);
  }
  return report;
}

QStringList describe(const PostInstallReport &report, const DesktopPlaces &places) {
  if (!report.problem.isEmpty())
    return {u"No desktop entries written: "_s + report.problem +
            (report.desktop.isEmpty() ? QString() : u" ("_s + report.desktop + u')')};
  if (report.templates == 0)
    return {u"No desktop entries written: no templates in "_s + places.templates};
  QStringList lines;
  for (const QString &path : report.written)
    lines += u"Desktop entry written: "_s + path;
  for (const QString &path : report.failed)
    lines += u"Desktop entry not written: "_s + path;
  return lines;
}

void preUninstall(const DesktopPlaces &places) {
  const QString record = places.userFolder + QLatin1StringView(uninstallRecordName);
  const LocalFile file = readRegularFile(record, maxRecordBytes, PastBound::Cut);
  if (file.ok()) {
    // A record line never removes anything but an entry of ours on the desktop.
    for (const QString &line : QString::fromUtf8(file.bytes).split(u'\n')) {
      const QString path = deletableEntry(places, line.trimmed());
      if (!path.isEmpty()) QFile::remove(path);
    }
    QFile::remove(record);
  }
  // Cookies, storage and caches of the web engine: all of each folder is the engine's.
  for (const QString &folder : places.webFolders) {
    removeTree(folder);
    QDir().rmdir(QFileInfo(folder).path());
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
