// The disk cache and picture table against loopback servers, run by run as the engine would.
#include "../support/scopedenv.h"
#include "cache.h"
#include "locations.h"
#include "loopbackserver.h"
#include "testfiles.h"
#include "text.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <vector>

using namespace nuv;
using nuv::test::LoopbackServer;
using nuv::test::readAll;
using nuv::test::RefusedPort;
using nuv::test::ScopedEnv;
using nuv::test::stampA;
using nuv::test::stampB;
using nuv::test::writeAll;

namespace {

class CacheTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_http = new LoopbackServer(LoopbackServer::Kind::Http);
    s_ftp = new LoopbackServer(LoopbackServer::Kind::Ftp);
    ASSERT_TRUE(s_http->start());
    ASSERT_TRUE(s_ftp->start());
  }
  static void TearDownTestSuite() {
    delete s_http;
    delete s_ftp;
  }

  QString cacheFolder() const { return m_root.path() + QStringLiteral("/cache/"); }
  // A new engine run over the same disk cache: the picture table starts empty.
  std::unique_ptr<Cache> newRun(int level = 1) const {
    auto cache = std::make_unique<Cache>(cacheFolder());
    cache->setCacheLevel(level);
    cache->transfer().setLimits(nuv::test::quickLimits());
    return cache;
  }
  QStringList cacheFiles() const {
    return QDir(cacheFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
  }
  // Puts a copy in the cache as an earlier run would have left it.
  void seedCopy(const Cache &cache, const QString &location, const QByteArray &body) const {
    writeAll(cache.bodyFileOf(location), body);
    writeAll(cache.headerFileOf(location), fetchHeaderText(stampA, location, body.size()));
  }

  static LoopbackServer *s_http;
  static LoopbackServer *s_ftp;
  QTemporaryDir m_root;
};

LoopbackServer *CacheTest::s_http = nullptr;
LoopbackServer *CacheTest::s_ftp = nullptr;

TEST_F(CacheTest, CacheLevelDecidesWhenTheServerIsAsked) {
  const struct {
    int level;
    std::vector<QStringList> runs;
  } cases[] = {
      {1, {{"GET"}, {"HEAD", "GET"}, {"HEAD"}, {"HEAD"}}},
      {7, {{"GET"}, {"HEAD", "GET"}, {"HEAD"}}},
      {2, {{"GET"}, {}, {}}},
      {0, {{"GET"}, {"GET"}, {"GET"}}},
  };
  for (const bool pictures : {true, false}) {
    for (const auto &c : cases) {
      const QString path = QStringLiteral("/level%1-%2.png").arg(c.level).arg(pictures);
      s_http->writeFile(path, nuv::test::pngBytes(3, 2, 0x336699));
      s_http->setControl(path, {{"last_modified", stampA}});
      for (size_t run = 0; run < c.runs.size(); ++run) {
        s_http->clearLog();
        const auto cache = newRun(c.level);
        QString location = s_http->url(path);
        if (pictures) {
          const Picture first = cache->loadPictureCached(location);
          ASSERT_TRUE(first);
          EXPECT_EQ(first->size(), QSize(3, 2));
          EXPECT_EQ(cache->loadPictureCached(location), first);
        } else {
          const QString file = cache->fetchToCache(location);
          EXPECT_EQ(readAll(file), nuv::test::pngBytes(3, 2, 0x336699));
        }
        EXPECT_EQ(s_http->requestsFor(path), c.runs[run])
            << "level " << c.level << " run " << run + 1 << " pictures " << pictures;
      }
    }
  }
}

TEST_F(CacheTest, HeaderRecordsServerValueOfTheSameCall) {
  const QString path = QStringLiteral("/header.bin");
  const QString location = s_http->url(path);
  s_http->writeFile(path, "0123456789");
  s_http->setControl(path, {{"last_modified", stampA}});

  const struct {
    const char *content;
    QString stamp;
    QString expectedLine1;
  } runs[] = {
      {"0123456789", stampA, QString()},
      {"0123456789", stampA, stampA},
      {"changed", stampB, stampB},
  };
  for (const auto &r : runs) {
    s_http->writeFile(path, r.content);
    s_http->setControl(path, {{"last_modified", r.stamp}});
    QString requested = location;
    const QString file = newRun()->fetchToCache(requested);
    EXPECT_EQ(readAll(file), r.content);
    EXPECT_EQ(readAll(newRun()->headerFileOf(location)),
              fetchHeaderText(r.expectedLine1, location, qstrlen(r.content)));
  }
  EXPECT_EQ(readAll(newRun()->headerFileOf(location)),
            stampB.toUtf8() + "\r\n" + location.toUtf8() + "\r\n 6\r\n");
}

TEST_F(CacheTest, OfflineUsesAnyCachedCopy) {
  const RefusedPort refused;
  const QString locations[] = {
      QStringLiteral("http://127.0.0.1:%1/o.png").arg(refused.port()),
      QStringLiteral("https://127.0.0.1:%1/o.png").arg(refused.port()),
      QStringLiteral("ftp://127.0.0.1:%1/o.png").arg(refused.port()),
  };
  const QByteArray png = nuv::test::pngBytes(2, 2, 0xff0000);
  for (const QString &location : locations) {
    QString requested = location;
    EXPECT_EQ(newRun()->fetchToCache(requested), QString()) << location.toStdString();
    EXPECT_FALSE(newRun()->loadPictureCached(requested)) << location.toStdString();

    seedCopy(*newRun(), location, png);
    for (const int level : {0, 1, 2}) {
      const auto cache = newRun(level);
      EXPECT_EQ(readAll(cache->fetchToCache(requested)), png) << location.toStdString();
      EXPECT_TRUE(cache->loadPictureCached(requested)) << location.toStdString();
    }
  }
}

TEST_F(CacheTest, BadResponsesNeverReplaceAGoodCopy) {
  const QByteArray good = "good copy";
  const struct {
    const char *name;
    QJsonObject control;
    QByteArray newContent;
  } cases[] = {
      {"server-error", {{"status", 500}, {"body", "error page"}}, "new"},
      {"not-found", {{"status", 404}}, "new"},
      {"cut-off", {{"truncate", 4}}, "new content"},
      {"stalled", {{"stall", "body"}}, "new"},
      {"oversized", {}, QByteArray(100 * 1024, 'n')},
      {"redirect-to-missing", {{"redirect", "/nothing-here"}}, "new"},
  };
  for (const auto &c : cases) {
    const QString path = QStringLiteral("/fault-%1.bin").arg(c.name);
    const QString location = s_http->url(path);
    s_http->writeFile(path, good);
    s_http->setControl(path, {});
    QString requested = location;
    ASSERT_EQ(readAll(newRun(0)->fetchToCache(requested)), good) << c.name;
    const QByteArray header = readAll(newRun()->headerFileOf(location));

    s_http->writeFile(path, c.newContent);
    s_http->setControl(path, c.control);
    const auto cache = newRun(0);
    EXPECT_EQ(readAll(cache->fetchToCache(requested)), good) << c.name;
    EXPECT_EQ(readAll(cache->headerFileOf(location)), header) << c.name;
  }
  EXPECT_EQ(cacheFiles().size(), 2 * std::size(cases));
}

TEST_F(CacheTest, NewDownloadsReplaceFilesWholeNeverInPlace) {
  // A reader that opened the old copy (here: a second link to it) must keep a whole old file.
  const QString path = QStringLiteral("/replace.bin");
  QString location = s_http->url(path);
  s_http->writeFile(path, "old copy, longer than the new one");
  s_http->setControl(path, {});
  const QString body = newRun(0)->fetchToCache(location);
  const QString header = newRun()->headerFileOf(location);
  const QString bodyLink = m_root.filePath(QStringLiteral("body-link"));
  const QString headerLink = m_root.filePath(QStringLiteral("header-link"));
  ASSERT_EQ(::link(qPrintable(body), qPrintable(bodyLink)), 0);
  ASSERT_EQ(::link(qPrintable(header), qPrintable(headerLink)), 0);
  const QByteArray oldHeader = readAll(header);

  s_http->writeFile(path, "new");
  EXPECT_EQ(readAll(newRun(0)->fetchToCache(location)), "new");
  EXPECT_EQ(readAll(bodyLink), "old copy, longer than the new one");
  EXPECT_EQ(readAll(headerLink), oldHeader);
}

TEST_F(CacheTest, BadResponsesWithoutCopyFailAsOffline) {
  const struct {
    const char *path;
    QJsonObject control;
  } cases[] = {
      {"/nocopy-500.png", {{"status", 500}, {"body", "error page"}}},
      {"/nocopy-404.png", {{"status", 404}}},
      {"/nocopy-cut.png", {{"truncate", 10}}},
  };
  for (const auto &c : cases) {
    s_http->writeFile(c.path, nuv::test::pngBytes(2, 2, 0x00ff00));
    s_http->setControl(c.path, c.control);
    const auto cache = newRun(1);
    QString location = s_http->url(c.path);
    EXPECT_EQ(cache->fetchToCache(location), QString()) << c.path;
    EXPECT_FALSE(cache->loadPictureCached(location)) << c.path;
    EXPECT_FALSE(cache->hasCachedCopy(location)) << c.path;
  }
  EXPECT_EQ(cacheFiles(), QStringList());
}

TEST_F(CacheTest, UnfetchedPictureIsTriedAgainLater) {
  const QString path = QStringLiteral("/later.png");
  s_http->writeFile(path, nuv::test::pngBytes(4, 4, 0x0000ff));
  s_http->setControl(path, {{"status", 503}});
  const auto cache = newRun();
  QString location = s_http->url(path);
  EXPECT_FALSE(cache->loadPictureCached(location));
  s_http->setControl(path, {});
  EXPECT_TRUE(cache->loadPictureCached(location));
}

TEST_F(CacheTest, PictureTableDecodesOncePerLocation) {
  s_http->writeFile(QStringLiteral("pics/p.png"), nuv::test::pngBytes(5, 5, 0x123456));
  s_http->writeFile(QStringLiteral("pics/not-a-picture.png"), "plain text");
  s_http->clearLog();
  const auto cache = newRun(0);
  cache->setBaseFolder(s_http->url("/pics/"));

  QString relative = QStringLiteral("p.png");
  const Picture first = cache->loadPictureCached(relative);
  EXPECT_EQ(relative, s_http->url("/pics/p.png"));
  QString absolute = s_http->url("/pics/p.png");
  ASSERT_TRUE(first);
  EXPECT_EQ(cache->loadPictureCached(absolute), first);

  QString broken = QStringLiteral("not-a-picture.png");
  EXPECT_FALSE(cache->loadPictureCached(broken));
  EXPECT_FALSE(cache->loadPictureCached(broken));
  EXPECT_EQ(s_http->requests(), (QStringList{"GET /pics/p.png", "GET /pics/not-a-picture.png"}));
}

TEST_F(CacheTest, LocalPicturesLoadFromDisk) {
  writeAll(m_root.filePath(QStringLiteral("Local.PNG")), nuv::test::pngBytes(6, 1, 0xabcdef));
  const auto cache = newRun();
  cache->setBaseFolder(m_root.path() + u'/');
  QString name = QStringLiteral("local.png");
  const Picture picture = cache->loadPictureCached(name);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->size(), QSize(6, 1));
  QString missing = QStringLiteral("missing.png");
  EXPECT_FALSE(cache->loadPictureCached(missing));
  EXPECT_EQ(cache->fetchToCache(name), m_root.filePath(QStringLiteral("Local.PNG")));
}

// "-" and "l" share a cache name, so these two locations share cache files.
TEST_F(CacheTest, CollidingNamesNeverServeEachOthersCopy) {
  const QString pathA = QStringLiteral("/a-/skin.png");
  const QString pathB = QStringLiteral("/al/skin.png");
  const QString locationA = s_http->url(pathA);
  const QString locationB = s_http->url(pathB);
  ASSERT_EQ(newRun()->headerFileOf(locationA), newRun()->headerFileOf(locationB));
  s_http->writeFile(pathA, nuv::test::pngBytes(7, 1, 0xff0000));
  s_http->writeFile(pathB, nuv::test::pngBytes(1, 7, 0x00ff00));
  // A's server lies: its last-modified value is B's location, the line B's check would read.
  s_http->setControl(pathA, {{"last_modified", locationB}});
  s_http->setControl(pathB, {{"last_modified", stampA}});

  for (const int level : {0, 1, 2}) {
    QString a = locationA;
    ASSERT_TRUE(newRun(level)->loadPictureCached(a)) << level;
    s_http->clearLog();
    const auto cache = newRun(level);
    QString b = locationB;
    const Picture picture = cache->loadPictureCached(b);
    ASSERT_TRUE(picture) << level;
    EXPECT_EQ(picture->size(), QSize(1, 7)) << level;
    EXPECT_EQ(s_http->requestsFor(pathB), QStringList{"GET"}) << level;
    // B's copy took the place; A is now the one that misses.
    EXPECT_EQ(readAll(cache->fetchToCache(b)), nuv::test::pngBytes(1, 7, 0x00ff00)) << level;
    EXPECT_FALSE(cache->cachedBody(locationA)) << level;
  }
}

TEST_F(CacheTest, OfflineACollidingCopyIsAMiss) {
  const RefusedPort refused;
  const QString victim = QStringLiteral("http://127.0.0.1:%1/al/app.skv").arg(refused.port());
  const QString attacker = QStringLiteral("http://127.0.0.1:%1/a-/app.skv").arg(refused.port());
  const auto cache = newRun();
  ASSERT_TRUE(cache->storeDocument(attacker, "TITLE 'attacker'", 16));
  EXPECT_FALSE(cache->cachedBody(victim));
  EXPECT_FALSE(cache->hasCachedCopy(victim));
  QString requested = victim;
  EXPECT_EQ(cache->fetchToCache(requested), QString());
  EXPECT_EQ(cache->cachedBody(attacker), QByteArray("TITLE 'attacker'"));

  // Headers that do not describe their body are misses too: a copy torn between two locations.
  const struct {
    const char *name;
    QByteArray header;
    QByteArray body;
    bool hit;
  } cases[] = {
      {"document layout", victim.toUtf8() + "\r\n 3\r\n", "abc", true},
      {"fetch layout", "stamp\r\n" + victim.toUtf8() + "\r\n 2\r\n", "abc", true},
      {"fetch layout, empty body", "\r\n" + victim.toUtf8() + "\r\n -1\r\n", "", true},
      {"other location", attacker.toUtf8() + "\r\n 3\r\n", "abc", false},
      {"location in the stamp line", victim.toUtf8() + "\r\n" + attacker.toUtf8() + "\r\n 2\r\n",
       "abc", false},
      {"body of another length", "stamp\r\n" + victim.toUtf8() + "\r\n 8\r\n", "abc", false},
      {"no count", victim.toUtf8() + "\r\n", "abc", false},
      {"empty header", "", "abc", false},
  };
  for (const auto &c : cases) {
    // A new file, as a run before bodies carried their location left it: the attacker's body
    // file, written over in place, would still say whose it is.
    QFile::remove(cache->bodyFileOf(victim));
    writeAll(cache->bodyFileOf(victim), c.body);
    writeAll(cache->headerFileOf(victim), c.header);
    EXPECT_EQ(cache->hasCachedCopy(victim), c.hit) << c.name;
    EXPECT_EQ(bool(cache->cachedBody(victim)), c.hit) << c.name;
  }
}

// Two engines writing colliding copies at once: one writes its body, the other its body and
// header, then the first its header. What is left is one location's header beside the other's
// body, which neither location may be served.
TEST_F(CacheTest, AHeaderBesideAnotherLocationsBodyIsAMiss) {
  const QString victim = s_http->url("/al/copy.bin");
  const QString other = s_http->url("/a-/copy.bin");
  ASSERT_EQ(newRun()->headerFileOf(victim), newRun()->headerFileOf(other));
  const struct {
    const char *name;
    bool document; // stored by the document reader, else fetched as a file
    QByteArray victimBody;
    QByteArray otherBody;
  } cases[] = {
      {"fetch layout, same length", false, "victim's", "attacker"},
      {"document layout, same length", true, "TITLE 'victim'", "TITLE 'attack'"},
      {"document layout, other length", true, "TITLE 'victim'", "TITLE 'a'"},
  };
  for (const auto &c : cases) {
    QDir(cacheFolder()).removeRecursively();
    const auto cache = newRun(0);
    const auto store = [&](const QString &location, const QByteArray &body) {
      if (c.document) {
        ASSERT_TRUE(cache->storeDocument(location, body, body.size()));
        return;
      }
      s_http->writeFile(QUrl(location).path(), body);
      QString requested = location;
      ASSERT_FALSE(cache->fetchToCache(requested).isEmpty());
    };
    store(victim, c.victimBody);
    const QByteArray victimHeader = readAll(cache->headerFileOf(victim));
    ASSERT_EQ(cache->cachedBody(victim), c.victimBody) << c.name;
    store(other, c.otherBody);
    writeAll(cache->headerFileOf(victim), victimHeader);
    EXPECT_FALSE(cache->hasCachedCopy(victim)) << c.name;
    EXPECT_FALSE(cache->cachedBody(victim)) << c.name;
    EXPECT_FALSE(cache->openCachedBody(victim).ok()) << c.name;
    EXPECT_FALSE(cache->cachedBody(other)) << c.name;
    // The victim's own copy, written again, serves once more.
    store(victim, c.victimBody);
    EXPECT_EQ(cache->cachedBody(victim), c.victimBody) << c.name;
  }
}

TEST_F(CacheTest, SpellingsOfOnePictureShareOneCopy) {
  const QString root = m_root.path() + u'/';
  writeAll(root + QStringLiteral("big.png"), nuv::test::pngBytes(40, 30, 0x102030));
  QDir().mkpath(root + QStringLiteral("sub"));
  ASSERT_EQ(::symlink(qPrintable(root + QStringLiteral("big.png")),
                      qPrintable(root + QStringLiteral("sub/link.png"))),
            0);
  ASSERT_EQ(::link(qPrintable(root + QStringLiteral("big.png")),
                   qPrintable(root + QStringLiteral("hard.png"))),
            0);
  s_http->writeFile(QStringLiteral("pics/q.png"), nuv::test::pngBytes(20, 10, 0x405060));
  s_http->clearLog();
  const QString remote = s_http->url("/pics/q.png");
  const struct {
    QStringList spellings;
    QSize size;
  } cases[] = {
      {{"big.png", "./big.png", "sub/../big.png", "BIG.png", root + "big.png", "sub/link.png",
        "hard.png", "file://" + root + "big.png", "sub\\..\\Big.PNG"},
       QSize(40, 30)},
      {{remote, s_http->url("/pics/./q.png"), s_http->url("/pics/x/../q.png"),
        "HTTP" + remote.mid(4)},
       QSize(20, 10)},
  };
  const auto cache = newRun(0);
  cache->setBaseFolder(root);
  for (const auto &c : cases) {
    QString first = c.spellings[0];
    const Picture picture = cache->loadPictureCached(first);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->size(), c.size);
    for (QString spelling : c.spellings)
      EXPECT_EQ(cache->loadPictureCached(spelling), picture) << spelling.toStdString();
  }
  EXPECT_EQ(cache->pictureBytes(), (40 * 30 + 20 * 10) * 4);
  EXPECT_EQ(s_http->requests(), QStringList{"GET /pics/q.png"});
}

// Double-density art stands in for a picture only when asked for and only at exactly twice the
// picture's size, keeping the picture's size through its pixel ratio; the table counts the art.
TEST_F(CacheTest, HighDensityArtBesideALocalPicture) {
  const QString root = m_root.path() + u'/';
  const QRgb one = 0x112233, two = 0x445566;
  const struct {
    const char *name;
    QByteArray bytes;
  } files[] = {
      {"art.png", nuv::test::pngBytes(10, 6, one)},
      {"art@2x.png", nuv::test::pngBytes(20, 12, two)},
      {"plain.png", nuv::test::pngBytes(10, 6, one)},
      {"odd.png", nuv::test::pngBytes(10, 6, one)},
      {"odd@2x.png", nuv::test::pngBytes(21, 12, two)},
      {"garbled.png", nuv::test::pngBytes(10, 6, one)},
      {"garbled@2x.png", "not a picture"},
      {"broken.png", "not a picture"},
      {"broken@2x.png", nuv::test::pngBytes(20, 12, two)},
      {"piped.png", nuv::test::pngBytes(10, 6, one)},
      {"foldered.png", nuv::test::pngBytes(10, 6, one)},
  };
  for (const auto &file : files)
    writeAll(root + QString::fromUtf8(file.name), file.bytes);
  // Art that is no regular file is never opened for reading: a FIFO would wait for a writer.
  ASSERT_EQ(::mkfifo(qPrintable(root + QStringLiteral("piped@2x.png")), 0600), 0);
  QDir().mkpath(root + QStringLiteral("foldered@2x.png"));
  const struct {
    const char *name;
    bool highDensity;
    QSize pixels; // empty: no picture
    qreal ratio;
    QRgb colour;
    int notices;
  } cases[] = {
      {"art.png", true, {20, 12}, 2, two, 0},     {"ART.png", true, {20, 12}, 2, two, 0},
      {"art.png", false, {10, 6}, 1, one, 0},     {"plain.png", true, {10, 6}, 1, one, 0},
      {"odd.png", true, {10, 6}, 1, one, 1},      {"garbled.png", true, {10, 6}, 1, one, 0},
      {"broken.png", true, {}, 1, 0, 0},          {"piped.png", true, {10, 6}, 1, one, 0},
      {"foldered.png", true, {10, 6}, 1, one, 0},
  };
  for (const auto &c : cases) {
    const auto cache = newRun();
    cache->setBaseFolder(root);
    cache->setHighDensity(c.highDensity);
    QStringList notices;
    cache->setPictureNotice([&](const QString &line) { notices << line; });
    QString location = QString::fromUtf8(c.name);
    const Picture picture = cache->loadPictureCached(location);
    EXPECT_EQ(notices.size(), c.notices) << c.name << " " << notices.join(u'|').toStdString();
    if (c.pixels.isEmpty()) {
      EXPECT_FALSE(picture) << c.name;
      continue;
    }
    ASSERT_TRUE(picture) << c.name;
    EXPECT_EQ(picture->size(), c.pixels) << c.name;
    EXPECT_EQ(picture->devicePixelRatio(), c.ratio) << c.name;
    EXPECT_EQ(picture->pixel(0, 0) & 0xffffff, c.colour) << c.name;
    EXPECT_EQ(cache->pictureBytes(), picture->sizeInBytes()) << c.name;
    // Asked again, the table answers: the same picture.
    EXPECT_EQ(cache->loadPictureCached(location), picture) << c.name;
  }
}

// Remote art comes through the cache like any picture. Most pictures have none: the server's
// "not found" is asked once a run, leaves nothing in the cache and is said nowhere, and only
// the picture itself can fail. Without high density nothing is asked for.
TEST_F(CacheTest, HighDensityArtFromTheServer) {
  s_http->writeFile(QStringLiteral("hd/with.png"), nuv::test::pngBytes(8, 4, 0x0000ff));
  s_http->writeFile(QStringLiteral("hd/with@2x.png"), nuv::test::pngBytes(16, 8, 0x00ff00));
  s_http->writeFile(QStringLiteral("hd/without.png"), nuv::test::pngBytes(8, 4, 0x0000ff));
  s_http->clearLog();
  auto run = [&](int level, bool highDensity) {
    auto cache = newRun(level);
    cache->setBaseFolder(s_http->url("/hd/"));
    cache->setHighDensity(highDensity);
    return cache;
  };
  auto load = [](Cache &cache, const char *name) {
    QString location = QString::fromUtf8(name);
    return cache.loadPictureCached(location);
  };

  const auto cache = run(1, true);
  QStringList notices;
  cache->setPictureNotice([&](const QString &line) { notices << line; });
  const Picture with = load(*cache, "with.png");
  ASSERT_TRUE(with);
  EXPECT_EQ(with->size(), QSize(16, 8));
  EXPECT_EQ(with->devicePixelRatio(), 2);
  for (int i = 0; i < 2; ++i) {
    const Picture without = load(*cache, i == 0 ? "without.png" : "./without.png");
    ASSERT_TRUE(without);
    EXPECT_EQ(without->size(), QSize(8, 4));
  }
  EXPECT_FALSE(load(*cache, "missing.png"));
  EXPECT_EQ(s_http->requests(),
            (QStringList{"GET /hd/with.png", "GET /hd/with@2x.png", "GET /hd/without.png",
                         "GET /hd/without@2x.png", "GET /hd/missing.png"}));
  EXPECT_TRUE(notices.isEmpty()) << notices.join(u'|').toStdString();
  EXPECT_TRUE(cache->hasCachedCopy(s_http->url("/hd/with@2x.png")));
  EXPECT_FALSE(QFileInfo::exists(cache->headerFileOf(s_http->url("/hd/without@2x.png"))));

  // At scale 1 nothing is asked for beyond the picture.
  s_http->clearLog();
  const auto plain = run(0, false);
  EXPECT_EQ(load(*plain, "with.png")->size(), QSize(8, 4));
  EXPECT_EQ(s_http->requests(), QStringList{"GET /hd/with.png"});

  // A later run that uses its copies shows the art from the cache.
  s_http->clearLog();
  const auto cached = run(2, true);
  EXPECT_EQ(load(*cached, "with.png")->size(), QSize(16, 8));
  EXPECT_TRUE(s_http->requests().isEmpty()) << s_http->requests().join(u' ').toStdString();
}

// A PRELOAD list fetches each picture's art beside it, side by side: showing the pictures later
// asks the server nothing more, a missing art included.
TEST_F(CacheTest, PreloadedPicturesBringTheirArt) {
  s_http->writeFile(QStringLiteral("pre/a.png"), nuv::test::pngBytes(4, 4, 0x0000ff));
  s_http->writeFile(QStringLiteral("pre/a@2x.png"), nuv::test::pngBytes(8, 8, 0x00ff00));
  s_http->writeFile(QStringLiteral("pre/b.png"), nuv::test::pngBytes(4, 4, 0x0000ff));
  s_http->clearLog();
  const auto cache = newRun(0);
  cache->setBaseFolder(s_http->url("/pre/"));
  cache->setHighDensity(true);
  cache->preloadPictures({QStringLiteral("a.png"), QStringLiteral("b.png")});
  QStringList requests = s_http->requests();
  requests.sort();
  EXPECT_EQ(requests, (QStringList{"GET /pre/a.png", "GET /pre/a@2x.png", "GET /pre/b.png",
                                   "GET /pre/b@2x.png"}));

  s_http->clearLog();
  QString a = QStringLiteral("a.png"), b = QStringLiteral("b.png");
  const Picture art = cache->loadPictureCached(a);
  ASSERT_TRUE(art);
  EXPECT_EQ(art->size(), QSize(8, 8));
  EXPECT_EQ(art->devicePixelRatio(), 2);
  EXPECT_EQ(cache->loadPictureCached(b)->size(), QSize(4, 4));
  EXPECT_TRUE(s_http->requests().isEmpty()) << s_http->requests().join(u' ').toStdString();
}

TEST_F(CacheTest, PictureTableIsBoundedAndEvictsPicturesNoOneHolds) {
  const QString root = m_root.path() + u'/';
  const qint64 pictureSize = 100 * 100 * 4;
  for (int n = 1; n <= 5; ++n)
    writeAll(root + QStringLiteral("p%1.png").arg(n), nuv::test::pngBytes(100, 100, 0x10 * n));
  const auto cache = newRun();
  cache->setBaseFolder(root);
  cache->setMaxPictureBytes(3 * pictureSize);
  QStringList notices;
  cache->setPictureNotice([&](const QString &line) { notices << line; });
  auto load = [&](int n) {
    QString location = QStringLiteral("p%1.png").arg(n);
    return cache->loadPictureCached(location);
  };

  const Picture held = load(1);  // as a caller would keep it
  const QImage shown = *load(2); // as a window keeps the image: it shares the pixels
  const std::weak_ptr<const QImage> unused = load(3);
  ASSERT_FALSE(unused.expired());
  const Picture fourth = load(4);
  ASSERT_TRUE(fourth);
  EXPECT_TRUE(unused.expired());
  EXPECT_EQ(cache->pictureBytes(), 3 * pictureSize);
  EXPECT_EQ(load(1), held);
  EXPECT_EQ(load(2)->constBits(), shown.constBits());

  // Everything kept is in use: the next picture is refused, and said to be.
  EXPECT_FALSE(load(5));
  ASSERT_EQ(notices.size(), 1);
  EXPECT_EQ(notices[0], QStringLiteral("Picture not loaded: ") + root +
                            QStringLiteral("p5.png: the pictures in use fill the picture "
                                           "table's bound of 120000 bytes."));
  EXPECT_LE(cache->pictureBytes(), 3 * pictureSize);
}

// A reload forgets the pictures and what they cost: reload after reload, the one picture of the
// document always fits, whether the old window lets go of it before the new run or after.
TEST_F(CacheTest, ReloadsNeverFillThePictureTable) {
  const QString root = m_root.path() + u'/';
  const qint64 pictureSize = 100 * 100 * 4;
  writeAll(root + QStringLiteral("p.png"), nuv::test::pngBytes(100, 100, 0x102030));
  for (const bool heldAcrossReload : {false, true}) {
    SCOPED_TRACE(heldAcrossReload ? "held across the reload" : "let go before the reload");
    const auto cache = newRun();
    cache->setBaseFolder(root);
    cache->setMaxPictureBytes(3 * pictureSize);
    Picture shown;
    for (int reload = 0; reload < 10; ++reload) {
      if (!heldAcrossReload) shown.reset();
      cache->forgetPictures();
      QString location = QStringLiteral("p.png");
      shown = cache->loadPictureCached(location);
      ASSERT_TRUE(shown) << "reload " << reload;
      EXPECT_EQ(cache->pictureBytes(), pictureSize);
    }
  }
}

TEST_F(CacheTest, PicturesPastABoundAreSaidOnce) {
  const QString root = m_root.path() + u'/';
  QImage noise(200, 200, QImage::Format_RGB32);
  std::mt19937 random(8);
  for (int y = 0; y < noise.height(); ++y) {
    for (int x = 0; x < noise.width(); ++x)
      noise.setPixel(x, y, random());
  }
  QByteArray noisePng;
  QBuffer buffer(&noisePng);
  buffer.open(QIODevice::WriteOnly);
  noise.save(&buffer, "PNG");
  ASSERT_GT(noisePng.size(), nuv::test::quickLimits().maxBodyBytes);
  writeAll(root + QStringLiteral("noise.png"), noisePng);
  s_http->writeFile(QStringLiteral("noise.png"), noisePng);
  // A header that declares 30000 x 30000 pixels and nothing more.
  QByteArray huge = nuv::test::pngBytes(1, 1, 0);
  huge.replace(16, 8, QByteArray::fromHex("0000753000007530"));
  quint32 crc = 0xffffffffu;
  for (const char byte : huge.mid(12, 17)) {
    crc ^= quint8(byte);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  crc = ~crc;
  for (int i = 0; i < 4; ++i)
    huge[29 + i] = char(crc >> (24 - 8 * i));
  writeAll(root + QStringLiteral("huge.png"), huge);
  const QString fifo = root + QStringLiteral("fifo.png");
  ASSERT_EQ(::mkfifo(qPrintable(fifo), 0600), 0);
  QDir().mkpath(root + QStringLiteral("folder.png"));

  const QString tooLarge = QStringLiteral(": it is larger than the bound of 64 KiB.");
  const QString notRegular =
      QStringLiteral(": it is not a regular file: devices, FIFOs and folders are never read.");
  const struct {
    QString location;
    QString notice;
  } cases[] = {
      {root + "noise.png", tooLarge},
      {s_http->url("/noise.png"), tooLarge},
      {root + "huge.png", ": its 30000x30000 pixels pass the decoder's bound of"},
      {fifo, notRegular},
      {"/dev/zero", notRegular},
      {root + "folder.png", notRegular},
  };
  for (const auto &c : cases) {
    const nuv::test::FifoUnblocker unblocker(fifo);
    QStringList notices;
    const auto cache = newRun(0);
    cache->setPictureNotice([&](const QString &line) { notices << line; });
    s_http->clearLog();
    for (int attempt = 0; attempt < 2; ++attempt) {
      QString location = c.location;
      EXPECT_FALSE(cache->loadPictureCached(location)) << c.location.toStdString();
    }
    ASSERT_EQ(notices.size(), 1) << c.location.toStdString();
    EXPECT_TRUE(
        notices[0].startsWith(QStringLiteral("Picture not loaded: ") + c.location + c.notice))
        << notices[0].toStdString();
    // Asking again fetches nothing: the bound gives the same answer.
    EXPECT_LE(s_http->requests().size(), 1);
  }
}

TEST_F(CacheTest, PictureFormatFollowsContentWhenTheSuffixLies) {
  writeAll(m_root.filePath(QStringLiteral("png-named.bmp")), nuv::test::pngBytes(3, 4, 0xff00ff));
  const auto cache = newRun();
  QString location = m_root.filePath(QStringLiteral("png-named.bmp"));
  const Picture picture = cache->loadPictureCached(location);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->size(), QSize(3, 4));
}

TEST(CacheNames, ExtensionIsKeptOnlyWhenSafe) {
  const struct {
    const char *location;
    const char *extension;
  } cases[] = {
      {"http://h/a.png", ".png"},
      {"http://h/dir\\a.BMP", ".BMP"},
      {"http://h/a.b/../../../x", ""},
      {"http://h.com/noext", ""},
      {"http://h/a.toolongext", ""},
      {"http://h/a.12345678", ".12345678"},
      {"http://h/a.p-g", ""},
      {"http://h/a.png?size=2", ""},
      {"http://h/a.", ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(cacheExtensionOf(QString::fromUtf8(c.location)), QString::fromUtf8(c.extension))
        << c.location;
}

// Stored caches are found by these names: every case here must keep its name byte for byte.
TEST(CacheNames, NameOfEachCharacter) {
  const struct {
    QString location, expected;
  } cases[] = {
      {"A", "1"},
      {"0", "k"},
      {"/", "j"},
      {"abc", "WXY"},
      // Codes that are multiples of 63 take the "z" no other character produces.
      {"?", "z"},
      {"~", "z"},
      {"}", "y"}, // code 125, remainder 62: the last position a remainder reaches
      {"\x01\x0b", "00"},
      {"\u00e9", "g"},        // Latin-1 code 233, remainder 44
      {"\u00ff", "2"},        // 255, remainder 3
      {"\u20ac", "1"},        // the euro sign is 0x80 in the ANSI code page
      {"\u0153", "S"},        // oe ligature, 0x9C
      {"\u2122\u0178", "PV"}, // 0x99 and 0x9F
      {"\u0081\u009d", "2T"}, // unassigned in the code page: their own codes
      {"\u4e2d\u0100", "zz"}, // no ANSI code: converted to "?"
      {"\U0001F600", "zz"},   // each half of a surrogate pair is one "?"
      {"http://example.com/skins/Main.png?v=2", "dpplujjatWilhaiYkijogejojCWejiljczrxm"},
      {"C:\\Skins\\a b.bmp", "3uRIgejoRWUXiXil"},
      {"ftp://h/\u00e9t\u00e9", "bplujjdjgpg"},
      {"", ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(cacheNameOf(c.location), c.expected) << c.location.toStdString();
}

TEST(CacheNames, NameKeepsLengthAndAlphabet) {
  const QString location = "http://example.com/a b/\u00fc?x=1&y=~#frag\u4e2d\U0001F600";
  const QString name = cacheNameOf(location);
  ASSERT_EQ(name.size(), location.size());
  for (QChar c : name)
    EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))
        << int(c.unicode());
}

TEST(CacheNames, ShortNamesFollowTheNameMapping) {
  EXPECT_EQ(cacheFileNameOf(u"abc"), cacheNameOf(u"abc"));
  const QString location = QStringLiteral("http://host/dir/picture.png");
  EXPECT_EQ(cacheFileNameOf(location), cacheNameOf(location));
}

TEST(CacheNames, LongNamesAreCutWithAStableHash) {
  const QString longA = QStringLiteral("http://h/x.png?") + QString(400, u'a');
  const QString longB = QStringLiteral("http://h/x.png?") + QString(399, u'a') + u'b';
  const QString nameA = cacheFileNameOf(longA);
  EXPECT_LE(nameA.toUtf8().size() + 9, 255);
  EXPECT_EQ(nameA, cacheFileNameOf(QString(longA)));
  EXPECT_NE(nameA, cacheFileNameOf(longB));
  EXPECT_TRUE(nameA.startsWith(cacheNameOf(longA).left(100)));
}

TEST_F(CacheTest, CacheFilesStayInsideTheCacheFolder) {
  s_http->writeFile(QStringLiteral("x"), "escaped?");
  s_http->writeFile(QStringLiteral("long.bin"), "long one");
  const QString locations[] = {
      s_http->url("/a.b/../../../x"),
      s_http->url("/long.bin?pad=") + QString(400, u'p'),
  };
  for (QString location : locations) {
    const auto cache = newRun();
    const QString file = cache->fetchToCache(location);
    ASSERT_FALSE(file.isEmpty()) << location.toStdString();
    EXPECT_EQ(QFileInfo(file).absolutePath() + u'/', cacheFolder());
    EXPECT_LT(QFileInfo(file).fileName().toUtf8().size(), 255);
    EXPECT_TRUE(cache->hasCachedCopy(location));
  }
  EXPECT_EQ(QDir(m_root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList{"cache"});
  EXPECT_EQ(cacheFiles().size(), 4);
}

TEST_F(CacheTest, FtpLocationsAreCachedToo) {
  s_ftp->writeFile(QStringLiteral("f.bin"), "over ftp");
  const QString location = s_ftp->url("/f.bin");
  const std::vector<QStringList> runs = {{"RETR"}, {"RETR"}, {}};
  for (const QStringList &expected : runs) {
    s_ftp->clearLog();
    QString requested = location;
    EXPECT_EQ(readAll(newRun()->fetchToCache(requested)), "over ftp");
    EXPECT_EQ(s_ftp->requestsFor("/f.bin"), expected);
  }
}

TEST_F(CacheTest, DocumentCopiesUseTheirOwnHeader) {
  const auto cache = newRun();
  const QString location = QStringLiteral("http://h/doc.nuv");
  ASSERT_TRUE(cache->storeDocument(location, "caf\xc3\xa9 text", 9));
  EXPECT_EQ(readAll(cache->headerFileOf(location)), "http://h/doc.nuv\r\n 9\r\n");
  EXPECT_EQ(cache->cachedBody(location), QByteArray("caf\xc3\xa9 text"));
  EXPECT_EQ(documentHeaderText(u"x", 0), "x\r\n 0\r\n");
  EXPECT_FALSE(cache->cachedBody(u"http://h/other.nuv"));
}

TEST_F(CacheTest, SweepDeletesFilesOlderOrNewerThanFiveDays) {
  const QDate today(2024, 3, 10);
  const struct {
    const char *name;
    int dayOffset;
    bool deleted;
  } cases[] = {
      {"today", 0, false},   {"five-back", -5, false}, {"six-back", -6, true},
      {"five-on", 5, false}, {"six-on", 6, true},      {"year-back", -400, true},
  };
  QDir().mkpath(cacheFolder() + QStringLiteral("folder"));
  for (const auto &c : cases) {
    QFile file(cacheFolder() + QString::fromUtf8(c.name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.setFileTime(QDateTime(today.addDays(c.dayOffset), QTime(12, 0)),
                                 QFileDevice::FileModificationTime));
  }
  EXPECT_EQ(newRun()->sweep(today), 3);
  for (const auto &c : cases)
    EXPECT_EQ(QFileInfo::exists(cacheFolder() + QString::fromUtf8(c.name)), !c.deleted) << c.name;
  EXPECT_TRUE(QFileInfo(cacheFolder() + QStringLiteral("folder")).isDir());
}

TEST(UserFolder, FollowsXdgDataHome) {
  QTemporaryDir data;
  QTemporaryDir home;
  {
    const ScopedEnv xdg("XDG_DATA_HOME", data.path().toUtf8());
    EXPECT_EQ(userFolder(), data.path() + QStringLiteral("/NUV/"));
    EXPECT_EQ(defaultCacheFolder(), data.path() + QStringLiteral("/NUV/cache/"));
    EXPECT_TRUE(QFileInfo(data.path() + QStringLiteral("/NUV/cache")).isDir());
    EXPECT_EQ(Cache().cacheFolder(), data.path() + QStringLiteral("/NUV/cache/"));
  }
  const ScopedEnv homeEnv("HOME", home.path().toUtf8());
  for (const QByteArray &unusable : {QByteArray(), QByteArray("relative/path")}) {
    const ScopedEnv xdg("XDG_DATA_HOME", unusable);
    EXPECT_EQ(userFolder(), home.path() + QStringLiteral("/.local/share/NUV/"));
  }
}

} // namespace
