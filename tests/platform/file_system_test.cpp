// The file operations behind "replace only after success": new data goes
// into a temporary file beside the target, and only a complete file takes
// the target's place, in one step; a target that refuses keeps its bytes,
// and only a brief hold by another program is waited for.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

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

// "busy.txt" holding "in use", which `holder` opens for reading and lets
// others only read (so not replace, where open files refuse).
Text BusyFile(const TempDir& dir, File& holder) {
  WriteFile(dir / "busy.txt", "in use");
  EXPECT_EQ(holder.Open(ToText(dir / "busy.txt"), FileMode::ReadShareRead), 0);
  return ToText(dir / "busy.txt");
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
  // Others may read it while it is being written, if they let it be deleted.
  ASSERT_EQ(first.Write("data", 4), 0);
  File reader;
  EXPECT_EQ(reader.Open(firstPath, FileMode::ReadShareAll), 0);
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

TEST(ReplaceFileWith, AReadOnlyTargetOrAFolderRefusesAtOnceAndKeepsItsBytes) {
  TempDir dir;
  WriteFile(dir / "protected.txt", "keep me");
  ASSERT_EQ(WriteFileAttributes(ToText(dir / "protected.txt"), kAttributeReadOnly), 0);
  fs::create_directory(dir / "folder");
  for (const char* target : {"protected.txt", "folder"}) {
    SCOPED_TRACE(target);
    const Text temp = TempFileWith(dir, "new");
    HoldWaits waits;
    const int error = waits.Replace(temp, ToText(dir / target));
    EXPECT_NE(error, 0);
    // Neither lets go by itself: no waiting.
    EXPECT_FALSE(IsBriefHold(error)) << error;
    EXPECT_EQ(waits.SpentMs(), 0);
    EXPECT_TRUE(FileExists(temp));
    EXPECT_EQ(RemoveFile(temp), 0);
  }
  EXPECT_EQ(ReadFile(dir / "protected.txt"), "keep me");
  EXPECT_TRUE(fs::is_directory(dir / "folder"));
  ASSERT_EQ(WriteFileAttributes(ToText(dir / "protected.txt"), 0), 0);
}

TEST(ReplaceFileWith, AMissingFolderFailsAtOnce) {
  TempDir dir;
  const Text temp = TempFileWith(dir, "new");
  HoldWaits waits;
  const int error = waits.Replace(temp, ToText(dir / "missing" / "target.txt"));
  EXPECT_NE(error, 0);
  EXPECT_FALSE(IsBriefHold(error)) << error;
  EXPECT_EQ(waits.SpentMs(), 0);
  EXPECT_TRUE(FileExists(temp));
}

#ifdef _WIN32
// Another program reading the target without sharing its deletion, as a
// virus scanner may for a moment: the file keeps its bytes, and the refusal
// is one that a short wait may end.
TEST(ReplaceFileWith, ATargetHeldWithoutDeleteSharingIsABriefHold) {
  TempDir dir;
  File holder;
  const Text busy = BusyFile(dir, holder);
  const int error = ReplaceFileWith(TempFileWith(dir, "new"), busy);
  EXPECT_EQ(error, ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(IsBriefHold(error));
  holder.Close();
  EXPECT_EQ(ReadFile(dir / "busy.txt"), "in use");
}

TEST(HoldWaits, GiveUpOnAFileThatStaysHeldAfterASecondOfWaits) {
  TempDir dir;
  File holder;
  const Text busy = BusyFile(dir, holder);
  HoldWaits waits;
  EXPECT_EQ(waits.Replace(TempFileWith(dir, "new"), busy), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(waits.SpentMs(), HoldWaits::kPerFileMs);
  holder.Close();
  EXPECT_EQ(ReadFile(dir / "busy.txt"), "in use");
}

TEST(HoldWaits, WaitNoLongerThanTheTotalForAllFilesTogether) {
  TempDir dir;
  File holder;
  const Text busy = BusyFile(dir, holder);
  HoldWaits waits(150);
  EXPECT_EQ(waits.Replace(TempFileWith(dir, "one"), busy), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(waits.SpentMs(), 150);
  // With the total spent, a held file fails at the first refusal.
  EXPECT_EQ(waits.Replace(TempFileWith(dir, "two"), busy), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(waits.SpentMs(), 150);
  // What is not held is still replaced.
  WriteFile(dir / "free.txt", "old");
  EXPECT_EQ(waits.Replace(TempFileWith(dir, "three"), ToText(dir / "free.txt")), 0);
  EXPECT_EQ(ReadFile(dir / "free.txt"), "three");
}

TEST(HoldWaits, ReplaceAFileWhoseHolderLetsGoWithinThem) {
  TempDir dir;
  auto holder = std::make_unique<File>();
  const Text busy = BusyFile(dir, *holder);
  // Lets go after a tenth of the waits that one file is given.
  std::thread scanner([&holder] {
    std::this_thread::sleep_for(std::chrono::milliseconds(HoldWaits::kPerFileMs / 10));
    holder.reset();
  });
  HoldWaits waits;
  const int error = waits.Replace(TempFileWith(dir, "new"), busy);
  scanner.join();
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ReadFile(dir / "busy.txt"), "new");
  EXPECT_EQ(Listing(dir), std::set<std::string>{"busy.txt"});
}

// Another program (hold_file, run as `program`) holding `held` with the
// given sharing until Release() or the end of the scope.
class HoldingProgram {
 public:
  HoldingProgram(const TempDir& dir, const fs::path& program, const fs::path& held,
                 const std::wstring& sharing)
      : release_(dir / "release") {
    const auto quoted = [](const fs::path& path) { return L"\"" + path.wstring() + L"\""; };
    const fs::path ready = dir / "ready";
    std::wstring command = quoted(program) + L" " + quoted(held) + L" share " + sharing +
                           L" until " + quoted(release_) + L" ready " + quoted(ready);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_)) {
      return;
    }
    for (int i = 0; i < 6000 && !fs::exists(ready); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ready_ = fs::exists(ready);
  }
  ~HoldingProgram() { Release(); }
  HoldingProgram(const HoldingProgram&) = delete;
  HoldingProgram& operator=(const HoldingProgram&) = delete;

  bool Ready() const { return ready_; }
  // Tells it to let go and waits until it has ended.
  void Release() {
    if (process_.hProcess == nullptr)
      return;
    WriteFile(release_, "");
    WaitForSingleObject(process_.hProcess, 60000);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    process_ = {};
  }

 private:
  fs::path release_;
  PROCESS_INFORMATION process_{};
  bool ready_ = false;
};

// A virus scanner, an indexer or a backup agent reads the target sharing
// reading, writing and deletion. A rename still cannot replace an open file
// and says "access denied", as for a file we may not touch, while the right
// to delete it is granted: a hold that ends by itself, waited for like any
// other, after which the file is replaced. Wine refuses the rename as
// Windows does, so this runs against a real holder in another process.
TEST(HoldWaits, ATargetHeldSharingEverythingIsWaitedForAndThenReplaced) {
  TempDir dir;
  WriteFile(dir / "scanned.txt", "in use");
  const Text scanned = ToText(dir / "scanned.txt");
  HoldingProgram scanner(dir, test::HostPath(ZEPHORA_HOLD_FILE), dir / "scanned.txt", L"rwd");
  ASSERT_TRUE(scanner.Ready());
  const Text temp = TempFileWith(dir, "new");
  EXPECT_EQ(ReplaceFileWith(temp, scanned), ERROR_SHARING_VIOLATION);
  HoldWaits waits;
  EXPECT_EQ(waits.Replace(temp, scanned), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(waits.SpentMs(), HoldWaits::kPerFileMs);
  EXPECT_EQ(ReadFile(dir / "scanned.txt"), "in use");
  scanner.Release();
  EXPECT_EQ(waits.Replace(temp, scanned), 0);
  EXPECT_EQ(ReadFile(dir / "scanned.txt"), "new");
}

// A running program: its image is mapped, and Windows refuses to replace it
// as "access denied" for as long as it runs, so there is nothing to wait for,
// although it shares deletion as a scanner does.
TEST(ReplaceFileWith, ARunningProgramRefusesAtOnceAndKeepsItsBytes) {
  TempDir dir;
  const fs::path program = dir / "running.exe";
  fs::copy_file(test::HostPath(ZEPHORA_HOLD_FILE), program);
  WriteFile(dir / "other.txt", "held by the program");
  const std::string before = ReadFile(program);
  HoldingProgram running(dir, program, dir / "other.txt", L"r");
  ASSERT_TRUE(running.Ready());
  HoldWaits waits;
  const Text temp = TempFileWith(dir, "new program");
  const int error = waits.Replace(temp, ToText(program));
  running.Release();
  EXPECT_EQ(error, ERROR_ACCESS_DENIED);
  EXPECT_EQ(waits.SpentMs(), 0);
  EXPECT_EQ(ReadFile(program), before);
}
#else
// Here an open file is no refusal: the rename gives the name to the new
// file at once, and whoever holds the old one goes on reading the old bytes
// (the file is gone once they let go). There is nothing to wait for.
TEST(HoldWaits, AHeldTargetIsReplacedAtOnceWhereOpenFilesDoNotRefuse) {
  TempDir dir;
  File holder;
  const Text busy = BusyFile(dir, holder);
  HoldWaits waits;
  EXPECT_EQ(waits.Replace(TempFileWith(dir, "new"), busy), 0);
  EXPECT_EQ(waits.SpentMs(), 0);
  EXPECT_EQ(ReadFile(dir / "busy.txt"), "new");
  char bytes[16] = {};
  std::size_t done = 0;
  ASSERT_EQ(holder.ReadAt(0, bytes, sizeof bytes, done), 0);
  EXPECT_EQ(std::string(bytes, done), "in use");
}
#endif

TEST(IsSameFile, KnowsAnOpenFileByAnyOfItsNames) {
  TempDir dir;
  WriteFile(dir / "package.zip", "package");
  WriteFile(dir / "other.zip", "package");
  File open;
  ASSERT_EQ(open.Open(ToText(dir / "package.zip"), FileMode::ReadShareReadWrite), 0);
  EXPECT_TRUE(IsSameFile(open, ToText(dir / "package.zip")));
  EXPECT_TRUE(IsSameFile(open, ToText(dir / "." / "package.zip")));
  // The same bytes under another name are another file.
  EXPECT_FALSE(IsSameFile(open, ToText(dir / "other.zip")));
  EXPECT_FALSE(IsSameFile(open, ToText(dir / "missing.zip")));
#ifdef _WIN32
  EXPECT_TRUE(IsSameFile(open, ToText(dir / "PACKAGE.ZIP")));
#else
  // Names differ in case here; a file of that name is another file.
  WriteFile(dir / "PACKAGE.ZIP", "package");
  EXPECT_FALSE(IsSameFile(open, ToText(dir / "PACKAGE.ZIP")));
#endif
  File closed;
  EXPECT_FALSE(IsSameFile(closed, ToText(dir / "package.zip")));
}

TEST(DiscardNewFile, DeletesTheFileEvenWhileAReaderHasItOpen) {
  TempDir dir;
  const Text path = ToText(dir / "new.txt");
  File file;
  ASSERT_EQ(file.Open(path, FileMode::CreateNewWriteShareRead), 0);
  ASSERT_EQ(file.Write("partial", 7), 0);
  // A scanner's way of looking: reading, sharing everything.
  File reader;
  ASSERT_EQ(reader.Open(path, FileMode::ReadShareAll), 0);
  EXPECT_EQ(DiscardNewFile(file, path), 0);
  EXPECT_FALSE(file.IsOpen());
  reader.Close();
  EXPECT_FALSE(fs::exists(dir / "new.txt"));
  // Nothing open: deleted by its name.
  File closed;
  WriteFile(dir / "closed.txt", "x");
  EXPECT_EQ(DiscardNewFile(closed, ToText(dir / "closed.txt")), 0);
  EXPECT_FALSE(fs::exists(dir / "closed.txt"));
}

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
