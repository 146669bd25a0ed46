// Bounds on reading local files, up to the edges of their range.
#include "localfile.h"
#include "testfiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

using namespace nuv;

TEST(ReadRegularFile, BoundsUpToTheEdgesOfTheRange) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("twelve"));
  nuv::test::writeAll(path, "twelve bytes");
  const struct {
    qint64 maxBytes;
    PastBound pastBound;
    LocalReadError error;
    QByteArray bytes;
  } cases[] = {
      // A bound as large as the range, from the environment: one byte past it does not exist.
      {std::numeric_limits<qint64>::max(), PastBound::Refuse, LocalReadError::None, "twelve bytes"},
      {std::numeric_limits<qint64>::max() - 1, PastBound::Refuse, LocalReadError::None,
       "twelve bytes"},
      {12, PastBound::Refuse, LocalReadError::None, "twelve bytes"},
      {11, PastBound::Refuse, LocalReadError::TooLarge, ""},
      {5, PastBound::Cut, LocalReadError::None, "twelv"},
      {0, PastBound::Cut, LocalReadError::None, ""},
      {-1, PastBound::Refuse, LocalReadError::TooLarge, ""},
  };
  for (const auto &c : cases) {
    const LocalFile file = readRegularFile(path, c.maxBytes, c.pastBound);
    EXPECT_EQ(file.error, c.error) << c.maxBytes;
    EXPECT_EQ(file.bytes, c.bytes) << c.maxBytes;
  }
}
