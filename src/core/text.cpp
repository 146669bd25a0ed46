// Lexical rules of the Skivet language and the small text library built on them.
#include "text.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace nuv {

namespace {

constexpr char16_t kLf = u'\n';
constexpr char16_t kCr = u'\r';

bool isQuoteChar(QChar c) {
  return c == u'"' || c == u'\'';
}

// A plain loop: quote sets hold one or two characters, too few for a library search.
bool isQuoteOf(QStringView quotes, QChar c) {
  for (QChar q : quotes) {
    if (q == c) return true;
  }
  return false;
}

// Positions below 1 mean the start of the text.
qsizetype clampPos(int pos) {
  return pos < 1 ? 1 : pos;
}

char16_t foldCase(QChar c) {
  return QChar::toCaseFolded(c.unicode());
}

// Case-folded pattern with its failure table, so every scan is linear.
class PatternMatcher {
public:
  explicit PatternMatcher(QStringView pattern) : m_fail(size_t(pattern.size()), 0) {
    m_folded.reserve(size_t(pattern.size()));
    for (QChar c : pattern)
      m_folded.push_back(foldCase(c));
    qsizetype k = 0;
    for (qsizetype i = 1; i < length(); ++i) {
      while (k > 0 && m_folded[size_t(i)] != m_folded[size_t(k)])
        k = m_fail[size_t(k - 1)];
      if (m_folded[size_t(i)] == m_folded[size_t(k)]) ++k;
      m_fail[size_t(i)] = k;
    }
  }

  qsizetype length() const { return qsizetype(m_folded.size()); }

  // State = number of pattern characters matched; length() means a whole match.
  qsizetype step(qsizetype state, QChar c) const {
    const char16_t f = foldCase(c);
    if (state == length()) state = m_fail[size_t(state - 1)];
    while (state > 0 && m_folded[size_t(state)] != f)
      state = m_fail[size_t(state - 1)];
    return m_folded[size_t(state)] == f ? state + 1 : state;
  }

  bool occursIn(QStringView text) const {
    qsizetype state = 0;
    for (QChar c : text) {
      state = step(state, c);
      if (state == length()) return true;
    }
    return false;
  }

private:
  std::u16string m_folded;
  std::vector<qsizetype> m_fail;
};

// One left-to-right pass replacing every non-overlapping occurrence once.
int replaceEachOnce(QString &text, const PatternMatcher &matcher, QStringView replacement) {
  QString out;
  int count = 0;
  qsizetype copied = 0;
  qsizetype state = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    state = matcher.step(state, text[i]);
    if (state != matcher.length()) continue;
    const qsizetype begin = i + 1 - matcher.length();
    out.append(QStringView(text).mid(copied, begin - copied));
    out.append(replacement);
    copied = i + 1;
    state = 0;
    ++count;
  }
  if (count == 0) return 0;
  out.append(QStringView(text).mid(copied));
  text = out;
  return count;
}

// Always replaces the leftmost occurrence of the whole current text, as a restart from
// position 1 would, but in one sweep: the output so far never holds an occurrence, so
// the first match completed while reading is the leftmost one; the replacement is then
// read again as input, which catches occurrences formed with its neighbours.
int replaceLeftmostRepeatedly(QString &text, const PatternMatcher &matcher,
                              QStringView replacement) {
  const qsizetype length = matcher.length();
  QString out;
  out.reserve(text.size());
  std::vector<qsizetype> states; // matcher state after each output character
  states.reserve(size_t(text.size()));
  std::u16string pending; // replacement characters still to read, last one first
  int count = 0;
  qsizetype next = 0;
  while (true) {
    QChar c;
    if (!pending.empty()) {
      c = QChar(pending.back());
      pending.pop_back();
    } else if (next < text.size()) {
      c = text[next++];
    } else {
      break;
    }
    const qsizetype state = matcher.step(states.empty() ? 0 : states.back(), c);
    out.append(c);
    states.push_back(state);
    if (state != length) continue;
    out.chop(length);
    states.resize(states.size() - size_t(length));
    const char16_t *units = replacement.utf16();
    pending.append(std::make_reverse_iterator(units + replacement.size()),
                   std::make_reverse_iterator(units));
    ++count;
  }
  if (count > 0) text = out;
  return count;
}

// The first character from p on that lies at or below CR, the highest character normalising may
// change; end when there is none. Most of a text lies above it, so it is passed over in wide
// steps.
const char16_t *nextLow(const char16_t *p, const char16_t *end) {
#if defined(__SSE2__)
  // A saturating subtraction leaves zero exactly where a character is CR or below.
  const __m128i cr = _mm_set1_epi16(short(kCr));
  const __m128i zero = _mm_setzero_si128();
  for (; end - p >= 8; p += 8) {
    const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const int low = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(chars, cr), zero));
    if (low != 0) return p + std::countr_zero(unsigned(low)) / 2;
  }
#endif
  while (p != end && *p > kCr)
    ++p;
  return p;
}

// normaliseLines from one buffer into another, optionally turning TABs into blanks on the way
// (they never touch a break). Returns the end of the output. The output never runs ahead of the
// input, so in and out may be the same buffer; afterBreak says whether what came before in ended
// in a break.
char16_t *normaliseInto(const char16_t *in, const char16_t *end, char16_t *write, bool tabsToBlanks,
                        bool afterBreak = false) {
  while (in != end) {
    const char16_t *const low = nextLow(in, end);
    if (low != in) {
      const qsizetype run = low - in;
      if (write != in) std::memmove(write, in, size_t(run) * sizeof(char16_t));
      write += run;
      in = low;
      afterBreak = false;
      if (in == end) break;
    }
    const char16_t u = *in++;
    const bool isBreak = u == kLf || u == kCr;
    if (isBreak && afterBreak) continue;
    *write++ = isBreak ? kLf : tabsToBlanks && u == u'\t' ? u' ' : u;
    afterBreak = isBreak;
  }
  return write;
}

QString normalisedCopy(QStringView text, bool tabsToBlanks) {
  QString out(text.size(), Qt::Uninitialized);
  auto *const begin = reinterpret_cast<char16_t *>(out.data());
  out.truncate(normaliseInto(text.utf16(), text.utf16() + text.size(), begin, tabsToBlanks) -
               begin);
  return out;
}

// Windows-1252 differs from Latin-1 only in 0x80-0x9F; the five codes it leaves unassigned keep
// their Latin-1 control characters.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

bool isBlank(QChar c) {
  return c == u' ' || c == u'\t';
}

bool isTokenSeparator(QChar c) {
  switch (c.unicode()) {
  case u'.':
  case u'(':
  case u')':
  case u'{':
  case u'}':
  case u';':
  case u'=':
  case u' ':
  case u'\t':
    return true;
  default:
    return false;
  }
}

QStringView trimmedView(QStringView text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && isBlank(text[begin]))
    ++begin;
  while (end > begin && isBlank(text[end - 1]))
    --end;
  return text.mid(begin, end - begin);
}

QString trimBlanks(QStringView text) {
  return trimmedView(text).toString();
}

QStringView withoutComment(QStringView text, QChar marker, QStringView quotes) {
  if (quotes.isEmpty()) {
    const qsizetype at = text.indexOf(marker);
    return at < 0 ? text : text.left(at);
  }
  // Outside quotes only the marker and quote characters matter: jump to the next one.
  qsizetype i = 0;
  while (i < text.size()) {
    const QChar c = text[i];
    if (c == marker) return text.left(i);
    if (!isQuoteOf(quotes, c)) {
      ++i;
      continue;
    }
    const qsizetype close = text.indexOf(c, i + 1);
    if (close < 0) return text;
    i = close + 1;
  }
  return text;
}

QString stripComment(QStringView text, QChar marker, QStringView quotes) {
  return withoutComment(text, marker, quotes).toString();
}

QString splitStatements(QStringView text, QChar separator, QStringView quotes) {
  if (quotes.isEmpty()) {
    QString result = text.toString();
    replaceText(result, QStringView(&separator, 1), u"\r\n");
    return result;
  }
  QString out;
  out.reserve(text.size());
  bool inside = false;
  QChar opener;
  for (QChar c : text) {
    if (inside) {
      inside = c != opener;
      out.append(c);
      continue;
    }
    if (c == separator) {
      out.append(u"\r\n");
      continue;
    }
    if (isQuoteOf(quotes, c)) {
      opener = c;
      inside = true;
    }
    out.append(c);
  }
  return out;
}

int findText(int start, QStringView text, QStringView pattern, Comparison comparison) {
  const qsizetype from = clampPos(start);
  if (from > text.size()) return 0;
  if (pattern.isEmpty()) return int(from);
  const Qt::CaseSensitivity cs =
      comparison == Comparison::CaseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
  const qsizetype at = text.indexOf(pattern, from - 1, cs);
  return at < 0 ? 0 : int(at + 1);
}

// An empty pattern would be found forever, so it replaces nothing. A replacement holding
// the pattern would be found again forever, so each original occurrence is replaced once.
// A one-character pattern cannot be re-formed by neighbours, so one pass is exact.
int replaceText(QString &text, QStringView pattern, QStringView replacement) {
  if (pattern.isEmpty() || text.isEmpty()) return 0;
  const PatternMatcher matcher(pattern);
  if (matcher.length() == 1 || matcher.occursIn(replacement))
    return replaceEachOnce(text, matcher, replacement);
  return replaceLeftmostRepeatedly(text, matcher, replacement);
}

// Every run of CR and LF characters, however mixed, ends as one LF.
QString normaliseLines(QStringView text) {
  return normalisedCopy(text, false);
}

QString prepareText(QStringView text) {
  return normalisedCopy(text, true);
}

namespace {

// Where normaliseInto would first write something other than what it reads: a CR, a break right
// after a break, or (with tabsToBlanks) a TAB. A text that is prepared already is thus checked at
// the speed of a plain scan.
qsizetype firstChange(QStringView text, bool tabsToBlanks) {
  const char16_t *const begin = text.utf16();
  const char16_t *const end = begin + text.size();
  for (const char16_t *p = nextLow(begin, end); p != end; p = nextLow(p + 1, end)) {
    const char16_t u = *p;
    if (u == kCr || (tabsToBlanks && u == u'\t')) return p - begin;
    if (u == kLf && p != begin && p[-1] == kLf) return p - begin;
  }
  return text.size();
}

void normaliseInPlace(QString &text, bool tabsToBlanks) {
  // Texts often arrive prepared already (the reader normalises what the interpreter prepares
  // again): those are only read, never written or copied.
  const qsizetype first = firstChange(text, tabsToBlanks);
  if (first == text.size()) return;
  if (!text.isDetached()) {
    text = normalisedCopy(text, tabsToBlanks);
    return;
  }
  auto *const begin = reinterpret_cast<char16_t *>(text.data());
  // The part before the first change is already as normaliseInto would leave it; the walk
  // resumes there with the break state that part ends in.
  char16_t *const from = begin + first;
  const bool afterBreak = first > 0 && from[-1] == kLf;
  text.truncate(normaliseInto(from, begin + text.size(), from, tabsToBlanks, afterBreak) - begin);
}

} // namespace

void prepareTextInPlace(QString &text) {
  normaliseInPlace(text, true);
}

void normaliseLinesInPlace(QString &text) {
  normaliseInPlace(text, false);
}

int countLines(QStringView text) {
  if (text.isEmpty()) return 0;
  const qsizetype breaks = text.count(QChar(kLf));
  return int(text.back() == kLf ? breaks : breaks + 1);
}

QString getLine(QStringView text, int n) {
  if (n == -1) n = countLines(text);
  if (n < 1) return {};
  qsizetype start = 0;
  for (int k = 1; k < n; ++k) {
    const qsizetype at = text.indexOf(QChar(kLf), start);
    if (at < 0) return {};
    start = at + 1;
  }
  if (start >= text.size()) return {};
  const qsizetype end = text.indexOf(QChar(kLf), start);
  return text.mid(start, (end < 0 ? text.size() : end) - start).toString();
}

LineIndex::LineIndex(QStringView text) : m_text(text) {
  if (text.isEmpty()) return;
  // Sized once: growing by doubling would copy a large index several times.
  m_starts.reserve(size_t(countLines(text)));
  m_starts.push_back(0);
  // A break that ends the text starts no line.
  for (qsizetype at = text.indexOf(QChar(kLf)); at >= 0 && at + 1 < text.size();
       at = text.indexOf(QChar(kLf), at + 1))
    m_starts.push_back(at + 1);
}

QStringView LineIndex::line(int n) const {
  if (n == -1) n = count();
  if (n < 1 || n > count()) return {};
  const qsizetype start = m_starts[size_t(n - 1)];
  qsizetype end = m_text.size();
  if (n < count())
    end = m_starts[size_t(n)] - 1;
  else if (m_text.back() == kLf)
    --end;
  return m_text.mid(start, end - start);
}

QStringView tokenView(QStringView text, int &pos) {
  if (pos < 1) pos = 1;
  const qsizetype last = text.size();
  if (pos > last) return {};
  qsizetype p = pos;
  while (p < last && isTokenSeparator(text[p - 1]))
    ++p;
  pos = int(p);
  const QStringView rest = text.mid(p - 1);
  qsizetype length = 0;
  while (length < rest.size() && !isTokenSeparator(rest[length]))
    ++length;
  // Only a lone separator at the very end stops the walk at once; it is the token then.
  return rest.left(length == 0 ? 1 : length);
}

QString getToken(QStringView text, int &pos) {
  return tokenView(text, pos).toString();
}

bool tokenIs(QStringView text, int pos, QStringView word) {
  return tokenView(text, pos).compare(word, Qt::CaseInsensitive) == 0;
}

bool upperCaseIs(QStringView text, QStringView upperWord) {
  const bool ascii =
      std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
  if (!ascii) return text.toString().toUpper() == upperWord;
  if (text.size() != upperWord.size()) return false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t u = text[i].unicode();
    const char16_t upper = u >= u'a' && u <= u'z' ? char16_t(u - (u'a' - u'A')) : u;
    if (upper != upperWord[i].unicode()) return false;
  }
  return true;
}

bool isTrue(QStringView text, int &pos) {
  return upperCaseIs(tokenView(text, pos), u"TRUE");
}

QString quotedString(QStringView text, int pos) {
  const QStringView rest = restFrom(text, pos);
  const auto *const open = std::find_if(rest.begin(), rest.end(), isQuoteChar);
  if (open == rest.end()) return {};
  const qsizetype from = open - rest.begin() + 1;
  const qsizetype close = rest.indexOf(*open, from);
  if (close < 0) return {};
  return rest.mid(from, close - from).toString();
}

QString nthField(QStringView text, int n, QStringView delimiter) {
  if (n < 1) return {};
  qsizetype start = 0;
  for (int k = 1;; ++k) {
    // An empty delimiter separates nothing: the text is one field.
    const qsizetype at =
        delimiter.isEmpty() ? -1 : text.indexOf(delimiter, start, Qt::CaseInsensitive);
    if (k == n) {
      QStringView field = at < 0 ? text.mid(start) : text.mid(start, at - start);
      if (field.endsWith(u"\r\n")) field.chop(2);
      return field.toString();
    }
    if (at < 0) return {};
    start = at + delimiter.size();
  }
}

QString fromWindows1252(QByteArrayView bytes) {
  QString text(bytes.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const auto byte = uchar(bytes[i]);
    text[i] = (byte >= 0x80 && byte < 0xA0) ? QChar(kWindows1252High[byte - 0x80]) : QChar(byte);
  }
  return text;
}

int windows1252Code(QChar c) {
  const char16_t u = c.unicode();
  if (u <= 0xFF) return u;
  const auto *const end = std::end(kWindows1252High);
  const auto *const found = std::find(std::begin(kWindows1252High), end, u);
  return found == end ? '?' : 0x80 + int(found - std::begin(kWindows1252High));
}

QStringView restFrom(QStringView text, int pos) {
  const qsizetype from = clampPos(pos);
  if (from > text.size()) return {};
  return text.mid(from - 1);
}

} // namespace nuv
