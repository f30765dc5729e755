// Library message texts. Each library declares its built-in texts once, in a
// table of its own (a ResourceModule), and its code reaches them only through
// the three loaders below, which pass them through the translation layer.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "i18n/format.h"
#include "platform/text.h"

namespace zephora {

struct ResourceText {
  std::uint32_t identifier;
  const char16_t* text;
};

// Marks a text of a table for the message template (xgettext's keyword N_);
// the text itself is unchanged, since the loaders translate it.
constexpr const char16_t* N_(const char16_t* text) {
  return text;
}

// A library's table of texts. Modules register themselves when constructed,
// in the order the program's static objects come to life.
class ResourceModule {
 public:
  explicit ResourceModule(std::span<const ResourceText> texts);
  ~ResourceModule();
  ResourceModule(const ResourceModule&) = delete;
  ResourceModule& operator=(const ResourceModule&) = delete;

  // The built-in text, or empty when the module has none of that identifier.
  Text Load(std::uint32_t identifier) const;
  std::span<const ResourceText> Texts() const { return texts_; }

 private:
  std::span<const ResourceText> texts_;
};

// The modules linked into the program, in the order they registered.
std::vector<const ResourceModule*> RegisteredModules();

// Names one text of one module.
struct ResStringRec {
  const ResourceModule* module;
  std::uint32_t identifier;
};

// By record: empty for no record, "ERROR" for an identifier of 65536 or more;
// translated only on the thread that set up the translation layer.
Text LoadResString(const ResStringRec* record);
// By identifier: from the first module with a non-empty text of that
// identifier, translated on any thread.
Text LoadStr(std::uint32_t identifier);
// By identifier, translated first and then formatted, so that a catalog
// translates the format text with its placeholders.
Text FmtLoadStr(std::uint32_t identifier, std::initializer_list<FormatArg> args);

// Shorthands for the code that uses a record.
inline Text LoadResString(const ResStringRec& record) {
  return LoadResString(&record);
}
inline Text FormatResString(const ResStringRec& record, std::initializer_list<FormatArg> args) {
  return Format(LoadResString(&record), args);
}

}  // namespace zephora
