// Reading local files named by documents, which may point at devices, FIFOs or huge files.
#include "localfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nuv {

namespace {

constexpr qint64 readChunk = 64 * 1024;

class FileDescriptor {
public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor &) = delete;
  FileDescriptor &operator=(const FileDescriptor &) = delete;
  int get() const { return m_fd; }

private:
  int m_fd;
};

LocalFile failure(LocalReadError error, int errorNumber = 0) {
  LocalFile file;
  file.error = error;
  if (errorNumber != 0) file.reason = QString::fromLocal8Bit(std::strerror(errorNumber));
  return file;
}

} // namespace

LocalFile readRegularFile(const QString &path, qint64 maxBytes, PastBound pastBound) {
  const QByteArray name = QFile::encodeName(path);
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
  const FileDescriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return failure(LocalReadError::Missing);
    if (error == ENXIO || error == ENODEV) return failure(LocalReadError::NotRegular);
    return failure(LocalReadError::Unreadable, error);
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return failure(LocalReadError::Unreadable, errno);
  if (!S_ISREG(status.st_mode)) return failure(LocalReadError::NotRegular);

  LocalFile file;
  file.identity = {quint64(status.st_dev), quint64(status.st_ino)};
  // The reported size only sizes the buffer; the loop counts what really arrives.
  file.bytes.reserve(qsizetype(std::clamp<qint64>(status.st_size, 0, maxBytes) + 1));
  for (;;) {
    const qint64 want = std::min(readChunk, maxBytes + 1 - file.bytes.size());
    const qsizetype before = file.bytes.size();
    file.bytes.resize(before + qsizetype(want));
    const ssize_t got = ::read(fd.get(), file.bytes.data() + before, size_t(want));
    if (got < 0 && errno == EINTR) {
      file.bytes.resize(before);
      continue;
    }
    if (got < 0) return failure(LocalReadError::Unreadable, errno);
    file.bytes.resize(before + qsizetype(got));
    if (got == 0) break;
    if (file.bytes.size() <= maxBytes) continue;
    if (pastBound == PastBound::Refuse) return failure(LocalReadError::TooLarge);
    file.bytes.resize(qsizetype(maxBytes));
    break;
  }
  return file;
}

std::optional<FileIdentity> identityOf(const QString &path) {
  struct stat status {};
  if (::stat(QFile::encodeName(path).constData(), &status) != 0) return std::nullopt;
  return FileIdentity{quint64(status.st_dev), quint64(status.st_ino)};
}

QString describeBytes(qint64 bytes) {
  constexpr qint64 kib = 1024;
  if (bytes > 0 && bytes % (kib * kib) == 0) return QStringLiteral("%1 MiB").arg(bytes / kib / kib);
  if (bytes > 0 && bytes % kib == 0) return QStringLiteral("%1 KiB").arg(bytes / kib);
  return QStringLiteral("%1 bytes").arg(bytes);
}

QString describeDuration(qint64 ms) {
  if (ms > 0 && ms % 1000 == 0) return QStringLiteral("%1 s").arg(ms / 1000);
  return QStringLiteral("%1 ms").arg(ms);
}

} // namespace nuv
