// Whether a package is what the vendor signed: its detached signature
// checked against the keys built into SETUP.EXE, then the package's bytes
// hashed as they arrive and checked once the last one is in.
#pragma once

#include <sodium.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "transfer/verify/background_hash.h"
#include "transfer/verify/signature_format.h"

namespace zephora::verify {

enum class SignatureFault {
  None,
  Format,      // not a signature file of the expected format (or too large)
  Legacy,      // the whole-file algorithm, which is not accepted
  UnknownKey,  // made with a key this build does not carry
  Invalid,     // the signature over the trusted comment does not hold
  OtherFile,   // the trusted comment names another file, or none
  Altered,     // the package is not the file that was signed
  TooLarge,    // the package is longer than the signed size
};

using PackageKeys = std::vector<PublicKey>;

// One package's check. Accept() takes the signature file; when it holds,
// Add() takes the package's bytes in order, refusing any past the signed
// size, and Finish() checks them. The bytes are hashed on a second thread
// while the next ones arrive; destroying a check unfinished stops it.
class PackageSignatureCheck {
 public:
  PackageSignatureCheck(std::span<const PublicKey> keys, std::string_view packageName);

  // Parses the signature file, finds its key, checks the global signature
  // and the trusted comment's "file:" (this package's name exactly) and
  // "size:" (when present, the most bytes Add() will take).
  [[nodiscard]] SignatureFault Accept(std::string_view signatureFile);
  // Hashes the next bytes of the package; TooLarge once they would go past
  // the signed size, and nothing is hashed then.
  [[nodiscard]] SignatureFault Add(const void* data, std::size_t size);
  // TooLarge when `total` bytes would go past the signed size (a length
  // announced before the bytes arrive).
  [[nodiscard]] SignatureFault Allows(std::int64_t total) const;
  // Checks the signature over the hash of everything added.
  [[nodiscard]] SignatureFault Finish();

  // The signed size, when the trusted comment gives one.
  std::optional<std::int64_t> SignedSize() const { return signedSize_; }

 private:
  std::span<const PublicKey> keys_;
  std::string packageName_;
  const PublicKey* key_ = nullptr;
  Signature signature_;
  std::optional<std::int64_t> signedSize_;
  std::int64_t added_ = 0;
  BackgroundHash hash_;
};

// The keys built into a program: key lines of .pub files separated by ",".
// Throws std::invalid_argument for a line that is not a key.
PackageKeys ParseBuiltInKeys(std::string_view lines);

}  // namespace zephora::verify
