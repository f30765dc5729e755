// unpack PACKAGE: unpacks a ZIP package into its own folder and deletes it,
// as the installation does; prints the failure message and exits 1 on
// failure. On a terminal the error stream shows the bytes written; Ctrl+C
// stops as the wizard's Cancel does (the entry in progress is discarded, the
// package deleted) and exits 130.
#include <cstdio>
#include <filesystem>
#include <string>

#include "i18n/translation.h"
#include "platform/exception.h"
#include "tools/console/print_line.h"
#include "tools/console/progress.h"
#include "transfer/zip/unpack_archive.h"

namespace zephora {
namespace {

int Usage() {
  std::fputs("usage: unpack PACKAGE\n", stderr);
  return 2;
}

// The package path as given, made absolute like the installation's own paths.
Text PackagePath(const std::filesystem::path& given) {
  if (given.empty())
    return Text();
  std::error_code ignored;
  const std::u16string text = std::filesystem::absolute(given, ignored).u16string();
  return Text(text.begin(), text.end());
}

int Run(const std::filesystem::path& given) {
  const Text package = PackagePath(given);
  // The messages in the user's language, as the wizard would show them.
  const TranslationLayer translation;
  TUnZipper unzipper;
  CatchInterrupt();
  unzipper.OnTurn = [] { return !Interrupted(); };
  try {
    ProgressLine progress;
    unzipper.OnProgress = [&](std::uint64_t done, std::uint64_t total) {
      progress.Show(static_cast<std::int64_t>(done), static_cast<std::int64_t>(total));
    };
    UnpackArchive(unzipper, package);
  } catch (const TStopped&) {
    return 130;
  } catch (const Exception& e) {
    PrintLine(stderr, e.Message());
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace zephora

// The C library splits the command line: a Windows program that asked the
// shell to do it would load shell32 and user32 at every start.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  if (argc != 2)
    return zephora::Usage();
  return zephora::Run(argv[1]);
}
