// Starts the Python loopback servers and reads their request logs; also gives the tests an app.
#include "loopbackserver.h"

#include <QBuffer>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nuv::test {

namespace {

// Debian's interpreter: the one first on PATH may lack python3-pyftpdlib.
const QString python = QStringLiteral("/usr/bin/python3");

// The transfers keep the event loop running, so the tests need an application object.
class ApplicationEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "host_tests";
    static char *argv[] = {name, nullptr};
    m_app = std::make_unique<QCoreApplication>(argc, argv);
  }
  void TearDown() override { m_app.reset(); }

private:
  std::unique_ptr<QCoreApplication> m_app;
};

[[maybe_unused]] ::testing::Environment *const applicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

} // namespace

LoopbackServer::LoopbackServer(Kind kind, const QString &address)
    : m_kind(kind), m_address(address) {}

LoopbackServer::~LoopbackServer() {
  stop();
}

bool LoopbackServer::start() {
  QDir(m_files.path()).mkpath(QStringLiteral("root"));
  const QString logPath = m_files.filePath(QStringLiteral("requests.log"));
  QStringList arguments;
  if (m_kind == Kind::Http) {
    arguments << QStringLiteral(NUV_TEST_SERVERS_DIR "/httpserver.py")
              << QStringLiteral("--control") << m_files.filePath(QStringLiteral("control.json"))
              << QStringLiteral("--bind") << m_address;
  } else {
    arguments << QStringLiteral(NUV_TEST_SERVERS_DIR "/ftpserver.py");
  }
  arguments << QStringLiteral("--root") << folder() << QStringLiteral("--log") << logPath;
  m_process = std::make_unique<QProcess>();
  m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  m_process->start(python, arguments);
  if (!m_process->waitForStarted(5000)) return false;
  while (!m_process->canReadLine() && m_process->waitForReadyRead(10000)) {
  }
  m_port = m_process->readLine().trimmed().toInt();
  return m_port > 0;
}

void LoopbackServer::stop() {
  if (!m_process) return;
  m_process->kill();
  m_process->waitForFinished(5000);
  m_process.reset();
}

QString LoopbackServer::url(const QString &path) const {
  const QString scheme = m_kind == Kind::Http ? QStringLiteral("http") : QStringLiteral("ftp");
  return QStringLiteral("%1://%2:%3%4").arg(scheme, m_address).arg(m_port).arg(path);
}

void LoopbackServer::writeFile(const QString &name, const QByteArray &bytes) const {
  QFile file(folder() + u'/' + name);
  QDir().mkpath(QFileInfo(file).absolutePath());
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

void LoopbackServer::setControl(const QString &path, const QJsonObject &control) {
  m_control.insert(path, control);
  QFile file(m_files.filePath(QStringLiteral("control.json")));
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    file.write(QJsonDocument(m_control).toJson());
}

void LoopbackServer::clearControl() {
  m_control = {};
  QFile::remove(m_files.filePath(QStringLiteral("control.json")));
}

void LoopbackServer::release(const QString &name) const {
  QFile flag(m_files.filePath(QStringLiteral("release-") + name));
  if (flag.open(QIODevice::WriteOnly)) flag.close();
}

QStringList LoopbackServer::logLines() const {
  QFile file(m_files.filePath(QStringLiteral("requests.log")));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList LoopbackServer::requests() const {
  QStringList requests;
  for (const QString &line : logLines())
    requests << line.section(u' ', 0, 1);
  return requests;
}

QStringList LoopbackServer::requestsFor(const QString &path) const {
  QStringList methods;
  for (const QString &line : logLines()) {
    if (line.section(u' ', 1, 1) == path) methods << line.section(u' ', 0, 0);
  }
  return methods;
}

QStringList LoopbackServer::clientPortsFor(const QString &path) const {
  QStringList ports;
  for (const QString &line : logLines()) {
    if (line.section(u' ', 1, 1) == path) ports << line.section(u' ', 2, 2);
  }
  return ports;
}

void LoopbackServer::clearLog() const {
  QFile::remove(m_files.filePath(QStringLiteral("requests.log")));
}

RefusedPort::RefusedPort() {
  // Bound but never listening: the port stays ours and every connection is refused.
  m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
      ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
    return;
  m_port = ntohs(address.sin_port);
}

RefusedPort::~RefusedPort() {
  if (m_socket >= 0) ::close(m_socket);
}

FifoUnblocker::FifoUnblocker(const QString &path) : m_path(QFile::encodeName(path)) {
  m_thread = std::thread([this] {
    for (int i = 1; !m_done; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      // Opening the writing end succeeds only while a reader waits on the other.
      const int fd = i > 20 ? ::open(m_path.constData(), O_WRONLY | O_NONBLOCK) : -1;
      if (fd >= 0) ::close(fd);
    }
  });
}

FifoUnblocker::~FifoUnblocker() {
  m_done = true;
  m_thread.join();
}

QByteArray pngBytes(int width, int height, unsigned rgb) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor::fromRgb(rgb));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

} // namespace nuv::test
