// Documents with %INCLUDE lines: what reaches the interpreter, cycles, failures and the size bound.
#include "../support/fakewindowsystem.h"
#include "cache.h"
#include "documentreader.h"
#include "interpreter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace nuv;
using namespace nuv::test;

namespace {

class DocumentReaderTest : public ::testing::Test {
protected:
  QTemporaryDir folder;
  QTemporaryDir cacheFolder;
  FakeWindowSystem windows;
  FakeResources resources;
  Interpreter interpreter{windows, resources};
  Cache cache{cacheFolder.path() + QStringLiteral("/")};
  DocumentReader reader{cache, interpreter.evaluator(), windows};

  void SetUp() override { cache.setBaseFolder(folder.path() + QStringLiteral("/")); }

  QString write(const QString &name, const QByteArray &content) {
    const QString path = folder.path() + QStringLiteral("/") + name;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path;
  }
  QString read(const QString &name) {
    return reader.readDocument(folder.path() + QStringLiteral("/") + name);
  }
  QStringList readErrors() const { return windows.calls(QStringLiteral("message Read Error")); }
};

} // namespace

TEST_F(DocumentReaderTest, IncludesAreSplicedAndPercentLinesDropped) {
  write("main.skv", "  TITLE 'a' # note\r\n\r\n%INCLUDE \"parts/b.skv\"\r\n"
                    "%include 'parts/c.skv' # trailing\r\n%INCLUDE \"\"\r\n"
                    "%INCLUDE \"unclosed\r\n%VERSION 2\r\n# mentions %INCLUDE \"x\"\r\n   \r\nEND");
  write("parts/b.skv", "B1\nB2"); // no final line break
  write("parts/c.skv", "%INCLUDE 'parts/d.skv'\rC1");
  write("parts/d.skv", "D1\n");
  EXPECT_EQ(read("main.skv"), QStringLiteral("  TITLE 'a' # note\r\nB1\r\nB2\r\nD1\r\nC1\r\n"
                                             "# mentions %INCLUDE \"x\"\r\n   \r\nEND\r\n"));
  EXPECT_TRUE(readErrors().isEmpty());
}

TEST_F(DocumentReaderTest, CyclesContributeNothing) {
  write("self.skv", "S1\n%INCLUDE 'self.skv'\nS2\n");
  EXPECT_EQ(read("self.skv"), QStringLiteral("S1\r\nS2\r\n"));
  write("a.skv", "A1\n%INCLUDE 'b.skv'\nA2\n");
  write("b.skv", "B1\n%INCLUDE 'a.skv'\nB2\n");
  EXPECT_EQ(read("a.skv"), QStringLiteral("A1\r\nB1\r\nB2\r\nA2\r\n"));
  EXPECT_TRUE(readErrors().isEmpty());
}

TEST_F(DocumentReaderTest, MissingIncludeIsReportedOnceAndReadingGoesOn) {
  write("main.skv", "M1\n%INCLUDE 'gone.skv'\nM2\n");
  EXPECT_EQ(read("main.skv"), QStringLiteral("M1\r\nM2\r\n"));
  const QStringList errors = readErrors();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(QStringLiteral("Could not open Skivet!\r\n\r\n") + folder.path() +
                                 QStringLiteral("/gone.skv\r\n\r\nappears to no longer exist!")));
  EXPECT_TRUE(read("nothing.skv").isEmpty());
}

TEST_F(DocumentReaderTest, IncludesResolveAgainstTheStartedDocumentsFolder) {
  write("main.skv", "%INCLUDE 'sub/inner.skv'\n");
  write("sub/inner.skv", "%INCLUDE 'leaf.skv'\n");
  write("leaf.skv", "TOP LEAF\n");
  write("sub/leaf.skv", "SUB LEAF\n");
  EXPECT_EQ(read("main.skv"), QStringLiteral("TOP LEAF\r\n"));
}

TEST_F(DocumentReaderTest, BackslashesAndLetterCaseOfWindowsAuthors) {
  write("Parts/Common.skv", "COMMON\n");
  write("main.skv", "%INCLUDE 'parts\\common.skv'\n");
  EXPECT_EQ(read("main.skv"), QStringLiteral("COMMON\r\n"));
}

TEST_F(DocumentReaderTest, TextEncodings) {
  write("utf8.skv", "TITLE 'Caf\xc3\xa9 \xe2\x82\xac'\n");
  write("cp1252.skv", "TITLE 'Caf\xe9 \x80'\n");
  EXPECT_EQ(read("utf8.skv"), QString::fromUtf8("TITLE 'Caf\xc3\xa9 \xe2\x82\xac'\r\n"));
  EXPECT_EQ(read("cp1252.skv"), QString::fromUtf8("TITLE 'Caf\xc3\xa9 \xe2\x82\xac'\r\n"));
}

TEST_F(DocumentReaderTest, IncludeBombEndsWithAMessage) {
  // Each level includes the next one four times: 4^10 copies of the last line.
  for (int level = 0; level < 10; ++level) {
    const QByteArray next = "%INCLUDE 'level" + QByteArray::number(level + 1) + ".skv'\n";
    write(QStringLiteral("level%1.skv").arg(level), next + next + next + next);
  }
  write(QStringLiteral("level10.skv"), "TITLE 'boom'\n");
  reader.setMaxCharacters(1024 * 1024);
  EXPECT_TRUE(read("level0.skv").isEmpty());
  const QStringList errors = readErrors();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(QStringLiteral("too large")));
  // The reader is usable again afterwards.
  write("small.skv", "OK\n");
  EXPECT_EQ(read("small.skv"), QStringLiteral("OK\r\n"));
}
