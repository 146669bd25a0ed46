// Conversions of the dynamic value: decimal text, rounding, and the STRING/LONG/BOOLEAN readings.
#include "value.h"

#include "expressions.h"
#include "text.h"

#include <cmath>
#include <limits>

namespace nuv {

QString numberText(double n) {
  if (std::isnan(n)) return QStringLiteral("0");
  // The readers never produce infinities; should one arrive, give the largest finite number so
  // the text reads back as a number.
  if (std::isinf(n)) n = std::copysign(std::numeric_limits<double>::max(), n);
  if (n == 0) // also -0
    return QStringLiteral("0");
  // Whole numbers are the common case (positions, colours); skip the shortest-digits search.
  if (std::abs(n) < 1e15 && n == std::trunc(n)) return QString::number(qint64(n));
  // QString::number is locale-independent; 'g' drops trailing zeros and keeps plain notation
  // for magnitudes below 1e15.
  return QString::number(n, 'g', 15).toUpper();
}

double numberThroughText(double n) {
  if (std::isnan(n) || n == 0) return 0;
  // Whole numbers below 1e15 are written with every digit, so they read back unchanged.
  if (std::abs(n) < 1e15 && n == std::trunc(n)) return n;
  return leadingNumber(numberText(n));
}

qint32 roundHalfEven(double n) {
  if (std::isnan(n)) return 0;
  constexpr double lowest = std::numeric_limits<qint32>::min();
  constexpr double highest = std::numeric_limits<qint32>::max();
  if (n <= lowest) return std::numeric_limits<qint32>::min();
  if (n >= highest) return std::numeric_limits<qint32>::max();
  const double floor = std::floor(n);
  const double fraction = n - floor;
  double result = floor;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0)) result = floor + 1;
  return qint32(result);
}

namespace {

struct TextForm {
  QString operator()(std::monostate) const { return QString(""); }
  QString operator()(qint16 n) const { return QString::number(n); }
  QString operator()(qint32 n) const { return QString::number(n); }
  QString operator()(double n) const { return numberText(n); }
  QString operator()(const QString &s) const { return s; }
  QString operator()(bool b) const { return b ? QStringLiteral("True") : QStringLiteral("False"); }
};

bool textAsBoolean(const QString &text) {
  const QString trimmed = trimBlanks(text);
  if (trimmed.compare(u"True", Qt::CaseInsensitive) == 0) return true;
  if (trimmed.compare(u"False", Qt::CaseInsensitive) == 0) return false;
  // Neither word: a numeric text counts by its number like a number would, so "1" and "-2.5"
  // are true and "0" false; any other text is false, so a misspelt word never switches a
  // flag on.
  if (isNumberText(text)) return leadingNumber(text) != 0;
  return false;
}

} // namespace

QString toText(const Value &v) {
  return std::visit(TextForm{}, v);
}

// The leading number of the text form, without writing the text where its reading is known.
double toNumber(const Value &v) {
  if (const auto *n = std::get_if<qint32>(&v)) return *n;
  if (const auto *n = std::get_if<qint16>(&v)) return *n;
  if (const auto *d = std::get_if<double>(&v)) return numberThroughText(*d);
  if (const auto *s = std::get_if<QString>(&v)) return leadingNumber(*s);
  return 0; // empty, and True/False, which start with no number
}

bool toBoolean(const Value &v) {
  if (const auto *b = std::get_if<bool>(&v)) return *b;
  if (const auto *s = std::get_if<QString>(&v)) return textAsBoolean(*s);
  if (const auto *d = std::get_if<double>(&v)) return *d != 0 && !std::isnan(*d);
  if (const auto *n = std::get_if<qint32>(&v)) return *n != 0;
  if (const auto *n = std::get_if<qint16>(&v)) return *n != 0;
  return false;
}

} // namespace nuv
