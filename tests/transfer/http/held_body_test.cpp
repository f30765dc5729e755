#include "transfer/http/held_body.h"

#include <gtest/gtest.h>

#include <string>

namespace zephora::http {
namespace {

class StringDestination : public IBodyDestination {
 public:
  int Write(const void* data, std::size_t size) override {
    if (writeError != 0)
      return writeError;
    bytes.append(static_cast<const char*>(data), size);
    return 0;
  }
  int Reserve(std::int64_t length) override {
    reserved = length;
    return 0;
  }
  int Truncate() override {
    ++truncations;
    return 0;
  }
  std::string bytes;
  std::int64_t reserved = -1;
  int truncations = 0;
  int writeError = 0;
};

// Checks that the bytes arrive as the pattern 0, 1, ..., 250, 0, 1, ...
// without keeping them.
class PatternCheck : public IBodyDestination {
 public:
  int Write(const void* data, std::size_t size) override {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
      if (bytes[i] != (received + i) % 251)
        ++wrong;
    }
    received += size;
    return 0;
  }
  int Reserve(std::int64_t) override { return 0; }
  int Truncate() override { return 0; }
  std::size_t received = 0;
  std::size_t wrong = 0;
};

TEST(HeldBody, ReachesTheDestinationOnlyWhenReleased) {
  StringDestination destination;
  HeldBody held(destination);
  ASSERT_EQ(held.Write("<html>", 6), 0);
  ASSERT_EQ(held.Write("</html>", 7), 0);
  EXPECT_EQ(destination.bytes, "");
  ASSERT_EQ(held.Release(), 0);
  EXPECT_EQ(destination.bytes, "<html></html>");
  ASSERT_EQ(held.Release(), 0);  // nothing twice
  EXPECT_EQ(destination.bytes, "<html></html>");
}

TEST(HeldBody, PassesTheAnnouncedLengthOn) {
  StringDestination destination;
  HeldBody held(destination);
  ASSERT_EQ(held.Reserve(5000), 0);
  ASSERT_EQ(held.Truncate(), 0);
  EXPECT_EQ(destination.reserved, 5000);
  EXPECT_EQ(destination.truncations, 1);
}

TEST(HeldBody, GoesOnIntoTheDestinationPastTheBound) {
  StringDestination destination;
  HeldBody held(destination, 10);
  ASSERT_EQ(held.Write("0123456789", 10), 0);  // exactly the bound: still held
  EXPECT_EQ(destination.bytes, "");
  ASSERT_EQ(held.Write("a", 1), 0);
  EXPECT_EQ(destination.bytes, "0123456789a");
  ASSERT_EQ(held.Write("bc", 2), 0);
  ASSERT_EQ(held.Release(), 0);
  EXPECT_EQ(destination.bytes, "0123456789abc");
  EXPECT_EQ(held.HeldCapacity(), 0u);
}

TEST(HeldBody, ReportsTheDestinationsFailureWhenItGoesOn) {
  StringDestination destination;
  destination.writeError = 112;
  HeldBody held(destination, 4);
  ASSERT_EQ(held.Write("abc", 3), 0);
  EXPECT_EQ(held.Write("de", 2), 112);
}

// An endless page: 64 times the bound, in the reader's pieces. Memory never
// holds more than the bound, and every byte arrives once and in order.
TEST(HeldBody, EndlessPageKeepsMemoryAtTheBound) {
  PatternCheck destination;
  HeldBody held(destination);
  std::string piece(32768, '\0');
  std::size_t sent = 0;
  while (sent < 64 * kMaxHeldBody) {
    for (std::size_t i = 0; i < piece.size(); ++i)
      piece[i] = static_cast<char>((sent + i) % 251);
    ASSERT_EQ(held.Write(piece.data(), piece.size()), 0);
    sent += piece.size();
    ASSERT_LE(held.HeldCapacity(), kMaxHeldBody);
  }
  ASSERT_EQ(held.Release(), 0);
  EXPECT_EQ(destination.received, sent);
  EXPECT_EQ(destination.wrong, 0u);
}

}  // namespace
}  // namespace zephora::http
