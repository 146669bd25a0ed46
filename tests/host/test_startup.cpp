// Start-up from a remote location file, against a loopback server.
#include "../support/fakewindowsystem.h"
#include "cache.h"
#include "hostresources.h"
#include "interpreter.h"
#include "loopbackserver.h"
#include "startup.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace nuv;
using namespace nuv::test;

namespace {

class StartupTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_http = new LoopbackServer(LoopbackServer::Kind::Http);
    ASSERT_TRUE(s_http->start());
    s_http->writeFile(QStringLiteral("doc.skv"), "TITLE \"From doc\"\r\n");
    s_http->writeFile(QStringLiteral("sub/doc.skv"), "TITLE \"From sub\"\r\n");
  }
  static void TearDownTestSuite() { delete s_http; }
  void SetUp() override {
    cache.transfer().setLimits(quickLimits());
    s_http->clearLog();
  }

  static LoopbackServer *s_http;
  QTemporaryDir cacheFolder;
  Cache cache{cacheFolder.path() + QStringLiteral("/")};
};

LoopbackServer *StartupTest::s_http = nullptr;

TEST_F(StartupTest, RemoteLocationFileGivesTheDocument) {
  const struct {
    QByteArray body;
    QString document;
    QString title;
  } cases[] = {
      // Written like a local location file: its first field.
      {"\"doc.skv\"", "/doc.skv", "title From doc"},
      {"\"doc.skv\", 10, 20\r\nmore\r\n", "/doc.skv", "title From doc"},
      {"  \"sub/doc.skv\"\r\n", "/sub/doc.skv", "title From sub"},
      // A bare body is the location as it stands.
      {"doc.skv\r\n", "/doc.skv", "title From doc"},
      {"sub/doc.skv", "/sub/doc.skv", "title From sub"},
      // Only the first line counts, however much follows.
      {"doc.skv\r\nsub/doc.skv\r\n", "/doc.skv", "title From doc"},
      {"doc.skv\n" + QByteArray(60 * 1024, 'x'), "/doc.skv", "title From doc"},
  };
  int n = 0;
  for (const auto &c : cases) {
    const QString name = QStringLiteral("app%1.nuv").arg(++n);
    s_http->writeFile(name, c.body);
    s_http->clearLog();
    FakeWindowSystem windows;
    HostResources resources{cache};
    Interpreter interpreter{windows, resources};
    Startup startup{windows, interpreter, cache};
    EXPECT_TRUE(startup.run({s_http->url(u'/' + name)})) << c.body.toStdString();
    EXPECT_EQ(s_http->requests().join(u", ").toStdString(),
              ("GET /" + name + ", GET " + c.document).toStdString());
    EXPECT_TRUE(windows.log.contains(c.title)) << windows.log.join(u'\n').toStdString();
    // A quick start-up shows no loading window.
    EXPECT_TRUE(windows.calls(QStringLiteral("show loading")).isEmpty());
  }
}

// A refused connection is one server down, not the machine offline: the message names the server.
TEST_F(StartupTest, AFetchThatCouldNotConnectNamesTheServer) {
  const RefusedPort refused;
  const struct {
    QString address;
    QString message;
  } cases[] = {
      {QStringLiteral("http://127.0.0.1:%1/app.nuv").arg(refused.port()),
       QStringLiteral("message Connection Error|Could not open http://127.0.0.1:%1/app.nuv\r\n\r\n"
                      "The server 127.0.0.1:%1 refused the connection")
           .arg(refused.port())},
      {s_http->url("/missing.nuv"), "message Connection Error|Could not open " +
                                        s_http->url("/missing.nuv") + "\r\n\r\nCode: 404"},
      {s_http->url("/cut.nuv?truncate=2"), "message Connection Error|Could not open "},
      // Cut off by the size bound, not answered with an error: the bound is the cause.
      {s_http->url("/huge.nuv"), "message Connection Error|Could not open " +
                                     s_http->url("/huge.nuv") +
                                     "\r\n\r\nThe response is larger than 65536 bytes."},
      // Each byte comes before the stall timeout; too few come in a whole window.
      {s_http->url("/drip.nuv?drip=0.05"), "message Connection Error|Could not open " +
                                               s_http->url("/drip.nuv?drip=0.05") +
                                               "\r\n\r\nThe server sent less than 1 KiB in 1 s."},
  };
  s_http->writeFile(QStringLiteral("cut.nuv"), "\"doc.skv\"");
  s_http->writeFile(QStringLiteral("drip.nuv"), QByteArray(64 * 1024, 'x'));
  s_http->writeFile(QStringLiteral("huge.nuv"), "\"doc.skv\"" + QByteArray(100 * 1024, ' '));
  for (const auto &c : cases) {
    FakeWindowSystem windows;
    HostResources resources{cache};
    Interpreter interpreter{windows, resources};
    Startup startup{windows, interpreter, cache};
    EXPECT_FALSE(startup.run({c.address})) << c.address.toStdString();
    EXPECT_EQ(startup.exitCode(), 1);
    const QStringList messages = windows.calls(QStringLiteral("message "));
    ASSERT_EQ(messages.size(), 1) << c.address.toStdString();
    EXPECT_TRUE(messages[0].startsWith(c.message)) << messages[0].toStdString();
  }
}

TEST_F(StartupTest, OneBoundForAllOfStartupWithTheLoadingWindowMeanwhile) {
  // Each part comes quickly enough for every per-request limit; together they pass the bound.
  QByteArray document = "TITLE \"Bound\"\r\n";
  for (int n = 1; n <= 5; ++n) {
    const QString part = QStringLiteral("part%1.skv").arg(n);
    document += "%INCLUDE \"" + part.toLatin1() + "\"\r\n";
    s_http->writeFile(part, "TITLE \"" + part.toLatin1() + "\"\r\n");
    s_http->setControl(u'/' + part, {{"drip", 0.025}});
  }
  s_http->writeFile(QStringLiteral("bound.skv"), document);
  s_http->writeFile(QStringLiteral("bound.nuv"), "\"bound.skv\"");
  TransferLimits limits = quickLimits();
  limits.startupTimeoutMs = 1500;
  cache.transfer().setLimits(limits);

  FakeWindowSystem windows;
  HostResources resources{cache};
  Interpreter interpreter{windows, resources};
  Startup startup{windows, interpreter, cache};
  const bool ran = startup.run({s_http->url("/bound.nuv")});
  s_http->clearControl();
  EXPECT_FALSE(ran);
  EXPECT_EQ(startup.exitCode(), 1);
  // One message, for the fetch the bound cut; the rest of the parts are never asked for.
  const QStringList messages = windows.calls(QStringLiteral("message "));
  ASSERT_EQ(messages.size(), 1) << windows.log.join(u'\n').toStdString();
  EXPECT_TRUE(messages[0].startsWith("message Read Error|Could not open Skivet!\r\n\r\n" +
                                     s_http->url("/part")))
      << messages[0].toStdString();
  EXPECT_TRUE(messages[0].contains("\r\n\r\ncould not be read. Fetching the Skivet at start-up "
                                   "took longer than the bound of 1500 ms."))
      << messages[0].toStdString();
  // The loading window showed while start-up waited, and went once it stopped waiting.
  const QStringList loading =
      windows.calls(QStringLiteral("show loading")) + windows.calls(QStringLiteral("hide loading"));
  EXPECT_EQ(loading, (QStringList{"show loading |0", "hide loading"}));
  EXPECT_LT(windows.log.indexOf("show loading |0"), windows.log.indexOf(messages[0]));
  // The bound is start-up's alone: later fetches have none.
  EXPECT_TRUE(cache.transfer().limits().deadline.isForever());
}

TEST_F(StartupTest, LocationFileGivesOneLineOfAtMost4KiB) {
  const QString bound = QStringLiteral("Its first line is longer than the bound of 4 KiB.");
  const struct {
    bool remote;
    QByteArray content;
    bool refused;
  } cases[] = {
      {true, QByteArray(4097, 'a'), true},
      {true, "\"" + QByteArray(5000, 'a') + "\"\r\ndoc.skv\r\n", true},
      {true, QByteArray(4096, 'a') + "\r\n", false},
      {false, QByteArray(4097, 'a'), true},
      {false, "\"" + QByteArray(5000, 'a') + "\", 1, 2\r\n", true},
      {false, QByteArray(4096, 'a'), false},
  };
  QTemporaryDir local;
  for (const auto &c : cases) {
    QString location = s_http->url("/long.nuv");
    s_http->writeFile(QStringLiteral("long.nuv"), c.content);
    if (!c.remote) {
      location = local.filePath(QStringLiteral("long.nuv"));
      QFile file(location);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(c.content);
    }
    FakeWindowSystem windows;
    HostResources resources{cache};
    Interpreter interpreter{windows, resources};
    Startup startup{windows, interpreter, cache};
    EXPECT_FALSE(startup.run({location}));
    const QStringList messages = windows.calls(QStringLiteral("message "));
    ASSERT_EQ(messages.size(), 1) << location.toStdString();
    const QString refusal = "message Read Error|Could not read the location file\r\n\r\n" +
                            location + "\r\n\r\n" + bound + "|";
    EXPECT_EQ(messages[0].startsWith(refusal), c.refused) << messages[0].left(200).toStdString();
    // Refused, the line goes nowhere: not into a request, not into the message.
    if (c.refused) {
      EXPECT_LT(messages[0].size(), refusal.size() + 4);
    }
  }
}

TEST_F(StartupTest, LocationFileThatIsNoRegularFileEndsAtOnce) {
  QTemporaryDir local;
  const QString fifo = local.filePath(QStringLiteral("app.nuv"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const FifoUnblocker unblocker(fifo);
  const QString cases[] = {fifo, local.path(), QStringLiteral("/dev/zero")};
  for (const QString &location : cases) {
    FakeWindowSystem windows;
    HostResources resources{cache};
    Interpreter interpreter{windows, resources};
    Startup startup{windows, interpreter, cache};
    EXPECT_FALSE(startup.run({location}));
    EXPECT_EQ(windows.calls(QStringLiteral("message ")),
              QStringList{"message Read Error|Could not read the location file\r\n\r\n" + location +
                          "\r\n\r\nIt is not a regular file: devices, FIFOs and folders are "
                          "never read.|" +
                          QString::number(int(MessageIcon::Critical))});
  }
}

TEST_F(StartupTest, RelativePlacementPastTheRangeSaturates) {
  const struct {
    QStringList options;
    QPoint at;
  } cases[] = {
      {{"-ox:2147483647", "-x:9", "-oy:-2147483648", "-y:-9", "-relative"},
       QPoint(2147483647, -2147483647 - 1)},
      {{"-ox:99999999999", "-x:99999999999", "-relative"}, QPoint(2147483647, unplaced)},
      {{"-x:-99999999999-", "-relative"}, QPoint(2147483647, unplaced)},
  };
  for (const auto &c : cases) {
    FakeWindowSystem windows;
    windows.position = QPoint(unplaced, unplaced);
    HostResources resources{cache};
    Interpreter interpreter{windows, resources};
    Startup startup{windows, interpreter, cache};
    startup.run(QStringList{QStringLiteral("/nowhere/app.nuv")} + c.options);
    EXPECT_EQ(windows.position, c.at) << c.options.join(u' ').toStdString();
  }
}

// What a location file from the network names comes from the network too: a local path there
// would run a local document, with local includes allowed.
TEST_F(StartupTest, ARemoteLocationFileNamesOnlyNetworkLocations) {
  QTemporaryDir local;
  const QString document = local.filePath(QStringLiteral("local.skv"));
  QFile file(document);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("TITLE \"Local\"\r\n");
  file.close();
  const QByteArray bodies[] = {document.toUtf8(), "\"" + document.toUtf8() + "\"",
                               "file://" + document.toUtf8(), "\"C:\\local.skv\""};
  for (const QByteArray &body : bodies) {
    s_http->writeFile(QStringLiteral("local.nuv"), body);
    FakeWindowSystem windows;
    HostResources resources{cache};
    Interpreter interpreter{windows, resources};
    Startup startup{windows, interpreter, cache};
    EXPECT_FALSE(startup.run({s_http->url("/local.nuv")})) << body.toStdString();
    EXPECT_EQ(startup.exitCode(), 1);
    EXPECT_FALSE(windows.log.contains(QStringLiteral("title Local"))) << body.toStdString();
    const QStringList messages = windows.calls(QStringLiteral("message "));
    ASSERT_EQ(messages.size(), 1) << body.toStdString();
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("message Read Error|Could not open Skivet!")))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(
        QStringLiteral("A location file from the network may name only network locations.")))
        << messages[0].toStdString();
  }
}

} // namespace
