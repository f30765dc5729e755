// One GNU gettext MO catalog, mapped read-only and searched in place.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "i18n/plural_forms.h"
#include "platform/mapped_file.h"
#include "platform/text.h"

namespace zephora {

class TMoFile {
 public:
  // Maps `path` and reads the catalog that starts `offset` bytes into it and
  // runs for `size` bytes (to the end of the file when size is negative).
  // `displayPath` names the file in error messages. Throws ECatalogIOError.
  TMoFile(const Text& path, std::int64_t offset, std::int64_t size, const Text& displayPath);

  // A catalog over bytes the caller keeps alive (for tests and fuzzing).
  // Throws ECatalogIOError for a wrong first word.
  TMoFile(std::string_view bytes, const Text& displayPath);

  TMoFile(const TMoFile&) = delete;
  TMoFile& operator=(const TMoFile&) = delete;

  // The translation of a UTF-8 key, or nothing when the catalog has none.
  std::optional<std::string_view> Translate(std::string_view key) const;
  // The form for count n of a plural entry (its source and plural source
  // joined by a NUL, its forms likewise), or nothing when the catalog has no
  // such entry or leaves that form out or empty.
  std::optional<std::string_view> TranslatePlural(std::string_view singular,
                                                  std::string_view plural, std::uint64_t n) const;
  // From the header's Plural-Forms; the source texts' rule when it has none
  // that can be read.
  const PluralForms& Plural() const { return plural_; }

  std::uint32_t Count() const { return count_; }
  bool Swapped() const { return doswap_; }

 private:
  void ReadHeader(const Text& displayPath);
  std::uint32_t Word(std::uint64_t offset) const;
  // Entry i (from 1) of the table at `table`; empty when out of bounds.
  std::optional<std::string_view> Entry(std::uint32_t table, std::uint32_t i) const;

  MappedFile mapping_;
  std::string_view bytes_;
  bool doswap_ = false;
  std::uint32_t count_ = 0;         // N
  std::uint32_t originals_ = 0;     // O
  std::uint32_t translations_ = 0;  // T
  std::uint32_t startindex_ = 0;
  std::uint32_t startstep_ = 0;
  PluralForms plural_;
};

// A field of a catalog's header ("Name: value" lines), its value trimmed;
// the name is compared without regard to ASCII case.
std::optional<std::string_view> HeaderField(std::string_view header, std::string_view name);

}  // namespace zephora
