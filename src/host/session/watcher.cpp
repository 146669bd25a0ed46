// --watch: runs the document afresh, in the same window, whenever one of its files changes.
#include "watcher.h"

#include "authoring.h"
#include "cache.h"
#include "documentreader.h"
#include "interpreter.h"
#include "locations.h"

#include <QFileInfo>
#include <QSet>

namespace nuv {

using namespace Qt::StringLiterals;

DocumentWatcher::DocumentWatcher(Cache &cache, Interpreter &interpreter, WindowSystem &windows,
                                 QString document, QString caption,
                                 std::function<void()> resetWindows)
    : m_cache(cache), m_interpreter(interpreter), m_windows(windows),
      m_document(std::move(document)), m_caption(std::move(caption)),
      m_resetWindows(std::move(resetWindows)) {
  m_settle.setSingleShot(true);
  m_settle.setInterval(settleMs);
  QObject::connect(&m_settle, &QTimer::timeout, &m_settle, [this] { reload(); });
  // Every report starts the wait again, so a burst ends in one reload.
  const auto changed = [this] { m_settle.start(); };
  QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, changed);
  QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle, changed);
  SourceMap map;
  m_shown = read(map);
  watch(map);
}

QString DocumentWatcher::read(SourceMap &map) {
  DocumentReader reader(m_cache, m_interpreter.evaluator(), m_windows);
  reader.setSourceMap(&map);
  return reader.readDocument(m_document);
}

namespace {

// The folder nearest to a path that exists now: a file that has gone, with its folder or not,
// comes back there first.
QString nearestFolder(const QString &path) {
  QString folder = QFileInfo(path).absolutePath();
  while (!QFileInfo(folder).isDir()) {
    const QString parent = QFileInfo(folder).absolutePath();
    if (parent == folder) break;
    folder = parent;
  }
  return folder;
}

} // namespace

// The files themselves, and their folders: an editor that saves by writing a new file and
// renaming it over the old one leaves a watch on the old file with nothing to report. A file
// that is missing is watched for through the nearest folder that exists, until it is back.
void DocumentWatcher::watch(const SourceMap &map) {
  QSet<QString> wanted;
  for (const QString &location : map.files) {
    if (isRemote(location)) continue;
    const QString found = findLocalFile(location);
    const QString path = found.isEmpty() ? localPathOf(location) : found;
    wanted.insert(path);
    wanted.insert(nearestFolder(path));
  }
  // Files are watched afresh each time: a watch follows the file it was set on, which may have
  // been moved away and another put in its place.
  QStringList stale = m_watcher.files();
  const QStringList watched = m_watcher.directories();
  for (const QString &path : watched)
    if (!wanted.contains(path)) stale += path;
  if (!stale.isEmpty()) m_watcher.removePaths(stale);
  QStringList added;
  for (const QString &path : wanted)
    if (!watched.contains(path) && QFileInfo::exists(path)) added += path;
  if (!added.isEmpty()) m_watcher.addPaths(added);
}

void DocumentWatcher::reload() {
  // A run waiting for a transfer still uses the tables; come back when it is over.
  if (m_interpreter.isRunning()) {
    m_settle.start();
    return;
  }
  SourceMap map;
  QString text = read(map);
  watch(map);
  if (text == m_shown && map.problems.empty()) return;
  const Diagnostics found = diagnose(map, text, m_cache, m_document);
  // Only a version that cannot run as it stands (a save in the middle of an edit) is held back;
  // lines the engine passes over are said, and the version runs as it would on its own.
  if (found.unfinished) {
    m_windows.writeDiagnostic(u"nuv: "_s + localPathOf(m_document) +
                              u" no longer reads; the last good version stays:"_s);
  }
  for (const QString &line : found.lines)
    m_windows.writeDiagnostic(line);
  if (found.unfinished) return;

  m_shown = text;
  const QPoint at = m_windows.mainWindowPosition();
  m_resetWindows();
  m_interpreter.resetDocument();
  m_cache.forgetPictures();
  m_windows.setTitle(m_caption);
  m_interpreter.parseContent(text);
  // The window keeps its place, whatever the new version says.
  m_windows.setMainWindowPosition(at);
  m_windows.writeDiagnostic(u"nuv: ran "_s + localPathOf(m_document) + u" afresh"_s);
}

} // namespace nuv
