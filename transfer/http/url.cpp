#include "transfer/http/url.h"

#include "transfer/http/text_util.h"

namespace zephora::http {

namespace {

std::uint16_t DefaultPort(std::string_view protocol) {
  return protocol == "https" ? 443 : 80;
}

}  // namespace

std::string Url::HostAndPort() const {
  return port == DefaultPort(protocol) ? host : host + ":" + std::to_string(port);
}

std::string Url::Absolute() const {
  return protocol + "://" + HostAndPort() + Target();
}

bool SplitUrl(const Text& text, Url& url) {
  const std::string whole = ToUtf8(text);
  const std::size_t scheme = whole.find("://");
  if (scheme == std::string::npos)
    return false;
  const std::string protocol = ToLower(whole.substr(0, scheme));
  if (protocol != "http" && protocol != "https")
    return false;
  url = Url();
  url.protocol = protocol;
  url.port = DefaultPort(protocol);
  std::string_view rest = std::string_view(whole).substr(scheme + 3);
  const std::size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  const std::string_view resource = slash == std::string_view::npos ? "/" : rest.substr(slash);
  if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
    const std::string_view digits = authority.substr(colon + 1);
    if (digits.empty() || digits.size() > 5)
      return false;
    unsigned port = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9')
        return false;
      port = port * 10 + static_cast<unsigned>(c - '0');
    }
    if (port == 0 || port > 65535)
      return false;
    url.port = static_cast<std::uint16_t>(port);
    authority = authority.substr(0, colon);
  }
  if (authority.empty())
    return false;
  url.host = std::string(authority);
  const std::size_t last = resource.rfind('/');
  url.path = std::string(resource.substr(0, last + 1));
  url.document = std::string(resource.substr(last + 1));
  return true;
}

}  // namespace zephora::http
