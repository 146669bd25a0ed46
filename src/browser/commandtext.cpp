// The text of a "nuv:" address as the page wrote it, from the address Qt hands over.
#include "commandtext.h"

#include <QRegularExpression>

namespace nuv {

using namespace Qt::StringLiterals;

// Once one "%" of an address starts no escape, Qt writes every "%" as "%25", so the page's
// "%41" arrives as "%2541". Where that must have happened, the page's own text is read back:
// every "%" comes as "%25", and with those undone the text holds both a "%" that starts no
// escape and escapes beside it. Otherwise an encoded "%" is what the page wrote: a page that
// encodes its text writes one as "%25".
QString commandText(const QUrl &url) {
  const QString encoded = QString::fromLatin1(url.toEncoded());
  const QString text = encoded.mid(encoded.indexOf(u':') + 1);
  static const QRegularExpression notRewritten(u"%(?!25)"_s);
  if (!text.contains(u"%25"_s) || text.contains(notRewritten)) return text;
  QString undone = text;
  undone.replace(u"%25"_s, u"%"_s);
  static const QRegularExpression stray(u"%(?![0-9A-Fa-f]{2})"_s);
  static const QRegularExpression escape(u"%[0-9A-Fa-f]{2}"_s);
  return undone.contains(stray) && undone.contains(escape) ? undone : text;
}

} // namespace nuv
