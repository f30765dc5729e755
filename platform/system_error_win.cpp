#include <windows.h>

#include "platform/system_error.h"
#include "platform/wide.h"

namespace zephora {
namespace {

constexpr DWORD kLargestText = 2000;

DWORD FormatSystemText(int code, LANGID language, wchar_t (&buffer)[kLargestText]) {
  return FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
      nullptr, static_cast<DWORD>(code), language, buffer, kLargestText, nullptr);
}

}  // namespace

int LastSystemError() {
  return static_cast<int>(GetLastError());
}

std::vector<std::uint16_t> SystemErrorLanguages(const Text& code) {
  std::wstring name = ToWide(code.substr(0, code.find_first_of(u".@")));
  for (wchar_t& c : name) {
    if (c == L'_')
      c = L'-';
  }
  if (name.empty())
    return {};
  const LANGID own = LANGIDFROMLCID(LocaleNameToLCID(name.c_str(), 0));
  // Neutral and invariant identifiers would ask for the user's or no
  // language; custom locales have no texts of their own.
  const WORD primary = PRIMARYLANGID(own);
  if (primary == LANG_NEUTRAL || primary == LANG_INVARIANT)
    return {};
  const LANGID main = MAKELANGID(primary, SUBLANG_DEFAULT);
  if (own == main)
    return {own};
  return {own, main};
}

Text SystemErrorText(int code) {
  wchar_t buffer[kLargestText];
  // A Windows without the messages' language answers
  // ERROR_RESOURCE_LANG_NOT_FOUND; the system's own choice then serves.
  if (const MessageLanguageSource source = GetMessageLanguageSource()) {
    for (const std::uint16_t language : SystemErrorLanguages(source())) {
      if (const DWORD length = FormatSystemText(code, language, buffer))
        return FromWide(std::wstring_view(buffer, length));
    }
  }
  const DWORD length = FormatSystemText(code, 0, buffer);
  return FromWide(std::wstring_view(buffer, length));
}

}  // namespace zephora
