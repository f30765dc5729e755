// Signature and public-key files from the fuzzer, read as the wizard reads
// what the download server sends and as fetch reads a key file. A parsed
// signature is also checked against a key with its own key ID, so the
// global signature's check and the trusted comment's fields are reached
// with hostile bytes too.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "transfer/verify/package_signature.h"
#include "transfer/verify/signature_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zephora::verify;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  PublicKey key;
  if (ParsePublicKeyFile(bytes, key) == FormatFault::None && size < 56)
    __builtin_trap();  // a key line is 56 characters
  (void)ParsePublicKeyLine(bytes, key);

  Signature signature;
  if (ParseSignature(bytes, signature) != FormatFault::None)
    return 0;
  if (signature.trustedComment.size() >= size)
    __builtin_trap();  // the comment is part of the file
  (void)TrustedCommentField(signature.trustedComment, "file");
  (void)TrustedCommentField(signature.trustedComment, "size");

  PublicKey own;
  own.id = signature.keyId;
  for (std::size_t i = 0; i < own.key.size(); ++i)
    own.key[i] = static_cast<std::uint8_t>(i * 7 + 1);
  const PublicKey keys[] = {own};
  PackageSignatureCheck check(keys, "main.zip");
  if (check.Accept(bytes) == SignatureFault::None) {
    (void)check.Add(data, size);
    (void)check.Finish();
  }
  return 0;
}
