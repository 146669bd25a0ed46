// Transfers through one libcurl multi handle, driven from the caller's stack while the event loop
// runs.
#include "transfer.h"

#include "curlapi.h"
#include "localfile.h"
#include "progresswindow.h"
#include "text.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace nuv {

namespace {

// How long one wait on the sockets may keep the event loop from running.
constexpr int pollSliceMs = 10;
// The library ends a request that does not connect in time; past this much longer, the engine
// ends it itself.
constexpr qint64 connectGraceMs = 1000;

struct EasyDeleter {
  void operator()(CURL *easy) const { curl().easy_cleanup(easy); }
};

bool isOfflineCode(CURLcode code, bool connected) {
  switch (code) {
  case CURLE_COULDNT_RESOLVE_HOST:
  case CURLE_COULDNT_RESOLVE_PROXY:
  case CURLE_COULDNT_CONNECT:
    return true;
  case CURLE_OPERATION_TIMEDOUT:
    return !connected;
  default:
    return false;
  }
}

// The engine's sentence for a failure the library reports, then the library's own words: what
// happened to which server, and what a person can do about it.
QString explainFailure(CURLcode code, bool connected, const QString &server,
                       const QString &detail) {
  QString sentence;
  switch (code) {
  case CURLE_COULDNT_RESOLVE_HOST:
    sentence = QStringLiteral("The name of the server %1 could not be looked up: check the "
                              "address and the network.");
    break;
  case CURLE_COULDNT_RESOLVE_PROXY:
    sentence = QStringLiteral("The name of the proxy for %1 could not be looked up: check the "
                              "proxy setting.");
    break;
  case CURLE_COULDNT_CONNECT:
    sentence = QStringLiteral("The server %1 refused the connection or could not be reached: "
                              "check that it is running and that the address is right.");
    break;
  case CURLE_OPERATION_TIMEDOUT:
    sentence = connected ? QStringLiteral("The server %1 took longer than the bound to answer: "
                                          "try again later.")
                         : QStringLiteral("The server %1 did not accept a connection in time: "
                                          "check the address, or try again later.");
    break;
  case CURLE_SSL_CONNECT_ERROR:
  case CURLE_PEER_FAILED_VERIFICATION:
    sentence = QStringLiteral("No secure connection to %1 could be made: its certificate was "
                              "not accepted or the exchange failed.");
    break;
  case CURLE_GOT_NOTHING:
  case CURLE_RECV_ERROR:
  case CURLE_PARTIAL_FILE:
    sentence = QStringLiteral("The server %1 closed the connection before its answer was whole: "
                              "try again later.");
    break;
  default:
    sentence = QStringLiteral("The transfer from %1 failed.");
    break;
  }
  return sentence.arg(server) + QStringLiteral(" (") + detail + u')';
}

// Milliseconds of a steady clock, for the progress window.
qint64 steadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A positive number from the environment, at most ceiling; fallback for anything else.
qint64 positiveEnv(const char *name, qint64 fallback, qint64 ceiling) {
  bool ok = false;
  const qint64 value = qEnvironmentVariable(name).trimmed().toLongLong(&ok);
  if (!ok || value <= 0) return fallback;
  return std::min(value, ceiling);
}

// Bounds past these serve no document, and sums and conversions of them must still fit.
constexpr qint64 maxEnvironmentMs = qint64(24) * 60 * 60 * 1000;
constexpr qint64 maxEnvironmentBytes = qint64(4) * 1024 * 1024 * 1024;

int envMs(const char *name, int fallback) {
  return int(positiveEnv(name, fallback, maxEnvironmentMs));
}

// The number after the protocol on the status line ("HTTP/1.1 404 Not Found", "FTP 550"); 0 when
// there is none.
int statusOf(const QByteArray &headers) {
  const qsizetype end = headers.indexOf('\n');
  const QByteArray line = (end < 0 ? headers : headers.left(end)).trimmed();
  return line.split(' ').value(1).toInt();
}

// FTP has no response header; this gives it one in the shape of an HTTP header. FTP has no one
// final status either: a completed request reads as 200, a refused one keeps the server's code.
QByteArray ftpHeaders(CURL *easy, bool completed, qint64 bodySize) {
  long code = 200;
  if (!completed) curl().easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
  if (code == 0) return {};
  QByteArray headers = "FTP " + QByteArray::number(qlonglong(code)) + "\r\n";
  curl_off_t fileTime = -1;
  curl().easy_getinfo(easy, CURLINFO_FILETIME_T, &fileTime);
  if (fileTime >= 0) {
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(fileTime, Qt::UTC);
    headers += "Last-Modified: " +
               QLocale::c().toString(stamp, u"ddd, dd MMM yyyy hh:mm:ss 'GMT'").toLatin1() + "\r\n";
  }
  curl_off_t length = -1;
  curl().easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (length < 0 && bodySize > 0) length = bodySize;
  if (length >= 0) headers += "Content-Length: " + QByteArray::number(qlonglong(length)) + "\r\n";
  return headers;
}

} // namespace

struct Transfer::Request {
  std::unique_ptr<CURL, EasyDeleter> easy;
  QString url;
  QString server;     // scheme, host and port: the unit of the connection limit
  QString serverName; // host, and port when given, as messages name it
  bool headOnly = false;
  Done done;
  qint64 maxBody = 0;
  bool http = true;
  bool connected = false;
  bool tooLarge = false;
  QElapsedTimer sinceActivity;
  ProgressWindow progress{1, 1};
  QByteArray headers;
  QByteArray body;
  char errorText[CURL_ERROR_SIZE] = {};

  static size_t onBody(char *data, size_t size, size_t count, void *self);
  static size_t onHeader(char *data, size_t size, size_t count, void *self);
  static int onConnected(void *self, char *serverIp, char *localIp, int serverPort, int localPort);
  // Set when the library would not take the request.
  QString refusal;

  // Why the request must be abandoned now (no cause while it may go on), and whether that
  // counts as offline.
  struct Cut {
    QString cause;
    bool offline = false;
  };
  Cut whyCut(const TransferLimits &limits) const;
};

size_t Transfer::Request::onBody(char *data, size_t size, size_t count, void *self) {
  auto *request = static_cast<Request *>(self);
  const size_t bytes = size * count;
  request->sinceActivity.restart();
  request->progress.received(steadyMs(), qint64(bytes));
  if (request->body.size() + qint64(bytes) > request->maxBody) {
    request->tooLarge = true;
    return 0;
  }
  request->body.append(data, qsizetype(bytes));
  return bytes;
}

size_t Transfer::Request::onHeader(char *data, size_t size, size_t count, void *self) {
  auto *request = static_cast<Request *>(self);
  const size_t bytes = size * count;
  request->sinceActivity.restart();
  request->progress.received(steadyMs(), qint64(bytes));
  if (!request->http) return bytes;
  const QByteArray line(data, qsizetype(bytes));
  // Each redirect or interim response starts a new header; only the final one is kept.
  if (line.startsWith("HTTP/")) request->headers.clear();
  request->headers += line;
  return bytes;
}

int Transfer::Request::onConnected(void *self, char * /*serverIp*/, char * /*localIp*/,
                                   int /*serverPort*/, int /*localPort*/) {
  auto *request = static_cast<Request *>(self);
  request->connected = true;
  request->sinceActivity.restart();
  request->progress.start(steadyMs());
  return CURL_PREREQFUNC_OK;
}

Transfer::Request::Cut Transfer::Request::whyCut(const TransferLimits &limits) const {
  if (limits.deadline.hasExpired())
    return {limits.deadlineCause.isEmpty() ? QStringLiteral("The request passed its deadline.")
                                           : limits.deadlineCause};
  if (!refusal.isEmpty()) return {refusal};
  // Before the connection is made, the connect timeout decides: the library's, and this one
  // for a request the library never takes up. Never connected counts as offline.
  if (!connected) {
    if (sinceActivity.elapsed() <= limits.connectTimeoutMs + connectGraceMs) return {};
    return {QStringLiteral("No connection was made within %1.")
                .arg(describeDuration(limits.connectTimeoutMs)),
            true};
  }
  if (sinceActivity.elapsed() > limits.stallTimeoutMs)
    return {QStringLiteral("The server sent nothing for %1 ms.").arg(limits.stallTimeoutMs)};
  if (progress.tooSlow(steadyMs()))
    return {QStringLiteral("The server sent less than %1 in %2.")
                .arg(describeBytes(progress.minBytes()), describeDuration(progress.spanMs()))};
  return {};
}

QString describeStatus(int status) {
  QString advice;
  if (status == 404 || status == 410 || status == 550)
    advice = QStringLiteral("It has nothing at that address: check the address.");
  else if (status == 401 || status == 403)
    advice = QStringLiteral("It does not give that address to this engine.");
  else if (status >= 500 && status <= 599)
    advice = QStringLiteral("That is a fault of the server: try again later.");
  else if (status >= 300 && status <= 399)
    advice = QStringLiteral("It moved the address without naming a new one: check the address.");
  else
    advice = QStringLiteral("Only an answer with a status from 200 to 299 is the document.");
  return QStringLiteral("The server answered with status %1. ").arg(status) + advice;
}

QString TransferResult::header(QStringView name) const {
  for (const QByteArray &rawLine : headers.split('\n')) {
    const QString line = QString::fromLatin1(rawLine).trimmed();
    const qsizetype colon = line.indexOf(u':');
    if (colon <= 0) continue;
    if (QStringView(line).left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
      return line.mid(colon + 1).trimmed();
  }
  return {};
}

TransferLimits TransferLimits::fromEnvironment() {
  TransferLimits limits;
  limits.connectTimeoutMs = envMs("NUV_CONNECT_TIMEOUT_MS", limits.connectTimeoutMs);
  limits.stallTimeoutMs = envMs("NUV_STALL_TIMEOUT_MS", limits.stallTimeoutMs);
  limits.minProgressBytes =
      positiveEnv("NUV_MIN_PROGRESS_BYTES", limits.minProgressBytes, maxEnvironmentBytes);
  limits.progressWindowMs = envMs("NUV_PROGRESS_WINDOW_MS", limits.progressWindowMs);
  limits.totalTimeoutMs = envMs("NUV_TOTAL_TIMEOUT_MS", limits.totalTimeoutMs);
  limits.startupTimeoutMs = envMs("NUV_STARTUP_TIMEOUT_MS", limits.startupTimeoutMs);
  limits.maxBodyBytes = positiveEnv("NUV_MAX_BODY_BYTES", limits.maxBodyBytes, maxEnvironmentBytes);
  return limits;
}

void Transfer::MultiDeleter::operator()(void *multi) const {
  curl().multi_cleanup(multi);
}

// libcurl and its TLS library start on the first request: most documents are local and never
// pay for them at start-up.
Transfer::Transfer() : m_limits(TransferLimits::fromEnvironment()) {}

bool Transfer::startLibrary() {
  if (m_multi) return true;
  if (loadCurl().api == nullptr) return false;
  m_multi.reset(curl().multi_init());
  return bool(m_multi);
}

Transfer::~Transfer() = default;

TransferResult Transfer::fetchBytes(const QString &url) {
  return run(url, false);
}

TransferResult Transfer::fetchText(const QString &url, QString &text) {
  TransferResult result = run(url, false);
  text = decodeText(result.body);
  return result;
}

TransferResult Transfer::head(const QString &url) {
  return run(url, true);
}

void Transfer::waitWhileBusy() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
  while (isBusy())
    step();
}

void Transfer::endAll(const QString &cause) {
  m_endCause = cause;
}

void Transfer::cancelWaits(const QString &cause) {
  if (isBusy()) m_cancelCause = cause;
}

TransferResult Transfer::run(const QString &url, bool headOnly) {
  // One request at a time: a request asked for from an event handler waits its turn here.
  while (isBusy())
    step();
  TransferResult result;
  bool ended = false;
  submit(url, headOnly, [&](TransferResult &&answer) {
    result = std::move(answer);
    ended = true;
  });
  while (!ended)
    step();
  return result;
}

void Transfer::submit(const QString &url, bool headOnly, Done done) {
  auto failNow = [&](QString error) {
    TransferResult result;
    result.error = std::move(error);
    done(std::move(result));
  };
  if (!m_endCause.isEmpty() || !m_cancelCause.isEmpty()) {
    failNow(m_endCause.isEmpty() ? m_cancelCause : m_endCause);
    return;
  }
  if (!startLibrary()) {
    const QString error = loadCurl().error;
    failNow(error.isEmpty() ? QStringLiteral("The transfer library could not be started.") : error);
    return;
  }
  auto request = std::make_unique<Request>();
  request->easy.reset(curl().easy_init());
  if (!request->easy) {
    failNow(QStringLiteral("The transfer library could not start a request."));
    return;
  }
  const QUrl parsed(url, QUrl::TolerantMode);
  request->url = url;
  request->server = parsed.scheme().toLower() + QStringLiteral("://") + parsed.host().toLower() +
                    u':' + QString::number(parsed.port());
  request->serverName =
      parsed.port() < 0 ? parsed.host() : parsed.host() + u':' + QString::number(parsed.port());
  request->headOnly = headOnly;
  request->done = std::move(done);
  request->maxBody = m_limits.maxBodyBytes;
  request->http = !url.startsWith(u"ftp:", Qt::CaseInsensitive);
  request->progress = ProgressWindow(m_limits.minProgressBytes, m_limits.progressWindowMs);

  CURL *easy = request->easy.get();
  const QByteArray address = parsed.toEncoded();
  CurlOptions options(easy, curl().easy_setopt);
  options.set(CURLOPT_URL, address.constData());
  options.set(CURLOPT_PROTOCOLS_STR, "http,https,ftp");
  options.set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
  options.set(CURLOPT_FOLLOWLOCATION, 1L);
  options.set(CURLOPT_MAXREDIRS, 10L);
  options.set(CURLOPT_NOSIGNAL, 1L);
  options.set(CURLOPT_USERAGENT, "NUV Engine");
  // A private certificate authority (a company's, or a test's), as the curl tool takes it.
  static const QByteArray caBundle = qgetenv("CURL_CA_BUNDLE");
  if (!caBundle.isEmpty()) options.set(CURLOPT_CAINFO, caBundle.constData());
  options.set(CURLOPT_CONNECTTIMEOUT_MS, long(m_limits.connectTimeoutMs));
  options.set(CURLOPT_TIMEOUT_MS, long(m_limits.totalTimeoutMs));
  // The library's own low-speed check only backs up the finer stall check in step().
  options.set(CURLOPT_LOW_SPEED_LIMIT, 1L);
  options.set(CURLOPT_LOW_SPEED_TIME, long(m_limits.stallTimeoutMs) / 1000 + 2);
  options.set(CURLOPT_MAXFILESIZE_LARGE, curl_off_t(m_limits.maxBodyBytes));
  options.set(CURLOPT_NOBODY, headOnly ? 1L : 0L);
  options.set(CURLOPT_FILETIME, 1L);
  options.set(CURLOPT_ERRORBUFFER, request->errorText);
  options.set(CURLOPT_WRITEFUNCTION, &Request::onBody);
  options.set(CURLOPT_WRITEDATA, request.get());
  options.set(CURLOPT_HEADERFUNCTION, &Request::onHeader);
  options.set(CURLOPT_HEADERDATA, request.get());
  options.set(CURLOPT_PREREQFUNCTION, &Request::onConnected);
  options.set(CURLOPT_PREREQDATA, request.get());
  if (!options.ok()) {
    failNow(options.error());
    return;
  }
  // Queued requests wait outside the library, so their waiting counts against no timeout.
  if (m_perHost.value(request->server) >= maxConnectionsPerHost) {
    m_waiting.push_back(std::move(request));
    return;
  }
  start(std::move(request));
}

void Transfer::start(std::unique_ptr<Request> request) {
  ++m_perHost[request->server];
  request->sinceActivity.start();
  const CURLMcode added = curl().multi_add_handle(m_multi.get(), request->easy.get());
  // A handle the library never took would never end by itself; the next step ends it.
  if (added != CURLM_OK)
    request->refusal =
        QStringLiteral("The transfer library refused the request (libcurl error %1).")
            .arg(int(added));
  m_running.push_back(std::move(request));
}

void Transfer::startWaiting() {
  for (auto it = m_waiting.begin(); it != m_waiting.end();) {
    if (m_perHost.value((*it)->server) >= maxConnectionsPerHost) {
      ++it;
      continue;
    }
    std::unique_ptr<Request> request = std::move(*it);
    it = m_waiting.erase(it);
    start(std::move(request));
  }
}

void Transfer::step() {
  int running = 0;
  curl().multi_perform(m_multi.get(), &running);
  int left = 0;
  while (CURLMsg *message = curl().multi_info_read(m_multi.get(), &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    const auto found = std::find_if(m_running.begin(), m_running.end(), [&](const auto &request) {
      return request->easy.get() == message->easy_handle;
    });
    if (found != m_running.end()) finish(found->get(), message->data.result, {});
  }
  // Checked only after perform has read what arrived, so time spent in event handlers
  // while data sat in the socket does not count as a stall. Abandoned, not offline (the server
  // was reached, or the deadline is not the network's doing), unless no connection was made.
  for (size_t i = 0; i < m_running.size();) {
    Request *request = m_running[i].get();
    const Request::Cut cut = !m_endCause.isEmpty()      ? Request::Cut{m_endCause}
                             : !m_cancelCause.isEmpty() ? Request::Cut{m_cancelCause}
                                                        : request->whyCut(m_limits);
    if (!cut.cause.isEmpty()) {
      finish(request, cut.offline ? CURLE_OPERATION_TIMEDOUT : CURLE_ABORTED_BY_CALLBACK,
             cut.cause);
      continue; // finish removed it: the same index now holds the next one
    }
    ++i;
  }
  // Queued requests never started: a cancel ends them without a connection.
  while (!m_cancelCause.isEmpty() && !m_waiting.empty()) {
    std::unique_ptr<Request> request = std::move(m_waiting.front());
    m_waiting.pop_front();
    TransferResult result;
    result.error = m_cancelCause;
    request->done(std::move(result));
  }
  if (!isBusy()) m_cancelCause.clear();
  if (!m_running.empty()) curl().multi_poll(m_multi.get(), nullptr, 0, pollSliceMs, nullptr);
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void Transfer::finish(Request *ended, int curlCode, const QString &stallError) {
  const auto found = std::find_if(m_running.begin(), m_running.end(),
                                  [&](const auto &request) { return request.get() == ended; });
  Q_ASSERT_X(found != m_running.end(), "Transfer::finish", "only running requests finish");
  std::unique_ptr<Request> request = std::move(*found);
  m_running.erase(found);
  CURL *easy = request->easy.get();
  curl().multi_remove_handle(m_multi.get(), easy);
  if (--m_perHost[request->server] <= 0) m_perHost.remove(request->server);

  const CURLcode code = CURLcode(curlCode);
  TransferResult result;
  const bool complete = code == CURLE_OK && stallError.isEmpty();
  result.outcome = complete                                  ? TransferOutcome::Complete
                   : isOfflineCode(code, request->connected) ? TransferOutcome::Offline
                                                             : TransferOutcome::Failed;
  result.headers =
      request->http ? request->headers : ftpHeaders(easy, complete, request->body.size());
  result.status = statusOf(result.headers);
  result.overSizeBound = request->tooLarge || code == CURLE_FILESIZE_EXCEEDED;
  if (result.overSizeBound)
    result.error = QStringLiteral("The response is larger than %1 bytes.").arg(request->maxBody);
  else if (!stallError.isEmpty())
    result.error = stallError;
  else if (!complete)
    result.error = explainFailure(
        code, request->connected, request->serverName,
        QString::fromUtf8(request->errorText[0] ? request->errorText : curl().easy_strerror(code)));
  if (complete) result.body = std::move(request->body);
  // A slot is free: the next request for this server goes out before done() may yield.
  startWaiting();
  request->done(std::move(result));
}

void TransferGroup::add(const QString &url, bool headOnly,
                        std::function<void(TransferResult &&)> done) {
  Queued queued{url, headOnly, std::move(done)};
  if (m_started)
    submit(std::move(queued));
  else
    m_queued.push_back(std::move(queued));
}

void TransferGroup::submit(Queued queued) {
  ++m_pending;
  m_transfer.submit(queued.url, queued.headOnly,
                    [this, done = std::move(queued.done)](TransferResult &&result) {
                      --m_pending;
                      done(std::move(result));
                    });
}

void TransferGroup::wait() {
  while (m_transfer.isBusy())
    m_transfer.step();
  m_started = true;
  std::vector<Queued> queued = std::move(m_queued);
  m_queued.clear();
  for (Queued &each : queued)
    submit(std::move(each));
  while (m_pending > 0)
    m_transfer.step();
}

QString decodeText(const QByteArray &bytes) {
  // Most documents are ASCII, which reads the same in both encodings: widening it is several
  // times faster than the UTF-8 decoder.
  if (QtPrivate::isAscii(QLatin1StringView(bytes))) return QString::fromLatin1(bytes);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(bytes);
  if (!utf8.hasError()) return text;
  return fromWindows1252(bytes);
}

} // namespace nuv
