// Whether a transfer keeps delivering: at least so many bytes in every span of so many ms.
#pragma once

#include <QtGlobal>

#include <deque>

namespace nuv {

// Watches arrivals against a sliding window: a server that sends too little in any whole span is
// too slow, however it spreads its bytes. A single byte never restarts the clock, so a drip of
// one byte a second fails where a timer of silence would pass it. Times are milliseconds of any
// steady clock.
class ProgressWindow {
public:
  ProgressWindow(qint64 minBytes, qint64 spanMs)
      : m_minBytes(qMax<qint64>(1, minBytes)), m_spanMs(qMax<qint64>(1, spanMs)),
        m_grainMs(qMax<qint64>(1, m_spanMs / 64)) {}

  // Watching begins now, with nothing received yet.
  void start(qint64 now) {
    m_started = now;
    m_total = 0;
    m_arrivals.clear();
  }

  void received(qint64 now, qint64 bytes) {
    if (bytes <= 0) return;
    m_total += bytes;
    // Arrivals close together share one record, dated by the latest, so the history stays short
    // (about 64 records a span) and a byte never counts as earlier than it came.
    if (!m_arrivals.empty() && now - m_arrivals.back().first < m_grainMs) {
      m_arrivals.back().last = now;
      m_arrivals.back().total = m_total;
    } else {
      m_arrivals.push_back({now, now, m_total});
    }
    // Only the records holding some of the newest minBytes bytes decide anything; the last
    // record always does.
    while (m_arrivals.front().total <= m_total - m_minBytes)
      m_arrivals.pop_front();
  }

  // True once a whole span has passed in which fewer than minBytes arrived.
  bool tooSlow(qint64 now) const {
    if (m_total < m_minBytes) return now - m_started >= m_spanMs;
    // The first record holds the oldest of the newest minBytes bytes: when it came a span ago or
    // more, the span since holds fewer.
    return now - m_arrivals.front().last >= m_spanMs;
  }

  qint64 minBytes() const { return m_minBytes; }
  qint64 spanMs() const { return m_spanMs; }

private:
  struct Arrival {
    qint64 first = 0;
    qint64 last = 0;
    // Bytes received up to and including this record.
    qint64 total = 0;
  };

  qint64 m_minBytes;
  qint64 m_spanMs;
  qint64 m_grainMs;
  qint64 m_started = 0;
  qint64 m_total = 0;
  std::deque<Arrival> m_arrivals;
};

} // namespace nuv
