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

// The two source forms of a text with a count.
struct PluralText {
  const char16_t* singular;
  const char16_t* plural;
};

// Marks a text of a table for the message template (xgettext's keyword N_);
// the text itself is unchanged, since the loaders translate it.
constexpr const char16_t* N_(const char16_t* text) {
  return text;
}
// N_ for a text with a count: the template gets both forms, as msgid and
// msgid_plural (xgettext's keyword NP_:1,2).
constexpr PluralText NP_(const char16_t* singular, const char16_t* plural) {
  return {singular, plural};
}

struct ResourceText {
  constexpr ResourceText(std::uint32_t id, const char16_t* source) : identifier(id), text(source) {}
  constexpr ResourceText(std::uint32_t id, PluralText sources)
      : identifier(id), text(sources.singular), plural(sources.plural) {}

  std::uint32_t identifier;
  const char16_t* text;              // the only form, or the one for exactly 1
  const char16_t* plural = nullptr;  // the form for other counts, if it has one
};

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
  const ResourceText* Find(std::uint32_t identifier) const;
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
// By record, for a text with a count: the form for `count`, translated as
// LoadResString translates; untranslated, the English rule (the singular
// source for exactly 1). A text with no plural form loads as by LoadResString.
Text LoadPluralResString(const ResStringRec* record, std::uint64_t count);
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
inline Text FormatPluralResString(const ResStringRec& record, std::uint64_t count,
                                  std::initializer_list<FormatArg> args) {
  return Format(LoadPluralResString(&record, count), args);
}

}  // namespace zephora
