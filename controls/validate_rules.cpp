#include "controls/validate_rules.h"

#include <limits>

namespace zephora::validate {

bool AcceptsChar(TextView text, std::size_t caret, bool hasSelection, char16_t c) {
  if (c < 32)
    return true;
  if (c >= u'0' && c <= u'9')
    return true;
  if (c == u'+' || c == u'-') {
    return caret == 0 && (text.find(c) == TextView::npos || hasSelection);
  }
  return false;
}

Text FilterText(TextView text) {
  Text kept;
  for (char16_t c : text) {
    if (c >= 32 && AcceptsChar(kept, kept.size(), false, c))
      kept += c;
  }
  return kept;
}

std::int64_t IntegerValue(TextView text) {
  if (text.empty())
    return 0;
  bool negative = false;
  std::size_t i = 0;
  if (text[0] == u'+' || text[0] == u'-') {
    negative = text[0] == u'-';
    i = 1;
  }
  if (i == text.size())
    return 0;
  // Gather the magnitude as unsigned so that the most negative value fits.
  constexpr std::uint64_t kLimitPositive = std::numeric_limits<std::int64_t>::max();
  const std::uint64_t limit = negative ? kLimitPositive + 1 : kLimitPositive;
  std::uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < u'0' || c > u'9')
      return 0;
    std::uint64_t digit = static_cast<std::uint64_t>(c - u'0');
    if (magnitude > (limit - digit) / 10)
      return 0;
    magnitude = magnitude * 10 + digit;
  }
  if (!negative)
    return static_cast<std::int64_t>(magnitude);
  if (magnitude == kLimitPositive + 1)
    return std::numeric_limits<std::int64_t>::min();
  return -static_cast<std::int64_t>(magnitude);
}

Text DisplayText(TextView text) {
  return ToText(static_cast<long long>(IntegerValue(text)));
}

}  // namespace zephora::validate
