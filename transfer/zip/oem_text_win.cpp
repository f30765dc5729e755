#include <windows.h>

#include "transfer/zip/archive_reader.h"

namespace zephora::zip {

Text OemToText(std::string_view bytes) {
  if (bytes.empty())
    return Text();
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0)
    return Text();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), size, wide.data(), length);
  return Text(wide.begin(), wide.end());
}

}  // namespace zephora::zip
