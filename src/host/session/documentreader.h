// Reads a Skivet document, local or remote, with its %INCLUDE lines expanded.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
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
    // An include the engine passes over without a message: a cycle, or a location left empty.
    bool passedOver = false;
    // How many lines of the expanded text come before it, so that it is told in line order.
    size_t before = 0;
  };
  QStringList files;        // every location read or tried, in the order first read
  std::vector<Place> lines; // one per line of the expanded text
  // Reads that failed. With a map the reader reports them here instead of in a message.
  std::vector<Problem> problems;
};

class DocumentReader {
public:
  // Bound on the bytes read for one document and on its expanded text (every line counts, "%"
  // lines too), so includes that multiply cannot exhaust the machine. Real Skivets are a few
  // hundred KiB at most.
  static constexpr qsizetype defaultMaxCharacters = qsizetype(64) * 1024 * 1024;
  // Bound on the %INCLUDE lines followed for one document. Real Skivets include a handful of
  // parts; a fan-out (each file including the next twice) passes this within 14 levels.
  static constexpr int defaultMaxIncludes = 10000;

  DocumentReader(Cache &cache, const Evaluator &evaluator, WindowSystem &windows)
      : m_cache(cache), m_evaluator(evaluator), m_windows(windows) {}

  void setMaxCharacters(qsizetype n) { m_maxCharacters = n; }
  void setMaxIncludes(int n) { m_maxIncludes = n; }
  // Records where every line comes from, and the failed reads, until set back to nullptr.
  void setSourceMap(SourceMap *map) { m_map = map; }

  // The location must be resolved. "" when it cannot be read (after a "Read Error" message
  // naming the cause), when it is already being read further up (an include cycle), or when the
  // document passes a bound (after a message naming the bound). Each file is read once per
  // document; including it again splices the same text. The lines are normalised as
  // normaliseLines does, and each ends in LF.
  QString readDocument(const QString &location);

private:
  // PastDeadline: the transfer deadline (a start-up's bound) passed; the read that it cut has
  // said so, and the rest would only be cut too.
  enum class Stop { None, TooLarge, TooManyIncludes, PastDeadline };

  // The decoded text of a location, read once per document; nullopt (after the message) when it
  // cannot be read.
  std::optional<QString> textOf(const QString &location);
  // "" when read, with the decoded text and how many bytes it came from; otherwise the cause,
  // said of the location.
  QString readText(const QString &location, QString &text, qsizetype &byteCount);
  QString readRemote(const QString &location, QByteArray &raw);
  // The text with its directive lines followed: LF line breaks, every line ending in one.
  QString expand(QString text, const QString &location);
  // Mapped reads only: the source place of each line of normaliseLines(raw).
  void mapLines(const QString &location, QStringView raw, const QString &normalised);
  // Mapped reads only: the location's index in files, added when new.
  int mappedFile(const QString &location);
  // Mapped reads only: an %INCLUDE line that includes nothing, said at that line.
  void passOver(const QString &text);
  void showReadError(const QString &location, const QString &cause);
  // The file that includes location, "" for the document itself.
  QString includerOf(const QString &location) const;

  Cache &m_cache;
  const Evaluator &m_evaluator;
  WindowSystem &m_windows;
  QStringList m_includeChain;
  qsizetype m_maxCharacters = defaultMaxCharacters;
  int m_maxIncludes = defaultMaxIncludes;
  // Per document: the texts read so far and how far the bounds are used.
  QHash<QString, std::optional<QString>> m_texts;
  // Local locations a network document asked for: refused, and said so once.
  QSet<QString> m_refused;
  qsizetype m_bytesRead = 0;
  qsizetype m_total = 0;
  int m_includes = 0;
  Stop m_stop = Stop::None;
  SourceMap *m_map = nullptr;
  // Mapped reads only: the places of each location's lines, and the %INCLUDE line being followed.
  QHash<QString, std::vector<SourceMap::Place>> m_places;
  SourceMap::Place m_includeLine;
};

} // namespace nuv
