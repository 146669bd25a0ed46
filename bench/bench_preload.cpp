// Preloading a list side by side against fetching its items one after another, in one run, from
// loopback servers that delay every answer.
#include "cache.h"
#include "loopbackserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using nuv::test::LoopbackServer;

namespace {

struct Scenario {
  int items;
  int delayMs;
  double goal; // times one item's time
};

// A fresh cache and CACHELEVEL 0, so every item is downloaded.
double timeMs(const std::function<void(nuv::Cache &)> &fetch) {
  QTemporaryDir folder;
  nuv::Cache cache(folder.path() + QStringLiteral("/cache/"));
  cache.setCacheLevel(0);
  QElapsedTimer timer;
  timer.start();
  fetch(cache);
  return double(timer.nsecsElapsed()) / 1e6;
}

// The median of a few runs, so one slow scheduling turn does not decide.
double medianMs(int runs, const std::function<void(nuv::Cache &)> &fetch) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i)
    times.push_back(timeMs(fetch));
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  // Two servers by address: the connection limit counts per server.
  LoopbackServer first(LoopbackServer::Kind::Http, QStringLiteral("127.0.0.1"));
  LoopbackServer second(LoopbackServer::Kind::Http, QStringLiteral("127.0.0.2"));
  if (!first.start() || !second.start()) {
    std::fprintf(stderr, "bench_preload: the loopback servers did not start\n");
    return 1;
  }
  // The last one shows what the items cost without any delay: transfers, cache writes, syncs.
  const Scenario scenarios[] = {{8, 600, 1.3}, {20, 100, 3.0}, {20, 0, 0}};
  std::printf("%-12s %10s %10s %12s %12s  goal\n", "items", "one item", "in order", "together/1",
              "together/2");
  for (const Scenario &s : scenarios) {
    QStringList oneServer;
    QStringList twoServers;
    for (int i = 0; i < s.items; ++i) {
      const QString path = QStringLiteral("/item-%1-%2-%3.bin").arg(s.items).arg(s.delayMs).arg(i);
      for (LoopbackServer *server : {&first, &second}) {
        server->writeFile(path, QByteArray(2048, 'x'));
        server->setControl(path, {{"delay", s.delayMs}});
      }
      oneServer << first.url(path);
      twoServers << (i % 2 == 0 ? first : second).url(path);
    }
    const int runs = s.delayMs >= 500 ? 3 : 5;
    const double one = medianMs(runs, [&](nuv::Cache &cache) {
      QString location = oneServer.first();
      cache.fetchToCache(location);
    });
    const double inOrder = medianMs(runs, [&](nuv::Cache &cache) {
      for (QString location : oneServer)
        cache.fetchToCache(location);
    });
    const double together =
        medianMs(runs, [&](nuv::Cache &cache) { cache.preloadFiles(oneServer); });
    const double together2 =
        medianMs(runs, [&](nuv::Cache &cache) { cache.preloadFiles(twoServers); });
    std::printf("%2d x %4d ms %8.0f ms %7.0f ms %5.0f ms %4.2fx %5.0f ms %4.2fx", s.items,
                s.delayMs, one, inOrder, together, together / one, together2, together2 / one);
    if (s.goal > 0) std::printf("  under %.1fx", s.goal);
    std::printf("\n");
  }
  std::printf("together/1: one server; together/2: the items spread over two servers. At most "
              "%d connections to a server run at once.\n",
              nuv::maxConnectionsPerHost);
  return 0;
}
