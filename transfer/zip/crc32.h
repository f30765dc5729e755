// The CRC-32 of ZIP entries and Info-ZIP Unicode paths (the reflected
// polynomial 0xEDB88320 that gzip uses too).
#pragma once

#include <cstdint>
#include <span>

namespace zephora::zip {

// Continues `crc` over `bytes`; start with 0. A piece at a time gives the
// same as all at once.
std::uint32_t UpdateCrc32(std::uint32_t crc, std::span<const std::uint8_t> bytes);

}  // namespace zephora::zip
