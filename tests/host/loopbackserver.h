// Loopback HTTP and FTP servers for the host tests, run as child processes.
#pragma once

#include "transfer.h"

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <thread>

namespace nuv::test {

class LoopbackServer {
public:
  enum class Kind { Http, Ftp };

  // address: the loopback address an HTTP server listens on (any of 127.0.0.0/8), so that tests
  // can have several servers by name.
  explicit LoopbackServer(Kind kind, const QString &address = QStringLiteral("127.0.0.1"));
  ~LoopbackServer();

  // Starts the server on a fresh served folder; false when it did not report its port.
  bool start();
  void stop();

  int port() const { return m_port; }
  QString folder() const { return m_files.path() + QStringLiteral("/root"); }
  // "http://127.0.0.1:PORT" + path (or "ftp://...").
  QString url(const QString &path) const;

  void writeFile(const QString &name, const QByteArray &bytes) const;
  // Behaviour for one path; see servers/httpserver.py for the keys.
  void setControl(const QString &path, const QJsonObject &control);
  void clearControl();
  // Lets the requests held with "hold=NAME" be answered.
  void release(const QString &name) const;

  // Logged requests as "METHOD PATH", oldest first; the client port is dropped.
  QStringList requests() const;
  // Logged requests for one path (query included).
  QStringList requestsFor(const QString &path) const;
  QStringList clientPortsFor(const QString &path) const;
  void clearLog() const;

private:
  QStringList logLines() const;

  Kind m_kind;
  QString m_address;
  QTemporaryDir m_files;
  QJsonObject m_control;
  std::unique_ptr<QProcess> m_process;
  int m_port = 0;
};

// A loopback port on which nothing listens: connections to it are refused.
class RefusedPort {
public:
  RefusedPort();
  ~RefusedPort();
  RefusedPort(const RefusedPort &) = delete;
  RefusedPort &operator=(const RefusedPort &) = delete;
  int port() const { return m_port; }

private:
  int m_socket = -1;
  int m_port = 0;
};

// Short limits so failure cases end quickly.
inline TransferLimits quickLimits() {
  TransferLimits limits;
  limits.connectTimeoutMs = 2000;
  limits.stallTimeoutMs = 300;
  limits.progressWindowMs = 1000;
  limits.totalTimeoutMs = 15000;
  limits.maxBodyBytes = 64 * 1024;
  return limits;
}

// Should a read block on the FIFO at path, this opens and closes its writing end after a second,
// again and again, so a test fails instead of hanging.
class FifoUnblocker {
public:
  explicit FifoUnblocker(const QString &path);
  ~FifoUnblocker();
  FifoUnblocker(const FifoUnblocker &) = delete;
  FifoUnblocker &operator=(const FifoUnblocker &) = delete;

private:
  QByteArray m_path;
  std::atomic<bool> m_done = false;
  std::thread m_thread;
};

// A small picture file in PNG form.
QByteArray pngBytes(int width, int height, unsigned rgb);

} // namespace nuv::test
