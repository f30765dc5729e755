// libFuzzer target: Set-Cookie headers into a cookie store, then the
// Cookie header for a request.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "transfer/http/cookies.h"

using namespace zephora::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  Url origin;
  origin.host = "dl.example.com";
  origin.path = "/zephora/Files/";
  origin.document = "main.zip";
  CookieStore store;
  // One header per line, as several Set-Cookie headers of one reply.
  std::size_t start = 0;
  while (start <= input.size()) {
    const std::size_t end = std::min(input.find('\n', start), input.size());
    const std::string_view header = input.substr(start, end - start);
    SetCookie parsed;
    if (ParseSetCookie(header, parsed) && parsed.name.empty())
      std::abort();
    (void)ParseCookieDate(header);
    store.Receive(header, origin, 1700000000);
    start = end + 1;
  }
  store.RemoveExpired(1700000000);
  for (const Cookie& cookie : store.Cookies()) {
    if (cookie.expiry <= 1700000000 || cookie.path.empty() || cookie.path[0] != '/')
      std::abort();
  }
  const std::string header = store.HeaderFor(origin);
  (void)header;
  return 0;
}
