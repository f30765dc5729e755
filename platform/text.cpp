#include "platform/text.h"

#include <algorithm>

namespace zephora {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(Text& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Decodes one UTF-8 sequence at `pos`; returns false (and consumes one byte)
// for anything malformed, overlong, surrogate or out of range.
bool DecodeUtf8(std::string_view bytes, size_t& pos, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(bytes[pos]);
  int extra;
  char32_t min;
  if (b0 < 0x80) {
    cp = b0;
    ++pos;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++pos;
    return false;
  }
  if (pos + extra >= bytes.size()) {
    ++pos;
    return false;
  }
  for (int i = 1; i <= extra; ++i) {
    const auto b = static_cast<unsigned char>(bytes[pos + i]);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return false;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return false;
  }
  pos += extra + 1;
  return true;
}

}  // namespace

std::string ToUtf8(TextView text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

Text FromUtf8(std::string_view bytes) {
  Text out;
  out.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t cp;
    AppendUtf16(out, DecodeUtf8(bytes, pos, cp) ? cp : kReplacement);
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t pos = 0;
  char32_t cp;
  while (pos < bytes.size()) {
    if (!DecodeUtf8(bytes, pos, cp))
      return false;
  }
  return true;
}

char16_t AsciiUpper(char16_t c) {
  return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c;
}

Text AsciiUpper(TextView text) {
  Text out(text);
  for (auto& c : out)
    c = AsciiUpper(c);
  return out;
}

int CompareIgnoreAsciiCase(TextView a, TextView b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = AsciiUpper(a[i]), y = AsciiUpper(b[i]);
    if (x != y)
      return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualsIgnoreAsciiCase(TextView a, TextView b) {
  return CompareIgnoreAsciiCase(a, b) == 0;
}

Text Trim(TextView text) {
  size_t begin = 0, end = text.size();
  while (begin < end && text[begin] <= u' ')
    ++begin;
  while (end > begin && text[end - 1] <= u' ')
    --end;
  return Text(text.substr(begin, end - begin));
}

Text ToText(long long value) {
  const std::string s = std::to_string(value);
  return Text(s.begin(), s.end());
}

Text ToHexText(unsigned long long value, int minDigits) {
  Text out;
  do {
    out += u"0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  if (static_cast<long long>(out.size()) < minDigits)
    out.append(static_cast<size_t>(minDigits) - out.size(), u'0');
  std::reverse(out.begin(), out.end());
  return out;
}

Text MakeControlsVisible(TextView text) {
  const auto hidden = [](char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F || c == 0x061C;
  };
  Text shown;
  shown.reserve(text.size());
  for (const char16_t c : text) {
    if (hidden(c)) {
      shown += u"<U+" + AsciiUpper(ToHexText(c, 4)) + u">";
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace zephora
