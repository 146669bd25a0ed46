// Preloading lists through the cache: every item keeps the cache rules while the requests overlap.
#include "cache.h"
#include "loopbackserver.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace nuv;
using nuv::test::LoopbackServer;
using nuv::test::readAll;
using nuv::test::RefusedPort;
using nuv::test::stampA;
using nuv::test::stampB;
using nuv::test::writeAll;

namespace {

class PreloadTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_http = new LoopbackServer(LoopbackServer::Kind::Http);
    ASSERT_TRUE(s_http->start());
  }
  static void TearDownTestSuite() { delete s_http; }

  std::unique_ptr<Cache> newRun(int level = 1) const {
    auto cache = std::make_unique<Cache>(m_root.path() + QStringLiteral("/cache/"));
    cache->setCacheLevel(level);
    TransferLimits limits = nuv::test::quickLimits();
    limits.stallTimeoutMs = 1000; // delayed answers are slow, not stalled
    cache->transfer().setLimits(limits);
    return cache;
  }
  void seedCopy(const Cache &cache, const QString &location, const QByteArray &body) const {
    writeAll(cache.bodyFileOf(location), body);
    writeAll(cache.headerFileOf(location), fetchHeaderText(stampA, location, body.size()));
  }

  static LoopbackServer *s_http;
  QTemporaryDir m_root;
};

LoopbackServer *PreloadTest::s_http = nullptr;

// One list holds an item in each state the cache knows; each must take the steps it would take
// alone, and end with the copy it would end with alone.
TEST_F(PreloadTest, EachItemOfAListKeepsTheCacheRules) {
  const QByteArray oldPng = nuv::test::pngBytes(2, 2, 0x111111);
  const QByteArray newPng = nuv::test::pngBytes(3, 3, 0x222222);
  const struct {
    const char *name;
    bool seeded;
    QJsonObject control;
    QStringList requests;
    QByteArray cached; // the body file afterwards; empty: no copy at all
    QString line1;     // the header's first line afterwards
    QSize picture;     // in the picture table afterwards; empty: no picture
  } cases[] = {
      {"fresh", false, {{"last_modified", stampB}}, {"GET"}, newPng, QString(), {3, 3}},
      {"same", true, {{"last_modified", stampA}}, {"HEAD"}, oldPng, stampA, {2, 2}},
      {"stale", true, {{"last_modified", stampB}}, {"HEAD", "GET"}, newPng, stampB, {3, 3}},
      {"missing", false, {{"status", 404}}, {"GET"}, {}, {}, {}},
      {"error-over-copy", true, {{"status", 500}}, {"HEAD", "GET"}, oldPng, stampA, {2, 2}},
      {"cut-over-copy",
       true,
       {{"last_modified", stampB}, {"truncate", 10}},
       {"HEAD", "GET"},
       oldPng,
       stampA,
       {2, 2}},
      // The bounds of a single transfer hold for each request of a list.
      {"stalled-over-copy", true, {{"stall", "head"}}, {"HEAD"}, oldPng, stampA, {2, 2}},
      {"oversized", false, {{"body", QString(70 * 1024, u'x')}}, {"GET"}, {}, {}, {}},
  };
  for (const bool pictures : {false, true}) {
    const auto cache = newRun();
    s_http->clearLog();
    QStringList locations;
    for (const auto &c : cases) {
      const QString path = QStringLiteral("/rules-%1-%2.png").arg(c.name).arg(pictures);
      s_http->writeFile(path, newPng);
      s_http->setControl(path, c.control);
      if (c.seeded) seedCopy(*cache, s_http->url(path), oldPng);
      locations << s_http->url(path);
    }
    if (pictures)
      cache->preloadPictures(locations);
    else
      cache->preloadFiles(locations);

    const QStringList requests = s_http->requests();
    for (size_t i = 0; i < std::size(cases); ++i) {
      const auto &c = cases[i];
      const QString location = locations[qsizetype(i)];
      const QString path = QStringLiteral("/rules-%1-%2.png").arg(c.name).arg(pictures);
      SCOPED_TRACE(c.name);
      QStringList methods;
      for (const QString &request : requests)
        if (request.section(u' ', 1) == path) methods << request.section(u' ', 0, 0);
      EXPECT_EQ(methods, c.requests);
      EXPECT_EQ(cache->hasCachedCopy(location), !c.cached.isEmpty());
      if (c.cached.isEmpty()) continue;
      EXPECT_EQ(readAll(cache->bodyFileOf(location)), c.cached);
      EXPECT_EQ(readAll(cache->headerFileOf(location)),
                fetchHeaderText(c.line1, location, c.cached.size()));
      if (!pictures) continue;
      // Already in the table: asking again makes no request.
      s_http->clearLog();
      QString again = location;
      const Picture picture = cache->loadPictureCached(again);
      EXPECT_EQ(picture ? picture->size() : QSize(), c.picture);
      EXPECT_EQ(s_http->requestsFor(path), QStringList());
    }
  }
  // Only complete copies were ever renamed into place: no temporary file is left behind.
  for (const QString &name : QDir(m_root.path() + QStringLiteral("/cache/")).entryList(QDir::Files))
    EXPECT_FALSE(name.contains(QStringLiteral(".tmp"))) << name.toStdString();
}

TEST_F(PreloadTest, CacheLevelsZeroAndTwoAndOfflineHoldPerItem) {
  const QByteArray png = nuv::test::pngBytes(2, 2, 0x333333);
  const RefusedPort refused;
  const QString offlineCopy = QStringLiteral("http://127.0.0.1:%1/copy.png").arg(refused.port());
  const QString offlineNone = QStringLiteral("http://127.0.0.1:%1/none.png").arg(refused.port());
  const QString path = QStringLiteral("/levels.png");
  s_http->writeFile(path, png);
  s_http->setControl(path, {{"last_modified", stampA}});
  const struct {
    int level;
    QStringList requests;
  } cases[] = {{0, {"GET"}}, {2, {}}};
  for (const auto &c : cases) {
    const auto cache = newRun(c.level);
    seedCopy(*cache, s_http->url(path), png);
    seedCopy(*cache, offlineCopy, png);
    s_http->clearLog();
    cache->preloadPictures({s_http->url(path), offlineCopy, offlineNone});
    EXPECT_EQ(s_http->requestsFor(path), c.requests) << c.level;
    QString copy = offlineCopy;
    EXPECT_TRUE(cache->loadPictureCached(copy)) << c.level;
    EXPECT_FALSE(cache->hasCachedCopy(offlineNone)) << c.level;
  }
}

// Eight slow items on one server: six go out at once on their own connections, and the last two
// reuse two of them.
TEST_F(PreloadTest, ItemsOverlapWithAtMostSixConnectionsToAServer) {
  QStringList locations;
  QStringList paths;
  for (int i = 0; i < 8; ++i) {
    const QString path = QStringLiteral("/slow-%1.bin").arg(i);
    s_http->writeFile(path, QByteArray::number(i));
    s_http->setControl(path, {{"delay", 300}});
    paths << path;
    locations << s_http->url(path);
  }
  s_http->clearLog();
  const auto cache = newRun(0);
  cache->preloadFiles(locations);
  QStringList ports;
  for (const QString &path : paths) {
    ports += s_http->clientPortsFor(path);
    QString location = s_http->url(path);
    EXPECT_EQ(readAll(cache->bodyFileOf(location)), QByteArray::number(paths.indexOf(path)));
  }
  ASSERT_EQ(ports.size(), 8);
  ports.removeDuplicates();
  EXPECT_EQ(ports.size(), maxConnectionsPerHost);
}

// An event during a preload starts a second one; it waits for the first list, then runs its own.
TEST_F(PreloadTest, APreloadFromAnEventDuringAPreloadRuns) {
  const auto cache = newRun(0);
  QStringList outer;
  QStringList inner;
  for (int i = 0; i < 3; ++i) {
    const QString outerPath = QStringLiteral("/outer-%1.bin").arg(i);
    const QString innerPath = QStringLiteral("/inner-%1.bin").arg(i);
    s_http->writeFile(outerPath, "outer");
    s_http->writeFile(innerPath, "inner");
    s_http->setControl(outerPath, {{"hold", QStringLiteral("outer%1").arg(i)}});
    s_http->setControl(innerPath, {});
    outer << s_http->url(outerPath);
    inner << s_http->url(innerPath);
  }
  bool innerDone = false;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!cache->transfer().isBusy()) return;
    timer.stop();
    // The outer answers are held until the inner preload is waiting for them.
    QTimer::singleShot(0, [] {
      for (int i = 0; i < 3; ++i)
        s_http->release(QStringLiteral("outer%1").arg(i));
    });
    cache->preloadFiles(inner);
    innerDone = true;
  });
  timer.start(0);
  cache->preloadFiles(outer);
  EXPECT_TRUE(innerDone);
  for (const QString &location : outer + inner)
    EXPECT_TRUE(cache->hasCachedCopy(location)) << location.toStdString();
  EXPECT_FALSE(cache->transfer().isBusy());
}

} // namespace
