// A cookie store's life written as a script, one step a line:
//   "GET <url>"     a request: expired cookies go, the Cookie header for the
//                   URL is asked for, and the URL becomes the origin of the
//                   Set-Cookie lines that follow
//   "WAIT <n>"      the clock moves on n seconds
//   any other line  a Set-Cookie header of a reply from the current origin
// The store runs it beside a plain model that searches a list from end to
// end; both must keep the same cookies and send the same headers. Small
// limits make eviction happen within a few lines.
#pragma once

#include <string>
#include <string_view>

#include "transfer/http/cookies.h"

namespace zephora::test {

constexpr http::CookieLimits kScriptLimits{3, 8};

// "" when store and model agree at every step; else the first difference.
std::string RunCookieScript(std::string_view script);

}  // namespace zephora::test
