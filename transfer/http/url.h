// The parts of an http URL that the client needs.
#pragma once

#include <cstdint>
#include <string>

#include "platform/text.h"

namespace zephora::http {

struct Url {
  std::string protocol;  // lower case
  std::string host;      // as written
  std::uint16_t port = 80;
  std::string path;      // up to and including the last "/"
  std::string document;  // the rest

  std::string Target() const { return path + document; }
  // "host" when the port is 80, else "host:port".
  std::string HostAndPort() const;
  // The absolute form a proxy is asked for.
  std::string Absolute() const;
};

// Splits an http URL; false when it is not one (other scheme, no host,
// bad port).
[[nodiscard]] bool SplitUrl(const Text& text, Url& url);

}  // namespace zephora::http
