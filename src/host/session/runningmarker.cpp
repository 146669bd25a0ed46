// The "NUVMutex" marker that lets other processes see an engine is running, and the places that
// bound how many engines run for one user at once.
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

// What holds the marker and the places: the runtime folder is this user's alone, the temporary
// folder is anyone's, so names there carry the user's id.
struct MarkerFolder {
  QString path;
  Folder kind;
  QString suffix;
};

MarkerFolder markerFolder() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) return {runtime, Folder::Private, {}};
  return {QDir::tempPath(), Folder::Shared, QStringLiteral("-") + QString::number(::geteuid())};
}

// What this engine would have made: in a shared folder, only something of this user's own.
bool ownedWhereItMatters(const struct stat &status, Folder kind) {
  return kind == Folder::Private || status.st_uid == ::geteuid();
}

bool isOwnRegularFile(int fd, Folder kind) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ownedWhereItMatters(status, kind);
}

// The marker's descriptor, locked, only when the name holds what this engine would have made: a
// regular file, and in a shared folder one of this user's own. O_NONBLOCK keeps a FIFO at the
// name from blocking the open.
int holdMarker(const QString &path, Folder kind) {
  const int fd = ::open(QFile::encodeName(path).constData(),
                        O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (!isOwnRegularFile(fd, kind) || ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The first free place of the folder, locked; -1 with the reason in place when there is none.
// Names are opened relative to the folder's own descriptor, so a folder swapped for a link
// after the check leads nowhere else.
int holdPlace(const QString &path, Folder kind, EnginePlace &place) {
  place = EnginePlace::Unavailable;
  const QByteArray name = QFile::encodeName(path);
  ::mkdir(name.constData(), 0700); // it may be there already
  const int folder = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return -1;
  struct stat status {};
  if (::fstat(folder, &status) != 0 || !ownedWhereItMatters(status, kind)) {
    ::close(folder);
    return -1;
  }
  place = EnginePlace::AllTaken;
  int held = -1;
  for (int i = 0; i < RunningMarker::maxEngines && held < 0; ++i) {
    const int fd = ::openat(folder, QByteArray::number(i).constData(),
                            O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) continue;
    if (isOwnRegularFile(fd, kind) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      held = fd;
      place = EnginePlace::Held;
    } else {
      ::close(fd);
    }
  }
  ::close(folder);
  return held;
}

} // namespace

QString whyNoPlace(EnginePlace place) {
  switch (place) {
  case EnginePlace::Held:
    return {};
  case EnginePlace::AllTaken:
    return QStringLiteral("%1 engines are running for this user, the most allowed")
        .arg(RunningMarker::maxEngines);
  case EnginePlace::Unavailable:
    return QStringLiteral("the running engines cannot be counted: their folder is not this "
                          "user's own");
  }
  return {};
}

RunningMarker::RunningMarker() {
  const MarkerFolder folder = markerFolder();
  m_fd = holdMarker(folder.path + QStringLiteral("/NUVMutex") + folder.suffix, folder.kind);
  m_placeFd =
      holdPlace(folder.path + QStringLiteral("/NUVEngines") + folder.suffix, folder.kind, m_place);
}

RunningMarker::~RunningMarker() {
  if (m_placeFd >= 0) ::close(m_placeFd);
  if (m_fd >= 0) ::close(m_fd);
}

} // namespace nuv
