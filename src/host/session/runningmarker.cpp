// The "NUVMutex" marker that lets other processes see an engine is running.
#include "runningmarker.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace nuv {

RunningMarker::RunningMarker() {
  QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::tempPath();
  const QByteArray path = QFile::encodeName(folder + QStringLiteral("/NUVMutex"));
  m_fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  if (m_fd >= 0) ::flock(m_fd, LOCK_SH | LOCK_NB);
}

RunningMarker::~RunningMarker() {
  if (m_fd >= 0) ::close(m_fd);
}

} // namespace nuv
