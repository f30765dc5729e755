// A stand-in for the ordering program, for the demo packages: it says where
// it is installed and which language SETUP.INI chose.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  folder.erase(folder.find_last_of(L'\\') + 1);
  wchar_t language[16] = L"?";
  GetPrivateProfileStringW(L"SETUP", L"TAAL", L"?", language, 16, (folder + L"SETUP.INI").c_str());
  const std::wstring text = L"ZEPHORA is ge\u00efnstalleerd in " + folder + L"\nTaal: " + language;
  MessageBoxW(nullptr, text.c_str(), L"ZEPHORA", MB_OK | MB_ICONINFORMATION);
  return 0;
}
