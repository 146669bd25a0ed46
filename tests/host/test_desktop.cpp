// removeFolder never touches what is not a folder of its own.
#include "desktop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace nuv;

TEST(RemoveFolder, RootsAndRelativePathsAreNeverTouched) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile plain(dir.filePath(QStringLiteral("plain")));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  // Run from inside the folder: a relative or empty path would otherwise name it.
  const QString before = QDir::currentPath();
  QDir::setCurrent(dir.path());
  for (const QString &path : {QString(), QStringLiteral("  "), QStringLiteral("/"),
                              QStringLiteral(" //./ "), QStringLiteral("/.."), QStringLiteral("."),
                              QStringLiteral("plain/.."), QStringLiteral("C:")})
    removeFolder(path);
  QDir::setCurrent(before);
  EXPECT_TRUE(plain.exists());
  EXPECT_TRUE(QDir(QStringLiteral("/")).exists(QStringLiteral("tmp")));
}
