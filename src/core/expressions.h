// The value readers (STRING, LONG, BOOLEAN) and the evaluator behind them.
#pragma once

#include "value.h"

#include <QString>
#include <QStringList>
#include <QStringView>

namespace nuv {

class ValueStore;

// Reads an object property reference (Object.PROPERTY) at pos; empty when the
// text is none. Implemented by the interpreter, which owns the objects.
class PropertyReader {
public:
  virtual ~PropertyReader() = default;
  virtual Value readProperty(QStringView text, int &pos) const = 0;
};

double leadingNumber(QStringView text);
bool isNumberText(QStringView text);
// Element 0 is always empty; the arguments stand at 1..n. Invalid text gives {""}.
QStringList splitArgs(QStringView argumentText);

class Evaluator {
public:
  explicit Evaluator(const ValueStore &store, const PropertyReader *properties = nullptr)
      : m_store(store), m_properties(properties) {}

  QString stringValue(QStringView line, int pos) const;
  // The number as decimal text.
  QString longValue(QStringView line, int pos) const;
  // leadingNumber of longValue's text, without writing the text.
  double longValueNumber(QStringView line, int pos) const;
  bool booleanValue(QStringView line, int pos) const;
  Value resolveValue(QStringView text, int &pos, QStringView typeWord) const;
  // Empty when the text is no call of RGB, ABS, UC or LC.
  Value evalFunction(QStringView text) const;

private:
  // longValue's number before it is written as text.
  double longNumber(QStringView line, int pos) const;

  const ValueStore &m_store;
  const PropertyReader *m_properties;
  // Nesting guard: calls inside arguments recurse; hostile documents must not
  // exhaust the stack.
  mutable int m_depth = 0;
};

} // namespace nuv
