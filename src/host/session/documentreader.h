// Reads a Skivet document, local or remote, with its %INCLUDE lines expanded.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace nuv {

class Cache;
class Evaluator;
class WindowSystem;

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

  // The location must be resolved. "" when it cannot be read (after a "Read Error" message
  // naming the cause), when it is already being read further up (an include cycle), or when the
  // document passes a bound (after a message naming the bound). Each file is read once per
  // document; including it again splices the same text.
  QString readDocument(const QString &location);

private:
  // PastDeadline: the transfer deadline (a start-up's bound) passed; the read that it cut has
  // said so, and the rest would only be cut too.
  enum class Stop { None, TooLarge, TooManyIncludes, PastDeadline };

  // The decoded text of a location, read once per document; nullopt (after the message) when it
  // cannot be read.
  std::optional<QString> textOf(const QString &location);
  // "" when read; otherwise the cause, said of the location.
  QString readRaw(const QString &location, QByteArray &raw);
  QString readRemote(const QString &location, QByteArray &raw);
  QString expand(const QString &text, bool fromNetwork);
  void showReadError(const QString &location, const QString &cause);

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
};

} // namespace nuv
