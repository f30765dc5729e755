// The vendor's package signatures and public keys, in the detached text
// format of the signing tool the vendor uses (`minisign`). Parsing is strict
// and copies nothing it has not checked; checking the signatures themselves
// is package_signature.h's work.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zephora::verify {

// A signature file larger than this is refused before it is parsed: the
// signing tool writes about 300 bytes, its trusted comment at most 1 KiB.
constexpr std::size_t kLargestSignatureFile = 4096;

using KeyId = std::array<std::uint8_t, 8>;

struct PublicKey {
  KeyId id{};
  std::array<std::uint8_t, 32> key{};  // Ed25519
};

enum class SignatureAlgorithm {
  Prehashed,  // "ED": Ed25519 over the BLAKE2b-512 hash of the file
  Legacy,     // "Ed": Ed25519 over the whole file, which would have to be held in memory
};

struct Signature {
  SignatureAlgorithm algorithm = SignatureAlgorithm::Prehashed;
  KeyId keyId{};
  std::array<std::uint8_t, 64> signature{};
  // The text after "trusted comment: ", which the global signature covers
  // together with `signature`.
  std::string trustedComment;
  std::array<std::uint8_t, 64> globalSignature{};
};

enum class FormatFault {
  None,
  TooLarge,       // over kLargestSignatureFile
  LineStructure,  // not the expected lines, or a line without its prefix
  Base64,         // not canonical base64 (alphabet, padding, unused bits)
  Length,         // decodes to the wrong number of bytes
  Algorithm,      // an algorithm name the format does not have
};

// Parses a whole .minisig file.
[[nodiscard]] FormatFault ParseSignature(std::string_view file, Signature& signature);

// Parses the key line of a .pub file (the base64 text alone).
[[nodiscard]] FormatFault ParsePublicKeyLine(std::string_view line, PublicKey& key);
// Parses a whole .pub file: an untrusted comment line, then the key line.
[[nodiscard]] FormatFault ParsePublicKeyFile(std::string_view file, PublicKey& key);

// The value of a tab-separated "name:value" field of a trusted comment, as
// the signing tool writes them ("timestamp:...\tfile:main.zip\tsize:1234").
// Nothing when the field is absent or given twice.
std::optional<std::string_view> TrustedCommentField(std::string_view comment,
                                                    std::string_view name);

// A key ID as the signing tool prints it: the little-endian number in
// upper-case hexadecimal, without leading zeros.
std::string KeyIdText(const KeyId& id);

}  // namespace zephora::verify
