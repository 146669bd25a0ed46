// The running-engine marker: where others find it held, and that nothing planted at its name is
// followed, created through or held.
#include "../support/scopedenv.h"
#include "runningmarker.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <vector>

using nuv::EnginePlace;
using nuv::RunningMarker;
using nuv::test::ScopedEnv;

namespace {

enum class Place { Runtime, Temporary };

// A fresh folder as $XDG_RUNTIME_DIR, or as the temporary folder with XDG_RUNTIME_DIR unset. The
// other of the two is a second fresh folder, so a marker made in the wrong one shows.
class MarkerFolder {
public:
  explicit MarkerFolder(Place place)
      : m_runtime("XDG_RUNTIME_DIR", place == Place::Runtime
                                         ? std::optional(QFile::encodeName(m_folder.path()))
                                         : std::nullopt),
        m_temporary("TMPDIR", QFile::encodeName(place == Place::Temporary ? m_folder.path()
                                                                          : m_other.path())) {}
  QString path(const QString &name) const { return m_folder.filePath(name); }
  bool otherIsEmpty() const {
    return QDir(m_other.path())
        .isEmpty(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
  }

private:
  QTemporaryDir m_folder;
  QTemporaryDir m_other;
  ScopedEnv m_runtime;
  ScopedEnv m_temporary;
};

// Whether some process holds a lock on what is at path, as another program would ask.
bool heldByAnyone(const QString &path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return held;
}

const QString plainName = QStringLiteral("NUVMutex");
const QString userName = QStringLiteral("NUVMutex-") + QString::number(::geteuid());

TEST(RunningMarker, IsHeldWhereOthersLookForIt) {
  struct Case {
    Place place;
    QString name;
  };
  for (const Case &c : {Case{Place::Runtime, plainName}, Case{Place::Temporary, userName}}) {
    SCOPED_TRACE(c.name.toStdString());
    MarkerFolder folder(c.place);
    {
      RunningMarker marker;
      RunningMarker second; // engines share it
      EXPECT_TRUE(heldByAnyone(folder.path(c.name)));
      EXPECT_TRUE(QFileInfo(folder.path(c.name)).isFile());
      EXPECT_TRUE(folder.otherIsEmpty());
    }
    EXPECT_FALSE(heldByAnyone(folder.path(c.name)));
  }
}

TEST(RunningMarker, PlantedLinkIsNeitherFollowedNorCreatedThrough) {
  struct Case {
    Place place;
    QString name;
    bool targetExists;
  };
  const Case cases[] = {
      {Place::Temporary, userName, false},  {Place::Temporary, userName, true},
      {Place::Temporary, plainName, false}, {Place::Runtime, plainName, false},
      {Place::Runtime, plainName, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name.toStdString() + (c.targetExists ? " to an existing file" : " to nothing"));
    MarkerFolder folder(c.place);
    QTemporaryDir victim;
    const QString target = victim.filePath(QStringLiteral("victim"));
    if (c.targetExists) {
      QFile file(target);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString link = folder.path(c.name);
    ASSERT_TRUE(QFile::link(target, link));

    RunningMarker marker;
    EXPECT_EQ(QFileInfo::exists(target), c.targetExists);
    EXPECT_FALSE(heldByAnyone(target));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
  }
}

// Anyone may make names in the temporary folder: what this user's engine would not have made
// there is not held, and a FIFO at the name must not hang the engine.
TEST(RunningMarker, TemporaryFolderHoldsOnlyARegularFile) {
  struct Case {
    const char *what;
    int (*plant)(const char *path);
  };
  const Case cases[] = {
      {"a FIFO", [](const char *path) { return ::mkfifo(path, 0666); }},
      {"a folder", [](const char *path) { return ::mkdir(path, 0777); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    MarkerFolder folder(Place::Temporary);
    ASSERT_EQ(c.plant(QFile::encodeName(folder.path(userName)).constData()), 0);
    RunningMarker marker;
    EXPECT_FALSE(heldByAnyone(folder.path(userName)));
  }
}

// Each engine holds a place of its own until it ends; past the bound there is none.
TEST(RunningMarker, AtMostSixtyFourEnginesHoldAPlace) {
  for (const Place place : {Place::Runtime, Place::Temporary}) {
    SCOPED_TRACE(place == Place::Runtime ? "runtime folder" : "temporary folder");
    MarkerFolder folder(place);
    std::vector<std::unique_ptr<RunningMarker>> engines;
    for (int i = 0; i < RunningMarker::maxEngines; ++i) {
      engines.push_back(std::make_unique<RunningMarker>());
      EXPECT_EQ(engines.back()->place(), EnginePlace::Held) << i;
    }
    EXPECT_EQ(RunningMarker().place(), EnginePlace::AllTaken);
    engines.erase(engines.begin() + 10);
    EXPECT_EQ(RunningMarker().place(), EnginePlace::Held);
    EXPECT_TRUE(folder.otherIsEmpty());
  }
}

// What is planted at the folder's name is neither followed nor counted in: without a folder of
// this user's own no engine holds a place.
TEST(RunningMarker, PlantedPlacesFolderHoldsNoPlace) {
  enum class Plant { Link, File, OthersFolder };
  struct Case {
    const char *what;
    Place place;
    QString name;
    Plant plant;
  };
  const QString userPlaces = QStringLiteral("NUVEngines-") + QString::number(::geteuid());
  const Case cases[] = {
      {"a link in the runtime folder", Place::Runtime, QStringLiteral("NUVEngines"), Plant::Link},
      {"a link in the temporary folder", Place::Temporary, userPlaces, Plant::Link},
      {"a file in the temporary folder", Place::Temporary, userPlaces, Plant::File},
      {"another user's folder in the temporary folder", Place::Temporary, userPlaces,
       Plant::OthersFolder},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    MarkerFolder folder(c.place);
    QTemporaryDir victim;
    const QString name = folder.path(c.name);
    switch (c.plant) {
    case Plant::Link:
      ASSERT_TRUE(QFile::link(victim.path(), name));
      break;
    case Plant::File: {
      QFile file(name);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      break;
    }
    case Plant::OthersFolder:
      // Only root can give a folder to another user.
      if (::geteuid() != 0) continue;
      ASSERT_TRUE(QDir().mkdir(name));
      ASSERT_EQ(::chown(QFile::encodeName(name).constData(), 65534, 65534), 0);
      break;
    }
    EXPECT_EQ(RunningMarker().place(), EnginePlace::Unavailable);
    EXPECT_TRUE(
        QDir(victim.path())
            .isEmpty(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot));
  }
}

TEST(RunningMarker, TemporaryFolderRefusesAnotherUsersFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can plant a file owned by another user";
  MarkerFolder folder(Place::Temporary);
  const QByteArray path = QFile::encodeName(folder.path(userName));
  const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ::close(fd);
  ASSERT_EQ(::chown(path.constData(), 65534, 65534), 0);
  RunningMarker marker;
  EXPECT_FALSE(heldByAnyone(folder.path(userName)));
}

} // namespace
