// Tests of the lexical rules and text functions of the Skivet language.
#include "tempfiles.h"
#include "text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <utility>

using namespace nuv;

namespace {

// The literal rewriting: search from position 1 case-insensitively, replace, restart.
// Gives up (nullopt) when the rewriting has not ended after maxSteps replacements.
std::optional<std::pair<QString, int>> replaceByRestarting(QString text, const QString &pattern,
                                                           const QString &replacement,
                                                           int maxSteps = 5000) {
  int count = 0;
  while (true) {
    const qsizetype at = text.indexOf(pattern, 0, Qt::CaseInsensitive);
    if (at < 0) return std::make_pair(text, count);
    if (++count > maxSteps) return std::nullopt;
    text.replace(at, pattern.size(), replacement);
  }
}

// The literal line normalisation: three rounds of restarting replacements.
QString normaliseByRestarting(const QString &text) {
  QString result = replaceByRestarting(text, "\r\n", "\n")->first;
  result = replaceByRestarting(result, "\r", "\n")->first;
  return replaceByRestarting(result, "\n\n", "\n")->first;
}

QString randomText(std::mt19937 &rng, const QString &alphabet, int maxLength) {
  std::uniform_int_distribution<int> length(0, maxLength);
  std::uniform_int_distribution<int> pick(0, int(alphabet.size()) - 1);
  QString text;
  for (int n = length(rng); n > 0; --n)
    text.append(alphabet[pick(rng)]);
  return text;
}

} // namespace

TEST(TextLexical, BlanksAndSeparators) {
  for (QChar c : QStringView(u".(){};= \t"))
    EXPECT_TRUE(isTokenSeparator(c)) << int(c.unicode());
  for (QChar c : QStringView(u",:#\"'a0-\r\n\u00a0"))
    EXPECT_FALSE(isTokenSeparator(c)) << int(c.unicode());
  EXPECT_TRUE(isBlank(u' '));
  EXPECT_TRUE(isBlank(u'\t'));
  for (QChar c : QStringView(u"\r\n\f\v\u00a0x"))
    EXPECT_FALSE(isBlank(c)) << int(c.unicode());
}

TEST(TextLexical, TrimBlanks) {
  const struct {
    QString text, expected;
  } cases[] = {
      {"", ""},
      {" \t \t", ""},
      {"\t a b \t", "a b"},
      {"\r\nx\r\n", "\r\nx\r\n"},
      {"\u00a0x\f", "\u00a0x\f"},
      {" \tx", "x"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(trimBlanks(c.text), c.expected) << c.text.toStdString();
}

TEST(TextLexical, StripComment) {
  const struct {
    QString text;
    QChar marker;
    QString quotes, expected;
  } cases[] = {
      {R"(TITLE "My # 1" # comment)", '#', "\"", R"(TITLE "My # 1" )"},
      {R"(TITLE 'My # 1' # comment)", '#', "\"", "TITLE 'My "},
      {R"(TITLE 'My # 1' # comment)", '#', "\"'", "TITLE 'My # 1' "},
      {R"(a "it's # x" # y)", '#', "\"'", R"(a "it's # x" )"},
      {R"(open "quote # never closed)", '#', "\"", R"(open "quote # never closed)"},
      {"no marker", '#', "\"", "no marker"},
      {"# all comment", '#', "\"", ""},
      {R"(a "b" # c)", '#', "", R"(a "b" )"},
      {R"("x#y")", '#', "", "\"x"},
      {"", '#', "\"", ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(stripComment(c.text, c.marker, c.quotes), c.expected) << c.text.toStdString();
}

TEST(TextLexical, SplitStatements) {
  const struct {
    QString text;
    QChar separator;
    QString quotes, expected;
  } cases[] = {
      {"A;B;'c;d'", ';', "\"'", "A\r\nB\r\n'c;d'"},
      {R"(a;"x;'y";b)", ';', "\"'", "a\r\n\"x;'y\"\r\nb"},
      {"a;'open;x", ';', "\"'", "a\r\n'open;x"},
      {";;", ';', "\"'", "\r\n\r\n"},
      {"a;'c;d'", ';', "", "a\r\n'c\r\nd'"},
      // The separator is found like replaceText finds patterns: case-insensitively.
      {"xaXb", 'x', "", "\r\na\r\nb"},
      // A separator that the line break contains is still replaced only once each.
      {"a\rb", '\r', "", "a\r\nb"},
      {"a\nb", '\n', "\"", "a\r\nb"},
      {"", ';', "\"", ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(splitStatements(c.text, c.separator, c.quotes), c.expected) << c.text.toStdString();
}

TEST(TextSearch, FindText) {
  const struct {
    int start;
    QString text, pattern;
    Comparison comparison;
    int expected;
  } cases[] = {
      {1, "abcabc", "bc", Comparison::Exact, 2},
      {3, "abcabc", "bc", Comparison::Exact, 5},
      {6, "abcabc", "bc", Comparison::Exact, 0},
      {1, "abcABC", "BC", Comparison::Exact, 5},
      {1, "abcABC", "BC", Comparison::CaseInsensitive, 2},
      {1, "abc", "x", Comparison::Exact, 0},
      {1, "abc", "abcd", Comparison::Exact, 0},
      {2, "abc", "", Comparison::Exact, 2},
      {3, "abc", "", Comparison::Exact, 3},
      {4, "abc", "", Comparison::Exact, 0},
      {4, "abc", "c", Comparison::Exact, 0},
      {100, "abc", "a", Comparison::Exact, 0},
      {0, "abc", "a", Comparison::Exact, 1},
      {-5, "abc", "", Comparison::Exact, 1},
      {1, "", "", Comparison::Exact, 0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(findText(c.start, c.text, c.pattern, c.comparison), c.expected)
        << c.start << " " << c.text.toStdString() << " " << c.pattern.toStdString();
  }
}

TEST(TextSearch, FindTextFarIntoLongText) {
  QString text(100000, u'a');
  text[70000] = u'b';
  text[90000] = u'b';
  EXPECT_EQ(findText(1, text, u"b"), 70001);
  EXPECT_EQ(findText(70002, text, u"B", Comparison::CaseInsensitive), 90001);
  EXPECT_EQ(findText(90002, text, u"b"), 0);
}

TEST(TextReplace, Cases) {
  const struct {
    QString text, pattern, replacement, expected;
    int count;
  } cases[] = {
      {"XxX", "x", "y", "yyy", 3},
      {"a\tb\t\tc", "\t", " ", "a b  c", 3},
      {"a\n\n\n\nb", "\n\n", "\n", "a\nb", 3},
      {"aab", "ab", "b", "b", 2},
      {"aaabbb", "ab", "", "", 3},
      {"ABab", "ab", "-", "--", 2},
      {"nothing", "zz", "y", "nothing", 0},
      {"", "a", "b", "", 0},
      // Mended: an empty pattern or a replacement holding the pattern would never end.
      {"abc", "", "x", "abc", 0},
      {"aXa", "a", "aa", "aaXaa", 2},
      {"abAB", "ab", "xABy", "xAByxABy", 2},
  };
  for (const auto &c : cases) {
    QString text = c.text;
    EXPECT_EQ(replaceText(text, c.pattern, c.replacement), c.count) << c.text.toStdString();
    EXPECT_EQ(text, c.expected) << c.text.toStdString();
  }
}

// Every result and count must equal the literal restart-from-position-1 rewriting.
TEST(TextReplace, MatchesRestartingReplacement) {
  std::mt19937 rng(20240521);
  int compared = 0;
  for (int round = 0; round < 20000; ++round) {
    const QString pattern = randomText(rng, "abAB", 4);
    const QString replacement = randomText(rng, "abBc", 4);
    const QString original = randomText(rng, "abAc", 14);
    if (pattern.isEmpty() || replacement.contains(pattern, Qt::CaseInsensitive)) continue;
    const auto expected = replaceByRestarting(original, pattern, replacement);
    if (!expected) continue;
    QString text = original;
    const int count = replaceText(text, pattern, replacement);
    ASSERT_EQ(text, expected->first) << original.toStdString() << " / " << pattern.toStdString()
                                     << " / " << replacement.toStdString();
    ASSERT_EQ(count, expected->second) << original.toStdString();
    ++compared;
  }
  EXPECT_GT(compared, 10000);
}

TEST(TextReplace, LongCascadeCompletes) {
  const int n = 300000;
  QString text = QString(n, u'a') + QString(n, u'b');
  EXPECT_EQ(replaceText(text, u"ab", u""), n);
  EXPECT_EQ(text, "");
}

TEST(TextLines, NormaliseLines) {
  const struct {
    QString text, expected;
  } cases[] = {
      {"a\r\n\r\n\rb", "a\nb"},
      {"\n\nx", "\nx"},
      {"x\r", "x\n"},
      {"\r\r\n\n\r", "\n"},
      {"  \n\n  ", "  \n  "},
      {"a\n\r\nb\r\rc", "a\nb\nc"},
      {"", ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(normaliseLines(c.text), c.expected) << c.text.toStdString();
}

TEST(TextLines, NormaliseLinesMatchesRestartingReplacement) {
  std::mt19937 rng(7);
  for (int round = 0; round < 5000; ++round) {
    const QString text = randomText(rng, "a\r\n", 12);
    ASSERT_EQ(normaliseLines(text), normaliseByRestarting(text)) << text.toStdString();
  }
}

// Normalising passes over characters above CR in steps of several: the long prefixes put the
// first change at and around the edges of those steps, and the alphabet holds characters that
// only look like breaks in one byte (U+0D0D) or to a signed comparison (U+FFFF).
TEST(TextLines, InPlaceFormsMatchTheCopyingOnes) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> prefix(0, 70);
  const QString alphabet =
      QString("a\r\n\t\v") + QChar(0xE9) + QChar(0xFFFF) + QChar(0x0D0D) + QChar(0x0A00);
  for (int round = 0; round < 5000; ++round) {
    const QString text = QString(prefix(rng), u'a') + randomText(rng, alphabet, 40);
    QString prepared = text;
    prepared.detach();
    prepareTextInPlace(prepared);
    ASSERT_EQ(prepared, prepareText(text)) << text.toStdString();
    QString normalised = text;
    normalised.detach();
    normaliseLinesInPlace(normalised);
    ASSERT_EQ(normalised, normaliseLines(text)) << text.toStdString();
  }
}

// A text that is prepared already, as the reader hands it on, is neither copied nor written.
TEST(TextLines, PreparedTextStaysShared) {
  const QString prepared = QString(100, u'a') + QString("\nTITLE \"x\"\nOBJECT\nb");
  QString again = prepared;
  prepareTextInPlace(again);
  EXPECT_TRUE(again.isSharedWith(prepared));
  normaliseLinesInPlace(again);
  EXPECT_TRUE(again.isSharedWith(prepared));
  // One that needs a change is changed in its own copy.
  const QString tabbed = prepared + QString("\tx");
  QString changed = tabbed;
  prepareTextInPlace(changed);
  EXPECT_EQ(changed, prepared + QString(" x"));
  EXPECT_EQ(tabbed, prepared + QString("\tx"));
}

TEST(TextLines, CountLinesAndGetLine) {
  const struct {
    QString text;
    int count;
    QStringList lines;
    QString last;
  } cases[] = {
      {"", 0, {}, ""},
      {"x", 1, {"x"}, "x"},
      {"x\ny", 2, {"x", "y"}, "y"},
      {"x\ny\n", 2, {"x", "y"}, "y"},
      {"\nx", 2, {"", "x"}, "x"},
      {"\n", 1, {""}, ""},
      {"a\n\nb", 3, {"a", "", "b"}, "b"},
      {"a\r\nb", 2, {"a\r", "b"}, "b"},
  };
  for (const auto &c : cases) {
    const std::string name = c.text.toStdString();
    EXPECT_EQ(countLines(c.text), c.count) << name;
    for (int n = 1; n <= c.count; ++n)
      EXPECT_EQ(getLine(c.text, n), c.lines[n - 1]) << name << " line " << n;
    EXPECT_EQ(getLine(c.text, -1), c.last) << name;
    for (int n : {0, -2, c.count + 1, 1000})
      EXPECT_EQ(getLine(c.text, n), "") << name << " line " << n;
  }
  EXPECT_EQ(countLines(normaliseLines(u"a\r\n\r\n\rb")), 2);
}

TEST(TextLines, LineIndexAgreesWithGetLine) {
  const QString texts[] = {
      "",
      "x",
      "x\ny",
      "x\ny\n",
      "\nfirst empty",
      "\n",
      "a\n\nb\n",
      "  spaced \n\tline",
      normaliseLines(u"\r\n\r\nTITLE \"x\"\r\n\r\nOBJECT\r"),
  };
  for (const QString &text : texts) {
    const LineIndex index(text);
    ASSERT_EQ(index.count(), countLines(text)) << text.toStdString();
    for (int n = 1; n <= index.count(); ++n)
      EXPECT_EQ(index.line(n).toString(), getLine(text, n)) << text.toStdString() << " " << n;
    EXPECT_EQ(index.line(-1).toString(), getLine(text, -1)) << text.toStdString();
    for (int n : {0, -2, index.count() + 1})
      EXPECT_TRUE(index.line(n).isEmpty()) << text.toStdString() << " " << n;
  }
}

TEST(TextTokens, GetToken) {
  const struct {
    QString text;
    int posIn;
    QString token;
    int posOut;
  } cases[] = {
      {"   NEW BUTTON", 1, "NEW", 4},
      {"===", 1, "=", 3},
      {"a.b", 2, "b", 3},
      {"Button1.CAPTION", 1, "Button1", 1},
      {"SETMASKCOLOR 1,2,3", 1, "SETMASKCOLOR", 1},
      {"x(1,2);", 3, "1,2", 3},
      {"a,b:c#d\"e'", 1, "a,b:c#d\"e'", 1},
      {"\t{ name }", 1, "name", 4},
      {"abc", 2, "bc", 2},
      {"ab ", 3, " ", 3},
      {"", 1, "", 1},
      {"abc", 4, "", 4},
      {"abc", 99, "", 99},
      {"abc", 0, "abc", 1},
      {" abc", -7, "abc", 2},
  };
  for (const auto &c : cases) {
    int pos = c.posIn;
    EXPECT_EQ(getToken(c.text, pos), c.token) << c.text.toStdString() << " from " << c.posIn;
    EXPECT_EQ(pos, c.posOut) << c.text.toStdString() << " from " << c.posIn;
  }
}

TEST(TextTokens, IsTrue) {
  const struct {
    QString text;
    int posIn;
    bool expected;
    int posOut;
  } cases[] = {
      {"true", 1, true, 1},     {"  True)", 1, true, 3},   {"X TRUE", 2, true, 3},
      {"FALSE", 1, false, 1},   {"1", 1, false, 1},        {"", 1, false, 1},
      {"TRUEISH", 1, false, 1}, {"\"TRUE\"", 1, false, 1}, {"true", 0, true, 1},
  };
  for (const auto &c : cases) {
    int pos = c.posIn;
    EXPECT_EQ(isTrue(c.text, pos), c.expected) << c.text.toStdString();
    EXPECT_EQ(pos, c.posOut) << c.text.toStdString();
  }
}

TEST(TextTokens, QuotedString) {
  const struct {
    QString text;
    int pos;
    QString expected;
  } cases[] = {
      {R"(say 'it"s')", 1, R"(it"s)"},
      {R"("open)", 1, ""},
      {R"(TEXT "hello" "world")", 1, "hello"},
      {R"(TEXT "hello" "world")", 7, " "},
      {R"(TEXT "hello" "world")", 13, "world"},
      {R"(a "" b)", 1, ""},
      {"no quotes", 1, ""},
      {R"("x")", 0, "x"},
      {R"("x")", -3, "x"},
      {R"("x")", 4, ""},
      {R"("x")", 50, ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(quotedString(c.text, c.pos), c.expected) << c.text.toStdString() << " " << c.pos;
}

TEST(TextTokens, NthField) {
  const struct {
    QString text;
    int n;
    QString delimiter, expected;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\n", 2, " ", "200"},
      {"HTTP/1.1 200\r\n", 2, " ", "200"},
      {"a b c", 3, " ", "c"},
      {"a b c", 4, " ", ""},
      {"a b c", 0, " ", ""},
      {"a b c", -1, " ", ""},
      {"oneXtwoxthree", 3, "x", "three"},
      {"a<SEP>b<sep>c", 2, "<Sep>", "b"},
      {"a  b", 2, " ", ""},
      {"a  b", 3, " ", "b"},
      {"line\r\n", 1, "|", "line"},
      {"whole", 1, "", "whole"},
      {"whole", 2, "", ""},
      {"", 1, ",", ""},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(nthField(c.text, c.n, c.delimiter), c.expected) << c.text.toStdString() << " " << c.n;
  }
}

TEST(TextWindows1252, BothDirectionsShareOneTable) {
  const struct {
    char byte;
    char16_t character;
  } cases[] = {
      {'A', u'A'},         {'\xe9', u'\u00e9'}, {'\x80', u'\u20ac'}, {'\x93', u'\u201c'},
      {'\x9f', u'\u0178'}, {'\x81', u'\u0081'}, {'\xa0', u'\u00a0'}, {'\0', u'\0'},
  };
  for (const auto &c : cases)
    EXPECT_EQ(fromWindows1252(QByteArrayView(&c.byte, 1)), QString(QChar(c.character)))
        << int(uchar(c.byte));
  for (int byte = 0; byte < 256; ++byte) {
    const char raw = char(byte);
    EXPECT_EQ(windows1252Code(fromWindows1252(QByteArrayView(&raw, 1))[0]), byte) << byte;
  }
  // Outside the code page, as the system's conversion does it.
  EXPECT_EQ(windows1252Code(QChar(0x4e2d)), '?');
  EXPECT_EQ(windows1252Code(QChar(0x0100)), '?');
}

TEST(TextPositions, RestFrom) {
  const struct {
    QString text;
    int pos;
    QString expected;
  } cases[] = {
      {"abc", 1, "abc"}, {"abc", 3, "c"},    {"abc", 4, ""}, {"abc", 1000, ""},
      {"abc", 0, "abc"}, {"abc", -1, "abc"}, {"", 1, ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(restFrom(c.text, c.pos).toString(), c.expected) << c.pos;
}

TEST(TempFiles, FolderEndsWithSlash) {
  const QString folder = tempFolderPath();
  ASSERT_TRUE(folder.endsWith(u'/'));
  EXPECT_TRUE(QFileInfo(folder).isDir());
  EXPECT_EQ(QDir(folder).canonicalPath(), QDir(QDir::tempPath()).canonicalPath());
}

TEST(TempFiles, NamesNewUniqueFiles) {
  const QString first = tempFileName();
  const QString second = tempFileName();
  ASSERT_FALSE(first.isEmpty());
  ASSERT_FALSE(second.isEmpty());
  EXPECT_NE(first, second);
  for (const QString &path : {first, second}) {
    const QFileInfo info(path);
    EXPECT_TRUE(info.isFile()) << path.toStdString();
    EXPECT_EQ(info.size(), 0);
    EXPECT_TRUE(info.fileName().startsWith("jov")) << path.toStdString();
    EXPECT_EQ(QDir(info.absolutePath()).canonicalPath(), QDir(tempFolderPath()).canonicalPath());
    EXPECT_TRUE(QFile::remove(path));
  }
}

TEST(TempFiles, EmptyWhenFolderUnusable) {
  const QByteArray saved = qgetenv("TMPDIR");
  qputenv("TMPDIR", "/nonexistent/nuv-no-such-folder");
  const QString folder = tempFolderPath();
  const QString name = tempFileName();
  if (saved.isNull())
    qunsetenv("TMPDIR");
  else
    qputenv("TMPDIR", saved);
  if (!name.isEmpty()) QFile::remove(name);
  EXPECT_EQ(folder, "");
  EXPECT_EQ(name, "");
}
