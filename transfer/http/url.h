// The parts of an http or https URL that the client needs.
#pragma once

#include <cstdint>
#include <string>

#include "platform/text.h"

namespace zephora::http {

struct Url {
  std::string protocol;  // "http" or "https"
  std::string host;      // as written
  std::uint16_t port = 80;
  std::string path;      // up to and including the last "/"
  std::string document;  // the rest

  bool Secure() const { return protocol == "https"; }
  std::string Target() const { return path + document; }
  // "host" when the port is the protocol's own (80, 443), else "host:port".
  std::string HostAndPort() const;
  // The absolute form a proxy is asked for.
  std::string Absolute() const;
};

// Splits an http or https URL; false when it is not one (other scheme, no
// host, bad port).
[[nodiscard]] bool SplitUrl(const Text& text, Url& url);

}  // namespace zephora::http
