// The system temporary folder and unique temporary files in it.
#include "tempfiles.h"

#include <QDir>
#include <QTemporaryFile>

namespace nuv {

// "" when the system names no usable folder (TMPDIR pointing nowhere); adding the
// slash then would turn the file system root into the temporary folder.
QString tempFolderPath() {
  QString path = QDir::tempPath();
  if (path.isEmpty()) return {};
  if (!path.endsWith(u'/')) path.append(u'/');
  return path;
}

// The file is kept: the caller owns it and deletes it after use.
QString tempFileName() {
  const QString folder = tempFolderPath();
  if (folder.isEmpty()) return {};
  QTemporaryFile file(folder + QStringLiteral("jovXXXXXX"));
  file.setAutoRemove(false);
  if (!file.open()) return {};
  return file.fileName();
}

} // namespace nuv
