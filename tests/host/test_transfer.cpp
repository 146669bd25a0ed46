// Transfers against loopback HTTP and FTP servers: results, failures as values, nesting.
#include "curlapi.h"
#include "loopbackserver.h"
#include "transfer.h"

#include <QTimer>

#include <gtest/gtest.h>

using namespace nuv;
using nuv::test::LoopbackServer;
using nuv::test::RefusedPort;

namespace {

const QByteArray helloBody = "hello, transfer\n";
const QString stamp = QStringLiteral("Mon, 01 Jan 2024 10:00:00 GMT");

class TransferTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_http = new LoopbackServer(LoopbackServer::Kind::Http);
    s_ftp = new LoopbackServer(LoopbackServer::Kind::Ftp);
    ASSERT_TRUE(s_http->start());
    ASSERT_TRUE(s_ftp->start());
    s_http->writeFile(QStringLiteral("hello.txt"), helloBody);
    s_http->writeFile(QStringLiteral("big.bin"), QByteArray(100 * 1024, 'x'));
    s_http->writeFile(QStringLiteral("drip.bin"), QByteArray(32 * 1024, 'd'));
    s_http->setControl(QStringLiteral("/hello.txt"), {{"last_modified", stamp}});
    s_ftp->writeFile(QStringLiteral("dir/file.bin"), QByteArray("ftp bytes\0\x01\x02", 12));
  }
  static void TearDownTestSuite() {
    delete s_http;
    delete s_ftp;
  }
  void SetUp() override { m_transfer.setLimits(nuv::test::quickLimits()); }

  static LoopbackServer *s_http;
  static LoopbackServer *s_ftp;
  Transfer m_transfer;
};

LoopbackServer *TransferTest::s_http = nullptr;
LoopbackServer *TransferTest::s_ftp = nullptr;

TEST_F(TransferTest, FetchGivesBodyStatusAndHeaders) {
  const TransferResult result = m_transfer.fetchBytes(s_http->url("/hello.txt"));
  ASSERT_EQ(result.outcome, TransferOutcome::Complete) << result.error.toStdString();
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.status, 200);
  EXPECT_EQ(result.body, helloBody);
  EXPECT_TRUE(result.headers.startsWith("HTTP/1.1 200"));
  EXPECT_EQ(result.header(u"LAST-modified"), stamp);
  EXPECT_FALSE(m_transfer.isBusy());
}

TEST_F(TransferTest, FetchTextDecodesBody) {
  QString text;
  const TransferResult result = m_transfer.fetchText(s_http->url("/hello.txt"), text);
  EXPECT_EQ(result.outcome, TransferOutcome::Complete);
  EXPECT_EQ(text, QString::fromLatin1(helloBody));
}

TEST_F(TransferTest, HeadAsksWithoutBody) {
  s_http->clearLog();
  const TransferResult result = m_transfer.head(s_http->url("/hello.txt"));
  ASSERT_EQ(result.outcome, TransferOutcome::Complete);
  EXPECT_TRUE(result.body.isEmpty());
  EXPECT_EQ(result.header(u"last-modified"), stamp);
  EXPECT_EQ(s_http->requestsFor("/hello.txt"), QStringList{"HEAD"});
}

TEST_F(TransferTest, StatusIsThatOfTheFinalResponse) {
  const struct {
    const char *path;
    int status;
    bool succeeded;
  } cases[] = {
      {"/missing.txt", 404, false},
      {"/hello.txt?status=500", 500, false},
      {"/hello.txt?status=204", 204, true},
      {"/hello.txt?status=299", 299, true},
      {"/hello.txt?status=300", 300, false},
      {"/a?redirect=/hello.txt", 200, true},
      {"/b?redirect=/missing.txt", 404, false},
  };
  for (const auto &c : cases) {
    const TransferResult result = m_transfer.fetchBytes(s_http->url(c.path));
    EXPECT_EQ(result.outcome, TransferOutcome::Complete) << c.path;
    EXPECT_EQ(result.status, c.status) << c.path;
    EXPECT_EQ(result.succeeded(), c.succeeded) << c.path;
    EXPECT_TRUE(result.headers.startsWith("HTTP/1.1 " + QByteArray::number(c.status))) << c.path;
  }
}

TEST_F(TransferTest, RedirectGivesTargetBody) {
  const TransferResult result = m_transfer.fetchBytes(s_http->url("/c?redirect=/hello.txt"));
  EXPECT_EQ(result.body, helloBody);
}

TEST_F(TransferTest, BrokenResponsesAreErrorsNotOffline) {
  const struct {
    const char *path;
    const char *errorPart;
  } cases[] = {
      {"/hello.txt?truncate=4", ""},
      {"/s1?stall=head", "sent nothing"},
      {"/s2?stall=body", "sent nothing"},
      {"/big.bin", "larger than"},
      {"/big.bin?nolength=1", "larger than"},
      // Each byte comes well within the stall timeout; too few come in a whole window.
      {"/drip.bin?drip=0.05", "The server sent less than 1 KiB in 1 s."},
  };
  for (const auto &c : cases) {
    const TransferResult result = m_transfer.fetchBytes(s_http->url(c.path));
    EXPECT_EQ(result.outcome, TransferOutcome::Failed) << c.path;
    EXPECT_FALSE(result.succeeded()) << c.path;
    EXPECT_TRUE(result.body.isEmpty()) << c.path;
    EXPECT_FALSE(result.error.isEmpty()) << c.path;
    EXPECT_TRUE(result.error.contains(QLatin1String(c.errorPart))) << result.error.toStdString();
  }
}

TEST_F(TransferTest, DeadlineEndsRequestsWhateverTheyWaitFor) {
  const struct {
    const char *path;
    int deadlineMs;
  } cases[] = {
      {"/hello.txt?hold=never", 300}, // connected, the answer held back
      {"/drip.bin?drip=0.001", 300},  // bytes flowing all the while
      {"/hello.txt", 0},              // already passed: nothing more is fetched
  };
  for (const auto &c : cases) {
    TransferLimits limits = m_transfer.limits();
    limits.stallTimeoutMs = 5000;
    limits.deadline = QDeadlineTimer(c.deadlineMs);
    limits.deadlineCause = QStringLiteral("Past the test's bound.");
    m_transfer.setLimits(limits);
    const TransferResult result = m_transfer.fetchBytes(s_http->url(c.path));
    EXPECT_EQ(result.outcome, TransferOutcome::Failed) << c.path;
    EXPECT_EQ(result.error.toStdString(), limits.deadlineCause.toStdString()) << c.path;
    EXPECT_TRUE(result.body.isEmpty()) << c.path;
  }
}

// The library's multi_add_handle, replaced for one scope: a refusal, or a handle taken and never
// run, cannot be had from the real library on demand.
class AddHandleStandIn {
public:
  using Add = decltype(CurlApi::multi_add_handle);
  explicit AddHandleStandIn(Add add) : m_saved(table().multi_add_handle) {
    table().multi_add_handle = add;
  }
  ~AddHandleStandIn() { table().multi_add_handle = m_saved; }
  AddHandleStandIn(const AddHandleStandIn &) = delete;
  AddHandleStandIn &operator=(const AddHandleStandIn &) = delete;

private:
  static CurlApi &table() {
    EXPECT_NE(loadCurl().api, nullptr);
    return const_cast<CurlApi &>(curl());
  }
  Add m_saved;
};

CURLMcode refuseHandle(CURLM *, CURL *) {
  return CURLM_OUT_OF_MEMORY;
}
CURLMcode dropHandle(CURLM *, CURL *) {
  return CURLM_OK;
}

TEST_F(TransferTest, RequestsTheLibraryNeverRunsStillEnd) {
  const QString guard = QStringLiteral("Still running at the test's guard.");
  const struct {
    const char *name;
    AddHandleStandIn::Add add;
    int connectTimeoutMs;
    int deadlineMs; // the guard, unless a start-up bound is the point
    TransferOutcome outcome;
    QString error;
  } cases[] = {
      {"refused", &refuseHandle, 2000, 20000, TransferOutcome::Failed,
       QStringLiteral("The transfer library refused the request (libcurl error 3).")},
      {"never connects", &dropHandle, 300, 20000, TransferOutcome::Offline,
       QStringLiteral("No connection was made within 300 ms.")},
      {"never connects, start-up bound", &dropHandle, 60000, 300, TransferOutcome::Failed, guard},
  };
  for (const auto &c : cases) {
    const AddHandleStandIn standIn(c.add);
    TransferLimits limits = m_transfer.limits();
    limits.connectTimeoutMs = c.connectTimeoutMs;
    limits.deadline = QDeadlineTimer(c.deadlineMs);
    limits.deadlineCause = guard;
    m_transfer.setLimits(limits);
    const TransferResult result = m_transfer.fetchBytes(s_http->url("/hello.txt"));
    EXPECT_EQ(result.outcome, c.outcome) << c.name;
    EXPECT_EQ(result.error.toStdString(), c.error.toStdString()) << c.name;
    EXPECT_FALSE(m_transfer.isBusy()) << c.name;
  }
  // The channel works again once the library takes requests.
  m_transfer.setLimits(nuv::test::quickLimits());
  EXPECT_EQ(m_transfer.fetchBytes(s_http->url("/hello.txt")).body, helloBody);
}

TEST_F(TransferTest, LargerLimitAcceptsBigBody) {
  TransferLimits limits = m_transfer.limits();
  limits.maxBodyBytes = 200 * 1024;
  m_transfer.setLimits(limits);
  EXPECT_EQ(m_transfer.fetchBytes(s_http->url("/big.bin")).body.size(), 100 * 1024);
}

TEST_F(TransferTest, UnreachableServerCountsAsOffline) {
  const RefusedPort refused;
  const QString cases[] = {
      QStringLiteral("http://127.0.0.1:%1/x.png").arg(refused.port()),
      QStringLiteral("https://127.0.0.1:%1/x.png").arg(refused.port()),
      QStringLiteral("ftp://127.0.0.1:%1/x.png").arg(refused.port()),
      QStringLiteral("http://no-such-host.invalid/x.png"),
  };
  for (const QString &url : cases) {
    const TransferResult result = m_transfer.fetchBytes(url);
    EXPECT_EQ(result.outcome, TransferOutcome::Offline) << url.toStdString();
    EXPECT_EQ(result.status, 0) << url.toStdString();
  }
}

TEST_F(TransferTest, OtherSchemesAreRefused) {
  const TransferResult result = m_transfer.fetchBytes(QStringLiteral("file:///etc/hostname"));
  EXPECT_NE(result.outcome, TransferOutcome::Complete);
  EXPECT_TRUE(result.body.isEmpty());
}

TEST_F(TransferTest, RedirectToLocalFileIsRefused) {
  const TransferResult result =
      m_transfer.fetchBytes(s_http->url("/d?redirect=file:///etc/hostname"));
  EXPECT_FALSE(result.succeeded());
  EXPECT_TRUE(result.body.isEmpty());
}

TEST_F(TransferTest, FtpFetchAndHead) {
  const TransferResult result = m_transfer.fetchBytes(s_ftp->url("/dir/file.bin"));
  ASSERT_EQ(result.outcome, TransferOutcome::Complete) << result.error.toStdString();
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.body, QByteArray("ftp bytes\0\x01\x02", 12));

  const TransferResult head = m_transfer.head(s_ftp->url("/dir/file.bin"));
  ASSERT_EQ(head.outcome, TransferOutcome::Complete) << head.error.toStdString();
  EXPECT_TRUE(head.succeeded());
  EXPECT_TRUE(head.header(u"last-modified").endsWith(" GMT"));
  EXPECT_EQ(s_ftp->requestsFor("/dir/file.bin"), QStringList{"RETR"});
}

TEST_F(TransferTest, FtpMissingFileFails) {
  const TransferResult result = m_transfer.fetchBytes(s_ftp->url("/dir/none.bin"));
  EXPECT_EQ(result.outcome, TransferOutcome::Failed);
}

TEST_F(TransferTest, ConnectionIsReusedForTheSameServer) {
  s_http->clearLog();
  m_transfer.fetchBytes(s_http->url("/hello.txt"));
  m_transfer.head(s_http->url("/hello.txt"));
  m_transfer.fetchBytes(s_http->url("/hello.txt"));
  const QStringList ports = s_http->clientPortsFor("/hello.txt");
  ASSERT_EQ(ports.size(), 3);
  EXPECT_EQ(ports.count(ports.first()), 3);
}

TEST_F(TransferTest, EventsRunWhileBusyAndNestedFetchWaitsItsTurn) {
  s_http->clearLog();
  const QString outerPath = QStringLiteral("/hello.txt?hold=outer");
  const QString innerPath = QStringLiteral("/hello.txt?inner=1");
  // Fires on every yield until it finds the outer fetch running, then fetches from inside it.
  // The server holds the outer answer until the nested fetch is waiting, so no margin of time
  // decides what the test sees.
  QTimer timer;
  TransferResult inner;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!m_transfer.isBusy()) return;
    timer.stop();
    QTimer::singleShot(0, [] { s_http->release(QStringLiteral("outer")); });
    inner = m_transfer.fetchBytes(s_http->url(innerPath));
  });
  timer.start(0);
  const TransferResult outer = m_transfer.fetchBytes(s_http->url(outerPath));
  EXPECT_FALSE(timer.isActive());
  EXPECT_TRUE(outer.succeeded());
  EXPECT_EQ(outer.body, helloBody);
  EXPECT_TRUE(inner.succeeded());
  EXPECT_EQ(inner.body, helloBody);
  EXPECT_EQ(s_http->requests(), (QStringList{"GET " + outerPath, "GET " + innerPath}));
  // One connection for both: the nested request went out only once the outer one had ended.
  EXPECT_EQ(s_http->clientPortsFor(outerPath), s_http->clientPortsFor(innerPath));
  EXPECT_FALSE(m_transfer.isBusy());
}

// More requests than one server takes at once, so some run and some wait their turn: a cancel
// ends both kinds, and a follow-up asked for from a done() too, while the server still holds
// every answer. The next request runs as usual.
TEST_F(TransferTest, CancelEndsRunningAndQueuedRequestsAndLaterOnesRun) {
  const QString cause = QStringLiteral("Given up.");
  const int requests = maxConnectionsPerHost + 2;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!m_transfer.isBusy()) return;
    timer.stop();
    m_transfer.cancelWaits(cause);
  });
  timer.start(0);
  TransferGroup group(m_transfer);
  QStringList errors;
  bool followedUp = false;
  for (int n = 0; n < requests; ++n) {
    group.add(s_http->url(QStringLiteral("/hello.txt?hold=never&n=%1").arg(n)), false,
              [&](TransferResult &&result) {
                errors << result.error;
                if (followedUp) return;
                followedUp = true;
                group.add(s_http->url(QStringLiteral("/hello.txt?hold=never&follow=1")), false,
                          [&](TransferResult &&followUp) { errors << followUp.error; });
              });
  }
  group.wait();
  EXPECT_EQ(errors, QStringList(QList<QString>(requests + 1, cause)));
  EXPECT_FALSE(m_transfer.isBusy());
  EXPECT_TRUE(m_transfer.fetchBytes(s_http->url(QStringLiteral("/hello.txt"))).succeeded());
}

TEST_F(TransferTest, WaitWhileBusyReturnsWhenIdle) {
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  m_transfer.waitWhileBusy();
  EXPECT_TRUE(ran);
  EXPECT_FALSE(m_transfer.isBusy());
}

TEST(DecodeText, Utf8OrWindows1252) {
  const struct {
    QByteArray bytes;
    QString text;
  } cases[] = {
      {"plain", QStringLiteral("plain")},
      {"caf\xc3\xa9", QStringLiteral("café")},
      {"caf\xe9", QStringLiteral("café")},
      {"\x80 \x93q\x94", QStringLiteral("€ “q”")},
      {"", QString()},
      // One byte past ASCII far into a long text still decides the encoding.
      {QByteArray(100, 'a') + "\xc3\xa9", QString(100, u'a') + QStringLiteral("é")},
      {QByteArray(100, 'a') + "\xe9", QString(100, u'a') + QStringLiteral("é")},
      {QByteArray("a\0\x7f", 3), QString::fromLatin1("a\0\x7f", 3)},
  };
  for (const auto &c : cases)
    EXPECT_EQ(decodeText(c.bytes), c.text) << c.bytes.toStdString();
}

TEST(TransferLimits, EnvironmentOverridesDefaults) {
  const struct {
    const char *name;
    const char *value;
    qint64 (*read)(const TransferLimits &);
    qint64 expected;
  } cases[] = {
      {"NUV_STALL_TIMEOUT_MS", "1234",
       [](const TransferLimits &l) -> qint64 { return l.stallTimeoutMs; }, 1234},
      {"NUV_CONNECT_TIMEOUT_MS", "nonsense",
       [](const TransferLimits &l) -> qint64 { return l.connectTimeoutMs; },
       TransferLimits{}.connectTimeoutMs},
      {"NUV_MIN_PROGRESS_BYTES", "10",
       [](const TransferLimits &l) -> qint64 { return l.minProgressBytes; }, 10},
      {"NUV_PROGRESS_WINDOW_MS", "700",
       [](const TransferLimits &l) -> qint64 { return l.progressWindowMs; }, 700},
      {"NUV_STARTUP_TIMEOUT_MS", "1500",
       [](const TransferLimits &l) -> qint64 { return l.startupTimeoutMs; }, 1500},
      // Past the ceilings: clamped, so sums and conversions of them still fit.
      {"NUV_MAX_BODY_BYTES", "9223372036854775807",
       [](const TransferLimits &l) -> qint64 { return l.maxBodyBytes; },
       qint64(4) * 1024 * 1024 * 1024},
      {"NUV_TOTAL_TIMEOUT_MS", "99999999999",
       [](const TransferLimits &l) -> qint64 { return l.totalTimeoutMs; }, 24 * 60 * 60 * 1000},
  };
  for (const auto &c : cases)
    qputenv(c.name, c.value);
  const TransferLimits limits = TransferLimits::fromEnvironment();
  for (const auto &c : cases) {
    qunsetenv(c.name);
    EXPECT_EQ(c.read(limits), c.expected) << c.name;
  }
}

} // namespace
