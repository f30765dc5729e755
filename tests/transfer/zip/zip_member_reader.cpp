#include "tests/transfer/zip/zip_member_reader.h"

#include <array>
#include <stdexcept>

#include "tests/support/test_support.h"

namespace zephora::test {
namespace {

std::uint32_t Le16(const std::string& bytes, std::size_t at) {
  if (at + 2 > bytes.size())
    throw std::runtime_error("ZIP structure out of bounds");
  return static_cast<std::uint8_t>(bytes[at]) | static_cast<std::uint8_t>(bytes[at + 1]) << 8;
}

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  return Le16(bytes, at) | Le16(bytes, at + 2) << 16;
}

}  // namespace

std::vector<ZipMember> ReadZipMembers(const std::filesystem::path& archive) {
  const std::string bytes = ReadFile(archive);
  if (bytes.size() < 22)
    throw std::runtime_error("not a ZIP archive: " + archive.string());
  std::size_t end = bytes.size() - 22;
  while (Le32(bytes, end) != 0x06054b50) {
    if (end == 0)
      throw std::runtime_error("no end record: " + archive.string());
    --end;
  }
  const std::uint32_t count = Le16(bytes, end + 10);
  std::size_t at = Le32(bytes, end + 16);
  std::vector<ZipMember> members;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (Le32(bytes, at) != 0x02014b50)
      throw std::runtime_error("bad central header");
    ZipMember member;
    member.flags = static_cast<std::uint16_t>(Le16(bytes, at + 8));
    member.method = static_cast<std::uint16_t>(Le16(bytes, at + 10));
    member.crc = Le32(bytes, at + 16);
    const std::uint32_t compressed = Le32(bytes, at + 20);
    member.uncompressedSize = Le32(bytes, at + 24);
    const std::uint32_t nameLength = Le16(bytes, at + 28);
    const std::uint32_t extraLength = Le16(bytes, at + 30);
    const std::uint32_t commentLength = Le16(bytes, at + 32);
    const std::uint32_t local = Le32(bytes, at + 42);
    member.name = bytes.substr(at + 46, nameLength);
    if (Le32(bytes, local) != 0x04034b50)
      throw std::runtime_error("bad local header");
    const std::size_t data = local + 30 + Le16(bytes, local + 26) + Le16(bytes, local + 28);
    if (data + compressed > bytes.size())
      throw std::runtime_error("member data out of bounds");
    member.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(data),
                       bytes.begin() + static_cast<std::ptrdiff_t>(data + compressed));
    members.push_back(std::move(member));
    at += 46 + nameLength + extraLength + commentLength;
  }
  return members;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i)
    crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace zephora::test
