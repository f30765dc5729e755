#include "platform/exception.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace zephora {
namespace {

TEST(MessageOf, GivesOurMessageOrTheStandardTextOrNothing) {
  EXPECT_EQ(MessageOf(Exception(u"Cannot open file \"C:\\\u00e9\"")),
            u"Cannot open file \"C:\\\u00e9\"");
  EXPECT_EQ(MessageOf(std::runtime_error("caf\xc3\xa9")), u"caf\u00e9");
  EXPECT_EQ(MessageOf(std::make_exception_ptr(Exception(u"HTTP/1.1 404 Not Found"))),
            u"HTTP/1.1 404 Not Found");
  EXPECT_EQ(MessageOf(std::make_exception_ptr(std::bad_alloc())), u"std::bad_alloc");
  EXPECT_EQ(MessageOf(std::make_exception_ptr(42)), u"");
}

}  // namespace
}  // namespace zephora
