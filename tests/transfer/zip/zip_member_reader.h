// A small reader of ZIP archives for the decoder tests: each member's raw
// compressed bytes and what the central directory says about them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zephora::test {

struct ZipMember {
  std::string name;
  std::uint16_t method = 0;
  std::uint16_t flags = 0;
  std::uint32_t crc = 0;
  std::uint64_t uncompressedSize = 0;
  std::vector<std::uint8_t> data;  // the compressed bytes
};

// Throws std::runtime_error when the archive cannot be read.
std::vector<ZipMember> ReadZipMembers(const std::filesystem::path& archive);

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

}  // namespace zephora::test
