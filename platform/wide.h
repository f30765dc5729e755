// Windows only: UTF-16 texts as the wide strings of the Win32 API. wchar_t
// and char16_t are both 16-bit code units there, so this is a plain copy.
#pragma once

#include <string>
#include <string_view>

#include "platform/path.h"
#include "platform/text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide.h is for Windows only");

namespace zephora {

inline std::wstring ToWide(TextView text) {
  return std::wstring(text.begin(), text.end());
}
// A path for Windows' file functions, in the form that takes any length.
inline std::wstring ToWidePath(TextView path) {
  return ToWide(ExtendedLengthPath(path));
}
// The text as the API's wide string without a copy; the two units are the
// same size and representation here.
inline const wchar_t* WidePointer(const Text& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline Text FromWide(std::wstring_view text) {
  return Text(text.begin(), text.end());
}

}  // namespace zephora
