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

#ifdef _WIN32
// Windows installs display languages by their main variant, so a Belgian
// locale's texts are looked for in its own and then in nl-NL or fr-FR. Wine
// finds a language's texts under any of its variants, so the second step
// is proved here, through the list, rather than by a Windows without nl-BE.
TEST(SystemErrorText, IsAskedInTheLocaleThenInItsLanguagesMainVariant) {
  using Languages = std::vector<std::uint16_t>;
  EXPECT_EQ(SystemErrorLanguages(u"nl_BE"), (Languages{0x0813, 0x0413}));
  EXPECT_EQ(SystemErrorLanguages(u"fr_BE.UTF-8"), (Languages{0x080C, 0x040C}));
  EXPECT_EQ(SystemErrorLanguages(u"de_DE"), (Languages{0x0407}));
  EXPECT_EQ(SystemErrorLanguages(u"en_GB"), (Languages{0x0809, 0x0409}));
  EXPECT_EQ(SystemErrorLanguages(u"nl"), (Languages{0x0413}));
  // Codes Windows does not know leave the choice to the system.
  EXPECT_EQ(SystemErrorLanguages(u""), Languages{});
  EXPECT_EQ(SystemErrorLanguages(u"C"), Languages{});
  EXPECT_EQ(SystemErrorLanguages(u"xx_YY"), Languages{});
}
#endif

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
