// The client's cookie store, by the rules of RFC 6265: Set-Cookie parsing,
// default domain and path from the request URL, replacement, expiry, the
// limits on how many are kept and the order of the Cookie header. Times are
// seconds since 1970 (UTC).
#pragma once

#include <compare>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
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
  std::uint64_t creation = 0;    // order of arrival; kept by a replacement
  std::uint64_t lastAccess = 0;  // order of the last arrival or sending
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

// The cookie a reply to `origin` sets; false when the header carries none
// or its domain does not cover the origin. `creation` and `lastAccess` are
// left to the store.
[[nodiscard]] bool MakeCookie(std::string_view header, const Url& origin, std::int64_t now,
                              Cookie& cookie);

bool DomainMatches(std::string_view host, std::string_view domain);
bool PathMatches(std::string_view requestPath, std::string_view cookiePath);
std::string DefaultCookiePath(std::string_view requestPath);

// How many cookies are kept: the least recently used go first, those of a
// domain that holds too many before all others. RFC 6265 asks for at least
// 50 a domain and 3000 in all.
struct CookieLimits {
  std::size_t perDomain = 50;
  std::size_t total = 3000;
};

class CookieStore {
 public:
  explicit CookieStore(CookieLimits limits = {}) : limits_(limits) {}
  CookieStore(const CookieStore&) = delete;
  CookieStore& operator=(const CookieStore&) = delete;

  // Stores, replaces or (when already expired) removes a cookie that a reply
  // to `origin` set.
  void Receive(std::string_view header, const Url& origin, std::int64_t now);
  void RemoveExpired(std::int64_t now);
  // The Cookie header value for a request of `url`; empty when none match.
  // The cookies sent count as used.
  std::string HeaderFor(const Url& url);

  // The stored cookies, oldest first.
  std::vector<Cookie> Cookies() const;
  std::size_t Size() const { return byAccess_.size(); }

 private:
  // A stored cookie's identity; the views point into the cookie itself.
  struct Key {
    std::string_view name;
    std::string_view domain;
    std::string_view path;
    auto operator<=>(const Key&) const = default;
  };
  using Stored = std::map<std::uint64_t, Cookie>::iterator;

  void Store(Cookie cookie);
  void Remove(Stored stored);
  void Touch(Cookie& cookie);

  CookieLimits limits_;
  // The cookies by last access, least recent first: the order of eviction.
  // Its nodes never move, so pointers and views into them stay valid.
  std::map<std::uint64_t, Cookie> byAccess_;
  // Every lookup by identity and by domain takes logarithmic time, so
  // storing many cookies never scans them all.
  std::map<Key, Cookie*> byKey_;
  std::map<std::string, std::set<std::uint64_t>> accessByDomain_;
  std::uint64_t nextCreation_ = 1;
  std::uint64_t nextAccess_ = 1;
};

// Seconds since 1970 now.
std::int64_t CookieClock();

}  // namespace zephora::http
