#include "transfer/verify/package_signature.h"

#include <charconv>
#include <stdexcept>

namespace zephora::verify {
namespace {

constexpr std::size_t kHashSize = crypto_generichash_BYTES_MAX;  // BLAKE2b-512
static_assert(kHashSize == 64);

bool ParseSize(std::string_view text, std::int64_t& size) {
  if (text.empty() || text.size() > 18)
    return false;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return false;
  }
  return std::from_chars(text.data(), text.data() + text.size(), size).ec == std::errc();
}

void InitialiseSodium() {
  // Picks the fastest implementations for this processor; safe to repeat.
  if (sodium_init() < 0)
    throw std::runtime_error("libsodium could not be initialised");
}

}  // namespace

PackageSignatureCheck::PackageSignatureCheck(std::span<const PublicKey> keys,
                                             std::string_view packageName)
    // libsodium first: it picks the hash's implementation for this processor.
    : keys_(keys), packageName_(packageName), hash_((InitialiseSodium(), kHashSize)) {}

SignatureFault PackageSignatureCheck::Accept(std::string_view signatureFile) {
  if (ParseSignature(signatureFile, signature_) != FormatFault::None)
    return SignatureFault::Format;
  if (signature_.algorithm == SignatureAlgorithm::Legacy)
    return SignatureFault::Legacy;
  key_ = nullptr;
  for (const PublicKey& key : keys_) {
    if (key.id == signature_.keyId) {
      key_ = &key;
      break;
    }
  }
  if (!key_)
    return SignatureFault::UnknownKey;
  // Until the global signature holds, nothing in the trusted comment counts.
  std::vector<std::uint8_t> covered(signature_.signature.begin(), signature_.signature.end());
  covered.insert(covered.end(), signature_.trustedComment.begin(), signature_.trustedComment.end());
  if (crypto_sign_verify_detached(signature_.globalSignature.data(), covered.data(), covered.size(),
                                  key_->key.data()) != 0) {
    key_ = nullptr;
    return SignatureFault::Invalid;
  }
  const std::optional<std::string_view> file =
      TrustedCommentField(signature_.trustedComment, "file");
  if (!file || *file != packageName_) {
    key_ = nullptr;
    return SignatureFault::OtherFile;
  }
  if (const std::optional<std::string_view> size =
          TrustedCommentField(signature_.trustedComment, "size")) {
    std::int64_t value = 0;
    if (!ParseSize(*size, value)) {
      key_ = nullptr;
      return SignatureFault::Format;
    }
    signedSize_ = value;
  }
  return SignatureFault::None;
}

SignatureFault PackageSignatureCheck::Allows(std::int64_t total) const {
  return signedSize_ && total > *signedSize_ ? SignatureFault::TooLarge : SignatureFault::None;
}

SignatureFault PackageSignatureCheck::Add(const void* data, std::size_t size) {
  if (Allows(added_ + static_cast<std::int64_t>(size)) != SignatureFault::None)
    return SignatureFault::TooLarge;
  hash_.Update(data, size);
  added_ += static_cast<std::int64_t>(size);
  return SignatureFault::None;
}

SignatureFault PackageSignatureCheck::Finish() {
  if (!key_)
    return SignatureFault::Invalid;
  unsigned char hash[kHashSize];
  hash_.Final(hash, sizeof hash);
  if (crypto_sign_verify_detached(signature_.signature.data(), hash, sizeof hash,
                                  key_->key.data()) != 0) {
    return SignatureFault::Altered;
  }
  return SignatureFault::None;
}

PackageKeys ParseBuiltInKeys(std::string_view lines) {
  PackageKeys keys;
  while (!lines.empty()) {
    const std::size_t end = lines.find(',');
    PublicKey key;
    if (ParsePublicKeyLine(lines.substr(0, end), key) != FormatFault::None)
      throw std::invalid_argument("not a package key: " + std::string(lines.substr(0, end)));
    keys.push_back(key);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
  }
  return keys;
}

}  // namespace zephora::verify
