// --watch: runs the document afresh, in the same window, whenever one of its files changes.
#pragma once

#include <QFileSystemWatcher>
#include <QString>
#include <QTimer>

#include <functional>

namespace nuv {

class Cache;
class Interpreter;
class WindowSystem;
struct SourceMap;

class DocumentWatcher {
public:
  // An editor saves in a burst of writes and renames; they settle into one reload after this.
  static constexpr int settleMs = 150;

  // document is the resolved location the first run read; caption is what the window is called
  // before the document sets a title; resetWindows takes away what a run built on the desktop.
  DocumentWatcher(Cache &cache, Interpreter &interpreter, WindowSystem &windows, QString document,
                  QString caption, std::function<void()> resetWindows);
  DocumentWatcher(const DocumentWatcher &) = delete;
  DocumentWatcher &operator=(const DocumentWatcher &) = delete;

private:
  // Reads the document and its includes; a text that reads without errors replaces the one
  // shown, anything else leaves it and says why.
  void reload();
  QString read(SourceMap &map);
  void watch(const SourceMap &map);

  Cache &m_cache;
  Interpreter &m_interpreter;
  WindowSystem &m_windows;
  QString m_document;
  QString m_caption;
  std::function<void()> m_resetWindows;
  QFileSystemWatcher m_watcher;
  QTimer m_settle;
  QString m_shown; // the text of the run that shows
};

} // namespace nuv
