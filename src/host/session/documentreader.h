// Reads a Skivet document, local or remote, with its %INCLUDE lines expanded.
#pragma once

#include <QString>
#include <QStringList>

namespace nuv {

class Cache;
class Evaluator;
class WindowSystem;

class DocumentReader {
public:
  // Bound on the expanded text, so includes that multiply cannot exhaust the machine.
  static constexpr qsizetype defaultMaxCharacters = qsizetype(64) * 1024 * 1024;

  DocumentReader(Cache &cache, const Evaluator &evaluator, WindowSystem &windows)
      : m_cache(cache), m_evaluator(evaluator), m_windows(windows) {}

  void setMaxCharacters(qsizetype n) { m_maxCharacters = n; }

  // The location must be resolved. "" when it cannot be read (after a "Read Error" message),
  // when it is already being read further up (an include cycle), or when the expansion grows
  // beyond the bound (after a message saying so).
  QString readDocument(const QString &location);

private:
  bool readRaw(const QString &location, QByteArray &raw);
  QString expand(const QString &raw);

  Cache &m_cache;
  const Evaluator &m_evaluator;
  WindowSystem &m_windows;
  QStringList m_includeChain;
  qsizetype m_maxCharacters = defaultMaxCharacters;
  qsizetype m_total = 0;
  bool m_tooLarge = false;
};

} // namespace nuv
