// The file operations behind "replace only after success": new data goes
// into a temporary file beside the target, and only a complete file takes
// the target's place, in one step; a target that refuses keeps its bytes.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <set>

#include "platform/path.h"
#include "tests/support/test_support.h"

namespace zephora {
namespace {

namespace fs = std::filesystem;
using test::Listing;
using test::ReadFile;
using test::TempDir;
using test::ToText;
using test::WriteFile;

// A temporary file in `dir` holding `bytes`, closed.
Text TempFileWith(const TempDir& dir, const std::string& bytes) {
  File file;
  Text path;
  EXPECT_EQ(CreateTempFile(IncludeTrailingSeparator(ToText(dir.Path())), file, path), 0);
  EXPECT_EQ(file.Write(bytes.data(), bytes.size()), 0);
  return path;
}

TEST(CreateTempFile, MakesAFreshEmptyFileBesideTheTarget) {
  TempDir dir;
  const Text folder = IncludeTrailingSeparator(ToText(dir.Path()));
  File first, second;
  Text firstPath, secondPath;
  ASSERT_EQ(CreateTempFile(folder, first, firstPath), 0);
  ASSERT_EQ(CreateTempFile(folder, second, secondPath), 0);
  EXPECT_NE(firstPath, secondPath);
  EXPECT_EQ(ExtractFilePath(firstPath), folder);
  std::int64_t size = -1;
  ASSERT_EQ(first.Size(size), 0);
  EXPECT_EQ(size, 0);
  // Others may read it while it is being written.
  ASSERT_EQ(first.Write("data", 4), 0);
  File reader;
  EXPECT_EQ(reader.Open(firstPath, FileMode::ReadShareReadWrite), 0);
  EXPECT_EQ(Listing(dir).size(), 2u);
}

TEST(CreateTempFile, FailsInAFolderThatIsNotThere) {
  TempDir dir;
  File file;
  Text path;
  EXPECT_NE(CreateTempFile(IncludeTrailingSeparator(ToText(dir / "missing")), file, path), 0);
  EXPECT_FALSE(file.IsOpen());
}

TEST(ReplaceFileWith, PutsTheNewFileInPlaceInOneStep) {
  TempDir dir;
  WriteFile(dir / "target.txt", "old");
  const Text temp = TempFileWith(dir, "new");
  // Until the replacement the target keeps its bytes.
  EXPECT_EQ(ReadFile(dir / "target.txt"), "old");
  ASSERT_EQ(ReplaceFileWith(temp, ToText(dir / "target.txt")), 0);
  EXPECT_EQ(ReadFile(dir / "target.txt"), "new");
  EXPECT_EQ(Listing(dir), std::set<std::string>{"target.txt"});
  // A target that is not there yet is simply created.
  ASSERT_EQ(ReplaceFileWith(TempFileWith(dir, "fresh"), ToText(dir / "fresh.txt")), 0);
  EXPECT_EQ(ReadFile(dir / "fresh.txt"), "fresh");
}

TEST(ReplaceFileWith, AReadOnlyTargetOrAFolderRefusesAndKeepsItsBytes) {
  TempDir dir;
  WriteFile(dir / "protected.txt", "keep me");
  ASSERT_EQ(WriteFileAttributes(ToText(dir / "protected.txt"), kAttributeReadOnly), 0);
  fs::create_directory(dir / "folder");
  for (const char* target : {"protected.txt", "folder"}) {
    SCOPED_TRACE(target);
    const Text temp = TempFileWith(dir, "new");
    const int error = ReplaceFileWith(temp, ToText(dir / target));
    EXPECT_NE(error, 0);
    EXPECT_TRUE(IsReplaceRefusal(error)) << error;
    EXPECT_TRUE(FileExists(temp));
    EXPECT_EQ(RemoveFile(temp), 0);
  }
  EXPECT_EQ(ReadFile(dir / "protected.txt"), "keep me");
  EXPECT_TRUE(fs::is_directory(dir / "folder"));
  ASSERT_EQ(WriteFileAttributes(ToText(dir / "protected.txt"), 0), 0);
}

TEST(ReplaceFileWith, AMissingFolderIsAFailureNotARefusal) {
  TempDir dir;
  const Text temp = TempFileWith(dir, "new");
  const int error = ReplaceFileWith(temp, ToText(dir / "missing" / "target.txt"));
  EXPECT_NE(error, 0);
  EXPECT_FALSE(IsReplaceRefusal(error)) << error;
  EXPECT_TRUE(FileExists(temp));
}

#ifdef _WIN32
TEST(ReplaceFileWith, ATargetInUseRefusesAndKeepsItsBytes) {
  TempDir dir;
  WriteFile(dir / "busy.txt", "in use");
  File holder;
  ASSERT_EQ(holder.Open(ToText(dir / "busy.txt"), FileMode::ReadShareRead), 0);
  const int error = ReplaceFileWith(TempFileWith(dir, "new"), ToText(dir / "busy.txt"));
  EXPECT_TRUE(IsReplaceRefusal(error)) << error;
  holder.Close();
  EXPECT_EQ(ReadFile(dir / "busy.txt"), "in use");
}
#endif

TEST(File, CreateNewRefusesAnExistingFileAndLeavesIt) {
  TempDir dir;
  WriteFile(dir / "there.txt", "there");
  File file;
  EXPECT_NE(file.Open(ToText(dir / "there.txt"), FileMode::CreateNewWriteShareRead), 0);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadFile(dir / "there.txt"), "there");
}

TEST(File, CreateExclusiveEmptiesTheFileAndSharesWithNoOne) {
  TempDir dir;
  WriteFile(dir / "package.zip", "old contents");
  File file;
  ASSERT_EQ(file.Open(ToText(dir / "package.zip"), FileMode::CreateExclusive), 0);
  std::int64_t size = -1;
  ASSERT_EQ(file.Size(size), 0);
  EXPECT_EQ(size, 0);
#ifdef _WIN32
  File other;
  EXPECT_EQ(other.Open(ToText(dir / "package.zip"), FileMode::ReadShareAll),
            ERROR_SHARING_VIOLATION);
#endif
}

TEST(File, SetSizeGrowsWithZerosAndCutsBack) {
  TempDir dir;
  File file;
  ASSERT_EQ(file.Open(ToText(dir / "body.bin"), FileMode::CreateExclusive), 0);
  ASSERT_EQ(file.Write("abc", 3), 0);
  ASSERT_EQ(file.SetSize(6), 0);
  ASSERT_EQ(file.Write("z", 1), 0);  // at the new end
  ASSERT_EQ(file.SetSize(2), 0);
  ASSERT_EQ(file.Write("!", 1), 0);
  file.Close();
  EXPECT_EQ(ReadFile(dir / "body.bin"), "ab!");
  ASSERT_EQ(file.Open(ToText(dir / "body.bin"), FileMode::ReadShareRead), 0);
  char bytes[8] = {};
  std::size_t done = 0;
  ASSERT_EQ(file.ReadAt(1, bytes, sizeof bytes, done), 0);
  EXPECT_EQ(std::string(bytes, done), "b!");
}

TEST(FileAttributes, ReadOnlyGoesThereAndBack) {
  TempDir dir;
  WriteFile(dir / "file.txt", "x");
  const Text file = ToText(dir / "file.txt");
  std::uint32_t attributes = 0xFF;
  ASSERT_EQ(WriteFileAttributes(file, kAttributeReadOnly), 0);
  ASSERT_EQ(ReadFileAttributes(file, attributes), 0);
  EXPECT_EQ(attributes & (kAttributeReadOnly | kAttributeDirectory), kAttributeReadOnly);
  ASSERT_EQ(WriteFileAttributes(file, 0), 0);
  ASSERT_EQ(ReadFileAttributes(file, attributes), 0);
  EXPECT_EQ(attributes & kAttributeReadOnly, 0u);
  ASSERT_EQ(ReadFileAttributes(ToText(dir.Path()), attributes), 0);
  EXPECT_NE(attributes & kAttributeDirectory, 0u);
  EXPECT_NE(ReadFileAttributes(ToText(dir / "missing"), attributes), 0);
}

}  // namespace
}  // namespace zephora
