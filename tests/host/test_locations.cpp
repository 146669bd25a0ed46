// Resolving, naming and finding document locations.
#include "locations.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace nuv;

namespace {

TEST(Locations, ResolveAgainstBaseFolder) {
  const struct {
    const char *location;
    const char *base;
    const char *expected;
  } cases[] = {
      {"img\\a.bmp", "C:\\docs\\", "C:/docs/img/a.bmp"},
      {"img/a.bmp", "/home/u/docs/", "/home/u/docs/img/a.bmp"},
      {"D:\\x.bmp", "/base/", "D:/x.bmp"},
      {"/abs/x.bmp", "/base/", "/abs/x.bmp"},
      {"\\abs\\x.bmp", "/base/", "/abs/x.bmp"},
      {"HTTP://h/x.bmp", "/base/", "HTTP://h/x.bmp"},
      {"http://h/a\\b.bmp", "/base/", "http://h/a\\b.bmp"},
      {"Ftp://h/x.bmp", "/base/", "Ftp://h/x.bmp"},
      {"https://h/x.bmp", "/base/", "https://h/x.bmp"},
      {"file:///x.bmp", "/base/", "file:///x.bmp"},
      {"a.bmp", "http://h/dir/", "http://h/dir/a.bmp"},
      {"sub\\a.bmp", "http://h/dir/", "http://h/dir/sub/a.bmp"},
      {"a.bmp", "", "a.bmp"},
      {"", "/base/", "/base/"},
      {"1:x.bmp", "/base/", "/base/1:x.bmp"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(resolveLocation(QString::fromUtf8(c.location), QString::fromUtf8(c.base)),
              QString::fromUtf8(c.expected))
        << c.location << " in " << c.base;
  }
}

TEST(Locations, Classification) {
  const struct {
    const char *location;
    bool remote;
    bool absolute;
  } cases[] = {
      {"http://h/x", true, true}, {"HTTPS://h/x", true, true}, {"fTp://h/x", true, true},
      {"file:///x", false, true}, {"/x", false, true},         {"c:x", false, true},
      {"x/y", false, false},      {"httpx://h", false, false}, {"", false, false},
      {"http", false, false},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(isRemote(QString::fromUtf8(c.location)), c.remote) << c.location;
    EXPECT_EQ(isAbsoluteLocation(QString::fromUtf8(c.location)), c.absolute) << c.location;
  }
}

TEST(Locations, FolderAndExtension) {
  const struct {
    const char *location;
    const char *folder;
    const char *extension;
  } cases[] = {
      {"C:\\docs\\Main.Skin.nuv", "C:\\docs\\", ".nuv"},
      {"http://h/dir/a.png", "http://h/dir/", ".png"},
      {"http://h.com/dir/noext", "http://h.com/dir/", ".com/dir/noext"},
      {"a/b\\c", "a/b\\", ""},
      {"bare", "", ""},
      {"", "", ""},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(folderOf(QString::fromUtf8(c.location)), QString::fromUtf8(c.folder)) << c.location;
    EXPECT_EQ(extensionOf(QString::fromUtf8(c.location)), QString::fromUtf8(c.extension))
        << c.location;
  }
}

// Qt's naming of double-density art: "@2x" before the extension of the file name itself. A
// remote address keeps what follows its path, so a query that picks a version picks the art's.
TEST(Locations, HighDensityArtName) {
  const struct {
    const char *location;
    const char *art;
  } cases[] = {
      {"skin.bmp", "skin@2x.bmp"},
      {"/docs/img/Skin.PNG", "/docs/img/Skin@2x.PNG"},
      {"a.b/c", "a.b/c@2x"},
      {"dir\\pic.v2.png", "dir\\pic.v2@2x.png"},
      {"C:\\docs\\skin.bmp", "C:\\docs\\skin@2x.bmp"},
      {"file:///x/skin.png", "file:///x/skin@2x.png"},
      {".hidden", ".hidden@2x"},
      {"http://h/img/skin.png", "http://h/img/skin@2x.png"},
      {"HTTP://h.com/img/skin", "HTTP://h.com/img/skin@2x"},
      {"http://h/img/skin.png?v=3&x=a.b", "http://h/img/skin@2x.png?v=3&x=a.b"},
      {"https://h/a.png#part", "https://h/a@2x.png#part"},
      {"ftp://h/pub/a.gif", "ftp://h/pub/a@2x.gif"},
      // Already art, or no file named.
      {"skin@2x.png", ""},
      {"skin@2X", ""},
      {"folder/", ""},
      {"http://h", ""},
      {"http://h/", ""},
      {"http://h/?q=a.png", ""},
      {"", ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(highDensityLocationOf(QString::fromUtf8(c.location)), QString::fromUtf8(c.art))
        << c.location;
}

class LocalFiles : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("Sub")));
    QFile file(path("Sub/File.TXT"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  QString path(const char *relative) const { return m_dir.path() + u'/' + relative; }

  QTemporaryDir m_dir;
};

TEST_F(LocalFiles, DisplayName) {
  const struct {
    QString location;
    QString name;
  } cases[] = {
      {QStringLiteral("C:\\docs\\Main.Skin.nuv"), QStringLiteral("Main.Skin")},
      {QStringLiteral("\"/x/y.nuv\""), QStringLiteral("y")},
      {QStringLiteral("/x/noext"), QStringLiteral("noext")},
      {QStringLiteral("bare.nuv"), QString()},
      {path("sub/file.txt"), QStringLiteral("File")},
  };
  for (const auto &c : cases)
    EXPECT_EQ(displayNameOf(c.location), c.name) << c.location.toStdString();
}

TEST_F(LocalFiles, ExistenceMatchesLetterCaseLoosely) {
  const struct {
    QString location;
    bool exists;
  } cases[] = {
      {path("Sub/File.TXT"), true},
      {path("sub/file.txt"), true},
      {path("SUB\\FILE.txt"), true},
      {QStringLiteral("file://") + path("Sub/file.txt"), true},
      {path("Sub"), false},
      {path("Sub/Other.txt"), false},
      {path("None/File.TXT"), false},
      {QStringLiteral("http://h/x.txt"), false},
      {QString(), false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(locationExists(c.location), c.exists) << c.location.toStdString();
}

TEST_F(LocalFiles, FindLocalFileGivesStoredName) {
  EXPECT_EQ(findLocalFile(path("SUB/file.txt")), path("Sub/File.TXT"));
  EXPECT_EQ(findLocalFile(path("Sub/File.TXT")), path("Sub/File.TXT"));
  EXPECT_EQ(findLocalFile(path("Sub/missing")), QString());
}

TEST(Locations, LocalPathOf) {
  EXPECT_EQ(localPathOf(u"file:///tmp/a%20b.png"), "/tmp/a b.png");
  EXPECT_EQ(localPathOf(u"dir\\a.png"), "dir/a.png");
  EXPECT_EQ(localPathOf(u"http://h/a.png"), QString());
}

} // namespace
