// The client's cookie store, by the rules of RFC 6265: Set-Cookie parsing,
// default domain and path from the request URL, replacement, expiry and the
// order of the Cookie header. Times are seconds since 1970 (UTC).
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/http/url.h"

namespace zephora::http {

constexpr std::int64_t kNoExpiry = std::numeric_limits<std::int64_t>::max();

struct Cookie {
  std::string name;
  std::string value;
  std::string domain;  // lower case, no leading "."
  std::string path;
  std::int64_t expiry = kNoExpiry;
  bool persistent = false;
  bool hostOnly = true;
  bool secure = false;
  bool httpOnly = false;
  std::uint64_t creation = 0;  // order of arrival; kept by a replacement
};

// The attributes of one Set-Cookie header, not yet tied to a request.
struct SetCookie {
  std::string name;
  std::string value;
  std::optional<std::int64_t> expires;  // from Expires
  std::optional<std::int64_t> maxAge;   // from Max-Age, in seconds
  std::optional<std::string> domain;    // lower case, leading "." removed
  std::optional<std::string> path;      // only a value beginning with "/"
  bool secure = false;
  bool httpOnly = false;
};

// False when the header carries no cookie (no "=", or an empty name).
[[nodiscard]] bool ParseSetCookie(std::string_view header, SetCookie& cookie);
// A cookie date; nothing when it does not name a valid moment.
std::optional<std::int64_t> ParseCookieDate(std::string_view text);

bool DomainMatches(std::string_view host, std::string_view domain);
bool PathMatches(std::string_view requestPath, std::string_view cookiePath);
std::string DefaultCookiePath(std::string_view requestPath);

class CookieStore {
 public:
  // Stores, replaces or (when already expired) removes a cookie that a reply
  // to `origin` set.
  void Receive(std::string_view header, const Url& origin, std::int64_t now);
  void RemoveExpired(std::int64_t now);
  // The Cookie header value for a request of `url`; empty when none match.
  std::string HeaderFor(const Url& url) const;

  const std::vector<Cookie>& Cookies() const { return cookies_; }

 private:
  std::vector<Cookie> cookies_;
  std::uint64_t nextCreation_ = 1;
};

// Seconds since 1970 now.
std::int64_t CookieClock();

}  // namespace zephora::http
