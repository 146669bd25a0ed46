// Start-up from a remote location file, against a loopback server.
#include "../support/fakewindowsystem.h"
#include "cache.h"
#include "hostresources.h"
#include "interpreter.h"
#include "loopbackserver.h"
#include "startup.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

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
  }
}

TEST_F(StartupTest, OnlyAFetchThatCouldNotConnectMeansOffline) {
  const RefusedPort refused;
  const struct {
    QString address;
    QString message;
  } cases[] = {
      {QStringLiteral("http://127.0.0.1:%1/app.nuv").arg(refused.port()),
       "message Connection Error|You are not connected to the internet."},
      {s_http->url("/missing.nuv"), "message Connection Error|Could not open " +
                                        s_http->url("/missing.nuv") + "\r\n\r\nCode: 404"},
      {s_http->url("/cut.nuv?truncate=2"), "message Connection Error|Could not open "},
      // Cut off by the size bound, not answered with an error: the bound is the cause.
      {s_http->url("/huge.nuv"), "message Connection Error|Could not open " +
                                     s_http->url("/huge.nuv") +
                                     "\r\n\r\nThe response is larger than 65536 bytes."},
  };
  s_http->writeFile(QStringLiteral("cut.nuv"), "\"doc.skv\"");
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

} // namespace
