// Packages and signatures made by the signing tool itself, at test time,
// fetched from a scripted loopback server by the wizard's download.
#include "transfer/verify/signed_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/turns.h"
#include "tests/support/test_support.h"
#include "tests/transfer/http/scripted_server.h"
#include "transfer/verify/package_signature.h"
#include "transfer/verify/signature_format.h"

namespace zephora {
namespace {

using test::ScriptedServer;
using test::ScriptStep;
using verify::FormatFault;
using verify::PackageKeys;

std::string Quoted(const std::filesystem::path& path) {
  return "'" + path.string() + "'";
}

void RunTool(const std::string& command) {
  ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
}

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The bytes of a package: not compressible, so a changed byte shows nowhere else.
std::string PackageBytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 16);
  }
  return bytes;
}

// Two key pairs of the signing tool, made once for every test.
class PackageSignatureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    keys_ = new test::TempDir;
    for (const char* name : {"vendor", "other"}) {
      RunTool(std::string(ZEPHORA_MINISIGN) + " -G -W -p " +
              Quoted(*keys_ / (std::string(name) + ".pub")) + " -s " +
              Quoted(*keys_ / (std::string(name) + ".key")));
    }
  }
  static void TearDownTestSuite() {
    delete keys_;
    keys_ = nullptr;
  }

  static verify::PublicKey Key(const std::string& name) {
    verify::PublicKey key;
    EXPECT_EQ(verify::ParsePublicKeyFile(test::ReadFile(*keys_ / (name + ".pub")), key),
              FormatFault::None);
    return key;
  }

  // Signs `bytes`, stored as `name`, as scripts/sign-package does; returns
  // the signature file.
  std::string Sign(const std::string& bytes, const std::string& name, const std::string& comment,
                   const std::string& key = "vendor", bool legacy = false) {
    const auto file = work / name;
    test::WriteFile(file, bytes);
    const auto signature = work / (name + ".minisig");
    std::filesystem::remove(signature);
    RunTool(std::string(ZEPHORA_MINISIGN) + " -S" + (legacy ? " -l" : "") + " -s " +
            Quoted(*keys_ / (key + ".key")) + " -m " + Quoted(file) + " -x " + Quoted(signature) +
            " -t '" + comment + "'");
    return test::ReadFile(signature);
  }
  std::string SignPackage(const std::string& bytes, const std::string& name = "main.zip",
                          const std::string& key = "vendor") {
    return Sign(bytes, name,
                "timestamp:1765000000\tfile:" + name + "\tsize:" + std::to_string(bytes.size()),
                key);
  }

  // Fetches main.zip with its signature from a server that plays `steps`;
  // "" on success.
  Text Fetch(std::initializer_list<ScriptStep> steps, const PackageKeys& keys) {
    ScriptedServer server(steps);
    THttpClient client;
    Text message;
    try {
      DownloadSignedUrl(
          client,
          FromUtf8("http://127.0.0.1:" + std::to_string(server.Port()) + "/zephora/Files/main.zip"),
          test::ToText(target), keys);
    } catch (const Exception& error) {
      message = error.Message();
    }
    client.Disconnect();
    server.Finish();
    requests = server.Requests();
    return message;
  }
  Text Fetch(const std::string& signature, const std::string& package) {
    return Fetch({{Ok(signature)}, {Ok(package)}}, {Key("vendor")});
  }
  // For a signature that is refused before the package is asked for.
  Text FetchRefused(const std::string& signature) {
    return Fetch({{Ok(signature)}}, {Key("vendor")});
  }
  bool RequestedPackage() const {
    for (const std::string& request : requests) {
      if (request.starts_with("GET /zephora/Files/main.zip "))
        return true;
    }
    return false;
  }

  static test::TempDir* keys_;
  test::TempDir work;
  test::TempDir installFolder;
  std::filesystem::path target = installFolder / "main.zip";
  std::vector<std::string> requests;
  const std::string package = PackageBytes(200000, 7);
};
test::TempDir* PackageSignatureTest::keys_ = nullptr;

TEST_F(PackageSignatureTest, TakesASignedPackageAfterItsSignature) {
  EXPECT_EQ(Fetch(SignPackage(package), package), u"");
  EXPECT_TRUE(test::ReadFile(target) == package);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0].starts_with("GET /zephora/Files/main.zip.minisig HTTP/1.1\r\n"));
  EXPECT_TRUE(requests[1].starts_with("GET /zephora/Files/main.zip HTTP/1.1\r\n"));
}

TEST_F(PackageSignatureTest, TakesASignatureWithoutASize) {
  const std::string signature = Sign(package, "main.zip", "timestamp:1765000000\tfile:main.zip");
  EXPECT_EQ(Fetch(signature, package), u"");
  EXPECT_TRUE(test::ReadFile(target) == package);
}

TEST_F(PackageSignatureTest, RefusesAPackageWithOneByteChanged) {
  std::string altered = package;
  altered[123456] ^= 1;
  EXPECT_EQ(Fetch(SignPackage(package), altered),
            u"The package main.zip was changed after it was signed.");
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PackageSignatureTest, RefusesAChangedTrustedComment) {
  std::string signature = SignPackage(package);
  const std::size_t at = signature.find("timestamp:1765000000");
  ASSERT_NE(at, std::string::npos);
  signature[at + 10] = '2';
  EXPECT_EQ(FetchRefused(signature), u"The signature of the package main.zip is not valid.");
  EXPECT_FALSE(RequestedPackage());
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PackageSignatureTest, RefusesAnotherKey) {
  EXPECT_EQ(FetchRefused(SignPackage(package, "main.zip", "other")),
            u"The package main.zip is signed with an unknown key.");
  EXPECT_FALSE(RequestedPackage());
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PackageSignatureTest, RefusesTheOtherPackagesSignature) {
  const std::string upgrade = PackageBytes(5000, 9);
  EXPECT_EQ(FetchRefused(SignPackage(upgrade, "upgrade.zip")),
            u"The signature of the package main.zip is for another file.");
  EXPECT_FALSE(RequestedPackage());
  // Nor may a name that merely contains this one's pass.
  EXPECT_EQ(FetchRefused(Sign(package, "main.zip", "file:main.zip.old")),
            u"The signature of the package main.zip is for another file.");
  EXPECT_EQ(FetchRefused(Sign(package, "main.zip", "timestamp:1")),
            u"The signature of the package main.zip is for another file.");
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PackageSignatureTest, RefusesTheLegacyAlgorithm) {
  const std::string signature =
      Sign(package, "main.zip", "file:main.zip", "vendor", /*legacy=*/true);
  EXPECT_EQ(FetchRefused(signature),
            u"The signature of the package main.zip uses a method that is not accepted.");
  EXPECT_FALSE(RequestedPackage());
}

TEST_F(PackageSignatureTest, StopsReadingAtTheSignedSize) {
  // The signed package is the start of what the server sends: announced,
  // the body is refused before a byte is written; unannounced, reading
  // stops at the first piece past the size and the connection is dropped.
  const std::string signature = SignPackage(package);
  const std::string longer = package + PackageBytes(100000, 3);
  EXPECT_EQ(Fetch(signature, longer), u"The package main.zip is larger than the signed package.");
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(
      Fetch({{Ok(signature)},
             {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + longer, ScriptStep::After::Close}},
            {Key("vendor")}),
      u"The package main.zip is larger than the signed package.");
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PackageSignatureTest, ChecksTheBytesWhenTheSizeFits) {
  EXPECT_EQ(Fetch(SignPackage(package), package.substr(0, 1000)),
            u"The package main.zip was changed after it was signed.");
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PackageSignatureTest, RefusesSignatureFilesNotInTheFormat) {
  const std::string good = SignPackage(package);
  const std::size_t secondLine = good.find('\n') + 1;
  const std::size_t fourthLine = good.rfind('\n', good.size() - 2) + 1;
  std::string padding = good;
  padding.insert(good.size() - 1, "=");  // one more "=" after the global signature
  std::string missingPadding = good;
  missingPadding.erase(good.size() - 2, 1);
  // The last character before "==" carries 4 unused bits: set the lowest.
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string unusedBits = good;
  unusedBits[good.size() - 4] = alphabet[alphabet.find(good[good.size() - 4]) ^ 1];
  std::string blank = good;
  blank.insert(secondLine + 10, " ");
  std::string otherAlphabet = good;
  otherAlphabet[fourthLine + 5] = '-';
  std::string oversized = good;
  oversized.insert(secondLine - 1, std::string(verify::kLargestSignatureFile, 'x'));
  std::string extraLine = good + "more\n";
  const std::map<std::string, std::string> cases = {
      {"truncated", good.substr(0, good.size() / 2)},
      {"empty", ""},
      {"garbage", PackageBytes(300, 5)},
      {"too much padding", padding},
      {"too little padding", missingPadding},
      {"unused bits set", unusedBits},
      {"a blank in base64", blank},
      {"another alphabet", otherAlphabet},
      {"oversized", oversized},
      {"a fifth line", extraLine},
      {"untrusted comment missing", good.substr(secondLine)},
  };
  for (const auto& [name, signature] : cases) {
    EXPECT_EQ(FetchRefused(signature), u"The signature of the package main.zip is damaged.")
        << name;
    EXPECT_FALSE(RequestedPackage()) << name;
    EXPECT_FALSE(std::filesystem::exists(target)) << name;
  }
}

TEST_F(PackageSignatureTest, RefusesAnOversizedSignatureWithoutReadingIt) {
  const std::string big(1 << 20, 'x');
  EXPECT_EQ(Fetch({{Ok(big)}}, {Key("vendor")}),
            u"The signature of the package main.zip is damaged.");
  EXPECT_EQ(Fetch({{"HTTP/1.1 200 OK\r\n\r\n" + big, ScriptStep::After::Close}}, {Key("vendor")}),
            u"The signature of the package main.zip is damaged.");
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PackageSignatureTest, ReportsAMissingSignatureAsTheServersReply) {
  EXPECT_EQ(Fetch({{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"}}, {Key("vendor")}),
            u"HTTP/1.1 404 Not Found");
  EXPECT_FALSE(RequestedPackage());
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PackageSignatureTest, AcceptsEitherOfTwoCarriedKeys) {
  const PackageKeys both = {Key("vendor"), Key("other")};
  for (const char* key : {"vendor", "other"}) {
    const std::string signature = SignPackage(package, "main.zip", key);
    EXPECT_EQ(Fetch({{Ok(signature)}, {Ok(package)}}, both), u"") << key;
    EXPECT_TRUE(test::ReadFile(target) == package) << key;
  }
}

TEST_F(PackageSignatureTest, ReadsKeysAsTheSigningToolWritesThem) {
  const std::string file = test::ReadFile(*keys_ / "vendor.pub");
  const verify::PublicKey key = Key("vendor");
  // "untrusted comment: minisign public key <ID>"
  EXPECT_NE(file.find(" " + verify::KeyIdText(key.id) + "\n"), std::string::npos) << file;
  EXPECT_EQ(verify::KeyIdText({0x81, 0xCA, 0xF5, 0xBD, 0x0C, 0x35, 0x57, 0x05}), "557350CBDF5CA81");
  EXPECT_EQ(verify::KeyIdText({}), "0");
  const std::string line = file.substr(file.find('\n') + 1, 56);
  const PackageKeys builtIn = verify::ParseBuiltInKeys(line + "," + line);
  ASSERT_EQ(builtIn.size(), 2u);
  EXPECT_EQ(builtIn[0].key, key.key);
  EXPECT_TRUE(verify::ParseBuiltInKeys("").empty());
  EXPECT_THROW(verify::ParseBuiltInKeys(line.substr(1)), std::invalid_argument);
  verify::PublicKey parsed;
  EXPECT_EQ(verify::ParsePublicKeyFile(file.substr(file.find('\n') + 1), parsed),
            FormatFault::LineStructure);
  EXPECT_EQ(verify::ParsePublicKeyLine(line + "=", parsed), FormatFault::Base64);
}

// Several of the hasher's buffers, and not a whole number of them.
const std::size_t kLargePackage = 5 * verify::BackgroundHash::kBufferSize + 12345;

// Feeds `bytes` to `check` in pieces of the sizes given, round and round.
verify::SignatureFault AddInPieces(verify::PackageSignatureCheck& check, const std::string& bytes,
                                   const std::vector<std::size_t>& sizes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    for (const std::size_t size : sizes) {
      const std::size_t piece = std::min(size, bytes.size() - at);
      if (const verify::SignatureFault fault = check.Add(bytes.data() + at, piece);
          fault != verify::SignatureFault::None) {
        return fault;
      }
      at += piece;
    }
  }
  return verify::SignatureFault::None;
}

TEST_F(PackageSignatureTest, HashesALargePackageInAnyPiecesInOrder) {
  using verify::SignatureFault;
  const std::string large = PackageBytes(kLargePackage, 11);
  const std::string signature = SignPackage(large);
  std::string altered = large;
  altered[3 * verify::BackgroundHash::kBufferSize + 17] ^= 1;
  // Two neighbouring bytes swapped: the same bytes, in another order.
  std::string swapped = large;
  std::swap(swapped[verify::BackgroundHash::kBufferSize - 1],
            swapped[verify::BackgroundHash::kBufferSize]);
  ASSERT_NE(swapped, large);
  const verify::PublicKey keys[] = {Key("vendor")};
  const std::vector<std::vector<std::size_t>> pieceSizes = {{32768},
                                                            {1},
                                                            {7, 4096, 1, 65536, 300000, 13},
                                                            {verify::BackgroundHash::kBufferSize},
                                                            {kLargePackage}};
  for (const auto& sizes : pieceSizes) {
    const std::string name = "pieces from " + std::to_string(sizes.front());
    const std::vector<std::pair<const std::string*, SignatureFault>> packages = {
        {&large, SignatureFault::None},
        {&altered, SignatureFault::Altered},
        {&swapped, SignatureFault::Altered}};
    for (const auto& [bytes, expected] : packages) {
      verify::PackageSignatureCheck check(keys, "main.zip");
      ASSERT_EQ(check.Accept(signature), SignatureFault::None);
      ASSERT_EQ(AddInPieces(check, *bytes, sizes), SignatureFault::None) << name;
      EXPECT_EQ(check.Finish(), expected) << name;
    }
  }
}

TEST_F(PackageSignatureTest, StopsHashingWhenACheckEndsUnfinished) {
  using verify::SignatureFault;
  const std::string large = PackageBytes(kLargePackage, 13);
  const std::string signature = SignPackage(large);
  const verify::PublicKey keys[] = {Key("vendor")};
  // Ended at each point a stop or a failed write could leave it: before
  // any byte, with buffers queued, and refused past the signed size.
  for (const std::size_t upTo :
       {std::size_t{0}, std::size_t{1}, kLargePackage / 2, kLargePackage}) {
    verify::PackageSignatureCheck check(keys, "main.zip");
    ASSERT_EQ(check.Accept(signature), SignatureFault::None);
    ASSERT_EQ(AddInPieces(check, large.substr(0, upTo), {32768}), SignatureFault::None);
  }
  verify::PackageSignatureCheck check(keys, "main.zip");
  ASSERT_EQ(check.Accept(signature), SignatureFault::None);
  EXPECT_EQ(AddInPieces(check, large + "x", {1 << 20}), SignatureFault::TooLarge);
}

TEST_F(PackageSignatureTest, FetchesALargePackageHashedAlongside) {
  const std::string large = PackageBytes(kLargePackage, 17);
  const std::string signature = SignPackage(large);
  EXPECT_EQ(Fetch(signature, large), u"");
  EXPECT_TRUE(test::ReadFile(target) == large);
  std::filesystem::remove(target);
  std::string altered = large;
  altered[kLargePackage - 1] ^= 0x80;
  EXPECT_EQ(Fetch(signature, altered), u"The package main.zip was changed after it was signed.");
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PackageSignatureTest, StopsMidPackageWhenTheWindowAsks) {
  const std::string large = PackageBytes(kLargePackage, 19);
  const std::string signature = SignPackage(large);
  // A pause once a few buffers are on their way to the hasher, where the
  // window asks to stop.
  const std::size_t sent = 3 * verify::BackgroundHash::kBufferSize + 1000;
  const std::string reply = Ok(large);
  const std::size_t head = reply.size() - large.size();
  ScriptedServer server(
      {{Ok(signature)},
       {reply.substr(0, head + sent), ScriptStep::After::Keep, 500, reply.substr(head + sent)}});
  THttpClient client;
  std::int64_t received = 0;
  client.OnWork = [&](std::int64_t done, std::int64_t) { received = done; };
  client.OnTurn = [&] { return received < static_cast<std::int64_t>(sent); };
  EXPECT_THROW(DownloadSignedUrl(client,
                                 FromUtf8("http://127.0.0.1:" + std::to_string(server.Port()) +
                                          "/zephora/Files/main.zip"),
                                 test::ToText(target), {Key("vendor")}),
               TStopped);
  client.Disconnect();
  server.Finish();
  EXPECT_EQ(received, static_cast<std::int64_t>(sent));
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST(TrustedCommentField, FindsTabSeparatedFieldsByExactName) {
  const std::string comment = "timestamp:17\tfile:main.zip\tsize:12\tprofile:x";
  EXPECT_EQ(verify::TrustedCommentField(comment, "file"), "main.zip");
  EXPECT_EQ(verify::TrustedCommentField(comment, "size"), "12");
  EXPECT_EQ(verify::TrustedCommentField(comment, "ile"), std::nullopt);
  EXPECT_EQ(verify::TrustedCommentField("file:a\tfile:b", "file"), std::nullopt);
  EXPECT_EQ(verify::TrustedCommentField("file:", "file"), std::nullopt);
}

}  // namespace
}  // namespace zephora
