// The main of every test program that creates windows: the translation
// layer first, as in the program, and COM as a single-threaded apartment.
#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "i18n/translation.h"

int main(int argc, char** argv) {
  zephora::TranslationLayer translation;
  const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  if (com)
    CoUninitialize();
  return result;
}
