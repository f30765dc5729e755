#include "i18n/format.h"

namespace zephora {

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
    int precision = 0;
    if (format[j] == u'.') {
      ++j;
      while (j < format.size() && format[j] >= u'0' && format[j] <= u'9') {
        precision = precision * 10 + (format[j] - u'0');
        ++j;
      }
    }
    if (j >= format.size() || next == args.end()) {
      out += format[i];
      continue;
    }
    const char16_t kind = format[j];
    const auto& value = next->Value();
    if ((kind == u'd' || kind == u'u') && std::holds_alternative<long long>(value)) {
      Text digits = ToText(std::get<long long>(value));
      const bool negative = !digits.empty() && digits[0] == u'-';
      if (negative)
        digits.erase(0, 1);
      while (static_cast<int>(digits.size()) < precision)
        digits.insert(0, 1, u'0');
      out += negative ? u"-" + digits : digits;
    } else if (kind == u'x' && std::holds_alternative<long long>(value)) {
      out += ToHexText(static_cast<unsigned long long>(std::get<long long>(value)) & 0xFFFFFFFFull,
                       precision);
    } else if (kind == u's' && std::holds_alternative<Text>(value)) {
      out += std::get<Text>(value);
    } else {
      out += format[i];
      continue;
    }
    ++next;
    i = j;
  }
  return out;
}

}  // namespace zephora
