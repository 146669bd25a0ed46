// Tests of number scanning, value conversions, the value readers and the built-in functions.
#include "expressions.h"
#include "valuestore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace nuv {
namespace {

constexpr double kMaxDouble = std::numeric_limits<double>::max();

TEST(LeadingNumberTest, ReadsTheLongestLeadingNumber) {
  const struct {
    const char *text;
    double expected;
  } cases[] = {
      {"12abc", 12},
      {".5", 0.5},
      {"abc", 0},
      {"", 0},
      {"5.", 5},
      {".", 0},
      {"-", 0},
      {"--1", 0},
      {"+7", 7},
      {" - 1 2 . 5 x", -12.5}, // blanks are skipped wherever they stand
      {"\t\n 3", 3},
      {"1e3", 1000},
      {"1E+3", 1000},
      {"2.5e-1", 0.25},
      {"1D2", 100},
      {"1d-2", 0.01},
      {"1e", 1},
      {"1e+", 1},
      {"1ex", 1},
      {"0.005", 0.005},
      {"000123.4500", 123.45},
      {"1,5", 1},
      {"1.2.3", 1.2},
      {"&HFF", 255},
      {"&hff", 255},
      {"&H 1F", 31},
      {"&HFFg", 255},
      {"&O17", 15},
      {"&o789", 7},
      {"&H", 0},
      {"&O8", 0},
      {"&X1", 0},
      {"-&H10", 0},
      {"1e99999", kMaxDouble},
      {"-1e99999", -kMaxDouble},
      {"1e-99999", 0},
      {"1e999999999999999999999", kMaxDouble},
      {"1.79769313486232E+308", kMaxDouble},
  };
  for (const auto &c : cases)
    EXPECT_DOUBLE_EQ(leadingNumber(QString::fromLatin1(c.text)), c.expected) << c.text;
}

TEST(LeadingNumberTest, LongDigitRunsKeepTheirMagnitude) {
  const QString ones(100000, u'1');
  EXPECT_EQ(leadingNumber(ones), kMaxDouble);
  EXPECT_DOUBLE_EQ(leadingNumber(QString(300, u'9')), 1e300);
  EXPECT_DOUBLE_EQ(leadingNumber("0." + QString(99990, u'0') + "5"), 0);
  EXPECT_DOUBLE_EQ(leadingNumber("1" + QString(2000, u'0') + "e-2000"), 1);
  EXPECT_EQ(leadingNumber("&H" + QString(100000, u'F')), kMaxDouble);
  EXPECT_EQ(leadingNumber(QString(100000, u' ') + "42"), 42);
  EXPECT_EQ(leadingNumber(QString(100000, u'a')), 0);
}

TEST(IsNumberTextTest, WholeTextMustBeOneNumber) {
  const char *numbers[] = {"12",   " 12\t", "1.5", "-3", "+3",  "1e5",  "1D-5",
                           "&H1F", "&o7",   ".5",  "5.", "007", "1E+20"};
  for (const char *text : numbers)
    EXPECT_TRUE(isNumberText(QString::fromLatin1(text))) << text;
  const char *others[] = {"",    " ",     "12abc", "1 2",  "1e",         "&H",
                          "abc", "1,000", "1.2.3", "-",    "NUV.MPHand", "&O8",
                          "- 1", ".",     "1e 5",  "&H1G", "RGB(1,2,3)", "1,5"};
  for (const char *text : others)
    EXPECT_FALSE(isNumberText(QString::fromLatin1(text))) << text;
  EXPECT_TRUE(isNumberText(QString(100000, u'7')));
}

TEST(NumberTextTest, FifteenSignificantDigitsAndNoTrailingZeros) {
  const struct {
    double n;
    const char *expected;
  } cases[] = {
      {12, "12"},
      {-3, "-3"},
      {0.5, "0.5"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {0.1 + 0.2, "0.3"},
      {0, "0"},
      {-0.0, "0"},
      {16711935, "16711935"},
      {123456789012345, "123456789012345"},
      {1e20, "1E+20"},
      {std::nan(""), "0"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(numberText(c.n), QString::fromLatin1(c.expected)) << c.expected;
  // Every text reads back as the number it came from (to 15 digits).
  for (double n : {1e20, -2.5e-7, kMaxDouble, std::numeric_limits<double>::infinity()})
    EXPECT_NEAR(leadingNumber(numberText(n)) / std::min(std::fabs(n), kMaxDouble), n < 0 ? -1 : 1,
                1e-14);
}

TEST(RoundHalfEvenTest, HalvesGoToTheEvenNeighbourAndTheRangeIsClamped) {
  const struct {
    double n;
    qint32 expected;
  } cases[] = {
      {1.5, 2},
      {2.5, 2},
      {-2.5, -2},
      {-1.5, -2},
      {0.5, 0},
      {0.49, 0},
      {2.6, 3},
      {-2.6, -3},
      {2147483647.4, 2147483647},
      {1e12, std::numeric_limits<qint32>::max()},
      {-1e12, std::numeric_limits<qint32>::min()},
      {std::numeric_limits<double>::infinity(), std::numeric_limits<qint32>::max()},
      {std::nan(""), 0},
  };
  for (const auto &c : cases)
    EXPECT_EQ(roundHalfEven(c.n), c.expected) << c.n;
}

TEST(ValueConversionTest, TextNumberAndBooleanForms) {
  const struct {
    Value v;
    const char *text;
    double number;
    bool boolean;
  } cases[] = {
      {Value(), "", 0, false},
      {qint16(-3), "-3", -3, true},
      {qint32(32649), "32649", 32649, true},
      {qint32(0), "0", 0, false},
      {0.25, "0.25", 0.25, true},
      {0.12345678901234568, "0.123456789012346", 0.123456789012346, true}, // read as written
      {true, "True", 0, true},
      {false, "False", 0, false},
      {QString("true"), "true", 0, true},
      {QString(" FALSE "), " FALSE ", 0, false},
      {QString("12abc"), "12abc", 12, false},
      {QString("2.5"), "2.5", 2.5, true},
      {QString("0"), "0", 0, false},
      {QString("yes"), "yes", 0, false},
      {QString(), "", 0, false},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(toText(c.v), QString::fromLatin1(c.text)) << c.text;
    EXPECT_DOUBLE_EQ(toNumber(c.v), c.number) << c.text;
    EXPECT_EQ(toBoolean(c.v), c.boolean) << c.text;
  }
}

TEST(SplitArgsTest, CommasSplitOnlyAtTheTopLevel) {
  const struct {
    const char *text;
    QStringList expected;
  } cases[] = {
      {"", {"", ""}},
      {"a, (b, c), 'd,e'", {"", "a", "(b, c)", "'d,e'"}},
      {" x , y ", {"", "x", "y"}},
      {"\"a,b\",c", {"", "\"a,b\"", "c"}},
      {"a,,b", {"", "a", "", "b"}},
      {"a,", {"", "a", ""}},
      {"f(g(1,2),3),4", {"", "f(g(1,2),3)", "4"}},
      {"'it\"s', \"it's\"", {"", "'it\"s'", "\"it's\""}},
      {"a)", {""}},
      {"a), (b", {""}},
      {"'abc", {""}},
      {"a, \"b", {""}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(splitArgs(QString::fromLatin1(c.text)), c.expected) << c.text;
}

class RecordingReader : public PropertyReader {
public:
  Value readProperty(QStringView text, int &pos) const override {
    ++calls;
    const QString rest = text.mid(pos - 1).toString().trimmed();
    if (rest.compare(u"Button1.CAPTION", Qt::CaseInsensitive) == 0) return QString("Go");
    if (rest.compare(u"Button1.VISIBLE", Qt::CaseInsensitive) == 0) return true;
    if (rest.compare(u"Button1.TOP", Qt::CaseInsensitive) == 0) return qint32(40);
    return {};
  }
  mutable int calls = 0;
};

class EvaluatorTest : public ::testing::Test {
protected:
  void SetUp() override { registerConstants(store); }
  ValueStore store;
  RecordingReader reader;
  Evaluator eval{store, &reader};
};

TEST_F(EvaluatorTest, BuiltInFunctions) {
  const struct {
    const char *text;
    Value expected;
  } cases[] = {
      {"RGB(255, 0, 255)", qint32(16711935)},
      {"rgb(1,2,3)", qint32(197121)},
      {"RGB(300, 0, 0)", qint32(255)},
      {"RGB(-5, 0, 70000)", qint32(255 << 16)}, // components clamp to 0..255
      {"RGB(1)", qint32(1)},                    // missing components are 0
      {"RGB(1, 2, 3, 4)", qint32(197121)},      // extra arguments are ignored
      {"RGB(ABS(-255), 0, 0)", qint32(255)},
      {"RGB(NUV.RMVerticalOnly, 0, 0)", qint32(3)},
      {"RGB(1.5, 2.5, 0)", qint32(2 + 2 * 256)},
      {"RGB(253.4999999999999, 0, 0)", qint32(254)}, // components pass through decimal text
      {"ab\u017F(-5)", qint32(5)},                   // the long s upper-cases to S
      {"RGB (1,2,3)", Value()},
      {"ABS(-5)", qint32(5)},
      {"ABS(-2.5)", qint32(2)},
      {"ABS()", qint32(0)},
      {"ABS(-1e12)", std::numeric_limits<qint32>::max()},
      {"ABS(Button1.TOP)", qint32(40)},
      {"UC('abc')", QString("ABC")},
      {"uc(\"abc\")", QString("ABC")},
      {"UC('a', 'b')", QString("")},
      {"LC(UC('Mixed'))", QString("mixed")},
      {"UC(NUV.MPHand)", QString("32649")},
      {"UC(Button1.CAPTION)", QString("GO")},
      {"UC(\"a)b\")", QString("A)B")},
      {"  UC('a') and more", QString("A")},
      {"UC('a'))", QString("A")},
      {"UC('abc)", Value()},
      {"UC('x'", Value()},
      {"UC(a))", QString("")}, // an unquoted word names nothing
      {"FOO(1)", Value()},
      {"(1)", Value()},
      {"UC", Value()},
      {"", Value()},
  };
  for (const auto &c : cases) {
    const Value v = eval.evalFunction(QString::fromUtf8(c.text));
    EXPECT_EQ(v.index(), c.expected.index()) << c.text;
    EXPECT_TRUE(v == c.expected) << c.text << " gave " << toText(v).toStdString();
  }
}

TEST_F(EvaluatorTest, StringValue) {
  const struct {
    const char *line;
    int pos;
    const char *expected;
  } cases[] = {
      {"\"Hello\" more text", 1, "Hello"},
      {"'Hello' more text", 1, "Hello"},
      {"TITLE 'My # 1' x", 7, "My # 1"},
      {"   'x'  ", 1, "x"},
      {"", 1, ""},
      {"\"unclosed", 1, ""},
      {"1.5", 1, "2"},
      {"2.5", 1, "2"},
      {"007", 1, "7"},
      {"1e12", 1, "2147483647"},
      {"NUV.MPHand", 1, "32649"},
      {"NUV.MPDefault", 1, ""},
      {"NUV.RMNoMove", 1, "1"},
      {"Hello", 1, ""}, // unquoted text is never taken literally
      {"Button1.CAPTION", 1, "Go"},
      {"Button1.VISIBLE", 1, "True"},
      {"UC('abc')", 1, "ABC"},
      {"RGB(255, 0, 255)", 1, "16711935"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(eval.stringValue(QString::fromLatin1(c.line), c.pos), QString::fromLatin1(c.expected))
        << c.line;
}

TEST_F(EvaluatorTest, LongValue) {
  const struct {
    const char *line;
    const char *expected;
  } cases[] = {
      {"1.5", "1.5"},
      {"-3", "-3"},
      {"0", "0"},
      {"12abc", "12"},
      {"abc", "0"},
      {"TRUE", "0"},
      {"NUV.MPHand", "32649"},
      {"NUV.RMHorizontalOnly", "2"},
      {"NUV.MPDefault", "0"},
      {"RGB(255, 0, 255)", "16711935"},
      {"RGB (255, 0, 255)", "0"},
      {"UC('5')", "5"},
      {"ABS(-7)", "7"},
      {"Button1.TOP", "40"},
      {"Button1.VISIBLE", "0"},
      {"&H10", "16"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(eval.longValue(QString::fromLatin1(c.line), 1), QString::fromLatin1(c.expected))
        << c.line;
}

TEST_F(EvaluatorTest, BooleanValue) {
  const struct {
    const char *line;
    bool expected;
  } cases[] = {
      {"TRUE", true},        {"true", true},
      {"False", false},      {"1", true},
      {"0", false},          {"-2", true},
      {"nothing", false},    {"UC('true')", true},
      {"UC('yes')", false},  {"NUV.RMNoMove", true},
      {"NUV.RMNone", false}, {"Button1.VISIBLE", true},
      {"Button1.TOP", true}, {"", false},
      {"ABS(0)", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(eval.booleanValue(QString::fromLatin1(c.line), 1), c.expected) << c.line;
}

TEST_F(EvaluatorTest, ResolveValueConvertsByTypeWord) {
  const struct {
    const char *text;
    const char *typeWord;
    Value expected;
  } cases[] = {
      {"NUV.MPHand", "LONG", 32649.0},
      {"NUV.MPHand", "long", 32649.0},
      {"NUV.MPHand", "STRING", QString("32649")},
      {"NUV.MPHand", "OTHER", qint32(32649)},
      {"NUV.RMNoMove", "", qint16(1)},
      {"NUV.RMNoMove", "BOOLEAN", true},
      {"1.5", "LONG", 2.0},
      {"1.5", "", qint32(2)},
      {"Button1.VISIBLE", "LONG", 0.0},
      {"nothing", "STRING", QString("")},
      {"nothing", "LONG", 0.0},
      {"nothing", "BOOLEAN", false},
      {"nothing", "", Value()},
  };
  for (const auto &c : cases) {
    int pos = 1;
    const Value v =
        eval.resolveValue(QString::fromLatin1(c.text), pos, QString::fromLatin1(c.typeWord));
    EXPECT_EQ(v.index(), c.expected.index()) << c.text << " " << c.typeWord;
    EXPECT_TRUE(v == c.expected) << c.text << " " << c.typeWord;
  }
}

TEST_F(EvaluatorTest, PropertyReaderIsTheLastReadingAndSeesThePosition) {
  int pos = 7;
  const Value v = eval.resolveValue(u"VALUE  Button1.CAPTION", pos, u"STRING");
  EXPECT_TRUE(v == Value(QString("Go")));
  EXPECT_EQ(reader.calls, 1);

  // Numbers, constants and calls never reach the reader.
  reader.calls = 0;
  for (const char *text : {"12", "NUV.MPHand", "UC('x')", "ABS(1)"}) {
    int p = 1;
    eval.resolveValue(QString::fromLatin1(text), p, u"STRING");
  }
  EXPECT_EQ(reader.calls, 0);
}

TEST(EvaluatorNoReaderTest, WithoutAReaderUnknownTextsAreEmpty) {
  ValueStore store;
  registerConstants(store);
  const Evaluator eval(store);
  int pos = 1;
  EXPECT_TRUE(isEmpty(eval.resolveValue(u"Button1.CAPTION", pos, u"")));
  EXPECT_EQ(eval.stringValue(u"UC(Button1.CAPTION)", 1), QString(""));
  EXPECT_EQ(eval.longValue(u"NUV.MPHand", 1), QString("32649"));
}

QString nested(int levels, const QString &inner) {
  QString text;
  for (int i = 0; i < levels; ++i)
    text += i % 2 ? QStringLiteral("LC(") : QStringLiteral("UC(");
  return text + inner + QString(levels, u')');
}

TEST_F(EvaluatorTest, NestingIsBounded) {
  EXPECT_EQ(eval.stringValue(nested(3, "'Ab'"), 1), QString("AB"));
  EXPECT_EQ(eval.stringValue(nested(64, "'Ab'"), 1), QString("AB"));
  EXPECT_EQ(eval.stringValue(nested(65, "'Ab'"), 1), QString(""));
  // Beyond the bound the innermost calls give the empty value instead of overflowing the stack.
  EXPECT_EQ(eval.stringValue(nested(5000, "'Ab'"), 1), QString(""));
  const QString line = nested(25000, "'x'"); // about 100,000 characters
  ASSERT_GE(line.size(), 99000);
  EXPECT_EQ(eval.stringValue(line, 1), QString(""));
  EXPECT_EQ(eval.longValue(line, 1), QString("0"));
  EXPECT_FALSE(eval.booleanValue(line, 1));
  // The guard is released after each evaluation.
  EXPECT_EQ(eval.stringValue(nested(64, "'Ab'"), 1), QString("AB"));
}

TEST_F(EvaluatorTest, HundredThousandCharacterValueTexts) {
  const QString quoted = "'" + QString(99998, u'q') + "'";
  EXPECT_EQ(eval.stringValue(quoted, 1).size(), 99998);
  EXPECT_EQ(eval.stringValue(QString(99999, u' ') + "7", 1), QString("7"));
  EXPECT_EQ(eval.longValue(QString(100000, u'1'), 1), numberText(kMaxDouble));
  EXPECT_EQ(eval.stringValue(QString(100000, u'1'), 1), QString("2147483647"));
  EXPECT_EQ(eval.stringValue(QString(100000, u'a'), 1), QString(""));
  EXPECT_EQ(eval.stringValue("UC(" + QString(100000, u'(') + ")", 1), QString(""));
  EXPECT_EQ(eval.stringValue("UC('" + QString(100000, u'z'), 1), QString(""));
  const QString wide = "RGB(" + QString(50000, u',') + ")";
  EXPECT_EQ(eval.longValue(wide, 1), QString("0"));
  EXPECT_EQ(eval.stringValue("LC('" + QString(100000, u'Z') + "')", 1), QString(100000, u'z'));
}

} // namespace
} // namespace nuv
