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

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace {

// The package path as given, made absolute like the installation's own paths.
bool PackageArgument(int argc, char** argv, zephora::Text& path) {
#ifdef _WIN32
  (void)argv;
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr || count != 2 || argc != 2)
    return false;
  std::filesystem::path given(args[1]);
  LocalFree(args);
#else
  if (argc != 2)
    return false;
  std::filesystem::path given(argv[1]);
#endif
  if (given.empty()) {
    path.clear();
    return true;
  }
  std::error_code ignored;
  const std::u16string text = std::filesystem::absolute(given, ignored).u16string();
  path.assign(text.begin(), text.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  zephora::Text package;
  if (!PackageArgument(argc, argv, package)) {
    std::fputs("usage: unpack PACKAGE\n", stderr);
    return 2;
  }
  // The messages in the user's language, as the wizard would show them.
  const zephora::TranslationLayer translation;
  zephora::TUnZipper unzipper;
  zephora::CatchInterrupt();
  unzipper.OnTurn = [] { return !zephora::Interrupted(); };
  try {
    zephora::ProgressLine progress;
    unzipper.OnProgress = [&](std::uint64_t done, std::uint64_t total) {
      progress.Show(static_cast<std::int64_t>(done), static_cast<std::int64_t>(total));
    };
    zephora::UnpackArchive(unzipper, package);
  } catch (const zephora::TStopped&) {
    return 130;
  } catch (const zephora::Exception& e) {
    zephora::PrintLine(stderr, e.Message());
    return 1;
  }
  return 0;
}
