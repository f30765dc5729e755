#include "transfer/verify/signature_format.h"

#include <sodium.h>

#include <cstring>

namespace zephora::verify {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";

// Splits off one line ended by LF (a CR before it is dropped, as a file
// that passed through a text-mode copy has one); false at the end of the
// text or for a line that is not ended.
bool NextLine(std::string_view& text, std::string_view& line) {
  const std::size_t end = text.find('\n');
  if (end == std::string_view::npos)
    return false;
  line = text.substr(0, end);
  text.remove_prefix(end + 1);
  if (!line.empty() && line.back() == '\r')
    line.remove_suffix(1);
  return true;
}

// The last line may lack its line end.
bool LastLine(std::string_view& text, std::string_view& line) {
  if (NextLine(text, line))
    return true;
  if (text.empty())
    return false;
  line = text;
  text = {};
  return true;
}

// Decodes `text` into exactly `size` bytes, refusing anything a standard
// encoder would not have written: another alphabet, missing or extra
// padding, set bits in the unused tail, blanks.
FormatFault DecodeBase64(std::string_view text, std::uint8_t* out, std::size_t size) {
  const std::size_t expected = sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL) - 1;
  if (text.size() != expected)
    return text.size() % 4 == 0 ? FormatFault::Length : FormatFault::Base64;
  std::size_t decoded = 0;
  const char* end = nullptr;
  if (sodium_base642bin(out, size, text.data(), text.size(), nullptr, &decoded, &end,
                        sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != text.data() + text.size()) {
    return FormatFault::Base64;
  }
  if (decoded != size)
    return FormatFault::Length;
  char again[sodium_base64_ENCODED_LEN(74, sodium_base64_VARIANT_ORIGINAL)];
  static_assert(sizeof again >= sodium_base64_ENCODED_LEN(64, sodium_base64_VARIANT_ORIGINAL));
  sodium_bin2base64(again, sizeof again, out, size, sodium_base64_VARIANT_ORIGINAL);
  if (std::string_view(again) != text)
    return FormatFault::Base64;
  return FormatFault::None;
}

bool HasControlCharacters(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
      return true;
  }
  return false;
}

}  // namespace

FormatFault ParseSignature(std::string_view file, Signature& signature) {
  if (file.size() > kLargestSignatureFile)
    return FormatFault::TooLarge;
  std::string_view untrusted, encoded, trusted, encodedGlobal;
  if (!NextLine(file, untrusted) || !untrusted.starts_with(kUntrustedPrefix) ||
      !NextLine(file, encoded) || !NextLine(file, trusted) ||
      !trusted.starts_with(kTrustedPrefix) || !LastLine(file, encodedGlobal) || !file.empty()) {
    return FormatFault::LineStructure;
  }
  // The comment is signed as it stands; a control character in it could
  // only be there to hide something from whoever reads the file.
  trusted.remove_prefix(kTrustedPrefix.size());
  if (HasControlCharacters(trusted))
    return FormatFault::LineStructure;

  std::uint8_t raw[2 + 8 + 64];
  if (const FormatFault fault = DecodeBase64(encoded, raw, sizeof raw); fault != FormatFault::None)
    return fault;
  if (raw[0] == 'E' && raw[1] == 'D')
    signature.algorithm = SignatureAlgorithm::Prehashed;
  else if (raw[0] == 'E' && raw[1] == 'd')
    signature.algorithm = SignatureAlgorithm::Legacy;
  else
    return FormatFault::Algorithm;
  std::memcpy(signature.keyId.data(), raw + 2, 8);
  std::memcpy(signature.signature.data(), raw + 10, 64);

  if (const FormatFault fault = DecodeBase64(encodedGlobal, signature.globalSignature.data(), 64);
      fault != FormatFault::None) {
    return fault;
  }
  signature.trustedComment.assign(trusted);
  return FormatFault::None;
}

FormatFault ParsePublicKeyLine(std::string_view line, PublicKey& key) {
  std::uint8_t raw[2 + 8 + 32];
  if (const FormatFault fault = DecodeBase64(line, raw, sizeof raw); fault != FormatFault::None)
    return fault;
  if (raw[0] != 'E' || raw[1] != 'd')
    return FormatFault::Algorithm;
  std::memcpy(key.id.data(), raw + 2, 8);
  std::memcpy(key.key.data(), raw + 10, 32);
  return FormatFault::None;
}

FormatFault ParsePublicKeyFile(std::string_view file, PublicKey& key) {
  if (file.size() > kLargestSignatureFile)
    return FormatFault::TooLarge;
  std::string_view untrusted, encoded;
  if (!NextLine(file, untrusted) || !untrusted.starts_with(kUntrustedPrefix) ||
      !LastLine(file, encoded) || !file.empty()) {
    return FormatFault::LineStructure;
  }
  return ParsePublicKeyLine(encoded, key);
}

std::optional<std::string_view> TrustedCommentField(std::string_view comment,
                                                    std::string_view name) {
  std::optional<std::string_view> found;
  for (;;) {
    const std::size_t end = comment.find('\t');
    const std::string_view field = comment.substr(0, end);
    if (field.size() > name.size() + 1 && field.starts_with(name) && field[name.size()] == ':') {
      if (found)
        return std::nullopt;
      found = field.substr(name.size() + 1);
    }
    if (end == std::string_view::npos)
      return found;
    comment.remove_prefix(end + 1);
  }
}

std::string KeyIdText(const KeyId& id) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = id.size(); i-- > 0;) {
    text += kDigits[id[i] >> 4];
    text += kDigits[id[i] & 15];
  }
  const std::size_t first = text.find_first_not_of('0');
  return first == std::string::npos ? "0" : text.substr(first);
}

}  // namespace zephora::verify
