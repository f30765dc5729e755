// The system's own words for its error numbers, as they reach the messages
// the user reads ("Cannot create file "...". " and the system's text).
#include "platform/system_error.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

#include "platform/file.h"
#include "tests/support/test_support.h"

namespace zephora {
namespace {

TEST(SystemErrorText, WordsTheNumbersAsTheSystemDoes) {
#ifdef _WIN32
  EXPECT_EQ(SystemErrorText(ERROR_FILE_NOT_FOUND), u"File not found.\r\n");
  EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), u"Access denied.\r\n");
  EXPECT_EQ(SystemErrorText(ERROR_SHARING_VIOLATION), u"Sharing violation.\r\n");
  // A number the system has no text for.
  EXPECT_EQ(SystemErrorText(0x7FFF0000), u"");
#else
  EXPECT_EQ(SystemErrorText(ENOENT), u"No such file or directory");
  EXPECT_EQ(SystemErrorText(EACCES), u"Permission denied");
  EXPECT_EQ(SystemErrorText(ENOSPC), u"No space left on device");
  EXPECT_EQ(SystemErrorText(0x7FFF0000), u"Unknown error 2147418112");
#endif
}

TEST(SystemErrorText, CutsBeforeItIsJoinedIntoASentence) {
  EXPECT_EQ(TrimErrorText(u"Access is denied. \r\n"), u"Access is denied");
  EXPECT_EQ(TrimErrorText(u"File not found.\r\n"), u"File not found");
  EXPECT_EQ(TrimErrorText(u"Wait..."), u"Wait");
  EXPECT_EQ(TrimErrorText(u" \t.\r\n"), u"");
  EXPECT_EQ(TrimErrorText(u"No space left on device"), u"No space left on device");
}

TEST(LastSystemError, IsTheNumberOfTheFailedCall) {
  test::TempDir dir;
  File file;
  const int error = file.Open(test::ToText(dir / "missing.txt"), FileMode::ReadShareRead);
  const int last = LastSystemError();
#ifdef _WIN32
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
#else
  EXPECT_EQ(error, ENOENT);
#endif
  EXPECT_EQ(last, error);
}

}  // namespace
}  // namespace zephora
