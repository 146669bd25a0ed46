// Reads a Skivet document, local or remote, with its %INCLUDE lines expanded.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace nuv {

class Cache;
class Evaluator;
class WindowSystem;

// Where each line of an expanded text comes from, for tools that point people at a file and a
// line. Filled only when a reader is given one, so the engine's own reads pay nothing for it.
struct SourceMap {
  struct Place {
    int file = -1; // in files; -1 when there is no file to name
    int line = 0;  // 1-based, in that file as it lies on disk
  };
  struct Problem {
    Place place; // the %INCLUDE line, or no place for the document itself
    QString text;
  };
  QStringList files;        // every location read, in the order first read
  std::vector<Place> lines; // one per line of the expanded text
  // Reads that failed. With a map the reader reports them here instead of in a message.
  std::vector<Problem> problems;
};

class DocumentReader {
public:
  // Bound on the expanded text, so includes that multiply cannot exhaust the machine.
  static constexpr qsizetype defaultMaxCharacters = qsizetype(64) * 1024 * 1024;

  DocumentReader(Cache &cache, const Evaluator &evaluator, WindowSystem &windows)
      : m_cache(cache), m_evaluator(evaluator), m_windows(windows) {}

  void setMaxCharacters(qsizetype n) { m_maxCharacters = n; }
  // Records where every line comes from, and the failed reads, until set back to nullptr.
  void setSourceMap(SourceMap *map) { m_map = map; }

  // The location must be resolved. "" when it cannot be read (after a "Read Error" message),
  // when it is already being read further up (an include cycle), or when the expansion grows
  // beyond the bound (after a message saying so).
  QString readDocument(const QString &location);

private:
  bool readRaw(const QString &location, QByteArray &raw);
  QString expand(const QString &raw, const QString &location);
  // Mapped reads only: the source place of each line of normaliseLines(raw).
  void mapLines(const QString &location, QStringView raw, const QString &normalised,
                std::vector<SourceMap::Place> &places);
  void reportFailure(const QString &location, bool topLevel);

  Cache &m_cache;
  const Evaluator &m_evaluator;
  WindowSystem &m_windows;
  QStringList m_includeChain;
  qsizetype m_maxCharacters = defaultMaxCharacters;
  qsizetype m_total = 0;
  bool m_tooLarge = false;
  SourceMap *m_map = nullptr;
  SourceMap::Place m_includeLine; // the %INCLUDE line being followed, for mapped reads
};

} // namespace nuv
