#include "transfer/http/cookies.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/transfer/http/cookie_script.h"

namespace zephora::http {
namespace {

constexpr std::int64_t kNow = 1700000000;  // 2023-11-14 22:13:20 UTC

Url MakeUrl(const std::string& text) {
  Url url;
  EXPECT_TRUE(SplitUrl(FromUtf8(text), url)) << text;
  return url;
}

TEST(ParseCookieDate, AcceptsTheFormsServersSend) {
  const struct {
    const char* text;
    std::int64_t when;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
      {"Sun Nov  6 08:49:37 1994", 784111777},
      {"06 nov 1994 8:49:37", 784111777},
      {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
      {"Wed, 09 Jun 2021 10:18:14 GMT", 1623233894},
      {"Sat, 29 Feb 2020 00:00:00 GMT", 1582934400},
      {"Fri, 31 Dec 9999 23:59:59 GMT", 253402300799},
      {"Thu, 01 Jan 1601 00:00:00 GMT", -11644473600},
      {"01 Jan 69 00:00:00", 3124224000},  // two-digit years below 70 are 20xx
  };
  for (const auto& c : cases) {
    const auto when = ParseCookieDate(c.text);
    ASSERT_TRUE(when.has_value()) << c.text;
    EXPECT_EQ(*when, c.when) << c.text;
  }
}

TEST(ParseCookieDate, RefusesDatesThatNameNoMoment) {
  for (const char* text : {"", "Sun, 06 Nov 1994", "Sun, 06 Nov 1994 24:00:00 GMT",
                           "Sun, 06 Nov 1994 08:60:00 GMT", "Sun, 32 Nov 1994 08:49:37 GMT",
                           "Sun, 00 Nov 1994 08:49:37 GMT", "Sun, 06 Xyz 1994 08:49:37 GMT",
                           "Sun, 06 Nov 1600 08:49:37 GMT", "Tue, 29 Feb 2022 00:00:00 GMT",
                           "Mon, 31 Apr 2023 00:00:00 GMT", "06 Nov 08:49:37", "tomorrow"}) {
    EXPECT_FALSE(ParseCookieDate(text).has_value()) << text;
  }
}

TEST(ParseSetCookie, ReadsNameValueAndAttributes) {
  SetCookie cookie;
  ASSERT_TRUE(ParseSetCookie(
      " sid = a b ; Path=/zephora; Domain=.Example.COM; Secure; HttpOnly; Max-Age=60; "
      "Expires=Sun, 06 Nov 1994 08:49:37 GMT; Unknown=1",
      cookie));
  EXPECT_EQ(cookie.name, "sid");
  EXPECT_EQ(cookie.value, "a b");
  EXPECT_EQ(cookie.path, "/zephora");
  EXPECT_EQ(cookie.domain, "example.com");
  EXPECT_TRUE(cookie.secure);
  EXPECT_TRUE(cookie.httpOnly);
  EXPECT_EQ(cookie.maxAge, 60);
  EXPECT_EQ(cookie.expires, 784111777);

  ASSERT_TRUE(ParseSetCookie("empty=", cookie));
  EXPECT_EQ(cookie.value, "");
  ASSERT_TRUE(ParseSetCookie("a=b=c; path=relative; max-age=1x; domain=; expires=never", cookie));
  EXPECT_EQ(cookie.value, "b=c");
  EXPECT_FALSE(cookie.path.has_value());
  EXPECT_FALSE(cookie.maxAge.has_value());
  EXPECT_FALSE(cookie.domain.has_value());
  EXPECT_FALSE(cookie.expires.has_value());
  ASSERT_TRUE(ParseSetCookie("a=1; Max-Age=-5; Path=/x; Path=/y", cookie));
  EXPECT_EQ(cookie.maxAge, -5);
  EXPECT_EQ(cookie.path, "/y");  // the last one counts

  EXPECT_FALSE(ParseSetCookie("novalue", cookie));
  EXPECT_FALSE(ParseSetCookie("=value", cookie));
  EXPECT_FALSE(ParseSetCookie(" =value; Path=/", cookie));
  EXPECT_FALSE(ParseSetCookie("", cookie));
}

TEST(CookieMatching, FollowsDomainAndPathRules) {
  EXPECT_TRUE(DomainMatches("example.com", "example.com"));
  EXPECT_TRUE(DomainMatches("www.example.com", "example.com"));
  EXPECT_FALSE(DomainMatches("wwwexample.com", "example.com"));
  EXPECT_FALSE(DomainMatches("example.com", "www.example.com"));
  EXPECT_FALSE(DomainMatches("1.2.3.4", "2.3.4"));
  EXPECT_TRUE(DomainMatches("1.2.3.4", "1.2.3.4"));

  EXPECT_TRUE(PathMatches("/zephora/Files/main.zip", "/zephora"));
  EXPECT_TRUE(PathMatches("/zephora/Files/main.zip", "/zephora/"));
  EXPECT_TRUE(PathMatches("/zephora", "/zephora"));
  EXPECT_FALSE(PathMatches("/zephoraX/a", "/zephora"));
  EXPECT_FALSE(PathMatches("/", "/zephora"));

  EXPECT_EQ(DefaultCookiePath("/zephora/Files/main.zip"), "/zephora/Files");
  EXPECT_EQ(DefaultCookiePath("/main.zip"), "/");
  EXPECT_EQ(DefaultCookiePath(""), "/");
  EXPECT_EQ(DefaultCookiePath("x/y"), "/");
}

TEST(CookieStore, TakesDefaultDomainAndPathFromTheRequest) {
  CookieStore store;
  const Url origin = MakeUrl("http://Dl.Example.com/zephora/Files/main.zip");
  store.Receive("a=1", origin, kNow);
  ASSERT_EQ(store.Cookies().size(), 1u);
  EXPECT_EQ(store.Cookies()[0].domain, "dl.example.com");
  EXPECT_TRUE(store.Cookies()[0].hostOnly);
  EXPECT_EQ(store.Cookies()[0].path, "/zephora/Files");
  EXPECT_FALSE(store.Cookies()[0].persistent);

  EXPECT_EQ(store.HeaderFor(MakeUrl("http://dl.example.com/zephora/Files/upgrade.zip")), "a=1");
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://dl.example.com:8080/zephora/Files/x")), "a=1");
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://dl.example.com/zephora/other")), "");
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://www.dl.example.com/zephora/Files/x")), "");
}

TEST(CookieStore, DomainAttributeWidensOrRefuses) {
  CookieStore store;
  const Url origin = MakeUrl("http://dl.example.com/zephora/Files/main.zip");
  store.Receive("wide=1; Domain=example.com; Path=/", origin, kNow);
  store.Receive("foreign=1; Domain=other.com", origin, kNow);
  store.Receive("deeper=1; Domain=www.dl.example.com", origin, kNow);
  ASSERT_EQ(store.Cookies().size(), 1u);
  EXPECT_FALSE(store.Cookies()[0].hostOnly);
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://www.example.com/")), "wide=1");
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://example.com/")), "wide=1");
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://notexample.com/")), "");
}

TEST(CookieStore, ReplacesKeepingCreationOrderAndRemovesExpired) {
  CookieStore store;
  const Url origin = MakeUrl("http://h/zephora/Files/main.zip");
  const Url request = MakeUrl("http://h/zephora/Files/upgrade.zip");
  store.Receive("first=1; Path=/", origin, kNow);
  store.Receive("second=2; Path=/", origin, kNow);
  store.Receive("deep=3; Path=/zephora/Files", origin, kNow);
  store.Receive("mid=4; Path=/zephora", origin, kNow);
  // Longer paths first; equal paths by age.
  EXPECT_EQ(store.HeaderFor(request), "deep=3; mid=4; first=1; second=2");
  // A replacement keeps the place of the cookie it replaces.
  store.Receive("first=one; Path=/", origin, kNow);
  EXPECT_EQ(store.HeaderFor(request), "deep=3; mid=4; first=one; second=2");
  // Same name, other path: a cookie of its own.
  store.Receive("first=x; Path=/zephora", origin, kNow);
  EXPECT_EQ(store.HeaderFor(request), "deep=3; mid=4; first=x; first=one; second=2");
  // Arriving expired removes the stored one and is not kept.
  store.Receive("second=gone; Path=/; Max-Age=0", origin, kNow);
  store.Receive("deep=gone; Path=/zephora/Files; Expires=Thu, 01 Jan 1970 00:00:00 GMT", origin,
                kNow);
  store.Receive("never=1; Path=/; Max-Age=-1", origin, kNow);
  EXPECT_EQ(store.HeaderFor(request), "mid=4; first=x; first=one");

  store.Receive("short=1; Path=/; Max-Age=10", origin, kNow);
  store.Receive("dated=1; Path=/; Expires=Tue, 14 Nov 2023 22:13:30 GMT; Max-Age=1000", origin,
                kNow);
  store.RemoveExpired(kNow + 9);
  EXPECT_EQ(store.Cookies().size(), 5u);
  store.RemoveExpired(kNow + 10);
  // Max-Age wins over Expires.
  EXPECT_EQ(store.HeaderFor(request), "mid=4; first=x; first=one; dated=1");
}

// prefix, number, rest: appended, since "literal" + std::to_string(i)
// trips a false warning of MinGW's GCC 12 at -O3.
std::string Numbered(const char* prefix, int i, const char* rest) {
  std::string text = prefix;
  text += std::to_string(i);
  text += rest;
  return text;
}

std::string Names(const char* prefix, int from, int to) {
  std::string names;
  for (int i = from; i < to; ++i) {
    if (!names.empty())
      names += "; ";
    names += Numbered(prefix, i, "=1");
  }
  return names;
}

TEST(CookieStore, KeepsFiftyADomainAndEvictsTheLeastRecentlyUsed) {
  CookieStore store;
  const Url origin = MakeUrl("http://dl.example.com/zephora/Files/main.zip");
  for (int i = 0; i < 60; ++i)
    store.Receive(Numbered("c", i, "=1; Path=/"), origin, kNow);
  EXPECT_EQ(store.Size(), 50u);
  EXPECT_EQ(store.HeaderFor(origin), Names("c", 10, 60));

  // Sending a cookie, or replacing it, counts as using it. All were just
  // sent, c10 first: a new cookie of the domain pushes out c10.
  store.Receive("c10=1; Path=/only/here", origin, kNow);
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://dl.example.com/only/here")),
            "c10=1; " + Names("c", 11, 60));
  store.Receive("c12=2; Path=/", origin, kNow);
  store.Receive("wide=1; Domain=example.com; Path=/", origin, kNow);  // another domain
  EXPECT_EQ(store.Size(), 51u);
  store.Receive("next=1; Path=/", origin, kNow);  // pushes out c10 on /only/here
  EXPECT_EQ(store.Size(), 51u);
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://dl.example.com/only/here")),
            "c11=1; c12=2; " + Names("c", 13, 60) + "; wide=1; next=1");
}

TEST(CookieStore, KeepsThreeThousandInAllAndEvictsTheLeastRecentlyUsed) {
  CookieStore store;
  for (int host = 0; host < 100; ++host) {
    const Url origin = MakeUrl(Numbered("http://h", host, ".example/"));
    for (int i = 0; i < 40; ++i)
      store.Receive(Numbered("c", i, "=1"), origin, kNow);
  }
  EXPECT_EQ(store.Size(), 3000u);
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://h24.example/")), "");
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://h25.example/")), Names("c", 0, 40));
  // h25's cookies were just sent: h26's go first now.
  store.Receive("new=1", MakeUrl("http://new.example/"), kNow);
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://h26.example/")), Names("c", 1, 40));
  EXPECT_EQ(store.HeaderFor(MakeUrl("http://h25.example/")), Names("c", 0, 40));
}

// The case that took 42 seconds when every cookie was looked for among all
// the others: it must finish within the limits, whatever the headers are.
TEST(CookieStore, HundredThousandSetCookieHeadersStayWithinTheLimits) {
  const Url origin = MakeUrl("http://dl.example.com/zephora/Files/main.zip");
  {
    CookieStore store;
    for (int i = 0; i < 100000; ++i)
      store.Receive(Numbered("session", i, "=vvvvvvvvvvvvvvvvvvvv"), origin, kNow);
    EXPECT_EQ(store.Size(), 50u);
    EXPECT_EQ(store.Cookies().front().name, "session99950");
  }
  {
    std::vector<Url> hosts;
    for (int i = 0; i < 7000; ++i)
      hosts.push_back(MakeUrl(Numbered("http://h", i, ".example/")));
    CookieStore store;
    for (int i = 0; i < 100000; ++i)
      store.Receive(Numbered("c", i, "=1"), hosts[i % 7000], kNow);
    EXPECT_EQ(store.Size(), 3000u);
    EXPECT_EQ(store.Cookies().front().name, "c97000");
  }
  {
    CookieStore store;
    store.Receive("first=1", origin, kNow);
    for (int i = 0; i < 100000; ++i)
      store.Receive(Numbered("same=", i, ""), origin, kNow);
    EXPECT_EQ(store.HeaderFor(origin), "first=1; same=99999");
  }
}

TEST(CookieStore, SecureCookiesStayOffPlainHttp) {
  CookieStore store;
  const Url origin = MakeUrl("http://h/");
  store.Receive("s=1; Secure", origin, kNow);
  store.Receive("h=1; HttpOnly", origin, kNow);
  EXPECT_EQ(store.Cookies().size(), 2u);
  EXPECT_EQ(store.HeaderFor(origin), "h=1");
  EXPECT_EQ(store.HeaderFor(MakeUrl("https://h/")), "s=1; h=1");
}

// The fuzz corpus (one Set-Cookie header a line) replayed by the ordinary tests.
TEST(CookieStore, ReplaysTheFuzzCorpus) {
  const Url origin = MakeUrl("http://dl.example.com/zephora/Files/main.zip");
  int files = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(test::SourcePath("tests/fuzz/corpus/set_cookie"))) {
    const std::string input = test::ReadFile(entry.path());
    ++files;
    CookieStore store;
    std::size_t start = 0;
    while (start <= input.size()) {
      const std::size_t end = std::min(input.find('\n', start), input.size());
      store.Receive(std::string_view(input).substr(start, end - start), origin, kNow);
      start = end + 1;
    }
    store.RemoveExpired(kNow);
    for (const Cookie& cookie : store.Cookies()) {
      EXPECT_GT(cookie.expiry, kNow) << entry.path();
      EXPECT_EQ(cookie.path.substr(0, 1), "/") << entry.path();
    }
    (void)store.HeaderFor(origin);
  }
  EXPECT_GT(files, 0);
}

// The store's fuzz corpus (scripts of headers, requests and waits) replayed
// by the ordinary tests: the store must agree with its plain model.
TEST(CookieStore, ReplaysTheStoreFuzzCorpusAgainstAPlainModel) {
  int files = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(test::SourcePath("tests/fuzz/corpus/cookie_store"))) {
    ++files;
    EXPECT_EQ(test::RunCookieScript(test::ReadFile(entry.path())), "") << entry.path();
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace zephora::http
