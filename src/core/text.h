// Lexical rules of the Skivet language and the small text library built on them.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <vector>

namespace nuv {

// Blanks are exactly space and TAB; nothing else is trimmed.
bool isBlank(QChar c);
// ".(){};= " and TAB separate tokens; commas, colons, hashes and quotes do not.
bool isTokenSeparator(QChar c);

QString trimBlanks(QStringView text);
// The same without copying: a view into the given text.
QStringView trimmedView(QStringView text);

// Text before the first marker outside quotes (quote set may be empty).
QString stripComment(QStringView text, QChar marker, QStringView quotes);
QStringView withoutComment(QStringView text, QChar marker, QStringView quotes);
// Every separator outside quotes becomes CR LF.
QString splitStatements(QStringView text, QChar separator, QStringView quotes);

enum class Comparison { Exact = 0, CaseInsensitive = 1 };
// 1-based position of pattern at or after start; 0 when absent.
int findText(int start, QStringView text, QStringView pattern,
             Comparison comparison = Comparison::Exact);
// Replaces pattern (case-insensitively) until none is left, also occurrences
// formed by joining a replacement with its neighbours; returns the count.
// An empty pattern replaces nothing; a replacement holding the pattern is put in
// once per original occurrence, since repeating would never end.
int replaceText(QString &text, QStringView pattern, QStringView replacement);

// LF line breaks, no empty lines between lines (CR LF and lone CR become LF).
QString normaliseLines(QStringView text);
// Every TAB made a blank, then normaliseLines: how a text is prepared before it runs.
QString prepareText(QStringView text);
// The same, reusing the text's own buffer when nobody else shares it.
void prepareTextInPlace(QString &text);
// normaliseLines, reusing the text's own buffer when nobody else shares it.
void normaliseLinesInPlace(QString &text);
int countLines(QStringView text);
// Line n (1-based) without its LF; -1 gives the last line; others give "".
QString getLine(QStringView text, int n);

// Start offsets of the lines of a text, so a run can fetch line n in O(1)
// instead of walking the text again for every line. It keeps a view on the text:
// the text must outlive the index and stay unchanged while the index is used.
class LineIndex {
public:
  explicit LineIndex(QStringView text);
  int count() const { return int(m_starts.size()); }
  // 1-based like getLine; out-of-range numbers give the empty view.
  QStringView line(int n) const;

private:
  QStringView m_text;
  std::vector<qsizetype> m_starts;
};

// The next token at or after pos (1-based, in/out). pos is left on the
// token's first character, never moved past it.
QString getToken(QStringView text, int &pos);
// The same without copying: a view into the given text.
QStringView tokenView(QStringView text, int &pos);
// True when the token at pos equals word, ignoring ASCII letter case.
bool tokenIs(QStringView text, int pos, QStringView word);
// True when the text upper-cased (as QString::toUpper does it) is the given word.
bool upperCaseIs(QStringView text, QStringView upperWord);
bool isTrue(QStringView text, int &pos);
// Contents of the first quoted section at or after pos; "" when unclosed.
QString quotedString(QStringView text, int pos);
// Field n (1-based) split on delimiter (case-insensitive); a trailing CR LF is dropped.
QString nthField(QStringView text, int n, QStringView delimiter);

// Windows-1252, the code page of texts written on Windows, in both directions. A character the
// code page cannot hold gives '?', as the system's own conversion does.
QString fromWindows1252(QByteArrayView bytes);
int windows1252Code(QChar c);

// The 1-based rest of a text from pos ("" past the end).
QStringView restFrom(QStringView text, int pos);

} // namespace nuv
