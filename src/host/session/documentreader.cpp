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
    result = expand(decodeText(raw));
  } else {
    m_windows.showMessage(u"Read Error"_s,
                          u"Could not open Skivet!\r\n\r\n"_s + location +
                              u"\r\n\r\nappears to no longer exist!"_s,
                          MessageIcon::Critical);
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

QString DocumentReader::expand(const QString &raw) {
  const QString text = normaliseLines(raw);
  const LineIndex lines(text);
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
      continue;
    }
    if (!tokenIs(work, 1, u"%INCLUDE")) continue;
    const QString argument = m_evaluator.stringValue(work, 9);
    if (argument.isEmpty()) continue;
    result += readDocument(resolveLocation(argument, m_cache.baseFolder()));
  }
  return result;
}

} // namespace nuv
