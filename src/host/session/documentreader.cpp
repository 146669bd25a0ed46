// Reads a Skivet document, local or remote, with its %INCLUDE lines expanded.
#include "documentreader.h"

#include "cache.h"
#include "expressions.h"
#include "locations.h"
#include "text.h"
#include "transfer.h"
#include "windowsystem.h"

#include <QFile>

namespace nuv {

using namespace Qt::StringLiterals;

QString DocumentReader::readDocument(const QString &location) {
  if (m_includeChain.contains(location)) return {};
  const bool topLevel = m_includeChain.isEmpty();
  if (topLevel) {
    m_total = 0;
    m_tooLarge = false;
  }
  m_includeChain.append(location);
  QByteArray raw;
  QString result;
  if (readRaw(location, raw)) {
    result = expand(decodeText(raw), location);
  } else {
    reportFailure(location, topLevel);
  }
  m_includeChain.removeLast();
  if (topLevel && m_tooLarge) {
    m_windows.showMessage(u"Read Error"_s,
                          u"The Skivet is too large:\r\n\r\n"_s + location +
                              u"\r\n\r\nand its includes expand beyond "_s +
                              QString::number(m_maxCharacters / (qsizetype(1024) * 1024)) +
                              u" MB."_s,
                          MessageIcon::Critical);
    return {};
  }
  return result;
}

bool DocumentReader::readRaw(const QString &location, QByteArray &raw) {
  if (isRemote(location)) {
    const TransferResult fetched = m_cache.transfer().fetchBytes(location);
    if (fetched.succeeded()) {
      raw = fetched.body;
      m_cache.storeDocument(location, raw, raw.size());
      return true;
    }
    // Offline: the copy kept from an earlier run. An error page never counts as the document.
    if (fetched.outcome != TransferOutcome::Offline) return false;
    const std::optional<QByteArray> cached = m_cache.cachedBody(location);
    if (!cached) return false;
    raw = *cached;
    return true;
  }
  const QString path = findLocalFile(location);
  if (path.isEmpty()) return false;
  QFile file(path);
  if (file.size() > m_maxCharacters || !file.open(QIODevice::ReadOnly)) return false;
  raw = file.readAll();
  return true;
}

void DocumentReader::reportFailure(const QString &location, bool topLevel) {
  if (m_map != nullptr) {
    m_map->problems.push_back(
        {topLevel ? SourceMap::Place{} : m_includeLine, u"cannot read '%1'"_s.arg(location)});
    return;
  }
  m_windows.showMessage(u"Read Error"_s,
                        u"Could not open Skivet!\r\n\r\n"_s + location +
                            u"\r\n\r\nappears to no longer exist!"_s,
                        MessageIcon::Critical);
}

void DocumentReader::mapLines(const QString &location, QStringView raw, const QString &normalised,
                              std::vector<SourceMap::Place> &places) {
  qsizetype file = m_map->files.indexOf(location);
  if (file < 0) {
    file = m_map->files.size();
    m_map->files.append(location);
  }
  // The line on disk of each character normaliseLines keeps, walked by the same rules: a break
  // right after a break is dropped, and CR LF counts as one break.
  std::vector<int> lineOf;
  lineOf.reserve(size_t(normalised.size()));
  int line = 1;
  bool afterBreak = false;
  for (qsizetype i = 0; i < raw.size(); ++i) {
    const QChar c = raw[i];
    const bool isBreak = c == u'\n' || c == u'\r';
    if (!(isBreak && afterBreak)) lineOf.push_back(line);
    afterBreak = isBreak;
    if (c == u'\n' || (c == u'\r' && (i + 1 == raw.size() || raw[i + 1] != u'\n'))) ++line;
  }
  const LineIndex lines(normalised);
  places.clear();
  for (int n = 1; n <= lines.count(); ++n) {
    const qsizetype start = lines.line(n).data() - normalised.data();
    const int number = start < qsizetype(lineOf.size()) ? lineOf[size_t(start)] : line;
    places.push_back({int(file), number});
  }
}

QString DocumentReader::expand(const QString &raw, const QString &location) {
  const QString text = normaliseLines(raw);
  const LineIndex lines(text);
  std::vector<SourceMap::Place> places;
  if (m_map != nullptr) mapLines(location, raw, text, places);
  QString result;
  for (int n = 1; n <= lines.count() && !m_tooLarge; ++n) {
    const QStringView line = lines.line(n);
    const QStringView work = trimmedView(withoutComment(trimmedView(line), u'#', u"\""));
    if (!work.startsWith(u'%')) {
      m_total += line.size() + 2;
      if (m_total > m_maxCharacters) {
        m_tooLarge = true;
        break;
      }
      result += line;
      result += u"\r\n"_s;
      if (m_map != nullptr) m_map->lines.push_back(places[size_t(n - 1)]);
      continue;
    }
    if (!tokenIs(work, 1, u"%INCLUDE")) continue;
    const QString argument = m_evaluator.stringValue(work, 9);
    if (argument.isEmpty()) continue;
    if (m_map != nullptr) m_includeLine = places[size_t(n - 1)];
    result += readDocument(resolveLocation(argument, m_cache.baseFolder()));
  }
  return result;
}

} // namespace nuv
