#include "transfer/zip/unpack_archive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "platform/exception.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/system_error.h"
#include "tests/support/test_support.h"
#include "transfer/zip/byte_spans.h"
#include "transfer/zip/decoder.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zephora {
namespace {

namespace fs = std::filesystem;
using test::Listing;
using test::ReadFile;
using test::TempDir;

fs::path Fixture(const std::string& relative) {
  return test::HostPath(std::string(ZEPHORA_ZIP_FIXTURES) + "/" + relative);
}

// Copies a fixture into `dir` under the package's name.
fs::path Package(const TempDir& dir, const std::string& fixture,
                 const std::string& name = "main.zip") {
  const fs::path target = dir / name;
  fs::copy_file(Fixture(fixture), target, fs::copy_options::overwrite_existing);
  return target;
}

// The message of the exception UnpackArchive raised, empty when none.
std::string Unpack(TUnZipper& unzipper, const fs::path& package) {
  try {
    UnpackArchive(unzipper, test::ToText(package));
  } catch (const Exception& e) {
    return ToUtf8(e.Message());
  }
  return {};
}

std::string Unpack(const fs::path& package) {
  TUnZipper unzipper;
  return Unpack(unzipper, package);
}

std::uint32_t Attributes(const fs::path& path) {
  std::uint32_t attributes = 0;
  EXPECT_EQ(ReadFileAttributes(test::ToText(path), attributes), 0) << path;
  return attributes;
}

std::tm LocalWriteTime(const fs::path& path) {
  const auto stamp = fs::last_write_time(path);
  const auto system = fs::file_time_type::clock::to_sys(stamp);
  const std::time_t seconds = std::chrono::system_clock::to_time_t(system);
  std::tm local = {};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  return local;
}

TEST(UnpackArchive, ExtractsEveryFileIntoThePackageFolderAndDeletesIt) {
  TempDir dir;
  const fs::path package = Package(dir, "made/infozip-deflate.zip");
  EXPECT_EQ(Unpack(package), "");
  EXPECT_EQ(Listing(dir),
            (std::set<std::string>{"empty.txt", "inner.txt", "random.bin", "small.txt",
                                   "tail-hole.bin", "text.txt", "zeros.bin"}));
  // Zero blocks become holes; one at the end must still count in the size.
  EXPECT_EQ(ReadFile(dir / "tail-hole.bin"), ReadFile(Fixture("inputs/tail-hole.bin")));
  EXPECT_EQ(ReadFile(dir / "zeros.bin"), std::string(300000, '\0'));
  EXPECT_EQ(ReadFile(dir / "inner.txt"), ReadFile(Fixture("inputs/sub/inner.txt")));
  EXPECT_EQ(ReadFile(dir / "random.bin"), ReadFile(Fixture("inputs/random.bin")));
}

TEST(UnpackArchive, LaterEntryOfTheSameNameWinsInBothOrders) {
  for (const auto& [fixture, content] : {std::pair{"crafted/dup-folder-first.zip", "from root\n"},
                                         std::pair{"crafted/dup-root-first.zip", "from docs\n"}}) {
    TempDir dir;
    EXPECT_EQ(Unpack(Package(dir, fixture)), "") << fixture;
    EXPECT_EQ(Listing(dir), std::set<std::string>{"readme.txt"}) << fixture;
    EXPECT_EQ(ReadFile(dir / "readme.txt"), content) << fixture;
  }
}

TEST(UnpackArchive, StoredFoldersDrivesAndParentsNeverLeaveTheFolder) {
  TempDir dir;
  const fs::path inner = dir / "a" / "b";
  fs::create_directories(inner);
  EXPECT_EQ(Unpack(Package(dir, "crafted/traversal.zip", "a/b/main.zip")), "");
  EXPECT_EQ(ReadFile(inner / "x.dll"), "x");
  EXPECT_EQ(ReadFile(inner / "y.dll"), "y");
  EXPECT_EQ(ReadFile(inner / "z.dll"), "z");
  EXPECT_EQ(ReadFile(inner / "w.dll"), "w");
  EXPECT_EQ(Listing(dir), std::set<std::string>{"a"});
}

TEST(UnpackArchive, ArchiveLevelFailuresRaiseTheirTextAndKeepThePackage) {
  struct Case {
    const char* fixture;
    const char* message;
  };
  const Case cases[] = {
      {"crafted/main.zip.html", "Unhandled Archive Type"},
      {"crafted/split-marker.zip", "Multi-part archives are not supported"},
      {"crafted/second-disk.zip", "Multi-part archives are not supported"},
      {"crafted/misplaced-directory.zip", "Invalid file - not a PKZip file"},
      {"crafted/zip64-locator-missing.zip", "Invalid file - not a PKZip file"},
      {"crafted/zip64-needed-stray-locator.zip", "Invalid file - not a PKZip file"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const fs::path package = Package(dir, c.fixture);
    EXPECT_EQ(Unpack(package), c.message) << c.fixture;
    EXPECT_EQ(Listing(dir), std::set<std::string>{"main.zip"}) << c.fixture;
  }
  TempDir dir;
  test::WriteFile(dir / "main.zip", "");
  EXPECT_EQ(Unpack(dir / "main.zip"), "Invalid Stream");
  EXPECT_TRUE(fs::exists(dir / "main.zip"));
  EXPECT_EQ(Unpack(dir / "upgrade.zip"), "File not found");
}

TEST(UnpackArchive, EmptyPathOpensNothingAndExtractionRaises) {
  TUnZipper unzipper;
  EXPECT_EQ(Unpack(unzipper, fs::path()), "Archive does not exist - Filename is blank");
}

TEST(UnpackArchive, MissingBaseFolderRaisesWhenOpening) {
  TempDir dir;
  const fs::path package = Package(dir, "crafted/comment.zip");
  TUnZipper unzipper;
  unzipper.BaseDirectory = test::ToText(dir / "missing");
  try {
    unzipper.OpenArchive(test::ToText(package));
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(ToUtf8(e.Message()), "Directory does not exist");
  }
  EXPECT_FALSE(unzipper.IsOpen());
}

TEST(UnpackArchive, EmptyArchivesUnpackNothingAndAreDeleted) {
  for (const char* fixture : {"crafted/empty.zip", "crafted/folders-only.zip"}) {
    TempDir dir;
    EXPECT_EQ(Unpack(Package(dir, fixture)), "") << fixture;
    EXPECT_TRUE(Listing(dir).empty()) << fixture;
  }
}

TEST(UnpackArchive, EndRecordWithCommentIsFound) {
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/comment.zip")), "");
  EXPECT_EQ(ReadFile(dir / "note.txt"), "with comment");
}

// A failed entry leaves an existing file of its name as it was, leaves no
// temporary file behind, and is reported once every entry was visited.
// Where no file had its name, what was written of it is gone again.
TEST(UnpackArchive, FailedEntryKeepsTheExistingFileAndIsReported) {
  for (const char* fixture : {"crafted/encrypted.zip", "crafted/method7.zip",
                              "crafted/wrong-crc.zip", "crafted/damaged-deflate.zip"}) {
    for (const bool existing : {true, false}) {
      TempDir dir;
      if (existing)
        test::WriteFile(dir / "keep.txt", "old content");
      const fs::path package = Package(dir, fixture);
      EXPECT_EQ(Unpack(package), "Could not extract 1 file: keep.txt") << fixture;
      if (existing) {
        EXPECT_EQ(ReadFile(dir / "keep.txt"), "old content") << fixture;
      }
      EXPECT_TRUE(fs::exists(package)) << fixture;
      std::set<std::string> expected{"main.zip"};
      if (existing)
        expected.insert("keep.txt");
      if (fs::exists(dir / "fine.txt"))
        expected.insert("fine.txt");
      EXPECT_EQ(Listing(dir), expected) << fixture << (existing ? " over a file" : "");
    }
  }
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/wrong-crc.zip")), "Could not extract 1 file: keep.txt");
  std::string fine;
  for (int i = 0; i < 100; ++i)
    fine += "fine ";
  EXPECT_EQ(ReadFile(dir / "fine.txt"), fine);
}

TEST(UnpackArchive, DeviceNamesAndTrailingDotsOrBlanksFail) {
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/device-names.zip")),
            "Could not extract 8 files: CON, nul.txt, Lpt1.dat, com9, AUX .log, dir/prn, "
            "trail., blank ");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"COM10.txt", "console.txt", "main.zip"}));
}

TEST(UnpackArchive, SuperscriptAndZeroDeviceNamesFailOnBothSystems) {
  for (const char16_t* name :
       {u"COM0", u"lpt0.txt", u"COM\u00B9", u"com\u00B2.txt", u"LPT\u00B3", u"lpt\u00B9 .log"}) {
    EXPECT_TRUE(zip::IsUnsafeFileName(name)) << ToUtf8(name);
  }
  for (const char16_t* name : {u"COM\u00B90", u"LPT\u2074", u"COM00.txt", u"COMx"}) {
    EXPECT_FALSE(zip::IsUnsafeFileName(name)) << ToUtf8(name);
  }
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/device-names-superscript.zip")),
            "Could not extract 8 files: COM¹, com².txt, LPT³.log, lpt¹, COM0, lpt0.dat, "
            "Com³ .txt, COM².txt");
  EXPECT_EQ(Listing(dir),
            (std::set<std::string>{"COM¹0.txt", "COM00.txt", "LPT⁴.txt", "main.zip"}));
}

// Files that exist before a destructive case, each holding its own name.
std::vector<std::string> Precious(const TempDir& dir, std::vector<std::string> names) {
  for (const std::string& name : names)
    test::WriteFile(dir / name, "precious " + name);
  return names;
}

void ExpectUnchanged(const TempDir& dir, const std::vector<std::string>& names) {
  for (const std::string& name : names)
    EXPECT_EQ(ReadFile(dir / name), "precious " + name) << name;
}

TEST(UnpackArchive, EmptyEntriesAreCheckedLikeAnyOther) {
  TempDir dir;
  const std::vector<std::string> failing =
      Precious(dir, {"important.dat", "method99.dat", "output.dat", "encrypted.dat",
                     "no-stream.dat", "wrong-crc.dat"});
  Precious(dir, {"empty-deflated.dat", "empty-stored.dat"});
  EXPECT_EQ(Unpack(Package(dir, "crafted/zero-size-unchecked.zip")),
            "Could not extract 6 files: important.dat, method99.dat, output.dat, encrypted.dat, "
            "no-stream.dat, wrong-crc.dat");
  ExpectUnchanged(dir, failing);
  // Empty streams that decode to nothing with the CRC-32 of nothing.
  EXPECT_EQ(ReadFile(dir / "empty-deflated.dat"), "");
  EXPECT_EQ(ReadFile(dir / "empty-stored.dat"), "");
  EXPECT_EQ(Listing(dir).size(), failing.size() + 3);  // no temporary file left
}

TEST(UnpackArchive, DataWithNoFileToGoToFailsAndFoldersStayFolders) {
  TempDir dir;
  fs::create_directory(dir / "sub");
  test::WriteFile(dir / "sub" / "keep.txt", "kept");
  EXPECT_EQ(Unpack(Package(dir, "crafted/data-not-written.zip")),
            "Could not extract 6 files: sub, \"\", x:, program.exe:, attrdir, slashdir/");
  EXPECT_TRUE(fs::is_directory(dir / "sub"));
  EXPECT_EQ(ReadFile(dir / "sub" / "keep.txt"), "kept");
  EXPECT_EQ(ReadFile(dir / "inside.txt"), "inside");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"inside.txt", "main.zip", "sub"}));
  // Without a folder in its way the file entry is written.
  TempDir other;
  EXPECT_EQ(Unpack(Package(other, "crafted/data-not-written.zip")),
            "Could not extract 5 files: \"\", x:, program.exe:, attrdir, slashdir/");
  EXPECT_EQ(ReadFile(other / "sub"), "file where a folder is");
}

TEST(UnpackArchive, EntriesSharingBytesWithAnotherOrTheDirectoryFail) {
  TempDir dir;
  const std::vector<std::string> kept = Precious(dir, {"copy02.bin", "copy20.bin"});
  EXPECT_EQ(Unpack(Package(dir, "crafted/overlap-one-local-header.zip")),
            "Could not extract 19 files: copy02.bin, copy03.bin, copy04.bin, copy05.bin, "
            "copy06.bin, copy07.bin, copy08.bin, copy09.bin, copy10.bin, copy11.bin, ...");
  ExpectUnchanged(dir, kept);
  EXPECT_EQ(fs::file_size(dir / "copy01.bin"), 1u << 20);
  EXPECT_EQ(Listing(dir),
            (std::set<std::string>{"copy01.bin", "copy02.bin", "copy20.bin", "main.zip"}));
  struct Case {
    const char* fixture;
    const char* failing;
    const char* extracted;
  };
  const Case cases[] = {
      {"crafted/overlap-into-directory.zip", "into.txt", "fine.txt"},
      {"crafted/local-header-in-directory.zip", "hidden.txt", "first.txt"},
      {"crafted/local-header-in-entry-data.zip", "inner.txt", "outer.txt"},
  };
  for (const Case& c : cases) {
    TempDir each;
    const std::vector<std::string> existing = Precious(each, {c.failing});
    EXPECT_EQ(Unpack(Package(each, c.fixture)),
              std::string("Could not extract 1 file: ") + c.failing);
    ExpectUnchanged(each, existing);
    EXPECT_EQ(Listing(each), (std::set<std::string>{c.extracted, c.failing, "main.zip"}))
        << c.fixture;
  }
}

TEST(ByteSpans, ClaimsOnlyWhatNoEarlierSpanHolds) {
  zip::ByteSpans spans;
  EXPECT_TRUE(spans.Claim(100, 200));
  EXPECT_TRUE(spans.Claim(300, 400));
  struct Case {
    std::uint64_t begin, end;
    bool claimed;
  };
  const Case cases[] = {
      {50, 101, false},  {199, 250, false}, {120, 130, false}, {90, 410, false},
      {250, 301, false}, {399, 500, false}, {0, 100, true},    {200, 300, true},
      {400, 401, true},  {150, 150, true},  {401, 401, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(spans.Claim(c.begin, c.end), c.claimed) << c.begin << "-" << c.end;
  }
  // What was claimed above now stands in the way.
  EXPECT_FALSE(spans.Claim(0, 1));
  EXPECT_FALSE(spans.Claim(299, 300));
  spans.Clear();
  EXPECT_TRUE(spans.Claim(0, 1000));
}

TEST(UnpackArchive, BytesThatOnlyLookLikeAZip64LocatorAreNotOne) {
  for (const char* fixture :
       {"crafted/stray-zip64-locator-in-name.zip", "crafted/stray-zip64-locator-in-extra.zip",
        "crafted/stray-zip64-locator-in-comment.zip"}) {
    TempDir dir;
    EXPECT_EQ(Unpack(Package(dir, fixture)), "") << fixture;
    EXPECT_EQ(ReadFile(dir / "a.txt"), "plain archive") << fixture;
    EXPECT_FALSE(fs::exists(dir / "main.zip")) << fixture;
  }
}

TEST(UnpackArchive, FailureMessageShowsTheCountAndAFewNamesAsTheyAre) {
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/failure-names.zip")),
            "Could not extract 25 files: esc<U+001B>[31m.txt, bel<U+0007>.txt, "
            "nul<U+0000>cut.txt, invoice<U+202E>fdp.exe, " +
                std::string(100, 'x') +
                "..., fail06.txt, fail07.txt, fail08.txt, fail09.txt, fail10.txt, ...");
  // More entries than the end record counts, through the ZIP64 records.
  TempDir many;
  EXPECT_EQ(Unpack(Package(many, "crafted/many-failures.zip")),
            "Could not extract 70000 files: CON.00000, CON.00001, CON.00002, CON.00003, "
            "CON.00004, CON.00005, CON.00006, CON.00007, CON.00008, CON.00009, ...");
}

// The container fuzzer's corpus as packages: each one unpacks, or fails
// with a message and stays.
TEST(UnpackArchive, FuzzCorpusUnpacksOrFailsWithAMessage) {
  for (const auto& item :
       fs::directory_iterator(test::SourcePath("tests/fuzz/corpus/zip_container"))) {
    TempDir dir;
    const fs::path package = dir / "main.zip";
    fs::copy_file(item.path(), package);
    const std::string message = Unpack(package);
    EXPECT_EQ(fs::exists(package), !message.empty()) << item.path();
  }
}

TEST(UnpackArchive, UnreadableEntriesFailAndTheRestIsExtracted) {
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/version-needed.zip")),
            "Could not extract 1 file: new.txt");
  EXPECT_EQ(ReadFile(dir / "ok.txt"), "ok");
  TempDir other;
  EXPECT_EQ(Unpack(Package(other, "crafted/bad-local-header.zip")),
            "Could not extract 1 file: bad.txt");
  EXPECT_EQ(ReadFile(other / "good.txt"), "good");
}

TEST(UnpackArchive, InvalidDatesLeaveTheFileWrittenAndAreNotCounted) {
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/invalid-dates.zip")), "");
  EXPECT_EQ(ReadFile(dir / "month13.txt"), "a");
  EXPECT_EQ(ReadFile(dir / "feb30.txt"), "b");
  EXPECT_EQ(ReadFile(dir / "day0.txt"), "c");
  EXPECT_EQ(ReadFile(dir / "hour25.txt"), "d");
  // Without a time it gets no attributes either: a new file's own.
  EXPECT_EQ(ReadFile(dir / "readonly-feb30.txt"), "e");
  EXPECT_EQ(Attributes(dir / "readonly-feb30.txt"), Attributes(dir / "month13.txt"));
  EXPECT_EQ(Attributes(dir / "readonly-feb30.txt") & kAttributeReadOnly, 0u);
}

// Every source of attributes, with a time per entry; the same whether the
// file is new or replaces one (then the temporary file carries them through
// the rename, read-only included).
TEST(UnpackArchive, TimesAndAttributesComeOutTheSameForNewAndReplacedFiles) {
  struct Case {
    const char* name;
    std::uint32_t attributes;  // as read back
  };
  // Wine reports the archive bit for every file, whatever was set, so only
  // the others are compared; natively only read-only has a counterpart.
  constexpr std::uint32_t kMask =
      kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeDirectory;
  const auto ifWindows = [](std::uint32_t value) {
#ifdef _WIN32
    return value;
#else
    return value & kAttributeReadOnly;
#endif
  };
  const Case cases[] = {
      {"dos-readonly.txt", kAttributeReadOnly},
      {"dos-hidden.txt", ifWindows(kAttributeHidden)},
      {"dos-system.txt", ifWindows(kAttributeSystem)},
      {"dos-archive.txt", 0},
      {"dos-none.txt", 0},
      {"unix-0644.txt", 0},
      {"unix-0444.txt", kAttributeReadOnly},
      {"unix-folder", 0},  // a folder's bit does not stick to a file
      {"zero-size.txt", 0},
  };
  for (const bool replacing : {false, true}) {
    TempDir dir;
    if (replacing) {
      for (const Case& c : cases)
        test::WriteFile(dir / c.name, "old content, longer than the new");
    }
    EXPECT_EQ(Unpack(Package(dir, "crafted/times-and-attributes.zip")), "") << replacing;
    int minute = 0;
    for (const Case& c : cases) {
      EXPECT_EQ(Attributes(dir / c.name) & kMask, c.attributes) << c.name << " " << replacing;
      const std::tm local = LocalWriteTime(dir / c.name);
      EXPECT_EQ(local.tm_year + 1900, 2019) << c.name;
      EXPECT_EQ(local.tm_mon + 1, 11) << c.name;
      EXPECT_EQ(local.tm_mday, 3) << c.name;
      EXPECT_EQ(local.tm_hour, 8) << c.name;
      EXPECT_EQ(local.tm_min, minute++) << c.name;
      EXPECT_EQ(local.tm_sec, 14) << c.name;
    }
    EXPECT_EQ(ReadFile(dir / "dos-none.txt"), "5");
    EXPECT_EQ(fs::file_size(dir / "zero-size.txt"), 0u);
    EXPECT_EQ(Listing(dir).size(), std::size(cases));
  }
}

TEST(UnpackArchive, EmptyEntryCarriesItsTimeAsLocalTimeAndAttributes) {
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/zero-entry.zip")), "");
  EXPECT_EQ(fs::file_size(dir / "zero.txt"), 0u);
  const std::tm local = LocalWriteTime(dir / "zero.txt");
  EXPECT_EQ(local.tm_year + 1900, 2020);
  EXPECT_EQ(local.tm_mon + 1, 3);
  EXPECT_EQ(local.tm_mday, 4);
  EXPECT_EQ(local.tm_hour, 12);
  EXPECT_EQ(local.tm_min, 0);
  EXPECT_EQ(Attributes(dir / "zero.txt") & kAttributeReadOnly, kAttributeReadOnly);
}

// A file that may not be replaced is not installed, and saying nothing
// would leave the old file beside the package's new ones: it keeps its
// bytes, the other entries are installed and the package stays.
TEST(UnpackArchive, AnExistingReadOnlyTargetIsAFailureAndKeepsItsBytes) {
  TempDir dir;
  test::WriteFile(dir / "ZEPHORA.EXE", "OLD-VERSION");
  ASSERT_EQ(WriteFileAttributes(test::ToText(dir / "ZEPHORA.EXE"), kAttributeReadOnly), 0);
  const fs::path package = Package(dir, "updates/program-v2.zip", "upgrade.zip");
  EXPECT_EQ(Unpack(package), "Could not extract 1 file: ZEPHORA.EXE");
  EXPECT_EQ(ReadFile(dir / "ZEPHORA.EXE"), "OLD-VERSION");
  EXPECT_EQ(ReadFile(dir / "readme.txt"), "readme v2\n");
  EXPECT_EQ(ReadFile(package), ReadFile(Fixture("updates/program-v2.zip")));
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"ZEPHORA.EXE", "readme.txt", "upgrade.zip"}));
}

// zip stores a file of mode 0444 read-only, and it is extracted so; every
// later update of it was then skipped in silence.
TEST(UnpackArchive, ProgramStoredReadOnlyIsReportedWhenItsUpdateCannotReplaceIt) {
  TempDir dir;
  TUnZipper unzipper;
  EXPECT_EQ(Unpack(unzipper, Package(dir, "updates/program-v1-readonly.zip")), "");
  EXPECT_EQ(Attributes(dir / "ZEPHORA.EXE") & kAttributeReadOnly, kAttributeReadOnly);
  EXPECT_EQ(Unpack(unzipper, Package(dir, "updates/program-v2.zip", "upgrade.zip")),
            "Could not extract 1 file: ZEPHORA.EXE");
  EXPECT_EQ(ReadFile(dir / "ZEPHORA.EXE"), "PROGRAM v1-readonly\n");
  EXPECT_EQ(ReadFile(dir / "readme.txt"), "readme v2\n");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"ZEPHORA.EXE", "readme.txt", "upgrade.zip"}));
}

TEST(UnpackArchive, EntryStoredReadOnlyIsExtractedSoAndThenCannotBeReplaced) {
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/readonly-entry.zip")), "");
  EXPECT_EQ(Attributes(dir / "locked.txt") & kAttributeReadOnly, kAttributeReadOnly);
  const fs::path second = Package(dir, "crafted/readonly-entry-v2.zip", "upgrade.zip");
  EXPECT_EQ(Unpack(second), "Could not extract 1 file: locked.txt");
  EXPECT_EQ(ReadFile(dir / "locked.txt"), "locked v1");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"locked.txt", "upgrade.zip"}));
}

// The replacement is made read-only before the rename; when the rename is
// refused it must still go, read-only as it is.
TEST(UnpackArchive, ARefusedReadOnlyReplacementLeavesNoTemporaryFile) {
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/readonly-entry.zip")), "");
  EXPECT_EQ(Unpack(Package(dir, "crafted/readonly-entry.zip")),
            "Could not extract 1 file: locked.txt");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"locked.txt", "main.zip"}));
  EXPECT_EQ(Attributes(dir / "locked.txt") & kAttributeReadOnly, kAttributeReadOnly);
}

// The package is open while it is read. On Windows its name cannot be
// replaced then, in any letters; where it could be, the entry would be
// deleted with the package afterwards. Either way the package stays whole.
TEST(UnpackArchive, AnEntryNamedLikeThePackageFailsAndLeavesThePackageWhole) {
  TempDir dir;
  const fs::path package = Package(dir, "crafted/named-like-package.zip");
#ifdef _WIN32
  EXPECT_EQ(Unpack(package), "Could not extract 2 files: docs/main.zip, MAIN.ZIP");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"beside.txt", "main.zip"}));
#else
  EXPECT_EQ(Unpack(package), "Could not extract 1 file: docs/main.zip");
  EXPECT_EQ(ReadFile(dir / "MAIN.ZIP"), "an entry in capitals");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"MAIN.ZIP", "beside.txt", "main.zip"}));
#endif
  EXPECT_EQ(ReadFile(package), ReadFile(Fixture("crafted/named-like-package.zip")));
  EXPECT_EQ(ReadFile(dir / "beside.txt"), "beside");
}

TEST(UnpackArchive, UnixModesAndDosBytesBecomeAttributes) {
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/unix-modes.zip")), "");
  EXPECT_EQ(Attributes(dir / "ro.txt") & kAttributeReadOnly, kAttributeReadOnly);
  EXPECT_EQ(Attributes(dir / "rw.txt") & kAttributeReadOnly, 0u);
#ifdef _WIN32
  EXPECT_EQ(Attributes(dir / "link") & kAttributeSystem, kAttributeSystem);
  EXPECT_EQ(Attributes(dir / "hidden.txt") & kAttributeHidden, kAttributeHidden);
#endif
  TempDir infozip;
  EXPECT_EQ(Unpack(Package(infozip, "made/infozip-utf8-unix.zip")), "");
  EXPECT_EQ(Attributes(infozip / "readonly.txt") & kAttributeReadOnly, kAttributeReadOnly);
  EXPECT_EQ(Attributes(infozip / "script.sh") & kAttributeReadOnly, 0u);
}

TEST(UnpackArchive, NamesFollowTheDecodingRules) {
  TempDir dir;
  EXPECT_EQ(Unpack(Package(dir, "crafted/unicode-fields.zip")), "");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"café.txt", "naïve-π.txt", "staleé.txt",
                                                 "ΩΨ-nucx.txt", "flagged-ü.txt", "bare-é.txt"}));
  EXPECT_EQ(ReadFile(dir.Path() / fs::path(u8"naïve-π.txt")), "utf8 path field");
  TempDir infozip;
  EXPECT_EQ(Unpack(Package(infozip, "made/infozip-utf8-unix.zip")), "");
  EXPECT_EQ(ReadFile(infozip.Path() / fs::path(u8"日本語.txt")), "日本語\n");
}

// An entry nested 300 characters deep lands in the package's folder under
// its own name, which alone takes the full path past 260 characters: the
// file is written, replaced by a second package, and given its time and
// attributes all the same. Windows refuses such a path in the classic form;
// Wine takes either form, so what the file functions are given is proven by
// Path.ALongAbsolutePathTakesTheExtendedLengthForm, and that the extended
// form works end to end, here.
TEST(UnpackArchive, AnEntryWhosePathPassesTheClassicLimitIsInstalled) {
  TempDir dir;
  const std::string name = std::string(236, 'l') + ".txt";
  ASSERT_GT(test::ToText(dir / name).size(), 260u);
  TUnZipper unzipper;
  EXPECT_EQ(Unpack(unzipper, Package(dir, "crafted/deep-entry.zip", "main.zip")), "");
  EXPECT_EQ(ReadFile(dir / name), "deep content");
  test::WriteFile(dir / name, "old content");
  EXPECT_EQ(Unpack(unzipper, Package(dir, "crafted/deep-entry.zip", "upgrade.zip")), "");
  EXPECT_EQ(ReadFile(dir / name), "deep content");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{name, "short.txt"}));
  EXPECT_EQ(LocalWriteTime(dir / name).tm_year, LocalWriteTime(dir / "short.txt").tm_year);
  EXPECT_EQ(Attributes(dir / name), Attributes(dir / "short.txt"));
}

TEST(UnpackArchive, SecondPackageReplacesFilesOfTheFirst) {
  TempDir dir;
  TUnZipper unzipper;
  EXPECT_EQ(Unpack(unzipper, Package(dir, "crafted/dup-folder-first.zip", "main.zip")), "");
  EXPECT_EQ(Unpack(unzipper, Package(dir, "crafted/dup-root-first.zip", "upgrade.zip")), "");
  EXPECT_EQ(ReadFile(dir / "readme.txt"), "from docs\n");
  EXPECT_EQ(Listing(dir), std::set<std::string>{"readme.txt"});
}

#ifdef _WIN32
// Held open without delete sharing for longer than the waits allow: a
// failure like any other, and the file keeps its bytes.
TEST(UnpackArchive, ATargetThatStaysHeldFailsAfterTheWaitsAndKeepsItsBytes) {
  TempDir dir;
  test::WriteFile(dir / "target.txt", "in use");
  File holder;
  ASSERT_EQ(holder.Open(test::ToText(dir / "target.txt"), FileMode::ReadShareRead), 0);
  EXPECT_EQ(Unpack(Package(dir, "crafted/replace-target.zip")),
            "Could not extract 1 file: target.txt");
  holder.Close();
  EXPECT_EQ(ReadFile(dir / "target.txt"), "in use");
  EXPECT_EQ(Listing(dir), (std::set<std::string>{"main.zip", "target.txt"}));
}

// A virus scanner reading the file that the first package wrote, for a
// moment: the entry waits for it and is installed.
TEST(UnpackArchive, ATargetWhoseHolderLetsGoWithinTheWaitsIsReplaced) {
  TempDir dir;
  test::WriteFile(dir / "target.txt", "in use");
  auto holder = std::make_unique<File>();
  ASSERT_EQ(holder->Open(test::ToText(dir / "target.txt"), FileMode::ReadShareRead), 0);
  // The new data is decoded beside the target first; a while after it
  // appears, the holder lets go, well within the waits.
  std::thread scanner([&dir, &holder] {
    const auto entries = [&dir] {
      std::error_code ignored;
      std::size_t count = 0;
      for (auto it = fs::directory_iterator(dir.Path(), ignored); it != fs::directory_iterator();
           it.increment(ignored)) {
        ++count;
      }
      return count;
    };
    // The target, the package, and then the new data.
    for (int i = 0; i < 60000 && entries() < 3; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(HoldWaits::kPerFileMs / 5));
    holder.reset();
  });
  const std::string message = Unpack(Package(dir, "crafted/replace-target.zip"));
  scanner.join();
  EXPECT_EQ(message, "");
  EXPECT_EQ(ReadFile(dir / "target.txt"), "new content");
  EXPECT_EQ(Listing(dir), std::set<std::string>{"target.txt"});
}

TEST(UnpackArchive, PackageHeldExclusivelyCannotBeOpened) {
  TempDir dir;
  const fs::path package = Package(dir, "crafted/comment.zip");
  const HANDLE h = CreateFileW(package.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const std::string message = Unpack(package);
  CloseHandle(h);
  EXPECT_EQ(message, "Cannot open file \"" + ToUtf8(test::ToText(package)) + "\". " +
                         ToUtf8(TrimErrorText(SystemErrorText(ERROR_SHARING_VIOLATION))));
  EXPECT_TRUE(fs::exists(package));
}

TEST(UnpackArchive, OpenPackageSharesReadingAndWritingButNotDeletion) {
  TempDir dir;
  const fs::path package = Package(dir, "crafted/comment.zip");
  TUnZipper unzipper;
  unzipper.BaseDirectory = test::ToText(dir.Path());
  unzipper.OpenArchive(test::ToText(package));
  File reader;
  EXPECT_EQ(reader.Open(test::ToText(package), FileMode::ReadShareAll), 0);
  EXPECT_NE(RemoveFile(test::ToText(package)), 0);
  unzipper.CloseArchive();
  reader.Close();
  EXPECT_EQ(RemoveFile(test::ToText(package)), 0);
}
#endif

// ---- every entry compared with the output of unzip, 7z or wvunpack

struct ManifestEntry {
  std::string expect;
  int method = 0;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
  bool last = false;
  std::string ref;
  std::string name;
};

struct ArchiveCase {
  std::string id;
  std::string archive;  // a path of the build machine
};

std::vector<ArchiveCase> ComparedArchives() {
  std::vector<ArchiveCase> cases;
  std::ifstream index(Fixture("refs/index.tsv"));
  std::string line;
  while (std::getline(index, line)) {
    const auto tab = line.find('\t');
    if (tab != std::string::npos)
      cases.push_back({line.substr(0, tab), line.substr(tab + 1)});
  }
  return cases;
}

std::vector<ManifestEntry> ReadManifest(const std::string& id) {
  std::vector<ManifestEntry> entries;
  std::ifstream in(Fixture("refs/" + id + "/manifest.tsv"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ManifestEntry e;
    std::string method, size, crc, last;
    std::getline(fields, e.expect, '\t');
    std::getline(fields, method, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, crc, '\t');
    std::getline(fields, last, '\t');
    std::getline(fields, e.ref, '\t');
    std::getline(fields, e.name);
    e.method = std::stoi(method);
    e.size = std::stoull(size);
    e.crc = static_cast<std::uint32_t>(std::stoul(crc, nullptr, 16));
    e.last = last == "1";
    entries.push_back(std::move(e));
  }
  return entries;
}

std::string TargetOf(const std::string& stored) {
  const auto cut = stored.find_last_of("/\\:");
  return cut == std::string::npos ? stored : stored.substr(cut + 1);
}

class ToolComparison : public testing::TestWithParam<ArchiveCase> {};

TEST_P(ToolComparison, EveryFileMatchesTheToolsOutput) {
  const ArchiveCase& c = GetParam();
  const std::vector<ManifestEntry> entries = ReadManifest(c.id);
  // Every method the tools unpack must have its decoder in this build.
  std::set<int> missing;
  for (const ManifestEntry& e : entries) {
    if (e.size > 0 && e.expect == "ok" &&
        zip::MakeDecoder({static_cast<std::uint16_t>(e.method), 0, e.size, e.size}) == nullptr) {
      missing.insert(e.method);
    }
  }
  if (!missing.empty()) {
    std::ostringstream methods;
    for (int m : missing)
      methods << ' ' << m;
    FAIL() << c.archive << ": no decoder for method(s)" << methods.str();
  }

  TempDir dir;
  const std::string extension = c.archive.substr(c.archive.find_last_of('.'));
  const fs::path package = dir / ("package" + extension);
  fs::copy_file(test::HostPath(c.archive), package);
  // The originals are read-only, which would keep the package from deletion.
  fs::permissions(package, fs::perms::owner_write, fs::perm_options::add);
  std::string failed;
  int failures = 0;
  for (const ManifestEntry& e : entries) {
    if (e.expect != "fail")
      continue;
    failed += (failures++ ? ", " : "") + e.name;
  }
  const std::string message = Unpack(package);
  if (failures == 0) {
    EXPECT_EQ(message, "") << c.archive;
    EXPECT_FALSE(fs::exists(package)) << c.archive;
  } else {
    EXPECT_EQ(message, "Could not extract " + std::to_string(failures) +
                           (failures == 1 ? " file: " : " files: ") + failed)
        << c.archive;
  }
  for (const ManifestEntry& e : entries) {
    if (!e.last || e.expect != "ok")
      continue;
    const fs::path file =
        dir.Path() /
        fs::path(std::u8string(reinterpret_cast<const char8_t*>(TargetOf(e.name).c_str())));
    const std::string data = ReadFile(file);
    EXPECT_EQ(data.size(), e.size) << c.archive << ": " << e.name;
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())),
              e.crc)
        << c.archive << ": " << e.name;
    if (e.ref != "-") {
      EXPECT_TRUE(data == ReadFile(Fixture("refs/" + c.id + "/" + e.ref)))
          << c.archive << ": " << e.name << " differs from the tool's output";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Archives, ToolComparison, testing::ValuesIn(ComparedArchives()),
                         [](const testing::TestParamInfo<ArchiveCase>& info) {
                           std::string name = "n" + info.param.id + "_";
                           for (char ch : info.param.archive.substr(
                                    info.param.archive.find_last_of('/') + 1)) {
                             name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace zephora
