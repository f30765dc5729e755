// The extractor gives its caller turns inside large entries, reports the
// bytes it wrote, and stops cleanly when a turn asks it to.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/turns.h"
#include "tests/support/test_support.h"
#include "transfer/zip/crc32.h"
#include "transfer/zip/unpack_archive.h"
#include "transfer/zip/unzipper.h"

namespace zephora::zip {
namespace {

void Put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// A ZIP archive of stored entries, as any tool writes one.
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out, directory;
  for (const auto& [name, data] : entries) {
    const std::uint32_t crc =
        UpdateCrc32(0, std::span<const std::uint8_t>(
                           reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
    const auto offset = static_cast<std::uint32_t>(out.size());
    Put32(out, 0x04034B50);
    Put16(out, 10);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0x21);
    Put32(out, crc);
    Put32(out, static_cast<std::uint32_t>(data.size()));
    Put32(out, static_cast<std::uint32_t>(data.size()));
    Put16(out, static_cast<unsigned>(name.size()));
    Put16(out, 0);
    out += name + data;
    Put32(directory, 0x02014B50);
    Put16(directory, 20);
    Put16(directory, 10);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0x21);
    Put32(directory, crc);
    Put32(directory, static_cast<std::uint32_t>(data.size()));
    Put32(directory, static_cast<std::uint32_t>(data.size()));
    Put16(directory, static_cast<unsigned>(name.size()));
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put32(directory, 0x20);
    Put32(directory, offset);
    directory += name;
  }
  const auto directoryOffset = static_cast<std::uint32_t>(out.size());
  out += directory;
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<unsigned>(entries.size()));
  Put16(out, static_cast<unsigned>(entries.size()));
  Put32(out, static_cast<std::uint32_t>(directory.size()));
  Put32(out, directoryOffset);
  Put16(out, 0);
  return out;
}

std::string Pattern(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    data[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
  return data;
}

TEST(UnzipTurns, TurnsAndProgressComeInsideALargeEntry) {
  test::TempDir dir;
  const std::string big = Pattern(4 * 1024 * 1024);
  test::WriteFile(dir / "main.zip", StoredZip({{"small.txt", "hello"}, {"ZEPHORA.EXE", big}}));
  TUnZipper unzipper;
  int turns = 0;
  std::uint64_t lastDone = 0, lastTotal = 0;
  int reports = 0;
  // Every turn is asked for, so that their number shows where they come.
  unzipper.OnTurn = [&] {
    ++turns;
    return true;
  };
  unzipper.OnProgress = [&](std::uint64_t done, std::uint64_t total) {
    EXPECT_GT(done, lastDone);
    lastDone = done;
    lastTotal = total;
    ++reports;
  };
  UnpackArchive(unzipper, test::ToText(dir / "main.zip"));
  EXPECT_EQ(lastTotal, big.size() + 5);
  EXPECT_EQ(lastDone, lastTotal);
  // One report per buffer of decoded data, not one per entry.
  EXPECT_GE(reports, 64);
  EXPECT_GE(turns, 1);
  EXPECT_EQ(test::ReadFile(dir / "ZEPHORA.EXE"), big);
  EXPECT_EQ(test::Listing(dir), (std::set<std::string>{"ZEPHORA.EXE", "small.txt"}));
}

TEST(UnzipTurns, AStopInsideAnEntryKeepsTheOldFileAndLeavesNoTemporaryFile) {
  test::TempDir dir;
  const std::string old = "the installed program, version 1";
  test::WriteFile(dir / "ZEPHORA.EXE", old);
  test::WriteFile(dir / "main.zip", StoredZip({{"small.txt", "hello"},
                                               {"ZEPHORA.EXE", Pattern(4 * 1024 * 1024)},
                                               {"later.txt", "never"}}));
  TUnZipper unzipper;
  bool stop = false;
  unzipper.OnTurn = [&] { return !stop; };
  unzipper.OnProgress = [&](std::uint64_t done, std::uint64_t) {
    // Well inside the large entry. Turns are rationed in time: the pause
    // makes sure that the next chance to ask is taken.
    if (done > 1024 * 1024 && !stop) {
      stop = true;
      std::this_thread::sleep_for(2 * TurnGate::kInterval);
    }
  };
  EXPECT_THROW(UnpackArchive(unzipper, test::ToText(dir / "main.zip")), TStopped);
  EXPECT_FALSE(unzipper.IsOpen());
  EXPECT_EQ(test::ReadFile(dir / "ZEPHORA.EXE"), old);
  EXPECT_EQ(test::ReadFile(dir / "small.txt"), "hello");
  // No temporary file, no entry after the stop, and the package is gone.
  EXPECT_EQ(test::Listing(dir), (std::set<std::string>{"ZEPHORA.EXE", "small.txt"}));
}

TEST(UnzipTurns, AStopInsideANewFileLeavesNothingOfIt) {
  test::TempDir dir;
  test::WriteFile(dir / "main.zip", StoredZip({{"ZEPHORA.EXE", Pattern(2 * 1024 * 1024)}}));
  TUnZipper unzipper;
  bool stop = false;
  unzipper.OnTurn = [&] { return !stop; };
  unzipper.OnProgress = [&](std::uint64_t, std::uint64_t) {
    if (!stop)
      std::this_thread::sleep_for(2 * TurnGate::kInterval);
    stop = true;
  };
  EXPECT_THROW(UnpackArchive(unzipper, test::ToText(dir / "main.zip")), TStopped);
  EXPECT_TRUE(test::Listing(dir).empty());
}

}  // namespace
}  // namespace zephora::zip
