#include "transfer/http/cookies.h"

#include <algorithm>
#include <chrono>
#include <iterator>

#include "platform/calendar.h"
#include "transfer/http/text_util.h"

namespace zephora::http {
namespace {

constexpr std::int64_t kEarliest = std::numeric_limits<std::int64_t>::min();

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsDateDelimiter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u == 0x09 || (u >= 0x20 && u <= 0x2F) || (u >= 0x3B && u <= 0x40) ||
         (u >= 0x5B && u <= 0x60) || (u >= 0x7B && u <= 0x7E);
}

// Cookie values and names are trimmed of blanks and tabs only.
std::string_view TrimWhitespace(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

// min..max digits at `pos`, followed by the end or a non-digit.
bool ReadDigits(std::string_view token, std::size_t& pos, int minDigits, int maxDigits,
                int& value) {
  int count = 0;
  value = 0;
  while (pos < token.size() && IsDigit(token[pos]) && count < maxDigits) {
    value = value * 10 + (token[pos] - '0');
    ++pos;
    ++count;
  }
  return count >= minDigits && (pos >= token.size() || !IsDigit(token[pos]));
}

bool ParseTime(std::string_view token, int& hour, int& minute, int& second) {
  std::size_t pos = 0;
  if (!ReadDigits(token, pos, 1, 2, hour) || pos >= token.size() || token[pos++] != ':')
    return false;
  if (!ReadDigits(token, pos, 1, 2, minute) || pos >= token.size() || token[pos++] != ':') {
    return false;
  }
  return ReadDigits(token, pos, 1, 2, second);
}

int ParseMonth(std::string_view token) {
  static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.size() < 3)
    return 0;
  for (int i = 0; i < 12; ++i) {
    if (EqualsNoCase(token.substr(0, 3), kMonths[i]))
      return i + 1;
  }
  return 0;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysSinceEpoch(int year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

bool IsIpAddress(std::string_view host) {
  return !host.empty() &&
         std::all_of(host.begin(), host.end(), [](char c) { return IsDigit(c) || c == '.'; });
}

std::string RequestPath(const Url& url) {
  std::string path = url.Target();
  return path.substr(0, path.find('?'));
}

}  // namespace

std::optional<std::int64_t> ParseCookieDate(std::string_view text) {
  bool foundTime = false, foundDay = false, foundMonth = false, foundYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsDateDelimiter(text[pos]))
      ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && !IsDateDelimiter(text[pos]))
      ++pos;
    const std::string_view token = text.substr(start, pos - start);
    if (token.empty())
      continue;
    std::size_t at = 0;
    int h, m, s;
    if (!foundTime && ParseTime(token, h, m, s)) {
      foundTime = true, hour = h, minute = m, second = s;
    } else if (at = 0; !foundDay && ReadDigits(token, at, 1, 2, day)) {
      foundDay = true;
    } else if (!foundMonth && (month = ParseMonth(token)) != 0) {
      foundMonth = true;
    } else if (at = 0; !foundYear && ReadDigits(token, at, 2, 4, year)) {
      foundYear = true;
    }
  }
  if (foundYear && year >= 70 && year <= 99)
    year += 1900;
  if (foundYear && year >= 0 && year <= 69)
    year += 2000;
  if (!foundTime || !foundDay || !foundMonth || !foundYear)
    return std::nullopt;
  if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  if (day > DaysInMonth(year, month))
    return std::nullopt;
  return DaysSinceEpoch(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

bool ParseSetCookie(std::string_view header, SetCookie& cookie) {
  cookie = SetCookie();
  const std::size_t semicolon = header.find(';');
  const std::string_view pair = header.substr(0, semicolon);
  const std::size_t equals = pair.find('=');
  if (equals == std::string_view::npos)
    return false;
  cookie.name = TrimWhitespace(pair.substr(0, equals));
  cookie.value = TrimWhitespace(pair.substr(equals + 1));
  if (cookie.name.empty())
    return false;

  std::string_view rest =
      semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
  while (!rest.empty()) {
    const std::size_t end = rest.find(';');
    const std::string_view av = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const std::size_t eq = av.find('=');
    const std::string_view name = TrimWhitespace(av.substr(0, eq));
    const std::string_view value =
        eq == std::string_view::npos ? std::string_view() : TrimWhitespace(av.substr(eq + 1));
    if (EqualsNoCase(name, "expires")) {
      if (const auto when = ParseCookieDate(value))
        cookie.expires = when;
    } else if (EqualsNoCase(name, "max-age")) {
      if (value.empty() || !(IsDigit(value[0]) || value[0] == '-'))
        continue;
      const bool negative = value[0] == '-';
      const std::string_view digits = negative ? value.substr(1) : value;
      if (!std::all_of(digits.begin(), digits.end(), IsDigit))
        continue;
      if (negative && digits.empty())
        continue;
      std::int64_t seconds = 0;
      for (const char c : digits) {
        // Beyond any useful lifetime; the clamp keeps the sum in range.
        seconds = std::min<std::int64_t>(seconds * 10 + (c - '0'), std::int64_t{1} << 40);
      }
      cookie.maxAge = negative ? -seconds : seconds;
    } else if (EqualsNoCase(name, "domain")) {
      if (value.empty())
        continue;
      std::string_view domain = value;
      if (domain.front() == '.')
        domain.remove_prefix(1);
      cookie.domain = ToLower(domain);
    } else if (EqualsNoCase(name, "path")) {
      if (value.empty() || value.front() != '/') {
        cookie.path.reset();
      } else {
        cookie.path = std::string(value);
      }
    } else if (EqualsNoCase(name, "secure")) {
      cookie.secure = true;
    } else if (EqualsNoCase(name, "httponly")) {
      cookie.httpOnly = true;
    }
  }
  return true;
}

bool DomainMatches(std::string_view host, std::string_view domain) {
  if (host == domain)
    return true;
  return host.size() > domain.size() && !domain.empty() &&
         host.substr(host.size() - domain.size()) == domain &&
         host[host.size() - domain.size() - 1] == '.' && !IsIpAddress(host);
}

bool PathMatches(std::string_view requestPath, std::string_view cookiePath) {
  if (requestPath == cookiePath)
    return true;
  if (requestPath.size() <= cookiePath.size() ||
      requestPath.substr(0, cookiePath.size()) != cookiePath) {
    return false;
  }
  return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

std::string DefaultCookiePath(std::string_view requestPath) {
  if (requestPath.empty() || requestPath.front() != '/')
    return "/";
  const std::size_t last = requestPath.rfind('/');
  if (last == 0)
    return "/";
  return std::string(requestPath.substr(0, last));
}

bool MakeCookie(std::string_view header, const Url& origin, std::int64_t now, Cookie& cookie) {
  SetCookie parsed;
  if (!ParseSetCookie(header, parsed))
    return false;
  cookie = Cookie();
  cookie.name = std::move(parsed.name);
  cookie.value = std::move(parsed.value);
  if (parsed.maxAge) {
    cookie.persistent = true;
    cookie.expiry = *parsed.maxAge <= 0 ? kEarliest : now + *parsed.maxAge;
  } else if (parsed.expires) {
    cookie.persistent = true;
    cookie.expiry = *parsed.expires;
  }
  const std::string host = ToLower(origin.host);
  if (parsed.domain) {
    if (!DomainMatches(host, *parsed.domain))
      return false;
    cookie.hostOnly = false;
    cookie.domain = *parsed.domain;
  } else {
    cookie.domain = host;
  }
  cookie.path = parsed.path ? *parsed.path : DefaultCookiePath(RequestPath(origin));
  cookie.secure = parsed.secure;
  cookie.httpOnly = parsed.httpOnly;
  return true;
}

void CookieStore::Receive(std::string_view header, const Url& origin, std::int64_t now) {
  Cookie cookie;
  if (!MakeCookie(header, origin, now, cookie))
    return;
  cookie.creation = nextCreation_++;
  const auto old = byKey_.find(Key{cookie.name, cookie.domain, cookie.path});
  if (old != byKey_.end()) {
    cookie.creation = old->second->creation;
    Remove(byAccess_.find(old->second->lastAccess));
  }
  if (cookie.expiry <= now)
    return;
  Store(std::move(cookie));
}

void CookieStore::Store(Cookie cookie) {
  const std::uint64_t access = nextAccess_++;
  cookie.lastAccess = access;
  const Stored stored = byAccess_.emplace(access, std::move(cookie)).first;
  Cookie& kept = stored->second;
  byKey_.emplace(Key{kept.name, kept.domain, kept.path}, &kept);
  std::set<std::uint64_t>& domain = accessByDomain_[kept.domain];
  domain.insert(access);

  // The newest cookie is never the least recently used one, so it stays.
  if (domain.size() > limits_.perDomain)
    Remove(byAccess_.find(*domain.begin()));
  if (byAccess_.size() > limits_.total)
    Remove(byAccess_.begin());
}

void CookieStore::Remove(Stored stored) {
  const Cookie& cookie = stored->second;
  byKey_.erase(Key{cookie.name, cookie.domain, cookie.path});
  const auto domain = accessByDomain_.find(cookie.domain);
  domain->second.erase(cookie.lastAccess);
  if (domain->second.empty())
    accessByDomain_.erase(domain);
  byAccess_.erase(stored);
}

void CookieStore::Touch(Cookie& cookie) {
  auto node = byAccess_.extract(cookie.lastAccess);
  std::set<std::uint64_t>& domain = accessByDomain_.find(cookie.domain)->second;
  domain.erase(cookie.lastAccess);
  cookie.lastAccess = nextAccess_++;
  domain.insert(cookie.lastAccess);
  node.key() = cookie.lastAccess;
  byAccess_.insert(std::move(node));
}

void CookieStore::RemoveExpired(std::int64_t now) {
  for (auto stored = byAccess_.begin(); stored != byAccess_.end();) {
    const auto next = std::next(stored);
    if (stored->second.expiry <= now)
      Remove(stored);
    stored = next;
  }
}

std::string CookieStore::HeaderFor(const Url& url) {
  const std::string host = ToLower(url.host);
  const std::string path = RequestPath(url);
  const bool secureChannel = url.protocol == "https";
  std::vector<Cookie*> chosen;
  for (auto& [access, cookie] : byAccess_) {
    const bool hostMatches =
        cookie.hostOnly ? host == cookie.domain : DomainMatches(host, cookie.domain);
    if (hostMatches && PathMatches(path, cookie.path) && (!cookie.secure || secureChannel)) {
      chosen.push_back(&cookie);
    }
  }
  std::sort(chosen.begin(), chosen.end(), [](const Cookie* a, const Cookie* b) {
    if (a->path.size() != b->path.size())
      return a->path.size() > b->path.size();
    return a->creation < b->creation;
  });
  std::string header;
  for (Cookie* cookie : chosen) {
    if (!header.empty())
      header += "; ";
    header += cookie->name + "=" + cookie->value;
    Touch(*cookie);
  }
  return header;
}

std::vector<Cookie> CookieStore::Cookies() const {
  std::vector<Cookie> cookies;
  cookies.reserve(byAccess_.size());
  for (const auto& [access, cookie] : byAccess_)
    cookies.push_back(cookie);
  std::sort(cookies.begin(), cookies.end(),
            [](const Cookie& a, const Cookie& b) { return a.creation < b.creation; });
  return cookies;
}

std::int64_t CookieClock() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace zephora::http
