// The loop state of one parseContent call; nested runs each have their own.
#pragma once

#include "interpreter.h"
#include "text.h"
#include "vocabulary.h"

namespace nuv {

struct Interpreter::Run {
  explicit Run(const QString &prepared) : text(prepared), lines(text) {}

  const QString text; // owned copy: the caller's text may change while we run
  LineIndex lines;
  int lineIndex = 0;
  QStringView line;                      // trimmed, comment removed; a view into text
  QString keyword;                       // first token, upper-cased
  BlockKind openBlock = BlockKind::None; // the declaration block the run is inside
  QString pendingSkinBitmap;
  QString pendingAlphaBitmap;
  bool skinApplied = false;

  int lineCount() const { return lines.count(); }
};

// The position of a statement's first operand: the keyword and one separator. Every statement,
// property line and command reads its operand from here.
inline int operandPosition(QStringView keyword) {
  return int(keyword.size()) + 2;
}

} // namespace nuv
