// Reading local files named by documents, which may point at devices, FIFOs or huge files.
#include "localfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nuv {

namespace {

constexpr qint64 readChunk = 64 * 1024;

class FileDescriptor {
public:
  FileDescriptor() = default;
  ~FileDescriptor() { reset(-1); }
  FileDescriptor(const FileDescriptor &) = delete;
  FileDescriptor &operator=(const FileDescriptor &) = delete;
  int get() const { return m_fd; }
  void reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }
  // The descriptor now belongs to someone else.
  void release() { m_fd = -1; }

private:
  int m_fd = -1;
};

// A text of megabytes is widened into fresh memory, which the system hands out one page, and one
// fault, at a time. Where huge pages are given on request they take one fault per 2 MiB. Only
// advice: refused, nothing changes but the time.
void adviseHugePages(void *data, qsizetype bytes) {
  constexpr std::uintptr_t huge = 2 * 1024 * 1024;
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t begin = (start + huge - 1) & ~(huge - 1);
  const std::uintptr_t end = (start + std::uintptr_t(bytes)) & ~(huge - 1);
  if (end > begin) ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

template <typename Result> Result failure(LocalReadError error, int errorNumber = 0) {
  Result result;
  result.error = error;
  if (errorNumber != 0) result.reason = QString::fromLocal8Bit(std::strerror(errorNumber));
  return result;
}

// Opens path for reading and checks that it is a regular file; on failure, the result to give.
template <typename Result>
std::optional<Result> openChecked(const QString &path, FileDescriptor &fd, struct stat &status) {
  const QByteArray name = QFile::encodeName(path);
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
  fd.reset(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return failure<Result>(LocalReadError::Missing);
    if (error == ENXIO || error == ENODEV) return failure<Result>(LocalReadError::NotRegular);
    return failure<Result>(LocalReadError::Unreadable, error);
  }
  if (::fstat(fd.get(), &status) != 0) return failure<Result>(LocalReadError::Unreadable, errno);
  if (!S_ISREG(status.st_mode)) return failure<Result>(LocalReadError::NotRegular);
  return std::nullopt;
}

} // namespace

LocalFile readRegularFile(const QString &path, qint64 maxBytes, PastBound pastBound) {
  FileDescriptor fd;
  struct stat status {};
  if (std::optional<LocalFile> refused = openChecked<LocalFile>(path, fd, status)) return *refused;

  LocalFile file;
  file.identity = {quint64(status.st_dev), quint64(status.st_ino)};
  maxBytes = std::max<qint64>(maxBytes, 0);
  // One byte past the bound tells a longer file; a bound at the top of the range has no past.
  const qint64 readLimit = maxBytes < std::numeric_limits<qint64>::max() ? maxBytes + 1 : maxBytes;
  // The reported size only sizes the buffer; the loop counts what really arrives.
  file.bytes.reserve(qsizetype(std::clamp<qint64>(status.st_size + 1, 1, readLimit)));
  for (;;) {
    const qint64 want = std::min(readChunk, readLimit - file.bytes.size());
    const qsizetype before = file.bytes.size();
    file.bytes.resize(before + qsizetype(want));
    const ssize_t got = ::read(fd.get(), file.bytes.data() + before, size_t(want));
    if (got < 0 && errno == EINTR) {
      file.bytes.resize(before);
      continue;
    }
    if (got < 0) return failure<LocalFile>(LocalReadError::Unreadable, errno);
    file.bytes.resize(before + qsizetype(got));
    if (got == 0) break;
    if (file.bytes.size() <= maxBytes) continue;
    if (pastBound == PastBound::Refuse) return failure<LocalFile>(LocalReadError::TooLarge);
    file.bytes.resize(qsizetype(maxBytes));
    break;
  }
  return file;
}

LocalText readRegularText(const QString &path, qint64 maxBytes) {
  FileDescriptor fd;
  struct stat status {};
  if (std::optional<LocalText> refused = openChecked<LocalText>(path, fd, status)) return *refused;

  LocalText file;
  maxBytes = std::max<qint64>(maxBytes, 0);
  const qint64 readLimit = maxBytes < std::numeric_limits<qint64>::max() ? maxBytes + 1 : maxBytes;
  file.asciiHead.reserve(qsizetype(std::clamp<qint64>(status.st_size, 0, readLimit)));
  adviseHugePages(file.asciiHead.data(), file.asciiHead.capacity() * qsizetype(sizeof(QChar)));
  QByteArray piece(qsizetype(readChunk), Qt::Uninitialized);
  for (;;) {
    const qint64 want = std::min(readChunk, readLimit - file.byteCount);
    const ssize_t got = ::read(fd.get(), piece.data(), size_t(want));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failure<LocalText>(LocalReadError::Unreadable, errno);
    if (got == 0) break;
    file.byteCount += got;
    if (file.byteCount > maxBytes) return failure<LocalText>(LocalReadError::TooLarge);
    const QLatin1StringView bytes(piece.constData(), qsizetype(got));
    if (file.rest.isEmpty() && QtPrivate::isAscii(bytes))
      file.asciiHead.append(bytes);
    else
      file.rest.append(bytes.data(), bytes.size());
  }
  return file;
}

OpenedFile openRegularFile(const QString &path, qint64 maxBytes) {
  FileDescriptor fd;
  struct stat status {};
  if (std::optional<OpenedFile> refused = openChecked<OpenedFile>(path, fd, status))
    return std::move(*refused);
  if (status.st_size > maxBytes) return failure<OpenedFile>(LocalReadError::TooLarge);

  OpenedFile opened;
  opened.identity = {quint64(status.st_dev), quint64(status.st_ino)};
  opened.file = std::make_unique<QFile>();
  if (!opened.file->open(fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
    return failure<OpenedFile>(LocalReadError::Unreadable);
  fd.release();
  return opened;
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
