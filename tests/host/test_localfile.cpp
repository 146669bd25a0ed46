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

TEST(ReadRegularText, BoundsAndTheAsciiHead) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // Read in 64 KiB pieces: the piece with the first other byte and all after it stay bytes.
  const QByteArray longAscii(70000, 'a');
  const struct {
    const char *name;
    QByteArray content;
    qint64 maxBytes;
    LocalReadError error;
    QString head;
    QByteArray rest;
  } cases[] = {
      {"ascii", "twelve bytes", 12, LocalReadError::None, QStringLiteral("twelve bytes"), ""},
      {"past the bound", "twelve bytes", 11, LocalReadError::TooLarge, QString(), ""},
      {"whole range", "twelve bytes", std::numeric_limits<qint64>::max(), LocalReadError::None,
       QStringLiteral("twelve bytes"), ""},
      {"empty", "", 0, LocalReadError::None, QString(), ""},
      {"other at once", "caf\xc3\xa9", 100, LocalReadError::None, QString(), "caf\xc3\xa9"},
      {"other in the second piece", longAscii + "\xe9", 100000, LocalReadError::None,
       QString(65536, u'a'), longAscii.mid(65536) + "\xe9"},
  };
  for (const auto &c : cases) {
    const QString path = dir.filePath(QString::fromLatin1(c.name));
    nuv::test::writeAll(path, c.content);
    const LocalText text = readRegularText(path, c.maxBytes);
    EXPECT_EQ(text.error, c.error) << c.name;
    EXPECT_EQ(text.asciiHead, c.head) << c.name;
    EXPECT_EQ(text.rest, c.rest) << c.name;
    if (text.ok()) {
      EXPECT_EQ(text.byteCount, c.content.size()) << c.name;
    }
  }
  EXPECT_EQ(readRegularText(dir.path(), 100).error, LocalReadError::NotRegular);
  EXPECT_EQ(readRegularText(dir.filePath(QStringLiteral("none")), 100).error,
            LocalReadError::Missing);
}
