// Start-up: command line, placement, the location file and the first run of the document.
#pragma once

#include "windowsystem.h"

#include <QPoint>
#include <QString>
#include <QStringList>

namespace nuv {

class Cache;
class Interpreter;
struct SourceMap;

class Startup {
public:
  Startup(WindowSystem &windows, Interpreter &interpreter, Cache &cache)
      : m_windows(windows), m_interpreter(interpreter), m_cache(cache) {}

  // Runs every step up to the document's first run. False when the program must end now;
  // exitCode() then tells how.
  bool run(const QStringList &arguments);
  int exitCode() const { return m_exitCode; }

  // With a map, run() reads the document with its places recorded and stops before running
  // it; documentText() then holds it.
  void setSourceMap(SourceMap *map) { m_map = map; }
  const QString &documentText() const { return m_text; }
  // The resolved location of the document, once run() has come as far as reading it.
  const QString &documentLocation() const { return m_documentLocation; }
  const QString &locationFile() const { return m_locationFile; }

private:
  bool handleArgument(const QString &argument);
  void takeLocationFile(QString argument);
  int coordinate(const QString &text, bool horizontal) const;
  // The location file, then the document with its includes, all within the start-up bound;
  // "" (after a message) when they cannot be read.
  QString readStartDocument();
  bool readLocationText(QString &text);
  bool refuseLongLine();
  bool refuseBinary();
  // Start-up stops here; the program ends with code.
  bool stopWith(int code) {
    m_exitCode = code;
    return false;
  }

  WindowSystem &m_windows;
  Interpreter &m_interpreter;
  Cache &m_cache;
  int m_x = unplaced;
  int m_y = unplaced;
  int m_ox = 0;
  int m_oy = 0;
  bool m_relative = false;
  bool m_endNow = false;
  QString m_locationFile;
  int m_exitCode = 0;
  SourceMap *m_map = nullptr;
  QString m_text;
  QString m_documentLocation;
};

} // namespace nuv
