#include "transfer/http/status_text.h"

#include <algorithm>

#include "transfer/http/http_texts.h"

namespace zephora::http {
namespace {

// Characters that leave no mark on the screen: blanks of every width and
// the zero-width ones.
bool ShowsNothing(char16_t c) {
  return c == u' ' || c == 0x00A0 || c == 0x00AD || c == 0x034F || c == 0x115F || c == 0x1160 ||
         c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200D) || c == 0x2028 || c == 0x2029 ||
         c == 0x202F || (c >= 0x205F && c <= 0x2064) || c == 0x3000 || c == 0x3164 || c == 0xFEFF ||
         c == 0xFFA0;
}

}  // namespace

Text StatusLineText(std::string_view line) {
  if (IsValidUtf8(line))
    return FromUtf8(line);
  Text text;
  for (const char c : line)
    text += static_cast<char16_t>(static_cast<unsigned char>(c));
  return text;
}

Text ShownStatusLine(TextView statusLine) {
  // A line of any length may come: the message box shows its beginning,
  // never half of a character.
  constexpr std::size_t kShownLength = 200;
  if (statusLine.size() > kShownLength) {
    TextView kept = statusLine.substr(0, kShownLength);
    if (kept.back() >= 0xD800 && kept.back() <= 0xDBFF)
      kept.remove_suffix(1);
    return MakeControlsVisible(kept) + u"...";
  }
  const Text shown = MakeControlsVisible(statusLine);
  if (std::all_of(shown.begin(), shown.end(), ShowsNothing))
    return LoadResString(SEmptyStatusLine);
  return shown;
}

}  // namespace zephora::http
