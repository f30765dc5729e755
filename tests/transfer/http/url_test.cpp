#include "transfer/http/url.h"

#include <gtest/gtest.h>

namespace zephora::http {
namespace {

TEST(SplitUrl, SplitsHostPortPathAndDocument) {
  Url url;
  ASSERT_TRUE(SplitUrl(u"http://downloads.example/zephora/Files/main.zip", url));
  EXPECT_EQ(url.host, "downloads.example");
  EXPECT_EQ(url.port, 80);
  EXPECT_EQ(url.path, "/zephora/Files/");
  EXPECT_EQ(url.document, "main.zip");
  EXPECT_EQ(url.HostAndPort(), "downloads.example");
  EXPECT_EQ(url.Absolute(), "http://downloads.example/zephora/Files/main.zip");
  ASSERT_TRUE(SplitUrl(u"HTTP://127.0.0.1:8080", url));
  EXPECT_EQ(url.Target(), "/");
  EXPECT_EQ(url.HostAndPort(), "127.0.0.1:8080");
  EXPECT_EQ(url.Absolute(), "http://127.0.0.1:8080/");
  ASSERT_TRUE(SplitUrl(u"http://h:80/a", url));
  EXPECT_EQ(url.HostAndPort(), "h");
  ASSERT_TRUE(SplitUrl(u"HTTPS://h/zephora/x.zip", url));
  EXPECT_TRUE(url.Secure());
  EXPECT_EQ(url.port, 443);
  EXPECT_EQ(url.HostAndPort(), "h");
  EXPECT_EQ(url.Target(), "/zephora/x.zip");
  ASSERT_TRUE(SplitUrl(u"https://h:80/", url));
  EXPECT_EQ(url.HostAndPort(), "h:80");
  ASSERT_TRUE(SplitUrl(u"http://h:443/", url));
  EXPECT_FALSE(url.Secure());
  EXPECT_EQ(url.HostAndPort(), "h:443");
  for (const char16_t* bad : {u"ftp://h/", u"httpss://h/", u"h/x", u"http:///x", u"https:///x",
                              u"http://h:0/", u"http://h:65536/", u"http://h:x/"}) {
    EXPECT_FALSE(SplitUrl(bad, url)) << ToUtf8(bad);
  }
}

}  // namespace
}  // namespace zephora::http
