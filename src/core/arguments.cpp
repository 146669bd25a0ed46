// Command-line texts: cutting one text into arguments and reading placement values.
#include "arguments.h"

#include "expressions.h"
#include "saturating.h"
#include "text.h"
#include "value.h"

namespace nuv {

QStringList cutArguments(QStringView text) {
  QStringList arguments;
  qsizetype start = 0;
  const auto take = [&](qsizetype end) {
    const QString piece = trimBlanks(text.mid(start, end - start));
    if (!piece.isEmpty()) arguments.append(piece);
  };
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == u' ' && text[i + 1] == u'-') {
      take(i);
      start = i + 1;
    }
  }
  take(text.size());
  return arguments;
}

bool isPlacementOption(QStringView argument) {
  static constexpr QStringView options[] = {u"-x:",  u"-y:",       u"-ox:",
                                            u"-oy:", u"-relative", u"-nomove"};
  for (QStringView option : options)
    if (argument.startsWith(option, Qt::CaseInsensitive)) return true;
  return false;
}

int placementValue(QStringView text, int screenExtent) {
  const QString trimmed = trimBlanks(text);
  const int n = roundHalfEven(leadingNumber(trimmed));
  if (trimmed.endsWith(u'-')) return saturatedDifference(screenExtent, n);
  return n;
}

} // namespace nuv
