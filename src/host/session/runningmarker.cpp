// The "NUVMutex" marker that lets other processes see an engine is running.
#include "runningmarker.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nuv {

namespace {

enum class Folder { Private, Shared };

// The marker's descriptor, locked, only when the name holds what this engine would have made: a
// regular file, and in a shared folder one of this user's own. O_NONBLOCK keeps a FIFO at the
// name from blocking the open.
int holdMarker(const QString &path, Folder kind) {
  const int fd = ::open(QFile::encodeName(path).constData(),
                        O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  struct stat status {};
  const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  const bool owned = kind == Folder::Private || status.st_uid == ::geteuid();
  if (!regular || !owned || ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

} // namespace

RunningMarker::RunningMarker() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) {
    m_fd = holdMarker(runtime + QStringLiteral("/NUVMutex"), Folder::Private);
    return;
  }
  m_fd = holdMarker(QDir::tempPath() + QStringLiteral("/NUVMutex-") + QString::number(::geteuid()),
                    Folder::Shared);
}

RunningMarker::~RunningMarker() {
  if (m_fd >= 0) ::close(m_fd);
}

} // namespace nuv
