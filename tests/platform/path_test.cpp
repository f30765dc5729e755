#include "platform/path.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace zephora {
namespace {

TEST(Path, SplitsAtTheLastSeparatorOrColon) {
  struct Case {
    const char16_t* path;
    const char16_t* folder;
    const char16_t* name;
  };
  const Case cases[] = {
      {u"C:\\ZEPHORA\\main.zip", u"C:\\ZEPHORA\\", u"main.zip"},
      {u"C:main.zip", u"C:", u"main.zip"},
      {u"main.zip", u"", u"main.zip"},
      {u"C:\\ZEPHORA\\", u"C:\\ZEPHORA\\", u""},
      {u"/build/tests/main.zip", u"/build/tests/", u"main.zip"},
      {u"C:/ZEPHORA\\sub/main.zip", u"C:/ZEPHORA\\sub/", u"main.zip"},
      {u"", u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.path), c.folder) << ToUtf8(c.path);
    EXPECT_EQ(ExtractFileName(c.path), c.name) << ToUtf8(c.path);
    EXPECT_EQ(ExtractFilePath(c.path) + ExtractFileName(c.path), c.path) << ToUtf8(c.path);
  }
}

TEST(Path, JoinsWithOneSeparator) {
  const Text separator(1, kPathSeparator);
  EXPECT_EQ(IncludeTrailingSeparator(u"dir\\"), u"dir\\");
  EXPECT_EQ(IncludeTrailingSeparator(u"dir/"), u"dir/");
  EXPECT_EQ(IncludeTrailingSeparator(u"dir"), u"dir" + separator);
  EXPECT_EQ(IncludeTrailingSeparator(u""), separator);
  EXPECT_EQ(JoinPath(u"C:\\ZEPHORA\\", u"main.zip"), u"C:\\ZEPHORA\\main.zip");
  EXPECT_EQ(JoinPath(u"C:\\Users\\x\\Desktop", u"ZEPHORA.lnk"),
            u"C:\\Users\\x\\Desktop" + separator + u"ZEPHORA.lnk");
  // No folder: the name stands alone rather than at the root.
  EXPECT_EQ(JoinPath(u"", u"main.zip"), u"main.zip");
}

// Windows' file functions refuse a classic path of 260 characters or more;
// in the extended-length form they take any length, but resolve nothing.
TEST(Path, ALongAbsolutePathTakesTheExtendedLengthForm) {
  const Text name(240, u'n');
  const Text deep = u"C:\\ZEPHORA\\" + name;  // 251 characters
  EXPECT_EQ(ExtendedLengthPath(deep), u"\\\\?\\" + deep);
  EXPECT_EQ(ExtendedLengthPath(u"d:/ZEPHORA/" + name), u"\\\\?\\d:\\ZEPHORA\\" + name);
  EXPECT_EQ(ExtendedLengthPath(u"\\\\server\\share\\" + name),
            u"\\\\?\\UNC\\server\\share\\" + name);
  // A folder keeps its trailing separator.
  EXPECT_EQ(ExtendedLengthPath(deep + u"\\"), u"\\\\?\\" + deep + u"\\");

  const Text unchanged[] = {
      u"C:\\ZEPHORA\\main.zip",                  // short: the classic form
      Text(u"C:\\ZEPHORA\\") + Text(235, u'n'),  // 246, still below the limit
      u"\\\\?\\" + deep,                         // already extended
      u"\\\\.\\" + deep,                         // a device path
      u"ZEPHORA\\" + name + u"\\more",           // relative
      u"C:ZEPHORA\\" + name + u"\\more",         // relative to the drive's folder
      u"\\ZEPHORA\\" + name + u"\\more",         // relative to the current drive
      u"C:\\ZEPHORA\\..\\" + name,               // parts only the classic form resolves
      u"C:\\ZEPHORA\\.\\" + name,
      u"C:\\ZEPHORA\\\\" + name,
      u"\\\\server\\..\\" + name,
  };
  for (const Text& path : unchanged)
    EXPECT_EQ(ExtendedLengthPath(path), path) << ToUtf8(path);
}

TEST(Path, TellsFilesFromFolders) {
  test::TempDir dir;
  test::WriteFile(dir / "file.txt", "x");
  const Text folder = test::ToText(dir.Path());
  const Text file = test::ToText(dir / "file.txt");
  const Text missing = test::ToText(dir / "missing");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(DirectoryExists(folder));
  EXPECT_FALSE(FileExists(folder));
  EXPECT_FALSE(FileExists(missing));
  EXPECT_FALSE(DirectoryExists(missing));
}

}  // namespace
}  // namespace zephora
