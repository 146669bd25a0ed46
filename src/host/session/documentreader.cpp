// Reads a Skivet document, local or remote, with its %INCLUDE lines expanded.
#include "documentreader.h"

#include "cache.h"
#include "expressions.h"
#include "localfile.h"
#include "locations.h"
#include "text.h"
#include "transfer.h"
#include "windowsystem.h"

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

// Said of a location that is not there, a missing file or a server's "not found"; every
// other cause is named in full.
const QString gone = u"appears to no longer exist!"_s;

bool isGoneStatus(int status) {
  // HTTP "not found" and "gone"; FTP "file unavailable".
  return status == 404 || status == 410 || status == 550;
}

// The bytes after an ASCII head: the head reads the same in either encoding, so the rest decides
// it alone, and starts a character. A byte order mark counts only at the start of the file.
QString decodeRest(const QByteArray &rest, bool atStart) {
  const QByteArrayView mark("\xEF\xBB\xBF");
  if (atStart || !rest.startsWith(mark)) return decodeText(rest);
  // Decoded behind an ASCII byte, the mark stays a character as it would have mid-text.
  return decodeText(QByteArray(1, ' ') + rest).mid(1);
}

// Whether some line's first character past its blanks is "%": only such a line can be a
// directive. Every other "%" sits inside a line, after a comment mark or in a string.
bool hasDirectiveLine(QStringView text) {
  for (qsizetype at = text.indexOf(u'%'); at >= 0; at = text.indexOf(u'%', at + 1)) {
    qsizetype before = at;
    while (before > 0 && isBlank(text[before - 1]))
      --before;
    if (before == 0 || text[before - 1] == u'\n') return true;
  }
  return false;
}

} // namespace

QString DocumentReader::readDocument(const QString &location) {
  if (m_includeChain.contains(location)) {
    if (m_map != nullptr)
      passOver(u"include cycle: '%1' is already being read (%2); this line includes nothing"_s.arg(
          location,
          (m_includeChain.mid(m_includeChain.indexOf(location)) << location).join(u" -> "_s)));
    return {};
  }
  const bool topLevel = m_includeChain.isEmpty();
  if (topLevel) {
    m_texts.clear();
    m_places.clear();
    m_refused.clear();
    m_bytesRead = 0;
    m_total = 0;
    m_includes = 0;
    m_stop = Stop::None;
  }
  m_includeChain.append(location);
  QString result;
  std::optional<QString> text = textOf(location);
  if (text && m_stop == Stop::None) result = expand(std::move(*text), location);
  text.reset();
  m_includeChain.removeLast();
  if (!topLevel) return result;

  m_texts.clear();
  switch (m_stop) {
  case Stop::None:
    return result;
  case Stop::TooLarge:
    showReadError(location, u"is, with its includes, larger than the bound of "_s +
                                describeBytes(m_maxCharacters) + u"."_s);
    return {};
  case Stop::TooManyIncludes:
    showReadError(location, u"has includes beyond the bound of %1 includes."_s.arg(m_maxIncludes));
    return {};
  case Stop::PastDeadline:
    return {};
  }
  return {};
}

std::optional<QString> DocumentReader::textOf(const QString &location) {
  const auto known = m_texts.constFind(location);
  if (known != m_texts.cend()) return *known;
  QString decoded;
  qsizetype byteCount = 0;
  const QString cause = readText(location, decoded, byteCount);
  std::optional<QString> text;
  if (cause.isEmpty()) {
    m_bytesRead += byteCount;
    if (m_bytesRead > m_maxCharacters) m_stop = Stop::TooLarge;
    if (m_map != nullptr) {
      text = normaliseLines(decoded);
      mapLines(location, decoded, *text);
    } else {
      normaliseLinesInPlace(decoded);
      text = std::move(decoded);
    }
    // Every line ends in its break, so an included text splices in whole lines.
    if (!text->isEmpty() && text->back() != u'\n') text->append(u'\n');
  } else {
    // A file that comes back is watched for like one that was read.
    if (m_map != nullptr) mappedFile(location);
    showReadError(location, cause);
  }
  // A failed read is remembered too, so a file included many times is reported once.
  m_texts.insert(location, text);
  return text;
}

QString DocumentReader::readText(const QString &location, QString &text, qsizetype &byteCount) {
  if (isRemote(location)) {
    QByteArray raw;
    const QString cause = readRemote(location, raw);
    if (!cause.isEmpty()) return cause;
    if (raw.size() > m_maxCharacters)
      return u"is larger than the bound of "_s + describeBytes(m_maxCharacters) + u"."_s;
    byteCount = raw.size();
    text = decodeText(raw);
    return {};
  }
  const QString path = findLocalFile(location);
  if (path.isEmpty()) return gone;
  LocalText file = readRegularText(path, m_maxCharacters);
  switch (file.error) {
  case LocalReadError::None:
    byteCount = qsizetype(file.byteCount);
    text = std::move(file.asciiHead);
    if (!file.rest.isEmpty()) text += decodeRest(file.rest, text.isEmpty());
    return {};
  case LocalReadError::Missing:
    return gone;
  case LocalReadError::NotRegular:
    return u"is not a regular file: devices, FIFOs and folders are never read."_s;
  case LocalReadError::TooLarge:
    return u"is larger than the bound of "_s + describeBytes(m_maxCharacters) + u"."_s;
  case LocalReadError::Unreadable:
    return u"could not be read. "_s + file.reason + u"."_s;
  }
  return gone;
}

QString DocumentReader::readRemote(const QString &location, QByteArray &raw) {
  const TransferResult fetched = m_cache.transfer().fetchBytes(location);
  if (fetched.succeeded()) {
    raw = fetched.body;
    m_cache.storeDocument(location, raw, raw.size());
    return {};
  }
  // Offline: the copy kept from an earlier run. An error page never counts as the document.
  if (fetched.outcome == TransferOutcome::Offline) {
    std::optional<QByteArray> cached = m_cache.cachedBody(location);
    if (cached) {
      raw = std::move(*cached);
      return {};
    }
    return u"could not be reached, and no copy of it is kept. "_s + fetched.error;
  }
  // Past the deadline every further fetch would be cut too: this one message says why.
  if (m_cache.transfer().limits().deadline.hasExpired()) m_stop = Stop::PastDeadline;
  if (isGoneStatus(fetched.status)) return gone;
  if (fetched.outcome == TransferOutcome::Complete)
    return u"could not be read. "_s + describeStatus(fetched.status);
  return u"could not be read. "_s + fetched.error;
}

int DocumentReader::mappedFile(const QString &location) {
  const qsizetype known = m_map->files.indexOf(location);
  if (known >= 0) return int(known);
  m_map->files.append(location);
  return int(m_map->files.size() - 1);
}

void DocumentReader::passOver(const QString &text) {
  m_map->problems.push_back({m_includeLine, text, true, m_map->lines.size()});
}

void DocumentReader::mapLines(const QString &location, QStringView raw, const QString &normalised) {
  const int file = mappedFile(location);
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
  std::vector<SourceMap::Place> &places = m_places[location];
  places.clear();
  for (int n = 1; n <= lines.count(); ++n) {
    const qsizetype start = lines.line(n).data() - normalised.data();
    const int number = start < qsizetype(lineOf.size()) ? lineOf[size_t(start)] : line;
    places.push_back({file, number});
  }
}

QString DocumentReader::expand(QString text, const QString &location) {
  // Without a directive line the expanded text is the text itself. A map wants a place for
  // each line, so mapped reads take the walk below. Every line counts with a two-character
  // break there, and so here.
  if (m_map == nullptr && !hasDirectiveLine(text)) {
    // The document itself is counted last: nothing after it reads the total, so its lines need
    // counting only when twice its size, more than any count of breaks could add, passes the
    // bound.
    const bool last = m_includeChain.size() == 1;
    if (last && m_total + 2 * text.size() <= m_maxCharacters) return text;
    m_total += text.size() + text.count(u'\n');
    if (m_total <= m_maxCharacters) return text;
    m_stop = Stop::TooLarge;
    return {};
  }
  const bool fromNetwork = isRemote(location);
  const LineIndex lines(text);
  const std::vector<SourceMap::Place> *places = m_map != nullptr ? &m_places[location] : nullptr;
  const auto placeOf = [places](int n) {
    return n - 1 < int(places->size()) ? (*places)[size_t(n - 1)] : SourceMap::Place{};
  };
  QString result;
  result.reserve(text.size());
  for (int n = 1; n <= lines.count() && m_stop == Stop::None; ++n) {
    const QStringView line = lines.line(n);
    // Every line counts, "%" lines too: otherwise includes of includes cost nothing.
    m_total += line.size() + 2;
    if (m_total > m_maxCharacters) {
      m_stop = Stop::TooLarge;
      break;
    }
    const QStringView work = trimmedView(withoutComment(trimmedView(line), u'#', u"\""));
    if (!work.startsWith(u'%')) {
      result += line;
      result += u'\n';
      if (places != nullptr) m_map->lines.push_back(placeOf(n));
      continue;
    }
    if (!tokenIs(work, 1, u"%INCLUDE")) continue;
    const QString argument = m_evaluator.stringValue(work, 9);
    if (places != nullptr) m_includeLine = placeOf(n);
    if (argument.isEmpty()) {
      if (places != nullptr) {
        const QStringView operand = trimmedView(work.mid(std::min<qsizetype>(8, work.size())));
        const bool quoted = operand.startsWith(u'"') || operand.startsWith(u'\'');
        passOver(quoted || operand.isEmpty()
                     ? u"%INCLUDE names no location; this line includes nothing"_s
                     : u"%INCLUDE takes a quoted location: '%1' reads as an empty value, so this "
                       u"line includes nothing"_s.arg(operand));
      }
      continue;
    }
    if (++m_includes > m_maxIncludes) {
      m_stop = Stop::TooManyIncludes;
      break;
    }
    const QString included = resolveLocation(argument, m_cache.baseFolder());
    // A document from the network must not pull local files into itself: their lines could
    // travel back to its server (a PRELOAD list turns them into requests).
    if (fromNetwork && !isRemote(included)) {
      if (!m_refused.contains(included)) {
        m_refused.insert(included);
        showReadError(included, u"was not included: a Skivet from the network may include "
                                u"only network locations."_s);
      }
      continue;
    }
    result += readDocument(included);
  }
  return result;
}

QString DocumentReader::includerOf(const QString &location) const {
  // The chain holds the file being read last; a refused include was never added to it.
  for (qsizetype i = m_includeChain.size() - 1; i >= 0; --i) {
    if (m_includeChain[i] != location) return m_includeChain[i];
  }
  return {};
}

void DocumentReader::showReadError(const QString &location, const QString &cause) {
  if (m_map != nullptr) {
    // The document itself has no place to point at; an include is named at its %INCLUDE line.
    const bool ofTheDocument =
        m_includeChain.isEmpty() || (m_includeChain.size() == 1 && m_includeChain[0] == location);
    const SourceMap::Place place = ofTheDocument ? SourceMap::Place{} : m_includeLine;
    m_map->problems.push_back(
        {place,
         cause == gone ? u"cannot read '%1'"_s.arg(location) : u"'%1' "_s.arg(location) + cause,
         false, m_map->lines.size()});
    return;
  }
  // An include's failure names the include and the file that includes it; the rest of the
  // Skivet still runs, so the message says so instead of "Could not open Skivet!".
  // Past a bound nothing opens, and the message says so as for the document.
  const QString includer = m_stop == Stop::None ? includerOf(location) : QString();
  if (!includer.isEmpty()) {
    m_windows.showMessage(u"Read Error"_s,
                          u"Could not open the include\r\n\r\n"_s + location + u"\r\n\r\n"_s +
                              cause + u"\r\n\r\nIt is included by "_s + includer +
                              u". The Skivet opens without its lines; correct or remove its "
                              u"%INCLUDE line."_s,
                          MessageIcon::Critical);
    return;
  }
  m_windows.showMessage(u"Read Error"_s,
                        u"Could not open Skivet!\r\n\r\n"_s + location + u"\r\n\r\n"_s + cause,
                        MessageIcon::Critical);
}

} // namespace nuv
