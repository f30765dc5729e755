// fetch [--proxy HOST:PORT] [--cacert FILE] [--package-key FILE.pub]... URL FILE
// Downloads URL (http or https) into FILE by the same code path as the
// wizard's package download, so support staff can check a customer's
// connection. Prints the wizard's own failure message and exits 1 when it
// fails. --cacert trusts only the certificates of a PEM file, instead of the
// system's store, as a development SETUP.EXE does. --package-key (a minisign
// public key, at most two) checks URL against its signature URL.minisig as a
// SETUP.EXE with those keys built in does; FILE is left only when it holds.
// On a terminal the error stream shows the bytes as they arrive; Ctrl+C
// stops the download as the wizard's Cancel does, deleting FILE, and exits
// 130.
#include <cstdio>
#include <string_view>
#include <vector>

#include "i18n/translation.h"
#include "platform/exception.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tools/console/print_line.h"
#include "tools/console/progress.h"
#include "transfer/http/download_file.h"
#include "transfer/verify/signed_download.h"

namespace zephora {
namespace {

int Usage() {
  PrintLine(stderr,
            u"usage: fetch [--proxy HOST:PORT] [--cacert FILE] [--package-key FILE.pub]... URL "
            u"FILE");
  return 2;
}

// The port as a 32-bit number, as the wizard's port field holds it.
bool ParsePort(const Text& text, std::int32_t& port) {
  if (text.empty() || text.size() > 11)
    return false;
  long long value = 0;
  std::size_t i = text[0] == u'-' ? 1 : 0;
  if (i == text.size())
    return false;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9')
      return false;
    value = value * 10 + (text[i] - u'0');
  }
  if (text[0] == u'-')
    value = -value;
  if (value < INT32_MIN || value > INT32_MAX)
    return false;
  port = static_cast<std::int32_t>(value);
  return true;
}

// A minisign public key file; false when it cannot be read or is no key.
bool ReadPackageKey(const Text& path, verify::PackageKeys& keys) {
  File file;
  if (file.Open(path, FileMode::ReadShareRead) != 0)
    return false;
  std::string bytes(verify::kLargestSignatureFile + 1, '\0');
  std::size_t done = 0, total = 0;
  do {
    if (file.Read(bytes.data() + total, bytes.size() - total, done) != 0)
      return false;
    total += done;
  } while (done != 0 && total < bytes.size());
  bytes.resize(total);
  verify::PublicKey key;
  if (verify::ParsePublicKeyFile(bytes, key) != verify::FormatFault::None)
    return false;
  keys.push_back(key);
  return true;
}

int Run(const std::vector<Text>& args) {
  // The messages in the user's language, as the wizard would show them.
  const TranslationLayer translation;
  THttpClient client;
  verify::PackageKeys keys;
  std::size_t next = 0;
  while (next + 2 < args.size()) {
    if (args[next] == u"--proxy") {
      const Text& proxy = args[next + 1];
      const std::size_t colon = proxy.rfind(u':');
      if (colon == Text::npos || !ParsePort(proxy.substr(colon + 1), client.ProxyParams.ProxyPort))
        return Usage();
      client.ProxyParams.ProxyServer = proxy.substr(0, colon);
    } else if (args[next] == u"--cacert") {
      client.CaFile = args[next + 1];
    } else if (args[next] == u"--package-key") {
      if (keys.size() == 2 || !ReadPackageKey(args[next + 1], keys)) {
        PrintLine(stderr, u"fetch: not a minisign public key: " + args[next + 1]);
        return 2;
      }
    } else {
      return Usage();
    }
    next += 2;
  }
  if (args.size() - next != 2)
    return Usage();
  CatchInterrupt();
  client.OnTurn = [] { return !Interrupted(); };
  try {
    ProgressLine progress;
    client.OnWork = [&](std::int64_t done, std::int64_t total) { progress.Show(done, total); };
    if (keys.empty())
      DownloadUrl(client, args[next], args[next + 1]);
    else
      DownloadSignedUrl(client, args[next], args[next + 1], keys);
  } catch (const TStopped&) {
    return 130;
  } catch (const Exception& error) {
    PrintLine(stderr, error.Message());
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace zephora

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<zephora::Text> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg(argv[i]);
    args.emplace_back(arg.begin(), arg.end());
  }
  return zephora::Run(args);
}
#else
int main(int argc, char** argv) {
  std::vector<zephora::Text> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(zephora::FromUtf8(argv[i]));
  return zephora::Run(args);
}
#endif
