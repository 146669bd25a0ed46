// The dynamic value of the language: empty, 16-bit, 32-bit, double, text or Boolean.
#pragma once

#include <QString>
#include <QtGlobal>

#include <variant>

namespace nuv {

using Value = std::variant<std::monostate, qint16, qint32, double, QString, bool>;

inline bool isEmpty(const Value &v) { return std::holds_alternative<std::monostate>(v); }

// Decimal text of a number: at most 15 significant digits, "." as point,
// no trailing zeros, no exponent for ordinary magnitudes ("12", "-3", "0.5").
QString numberText(double n);
// The number as its decimal text reads back: leadingNumber(numberText(n)).
double numberThroughText(double n);
// Nearest integer, halves to the even neighbour, clamped to the 32-bit range.
qint32 roundHalfEven(double n);

// Conversions used by the value readers.
QString toText(const Value &v);    // "" / decimal / "True" / "False"
double toNumber(const Value &v);   // leading number of the text form
bool toBoolean(const Value &v);    // empty false, number != 0, "True"/"False" any case

} // namespace nuv
