// The value readers, number scanning and the built-in functions RGB, ABS, UC and LC.
#include "expressions.h"

#include "text.h"
#include "valuestore.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include <QVarLengthArray>

namespace nuv {

namespace {

// Calls nest through their arguments; deeper calls give the empty value so that a hostile line
// cannot exhaust the stack.
constexpr int kMaxNesting = 64;
// Digits beyond these no longer change a double; keeping them bounded keeps conversion cheap.
constexpr int kMaxSignificantDigits = 800;
constexpr qint64 kExponentLimit = 1'000'000'000;

bool isNumberBlank(QChar c) {
  return c == u' ' || c == u'\t' || c == u'\n';
}
bool isDigit(QChar c) {
  return c >= u'0' && c <= u'9';
}

int hexDigit(QChar c) {
  if (isDigit(c)) return c.unicode() - u'0';
  if (c >= u'a' && c <= u'f') return c.unicode() - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c.unicode() - u'A' + 10;
  return -1;
}

struct ScannedNumber {
  double value = 0;
  bool found = false;
  qsizetype end = 0; // index after the last character that belongs to the number
};

// Builds a double from its decimal parts without the C library's locale-dependent parsing.
// digits holds the significant digits, exponent10 places the decimal point before them.
double decimalValue(const std::string &digits, qint64 exponent10, bool negative) {
  if (digits.empty()) return negative ? -0.0 : 0.0;
  const double sign = negative ? -1.0 : 1.0;
  // Far outside the double range the text is read as the largest number or as zero.
  if (exponent10 > 400) return sign * std::numeric_limits<double>::max();
  if (exponent10 < -400) return sign * 0.0;
  const std::string text = "0." + digits + "e" + std::to_string(exponent10);
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range)
    return exponent10 > 0 ? sign * std::numeric_limits<double>::max() : sign * 0.0;
  return sign * value;
}

// Reads the number at the start of a text: a decimal with sign, fraction and E/D exponent, or an
// &H/&O integer. With skipBlanks, spaces, TABs and LFs are passed over wherever they stand.
class NumberScanner {
public:
  NumberScanner(QStringView text, bool skipBlanks) : m_text(text), m_skipBlanks(skipBlanks) {}

  ScannedNumber scan() {
    skip();
    if (peek() == u'&') return scanRadix();
    return scanDecimal();
  }

private:
  void skip() {
    while (m_skipBlanks && m_i < m_text.size() && isNumberBlank(m_text[m_i]))
      ++m_i;
  }
  QChar peek() {
    skip();
    return m_i < m_text.size() ? m_text[m_i] : QChar();
  }
  void take() { ++m_i; }

  ScannedNumber scanRadix() {
    take();
    const QChar letter = peek().toUpper();
    const int base = letter == u'H' ? 16 : letter == u'O' ? 8 : 0;
    if (base == 0) return {};
    take();
    ScannedNumber number;
    for (int d = hexDigit(peek()); d >= 0 && d < base; d = hexDigit(peek())) {
      take();
      number.found = true;
      number.end = m_i;
      // Saturate instead of running into infinity on absurdly long digit runs.
      number.value = number.value > std::numeric_limits<double>::max() / base
                         ? std::numeric_limits<double>::max()
                         : number.value * base + d;
    }
    if (!number.found) return {};
    return number;
  }

  ScannedNumber scanDecimal() {
    bool negative = false;
    if (peek() == u'+' || peek() == u'-') {
      negative = peek() == u'-';
      take();
    }
    ScannedNumber number;
    std::string digits;    // significant digits, leading zeros dropped
    qint64 pointPlace = 0; // digits before the decimal point, counted from the first kept digit
    qint64 leadingFractionZeros = 0;
    bool seenPoint = false;
    for (QChar c = peek(); isDigit(c) || (c == u'.' && !seenPoint); c = peek()) {
      take();
      if (c == u'.') {
        seenPoint = true;
        if (number.found) number.end = m_i;
        continue;
      }
      number.found = true;
      number.end = m_i;
      if (digits.empty() && c == u'0') {
        leadingFractionZeros += seenPoint ? 1 : 0;
        continue;
      }
      if (int(digits.size()) < kMaxSignificantDigits) digits.push_back(char(c.unicode()));
      pointPlace += seenPoint ? 0 : 1;
    }
    if (!number.found) return {};
    const qint64 exponent = scanExponent(number);
    number.value = decimalValue(digits, pointPlace - leadingFractionZeros + exponent, negative);
    return number;
  }

  // The exponent after E or D; the letter belongs to the number only when digits follow it.
  qint64 scanExponent(ScannedNumber &number) {
    const QChar letter = peek().toUpper();
    if (letter != u'E' && letter != u'D') return 0;
    const qsizetype mark = m_i;
    take();
    bool negative = false;
    if (peek() == u'+' || peek() == u'-') {
      negative = peek() == u'-';
      take();
    }
    qint64 exponent = 0;
    bool any = false;
    while (isDigit(peek())) {
      exponent = std::min(kExponentLimit, exponent * 10 + (peek().unicode() - u'0'));
      take();
      any = true;
    }
    if (!any) {
      m_i = mark;
      return 0;
    }
    number.end = m_i;
    return negative ? -exponent : exponent;
  }

  QStringView m_text;
  bool m_skipBlanks;
  qsizetype m_i = 0;
};

QStringView trimNumberBlanks(QStringView text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && isNumberBlank(text[begin]))
    ++begin;
  while (end > begin && isNumberBlank(text[end - 1]))
    --end;
  return text.sliced(begin, end - begin);
}

// The value text: the rest of the line from a 1-based position, blanks trimmed.
QStringView valueText(QStringView line, int pos) {
  return trimmedView(restFrom(line, std::max(pos, 1)));
}

bool isQuote(QChar c) {
  return c == u'"' || c == u'\'';
}

// Counts nested calls for as long as one evaluation runs.
class NestingGuard {
public:
  explicit NestingGuard(int &depth) : m_depth(depth) { ++m_depth; }
  ~NestingGuard() { --m_depth; }
  NestingGuard(const NestingGuard &) = delete;
  NestingGuard &operator=(const NestingGuard &) = delete;
  bool tooDeep() const { return m_depth > kMaxNesting; }

private:
  int &m_depth;
};

// The argument text between the parenthesis at open and its partner, trimmed; false when a
// quote is unterminated or the parentheses never balance.
bool argumentText(QStringView s, qsizetype open, QStringView &arguments) {
  int depth = 1;
  for (qsizetype i = open + 1; i < s.size(); ++i) {
    const QChar c = s[i];
    if (isQuote(c)) {
      i = s.indexOf(c, i + 1);
      if (i < 0) return false;
      continue;
    }
    if (c == u'(') {
      ++depth;
      continue;
    }
    if (c != u')' || --depth > 0) continue;
    arguments = trimmedView(s.sliced(open + 1, i - open - 1));
    return true;
  }
  return false;
}

// The arguments of a call, element 0 empty as in splitArgs; most calls have a handful.
using ArgumentViews = QVarLengthArray<QStringView, 8>;

// splitArgs without copying: views into the given text. False for invalid text.
bool splitArgViews(QStringView argumentText, ArgumentViews &list) {
  const QStringView s = trimmedView(argumentText);
  list.clear();
  list.append(QStringView());
  qsizetype fieldStart = 0;
  int depth = 0;
  for (qsizetype i = 0; i < s.size(); ++i) {
    const QChar c = s[i];
    if (isQuote(c)) {
      i = s.indexOf(c, i + 1);
      if (i < 0) return false;
      continue;
    }
    if (c == u'(') {
      ++depth;
      continue;
    }
    if (c == u')') {
      if (--depth < 0) return false;
      continue;
    }
    if (c == u',' && depth == 0) {
      list.append(trimmedView(s.sliced(fieldStart, i - fieldStart)));
      fieldStart = i + 1;
    }
  }
  list.append(trimmedView(s.sliced(fieldStart)));
  return true;
}

qint32 rgbComponent(double longNumber) {
  const qint32 n = roundHalfEven(longNumber);
  return std::clamp(n, qint32(0), qint32(255));
}

enum class Function { None, Rgb, Abs, Upper, Lower };

Function functionOfUpper(QStringView upper) {
  if (upper == u"RGB") return Function::Rgb;
  if (upper == u"ABS") return Function::Abs;
  if (upper == u"UC") return Function::Upper;
  if (upper == u"LC") return Function::Lower;
  return Function::None;
}

// The function the name gives once upper-cased. An ASCII name upper-cases letter by letter;
// others need the full case mapping, which may change their length.
Function functionNamed(QStringView name) {
  constexpr qsizetype kLongestName = 3;
  const bool ascii =
      std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x80; });
  if (!ascii) return functionOfUpper(name.toString().toUpper());
  if (name.size() > kLongestName) return Function::None;
  char16_t upper[kLongestName];
  for (qsizetype i = 0; i < name.size(); ++i) {
    const char16_t u = name[i].unicode();
    upper[i] = u >= u'a' && u <= u'z' ? char16_t(u - (u'a' - u'A')) : u;
  }
  return functionOfUpper(QStringView(upper, name.size()));
}

} // namespace

double leadingNumber(QStringView text) {
  return NumberScanner(text, true).scan().value;
}

bool isNumberText(QStringView text) {
  const QStringView trimmed = trimNumberBlanks(text);
  const ScannedNumber number = NumberScanner(trimmed, false).scan();
  return number.found && number.end == trimmed.size();
}

QStringList splitArgs(QStringView argumentText) {
  ArgumentViews views;
  if (!splitArgViews(argumentText, views)) return {QString()};
  QStringList list;
  list.reserve(views.size());
  for (QStringView view : views)
    list.append(view.toString());
  return list;
}

QString Evaluator::stringValue(QStringView line, int pos) const {
  const QStringView s = valueText(line, pos);
  if (s.isEmpty() || isQuote(s.front())) return quotedString(s, 1);
  int p = 1;
  return toText(resolveValue(s, p, u"STRING"));
}

QString Evaluator::longValue(QStringView line, int pos) const {
  return numberText(longNumber(line, pos));
}

double Evaluator::longValueNumber(QStringView line, int pos) const {
  return numberThroughText(longNumber(line, pos));
}

double Evaluator::longNumber(QStringView line, int pos) const {
  const QStringView s = valueText(line, pos);
  const double n = leadingNumber(s);
  if (n != 0) return n;
  int p = 1;
  return toNumber(resolveValue(s, p, u"LONG"));
}

bool Evaluator::booleanValue(QStringView line, int pos) const {
  const QStringView s = valueText(line, pos);
  if (s.compare(u"TRUE", Qt::CaseInsensitive) == 0) return true;
  if (s.compare(u"FALSE", Qt::CaseInsensitive) == 0) return false;
  int p = 1;
  return toBoolean(resolveValue(s, p, u"BOOLEAN"));
}

Value Evaluator::resolveValue(QStringView text, int &pos, QStringView typeWord) const {
  const QStringView s = valueText(text, pos);
  Value v;
  if (isNumberText(s))
    v = roundHalfEven(leadingNumber(s));
  else
    v = m_store.getValue(s);
  if (isEmpty(v)) v = evalFunction(s);
  if (isEmpty(v) && m_properties) v = m_properties->readProperty(text, pos);

  if (typeWord.compare(u"STRING", Qt::CaseInsensitive) == 0) return toText(v);
  if (typeWord.compare(u"LONG", Qt::CaseInsensitive) == 0) return toNumber(v);
  if (typeWord.compare(u"BOOLEAN", Qt::CaseInsensitive) == 0) return toBoolean(v);
  return v;
}

Value Evaluator::evalFunction(QStringView text) const {
  const NestingGuard guard(m_depth);
  if (guard.tooDeep()) return {};
  const QStringView s = trimmedView(text);
  const qsizetype open = s.indexOf(u'(');
  if (open <= 0) return {};
  // Not trimmed: a blank before the parenthesis makes the name match nothing.
  const Function function = functionNamed(s.left(open));
  if (function == Function::None) return {};
  QStringView arguments;
  if (!argumentText(s, open, arguments)) return {};
  ArgumentViews args;
  // An invalid list is element 0 alone, which no function accepts.
  if (!splitArgViews(arguments, args)) return {};
  const qsizetype count = args.size() - 1;

  // The numbers read as longValue's decimal text would give them back.
  if (function == Function::Rgb) {
    // Missing components count as 0; extra arguments are ignored.
    qint32 colour = 0;
    for (qsizetype i = 1; i <= 3 && i <= count; ++i)
      colour += rgbComponent(longValueNumber(args[i], 1)) << (8 * (i - 1));
    return colour;
  }
  if (function == Function::Abs) return roundHalfEven(std::fabs(longValueNumber(args[1], 1)));
  if (count != 1) return QString("");
  const QString argument = stringValue(args[1], 1);
  return function == Function::Upper ? argument.toUpper() : argument.toLower();
}

} // namespace nuv
