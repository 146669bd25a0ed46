// The sliding progress rule: how bytes are spread over time decides, single bytes never reset it.
#include "progresswindow.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using nuv::ProgressWindow;

namespace {

// Arrivals as (ms, bytes), then whether the transfer is too slow at a given time. The rule in
// every case: at least 1024 bytes in every 20 s.
struct Case {
  const char *name;
  std::vector<std::pair<qint64, qint64>> arrivals;
  qint64 at;
  bool tooSlow;
};

std::vector<std::pair<qint64, qint64>> every(qint64 from, qint64 to, qint64 stepMs, qint64 bytes) {
  std::vector<std::pair<qint64, qint64>> arrivals;
  for (qint64 t = from; t <= to; t += stepMs)
    arrivals.emplace_back(t, bytes);
  return arrivals;
}

std::vector<std::pair<qint64, qint64>> join(std::vector<std::pair<qint64, qint64>> a,
                                            const std::vector<std::pair<qint64, qint64>> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(ProgressWindow, TooLittleInAnyWholeSpan) {
  const Case cases[] = {
      {"nothing yet, span not over", {}, 19999, false},
      {"nothing for a span", {}, 20000, true},
      {"a byte a second", every(0, 60000, 1000, 1), 19999, false},
      {"a byte a second, a span on", every(0, 60000, 1000, 1), 20000, true},
      {"a byte every 10 ms, 2 KiB a span", every(0, 60000, 10, 1), 60000, false},
      {"a byte every 20 ms, 1000 bytes a span", every(0, 60000, 20, 1), 60000, true},
      {"1 KiB every 19 s", every(0, 95000, 19000, 1024), 96000, false},
      {"1 KiB in a burst, then silence", {{100, 1024}}, 20099, false},
      {"1 KiB in a burst, a span of silence", {{100, 1024}}, 20100, true},
      {"a big burst early does not buy a drip later",
       join({{0, 1 << 20}}, every(1000, 60000, 1000, 1)), 40000, true},
      {"51 bytes a second, 1020 a span", every(0, 60000, 1000, 51), 60000, true},
      {"52 bytes a second, 1040 a span", every(0, 60000, 1000, 52), 60000, false},
  };
  for (const Case &c : cases) {
    ProgressWindow window(1024, 20000);
    window.start(0);
    for (const auto &[at, bytes] : c.arrivals) {
      if (at > c.at) break;
      window.received(at, bytes);
    }
    EXPECT_EQ(window.tooSlow(c.at), c.tooSlow) << c.name;
  }
}

} // namespace
