#include "platform/calendar.h"

#include <gtest/gtest.h>

namespace zephora {
namespace {

TEST(Calendar, FebruaryFollowsTheGregorianLeapRules) {
  EXPECT_EQ(DaysInMonth(2023, 2), 28);
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);  // a century
  EXPECT_EQ(DaysInMonth(2000, 2), 29);  // every fourth century
  EXPECT_EQ(DaysInMonth(1980, 1), 31);
  EXPECT_EQ(DaysInMonth(2107, 4), 30);
  EXPECT_EQ(DaysInMonth(2107, 12), 31);
}

}  // namespace
}  // namespace zephora
