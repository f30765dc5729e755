#include "tests/transfer/http/cookie_script.h"

#include <algorithm>
#include <vector>

#include "transfer/http/text_util.h"

namespace zephora::test {
namespace {

using http::Cookie;
using http::Url;

constexpr std::int64_t kStart = 1700000000;

std::string RequestPath(const Url& url) {
  const std::string target = url.Target();
  return target.substr(0, target.find('?'));
}

bool SameKey(const Cookie& a, const Cookie& b) {
  return a.name == b.name && a.domain == b.domain && a.path == b.path;
}

// The store's rules stated as plainly as possible.
class PlainStore {
 public:
  void Receive(std::string_view header, const Url& origin, std::int64_t now) {
    Cookie cookie;
    if (!http::MakeCookie(header, origin, now, cookie))
      return;
    cookie.creation = nextCreation_++;
    const auto old = std::find_if(cookies_.begin(), cookies_.end(),
                                  [&](const Cookie& stored) { return SameKey(stored, cookie); });
    if (old != cookies_.end()) {
      cookie.creation = old->creation;
      cookies_.erase(old);
    }
    if (cookie.expiry <= now)
      return;
    cookie.lastAccess = nextAccess_++;
    const std::string domain = cookie.domain;
    cookies_.push_back(std::move(cookie));
    if (std::count_if(cookies_.begin(), cookies_.end(), [&](const Cookie& c) {
          return c.domain == domain;
        }) > static_cast<std::ptrdiff_t>(kScriptLimits.perDomain)) {
      EvictLeastRecent([&](const Cookie& c) { return c.domain == domain; });
    }
    if (cookies_.size() > kScriptLimits.total)
      EvictLeastRecent([](const Cookie&) { return true; });
  }

  void RemoveExpired(std::int64_t now) {
    std::erase_if(cookies_, [now](const Cookie& cookie) { return cookie.expiry <= now; });
  }

  std::string HeaderFor(const Url& url) {
    const std::string host = http::ToLower(url.host);
    const std::string path = RequestPath(url);
    std::vector<Cookie*> chosen;
    for (Cookie& cookie : cookies_) {
      const bool hostMatches =
          cookie.hostOnly ? host == cookie.domain : http::DomainMatches(host, cookie.domain);
      if (hostMatches && http::PathMatches(path, cookie.path) &&
          (!cookie.secure || url.protocol == "https")) {
        chosen.push_back(&cookie);
      }
    }
    std::sort(chosen.begin(), chosen.end(), [](const Cookie* a, const Cookie* b) {
      return a->path.size() != b->path.size() ? a->path.size() > b->path.size()
                                              : a->creation < b->creation;
    });
    std::string header;
    for (Cookie* cookie : chosen) {
      header += (header.empty() ? "" : "; ") + cookie->name + "=" + cookie->value;
      cookie->lastAccess = nextAccess_++;
    }
    return header;
  }

  std::vector<Cookie> Cookies() const {
    std::vector<Cookie> sorted = cookies_;
    std::sort(sorted.begin(), sorted.end(),
              [](const Cookie& a, const Cookie& b) { return a.creation < b.creation; });
    return sorted;
  }

 private:
  template <typename Which>
  void EvictLeastRecent(Which which) {
    auto oldest = cookies_.end();
    for (auto c = cookies_.begin(); c != cookies_.end(); ++c) {
      if (which(*c) && (oldest == cookies_.end() || c->lastAccess < oldest->lastAccess))
        oldest = c;
    }
    cookies_.erase(oldest);
  }

  std::vector<Cookie> cookies_;
  std::uint64_t nextCreation_ = 1;
  std::uint64_t nextAccess_ = 1;
};

std::string Describe(const Cookie& c) {
  return c.name + "=" + c.value + " domain=" + c.domain + " path=" + c.path +
         " expiry=" + std::to_string(c.expiry) + " creation=" + std::to_string(c.creation) +
         " access=" + std::to_string(c.lastAccess) + (c.hostOnly ? " host-only" : "") +
         (c.persistent ? " persistent" : "") + (c.secure ? " secure" : "") +
         (c.httpOnly ? " http-only" : "");
}

std::string Compare(const http::CookieStore& store, const PlainStore& model) {
  const std::vector<Cookie> stored = store.Cookies();
  const std::vector<Cookie> expected = model.Cookies();
  if (stored.size() > kScriptLimits.total)
    return "more cookies than the limit: " + std::to_string(stored.size());
  for (std::size_t i = 0; i < std::max(stored.size(), expected.size()); ++i) {
    const std::string got = i < stored.size() ? Describe(stored[i]) : "nothing";
    const std::string want = i < expected.size() ? Describe(expected[i]) : "nothing";
    if (got != want)
      return "cookie " + std::to_string(i) + ": store has " + got + ", model has " + want;
  }
  return "";
}

}  // namespace

std::string RunCookieScript(std::string_view script) {
  http::CookieStore store(kScriptLimits);
  PlainStore model;
  Url origin;
  if (!http::SplitUrl(u"http://dl.example.com/zephora/Files/main.zip", origin))
    return "the first origin does not split";
  std::int64_t now = kStart;
  for (std::size_t start = 0, line = 1; start <= script.size(); ++line) {
    const std::size_t end = std::min(script.find('\n', start), script.size());
    const std::string_view step = script.substr(start, end - start);
    start = end + 1;
    if (step.starts_with("GET ")) {
      Url url;
      if (!http::SplitUrl(FromUtf8(step.substr(4)), url))
        continue;
      store.RemoveExpired(now);
      model.RemoveExpired(now);
      const std::string got = store.HeaderFor(url);
      const std::string want = model.HeaderFor(url);
      if (got != want)
        return "line " + std::to_string(line) + ": store sends \"" + got + "\", model \"" + want +
               "\"";
      origin = url;
    } else if (step.starts_with("WAIT ")) {
      std::int64_t seconds = 0;
      for (const char c : step.substr(5)) {
        if (c >= '0' && c <= '9')
          seconds = std::min<std::int64_t>(seconds * 10 + (c - '0'), 1000000000);
      }
      now += seconds;
    } else {
      store.Receive(step, origin, now);
      model.Receive(step, origin, now);
    }
    if (const std::string difference = Compare(store, model); !difference.empty())
      return "line " + std::to_string(line) + ": " + difference;
  }
  return "";
}

}  // namespace zephora::test
