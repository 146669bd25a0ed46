// The loop state of one parseContent call; nested runs each have their own.
#pragma once

#include "interpreter.h"
#include "text.h"
#include "vocabulary.h"

namespace nuv {

struct Interpreter::Run {
  explicit Run(const QString &prepared) : text(prepared) {}

  const QString text;                    // owned copy: the caller's text may change while we run
  QStringView line;                      // trimmed, comment removed; a view into text
  QString keyword;                       // first token, upper-cased
  BlockKind openBlock = BlockKind::None; // the declaration block the run is inside
  QString pendingSkinBitmap;
  QString pendingAlphaBitmap;
  bool skinApplied = false;

  // Lines are taken in order, each once: blocks read on from where the statement stands, so a
  // walk needs no index of the whole text. A break that ends the text starts no line.
  bool atEnd() const { return m_next >= text.size(); }
  QStringView nextLine() {
    const qsizetype start = m_next;
    qsizetype end = text.indexOf(u'\n', start);
    if (end < 0) end = text.size();
    m_next = end + 1;
    return QStringView(text).sliced(start, end - start);
  }

private:
  qsizetype m_next = 0;
};

// The position of a statement's first operand: the keyword and one separator. Every statement,
// property line and command reads its operand from here.
inline int operandPosition(QStringView keyword) {
  return int(keyword.size()) + 2;
}

} // namespace nuv
