// libFuzzer target: a cookie store's life as a script of Set-Cookie headers,
// requests and waits (see cookie_script.h), the store checked at every step
// against a plain model of it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/transfer/http/cookie_script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string difference =
      zephora::test::RunCookieScript(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!difference.empty()) {
    std::fprintf(stderr, "%s\n", difference.c_str());
    std::abort();
  }
  return 0;
}
