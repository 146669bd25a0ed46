// Documents with %INCLUDE lines: what reaches the interpreter, cycles, failures and the size bound.
#include "../support/fakewindowsystem.h"
#include "cache.h"
#include "documentreader.h"
#include "interpreter.h"
#include "loopbackserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

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
  // Each level includes the next one twice; the last level holds leaf.
  void writeFanOut(int levels, const QByteArray &leaf, LoopbackServer *server = nullptr) {
    for (int level = 0; level < levels; ++level) {
      const QByteArray next = "%INCLUDE 'fan" + QByteArray::number(level + 1) + ".skv'\n";
      const QString name = QStringLiteral("fan%1.skv").arg(level);
      server ? server->writeFile(name, next + next) : void(write(name, next + next));
    }
    const QString last = QStringLiteral("fan%1.skv").arg(levels);
    server ? server->writeFile(last, leaf) : void(write(last, leaf));
  }
};

} // namespace

TEST_F(DocumentReaderTest, IncludesAreSplicedAndPercentLinesDropped) {
  write("main.skv", "  TITLE 'a' # note\r\n\r\n%INCLUDE \"parts/b.skv\"\r\n"
                    "%include 'parts/c.skv' # trailing\r\n%INCLUDE \"\"\r\n"
                    "%INCLUDE \"unclosed\r\n%VERSION 2\r\n# mentions %INCLUDE \"x\"\r\n   \r\nEND");
  write("parts/b.skv", "B1\nB2"); // no final line break
  write("parts/c.skv", "%INCLUDE 'parts/d.skv'\rC1");
  write("parts/d.skv", "D1\n");
  EXPECT_EQ(read("main.skv"), QStringLiteral("  TITLE 'a' # note\nB1\nB2\nD1\nC1\n"
                                             "# mentions %INCLUDE \"x\"\n   \nEND\n"));
  EXPECT_TRUE(readErrors().isEmpty());
}

TEST_F(DocumentReaderTest, CyclesContributeNothing) {
  write("self.skv", "S1\n%INCLUDE 'self.skv'\nS2\n");
  EXPECT_EQ(read("self.skv"), QStringLiteral("S1\nS2\n"));
  write("a.skv", "A1\n%INCLUDE 'b.skv'\nA2\n");
  write("b.skv", "B1\n%INCLUDE 'a.skv'\nB2\n");
  EXPECT_EQ(read("a.skv"), QStringLiteral("A1\nB1\nB2\nA2\n"));
  EXPECT_TRUE(readErrors().isEmpty());
}

TEST_F(DocumentReaderTest, MissingIncludeIsReportedOnceAndReadingGoesOn) {
  write("main.skv", "M1\n%INCLUDE 'gone.skv'\nM2\n");
  EXPECT_EQ(read("main.skv"), QStringLiteral("M1\nM2\n"));
  const QStringList errors = readErrors();
  ASSERT_EQ(errors.size(), 1);
  // The include is named, with the file that includes it; the rest of the document reads on.
  EXPECT_TRUE(errors[0].contains(QStringLiteral("Could not open the include\r\n\r\n") +
                                 folder.path() +
                                 QStringLiteral("/gone.skv\r\n\r\nappears to no longer exist!")));
  EXPECT_TRUE(errors[0].contains(QStringLiteral("It is included by ") + folder.path() +
                                 QStringLiteral("/main.skv.")));
  EXPECT_FALSE(errors[0].contains(QStringLiteral("Could not open Skivet!")));
  EXPECT_TRUE(read("nothing.skv").isEmpty());
}

TEST_F(DocumentReaderTest, IncludesResolveAgainstTheStartedDocumentsFolder) {
  write("main.skv", "%INCLUDE 'sub/inner.skv'\n");
  write("sub/inner.skv", "%INCLUDE 'leaf.skv'\n");
  write("leaf.skv", "TOP LEAF\n");
  write("sub/leaf.skv", "SUB LEAF\n");
  EXPECT_EQ(read("main.skv"), QStringLiteral("TOP LEAF\n"));
}

TEST_F(DocumentReaderTest, BackslashesAndLetterCaseOfWindowsAuthors) {
  write("Parts/Common.skv", "COMMON\n");
  write("main.skv", "%INCLUDE 'parts\\common.skv'\n");
  EXPECT_EQ(read("main.skv"), QStringLiteral("COMMON\n"));
}

TEST_F(DocumentReaderTest, TextEncodings) {
  write("utf8.skv", "TITLE 'Caf\xc3\xa9 \xe2\x82\xac'\n");
  write("cp1252.skv", "TITLE 'Caf\xe9 \x80'\n");
  EXPECT_EQ(read("utf8.skv"), QString::fromUtf8("TITLE 'Caf\xc3\xa9 \xe2\x82\xac'\n"));
  EXPECT_EQ(read("cp1252.skv"), QString::fromUtf8("TITLE 'Caf\xc3\xa9 \xe2\x82\xac'\n"));
  // The same far into a long ASCII text, where the file is read in pieces; a byte order mark
  // counts only at the start of the file.
  const QByteArray head(70000, 'a');
  const QString headText(70000, u'a');
  const struct {
    const char *name;
    QByteArray content;
    QString expected;
  } cases[] = {
      {"utf8", head + "\n\xc3\xa9\n", headText + QString::fromUtf8("\n\xc3\xa9\n")},
      {"cp1252", head + "\n\xe9\x80\n", headText + QString::fromUtf8("\n\xc3\xa9\xe2\x82\xac\n")},
      {"mark at the start", "\xef\xbb\xbf" + head + "\n", headText + u'\n'},
      {"mark within", head.left(65536) + "\xef\xbb\xbf\n",
       QString(65536, u'a') + QChar(0xfeff) + u'\n'},
  };
  for (const auto &c : cases) {
    write(QStringLiteral("long.skv"), c.content);
    EXPECT_EQ(read(QStringLiteral("long.skv")), c.expected) << c.name;
  }
}

TEST_F(DocumentReaderTest, IncludeBombEndsWithAMessage) {
  // Each level includes the next one four times: 4^10 copies of the last line.
  for (int level = 0; level < 10; ++level) {
    const QByteArray next = "%INCLUDE 'level" + QByteArray::number(level + 1) + ".skv'\n";
    write(QStringLiteral("level%1.skv").arg(level), next + next + next + next);
  }
  write(QStringLiteral("level10.skv"), "TITLE 'boom'\n");
  reader.setMaxCharacters(1024 * 1024);
  reader.setMaxIncludes(1000 * 1000);
  EXPECT_TRUE(read("level0.skv").isEmpty());
  const QStringList errors = readErrors();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(QStringLiteral("larger than the bound of 1 MiB")))
      << errors[0].toStdString();
  // The reader is usable again afterwards.
  write("small.skv", "OK\n");
  EXPECT_EQ(read("small.skv"), QStringLiteral("OK\n"));
}

TEST_F(DocumentReaderTest, OnlyRegularFilesAreRead) {
  const QString fifo = folder.filePath(QStringLiteral("fifo.skv"));
  ASSERT_EQ(::mkfifo(qPrintable(fifo), 0600), 0);
  QDir().mkpath(folder.filePath(QStringLiteral("folder.skv")));
  const QString names[] = {fifo, QStringLiteral("/dev/null"),
                           folder.filePath(QStringLiteral("folder.skv")),
                           QStringLiteral("/dev/zero")};
  for (const QString &name : names) {
    windows.log.clear();
    const FifoUnblocker unblocker(fifo);
    QElapsedTimer clock;
    clock.start();
    write("main.skv", "M1\n%INCLUDE '" + name.toUtf8() + "'\nM2\n");
    EXPECT_EQ(read("main.skv"), QStringLiteral("M1\nM2\n")) << name.toStdString();
    // Read as the document itself, too.
    EXPECT_EQ(reader.readDocument(name), QString()) << name.toStdString();
    EXPECT_LT(clock.elapsed(), 1000) << name.toStdString();
    const QStringList errors = readErrors();
    ASSERT_EQ(errors.size(), 2) << name.toStdString();
    for (const QString &error : errors) {
      EXPECT_TRUE(error.contains(name + QStringLiteral("\r\n\r\nis not a regular file")))
          << error.toStdString();
    }
  }
}

// A text without directive lines is passed on whole; the line walk that a source map needs must
// give the same text, and the bound must count each line with a two-character break either way.
TEST_F(DocumentReaderTest, TextsWithoutDirectivesReadAsTheLineWalkReadsThem) {
  const struct {
    const char *name;
    QByteArray content;
    QString expected; // "" when refused by the bound
    qsizetype bound = 1000;
  } cases[] = {
      {"crlf", "A\r\nB", QStringLiteral("A\nB\n")},
      {"blank lines", "\r\n\r\nA\r\n\r\n\rB\r\n", QStringLiteral("\nA\nB\n")},
      {"percent inside lines", "A 100%\n# %INCLUDE 'x'\nTITLE \"%INCLUDE\"\n",
       QStringLiteral("A 100%\n# %INCLUDE 'x'\nTITLE \"%INCLUDE\"\n")},
      {"tabs and blanks", "\tTAB\n  x%\t\n", QStringLiteral("\tTAB\n  x%\t\n")},
      {"empty", "", QString()},
      {"at the bound", "xxxxxxxx\nxxxxxxxx\n", QStringLiteral("xxxxxxxx\nxxxxxxxx\n"), 20},
      {"past the bound", "xxxxxxxxx\nxxxxxxxx\n", QString(), 20},
      // Short lines: the characters alone fit, the breaks carry the text past the bound.
      {"short lines past the bound", "a\na\na\na\na\na\n", QString(), 15},
      {"short lines within the bound", "a\na\n", QStringLiteral("a\na\n"), 8},
  };
  for (const auto &c : cases) {
    reader.setMaxCharacters(c.bound);
    write(QStringLiteral("plain.skv"), c.content);
    EXPECT_EQ(read(QStringLiteral("plain.skv")), c.expected) << c.name;
    SourceMap map;
    DocumentReader walking{cache, interpreter.evaluator(), windows};
    walking.setMaxCharacters(c.bound);
    walking.setSourceMap(&map);
    EXPECT_EQ(walking.readDocument(folder.path() + QStringLiteral("/plain.skv")), c.expected)
        << c.name;
  }
}

TEST_F(DocumentReaderTest, BytesReadCountAgainstTheBound) {
  reader.setMaxCharacters(1000);
  write("big.skv", QByteArray(1001, 'x'));
  write("fits.skv", QByteArray(998, 'x'));
  write("main.skv", "%INCLUDE 'big.skv'\nM\n");
  EXPECT_EQ(read("main.skv"), QStringLiteral("M\n"));
  EXPECT_EQ(read("fits.skv"), QString(998, u'x') + QStringLiteral("\n"));
  const QStringList errors = readErrors();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(QStringLiteral("big.skv\r\n\r\nis larger than the bound of 1000 "
                                                "bytes")))
      << errors[0].toStdString();
}

TEST_F(DocumentReaderTest, IncludeFanOutEndsAtTheBoundOnIncludes) {
  // 2^15 includes in all, each of an empty file: only the bound on includes can stop it.
  for (const QByteArray &leaf : {QByteArray(), QByteArray("TITLE 'leaf'\n")}) {
    windows.log.clear();
    writeFanOut(14, leaf);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(read("fan0.skv"), QString());
    EXPECT_LT(clock.elapsed(), 2000);
    const QStringList errors = readErrors();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("/fan0.skv\r\n\r\nhas includes beyond the "
                                                  "bound of 10000 includes.")))
        << errors[0].toStdString();
  }
  // A document that includes the same part a few times is ordinary.
  writeFanOut(3, "LEAF\n");
  EXPECT_EQ(read("fan0.skv"), QStringLiteral("LEAF\n").repeated(8));
}

TEST_F(DocumentReaderTest, PercentLinesCountTowardTheSize) {
  reader.setMaxCharacters(10000);
  write("main.skv", QByteArray("%VERSION 2\n").repeated(1000) + "TITLE 'x'\n");
  EXPECT_EQ(read("main.skv"), QString());
  const QStringList errors = readErrors();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(QStringLiteral("larger than the bound of 10000 bytes")))
      << errors[0].toStdString();
}

class RemoteDocumentTest : public DocumentReaderTest {
protected:
  static void SetUpTestSuite() {
    s_http = new LoopbackServer(LoopbackServer::Kind::Http);
    ASSERT_TRUE(s_http->start());
  }
  static void TearDownTestSuite() { delete s_http; }
  void SetUp() override {
    cache.transfer().setLimits(quickLimits());
    cache.setBaseFolder(s_http->url(QStringLiteral("/")));
    s_http->clearLog();
  }
  static LoopbackServer *s_http;
};

LoopbackServer *RemoteDocumentTest::s_http = nullptr;

TEST_F(RemoteDocumentTest, EachFileIsFetchedOncePerDocument) {
  writeFanOut(6, "LEAF\n", s_http);
  EXPECT_EQ(reader.readDocument(s_http->url(QStringLiteral("/fan0.skv"))),
            QStringLiteral("LEAF\n").repeated(64));
  QStringList expected;
  for (int level = 0; level <= 6; ++level)
    expected << QStringLiteral("GET /fan%1.skv").arg(level);
  EXPECT_EQ(s_http->requests(), expected);
  // The next document reads afresh.
  s_http->clearLog();
  reader.readDocument(s_http->url(QStringLiteral("/fan5.skv")));
  EXPECT_EQ(s_http->requests(), expected.mid(5));
}

TEST_F(RemoteDocumentTest, ARemoteDocumentIncludesOnlyRemoteLocations) {
  const QString secret = write("secret.txt", "\"token\"\n");
  s_http->writeFile(QStringLiteral("part.skv"), "PART\n");
  const QString refused[] = {secret, QStringLiteral("file://") + secret,
                             QStringLiteral("file:") + secret, QStringLiteral("C:\\secret.txt")};
  for (const QString &include : refused) {
    windows.log.clear();
    s_http->writeFile(QStringLiteral("e.skv"),
                      "E1\n%INCLUDE '" + include.toUtf8() + "'\n%INCLUDE 'part.skv'\nE2\n");
    EXPECT_EQ(reader.readDocument(s_http->url(QStringLiteral("/e.skv"))),
              QStringLiteral("E1\nPART\nE2\n"))
        << include.toStdString();
    const QStringList errors = readErrors();
    ASSERT_EQ(errors.size(), 1) << include.toStdString();
    EXPECT_TRUE(errors[0].contains(QStringLiteral("was not included: a Skivet from the network "
                                                  "may include only network locations.")))
        << errors[0].toStdString();
  }
  // A local document that includes a remote part: that part is from the network too, and its
  // relative include resolves to a local file.
  windows.log.clear();
  cache.setBaseFolder(folder.path() + u'/');
  s_http->writeFile(QStringLiteral("remote-part.skv"), "R\n%INCLUDE 'secret.txt'\n");
  write("local.skv", "%INCLUDE 'secret.txt'\n%INCLUDE '" +
                         s_http->url(QStringLiteral("/remote-part.skv")).toUtf8() + "'\n");
  EXPECT_EQ(read("local.skv"), QStringLiteral("\"token\"\nR\n"));
  EXPECT_EQ(readErrors().size(), 1);
}

TEST_F(RemoteDocumentTest, MessagesNameTheCause) {
  const QString gone = QStringLiteral("appears to no longer exist!");
  s_http->writeFile(QStringLiteral("big.skv"), QByteArray(100 * 1024, 'x'));
  s_http->writeFile(QStringLiteral("ok.skv"), "OK\n");
  const RefusedPort refused;
  const struct {
    QString location;
    QString cause;
  } cases[] = {
      {folder.filePath(QStringLiteral("missing.skv")), gone},
      {s_http->url(QStringLiteral("/missing.skv")), gone},
      {s_http->url(QStringLiteral("/ok.skv?status=410")), gone},
      {s_http->url(QStringLiteral("/ok.skv?status=500")),
       QStringLiteral("could not be read. The server answered with status 500.")},
      {s_http->url(QStringLiteral("/big.skv")),
       QStringLiteral("could not be read. The response is larger than 65536 bytes.")},
      {s_http->url(QStringLiteral("/ok.skv?stall=body")),
       QStringLiteral("could not be read. The server sent nothing for 300 ms.")},
      {QStringLiteral("http://127.0.0.1:%1/x.skv").arg(refused.port()),
       QStringLiteral("could not be reached, and no copy of it is kept.")},
  };
  for (const auto &c : cases) {
    windows.log.clear();
    EXPECT_EQ(reader.readDocument(c.location), QString()) << c.location.toStdString();
    const QStringList errors = readErrors();
    ASSERT_EQ(errors.size(), 1) << c.location.toStdString();
    EXPECT_TRUE(errors[0].contains(QStringLiteral("Could not open Skivet!\r\n\r\n") + c.location +
                                   QStringLiteral("\r\n\r\n") + c.cause))
        << errors[0].toStdString();
    EXPECT_EQ(errors[0].contains(gone), c.cause == gone) << errors[0].toStdString();
  }
}
