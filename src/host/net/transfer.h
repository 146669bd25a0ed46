// Downloads over HTTP, HTTPS and FTP, keeping the event loop running meanwhile: one at a time,
// or a group side by side.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QString>
#include <QStringView>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace nuv {

enum class TransferOutcome {
  // A complete response arrived, whatever its status.
  Complete,
  // No connection could be made: name lookup failed, refused, or connecting timed out.
  Offline,
  // Connected or not, the request did not complete (cut off, stalled, too large, refused).
  Failed,
};

// Outcome of one request. Errors are values: nothing here throws.
struct TransferResult {
  TransferOutcome outcome = TransferOutcome::Failed;
  // Status code of the final response; 0 when none arrived.
  int status = 0;
  // Why the request failed; "" when complete.
  QString error;
  // The body passed the size bound: asking again gives the same answer.
  bool overSizeBound = false;
  // Header text of the final response; its first line is the status line.
  QByteArray headers;
  QByteArray body;

  // The one test of success: complete with a status in 200-299.
  bool succeeded() const {
    return outcome == TransferOutcome::Complete && status >= 200 && status <= 299;
  }
  // Value of a named header of the final response (name case-insensitive); "" when absent.
  QString header(QStringView name) const;
};

struct TransferLimits {
  int connectTimeoutMs = 15000;
  // A transfer that receives nothing for this long is abandoned.
  int stallTimeoutMs = 30000;
  // A transfer that receives fewer than minProgressBytes in any span of progressWindowMs once
  // connected is abandoned, so a server dripping bytes holds it no longer than that. A real
  // server, however slow its line, sends a Skivet or a picture far faster than 1 KiB in 20 s.
  qint64 minProgressBytes = 1024;
  int progressWindowMs = 20000;
  // Bound for a whole request, so a server sending just fast enough cannot hold it forever.
  int totalTimeoutMs = 600000;
  qint64 maxBodyBytes = qint64(64) * 1024 * 1024;
  // Bound on all the fetches of one start-up together (location file, document, includes); the
  // start-up applies it as the deadline below.
  int startupTimeoutMs = 60000;
  // Every request still running at this moment ends, with deadlineCause as its error.
  QDeadlineTimer deadline{QDeadlineTimer::Forever};
  QString deadlineCause;

  // The defaults, with NUV_CONNECT_TIMEOUT_MS, NUV_STALL_TIMEOUT_MS, NUV_MIN_PROGRESS_BYTES,
  // NUV_PROGRESS_WINDOW_MS, NUV_TOTAL_TIMEOUT_MS, NUV_MAX_BODY_BYTES and NUV_STARTUP_TIMEOUT_MS
  // from the environment where they hold positive numbers; times at most 24 hours and bytes at
  // most 4 GiB.
  static TransferLimits fromEnvironment();
};

// At most this many requests to one server (scheme, host and port) run at once; the rest of a
// group waits for one of them to end.
inline constexpr int maxConnectionsPerHost = 6;

class TransferGroup;

// The engine's one transfer channel. Single requests run one at a time; while one is busy the Qt
// event loop keeps running, so an event handler may ask for another request, which first waits
// for everything running to end. A TransferGroup runs many requests side by side under the same
// limits. Connections to a server are kept and reused for the life of the object.
class Transfer {
public:
  Transfer();
  ~Transfer();
  Transfer(const Transfer &) = delete;
  Transfer &operator=(const Transfer &) = delete;

  void setLimits(const TransferLimits &limits) { m_limits = limits; }
  const TransferLimits &limits() const { return m_limits; }

  TransferResult fetchBytes(const QString &url);
  // The body decoded with decodeText.
  TransferResult fetchText(const QString &url, QString &text);
  TransferResult head(const QString &url);

  bool isBusy() const { return !m_running.empty() || !m_waiting.empty(); }
  // Yields to the event loop once, then keeps yielding until no request is running.
  void waitWhileBusy();
  // Every request under way ends at its next step with cause as its error, and every later one
  // fails as it is asked for: the engine is going, and no server may keep it.
  void endAll(const QString &cause);
  // The person gave up waiting: every request under way or queued ends at its next step with
  // cause as its error, as a failed fetch. Requests asked for afterwards run as usual.
  void cancelWaits(const QString &cause);

private:
  friend class TransferGroup;
  using Done = std::function<void(TransferResult &&)>;
  struct Request;
  struct MultiDeleter {
    void operator()(void *multi) const;
  };

  bool startLibrary();
  TransferResult run(const QString &url, bool headOnly);
  // Starts a request now, or queues it behind the host's running ones; done runs once it ends
  // (at once when it cannot start).
  void submit(const QString &url, bool headOnly, Done done);
  void start(std::unique_ptr<Request> request);
  void startWaiting();
  void step();
  void finish(Request *request, int curlCode, const QString &stallError);

  std::unique_ptr<void, MultiDeleter> m_multi;
  TransferLimits m_limits;
  std::vector<std::unique_ptr<Request>> m_running;
  std::deque<std::unique_ptr<Request>> m_waiting; // for a free connection to their server
  QHash<QString, int> m_perHost;                  // running requests by server
  QString m_endCause;                             // set once endAll ran
  QString m_cancelCause;                          // set by cancelWaits until nothing runs
};

// Requests that run side by side. add() before wait() queues; wait() first lets whatever the
// channel is running end (as a single request does), then starts every queued request. A
// request's done() runs as soon as that request has ended, from inside wait() or from a nested
// wait of an event handler, and may add follow-up requests, which start at once. wait() returns
// once every request, follow-ups included, is done; the event loop keeps running meanwhile.
class TransferGroup {
public:
  explicit TransferGroup(Transfer &transfer) : m_transfer(transfer) {}
  TransferGroup(const TransferGroup &) = delete;
  TransferGroup &operator=(const TransferGroup &) = delete;

  void add(const QString &url, bool headOnly, std::function<void(TransferResult &&)> done);
  void wait();

private:
  struct Queued {
    QString url;
    bool headOnly;
    std::function<void(TransferResult &&)> done;
  };
  void submit(Queued queued);

  Transfer &m_transfer;
  std::vector<Queued> m_queued;
  int m_pending = 0;
  bool m_started = false;
};

// What a status means to a person and what they can do: "The server answered with status 404.
// It has nothing at that address: check the address."
QString describeStatus(int status);

// Text of a download: UTF-8 when the bytes are valid UTF-8, otherwise Windows-1252.
QString decodeText(const QByteArray &bytes);

} // namespace nuv
