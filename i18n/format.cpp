#include "i18n/format.h"

#include <algorithm>

namespace zephora {
namespace {

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// The number at `at`, if any, moving `at` past its digits. It stops growing
// at the cap, so that no number of digits can overflow it.
int ReadCount(TextView format, size_t& at) {
  int count = 0;
  for (; at < format.size() && IsDigit(format[at]); ++at)
    count = std::min(count * 10 + (format[at] - u'0'), kLargestFormatWidth);
  return count;
}

// `digits` with zeros in front up to `precision` digits, after the sign.
Text PadDigits(Text digits, int precision) {
  const bool negative = !digits.empty() && digits[0] == u'-';
  const size_t shown = digits.size() - (negative ? 1 : 0);
  if (shown < static_cast<size_t>(precision))
    digits.insert(negative ? 1 : 0, static_cast<size_t>(precision) - shown, u'0');
  return digits;
}

}  // namespace

Text Format(TextView format, std::initializer_list<FormatArg> args) {
  Text out;
  auto next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != u'%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    if (format[i + 1] == u'%') {
      out += u'%';
      ++i;
      continue;
    }
    size_t j = i + 1;
    const bool left = format[j] == u'-';
    if (left)
      ++j;
    const int width = ReadCount(format, j);
    int precision = 0;
    if (j < format.size() && format[j] == u'.') {
      ++j;
      precision = ReadCount(format, j);
    }
    if (j >= format.size() || next == args.end()) {
      out += format[i];
      continue;
    }
    const char16_t kind = format[j];
    const auto& value = next->Value();
    Text field;
    if ((kind == u'd' || kind == u'u') && std::holds_alternative<long long>(value)) {
      field = PadDigits(ToText(std::get<long long>(value)), precision);
    } else if (kind == u'x' && std::holds_alternative<long long>(value)) {
      field = PadDigits(
          ToHexText(static_cast<unsigned long long>(std::get<long long>(value)) & 0xFFFFFFFFull, 0),
          precision);
    } else if (kind == u's' && std::holds_alternative<Text>(value)) {
      field = std::get<Text>(value);
    } else {
      out += format[i];
      continue;
    }
    const size_t blanks =
        field.size() < static_cast<size_t>(width) ? static_cast<size_t>(width) - field.size() : 0;
    if (!left)
      out.append(blanks, u' ');
    out += field;
    if (left)
      out.append(blanks, u' ');
    ++next;
    i = j;
  }
  return out;
}

}  // namespace zephora
