#include "i18n/resource_strings.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "i18n/plural_forms.h"
#include "i18n/translation.h"
#include "platform/process.h"

namespace zephora {
namespace {

struct ModuleRegistry {
  std::mutex lock;
  std::vector<const ResourceModule*> modules;
};

// Function-local, so it exists whichever module's static object comes first.
ModuleRegistry& Registry() {
  static ModuleRegistry registry;
  return registry;
}

bool OnCreatorThread() {
  const TTranslationInstance* instance = DefaultInstance();
  return instance != nullptr && instance->CreatorThread == CurrentThreadId();
}

}  // namespace

ResourceModule::ResourceModule(std::span<const ResourceText> texts) : texts_(texts) {
  ModuleRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  registry.modules.push_back(this);
}

ResourceModule::~ResourceModule() {
  ModuleRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  std::erase(registry.modules, this);
}

Text ResourceModule::Load(std::uint32_t identifier) const {
  const ResourceText* entry = Find(identifier);
  return entry != nullptr ? Text(entry->text) : Text();
}

const ResourceText* ResourceModule::Find(std::uint32_t identifier) const {
  for (const ResourceText& entry : texts_) {
    if (entry.identifier == identifier)
      return &entry;
  }
  return nullptr;
}

std::vector<const ResourceModule*> RegisteredModules() {
  ModuleRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  return registry.modules;
}

Text LoadResString(const ResStringRec* record) {
  if (record == nullptr)
    return Text();
  if (record->identifier >= 65536)
    return u"ERROR";
  Text text = record->module != nullptr ? record->module->Load(record->identifier) : Text();
  return OnCreatorThread() ? LibraryTextLookup(text) : text;
}

Text LoadPluralResString(const ResStringRec* record, std::uint64_t count) {
  const ResourceText* entry = record != nullptr && record->module != nullptr
                                  ? record->module->Find(record->identifier)
                                  : nullptr;
  if (entry == nullptr || entry->plural == nullptr || record->identifier >= 65536)
    return LoadResString(record);
  const Text singular = entry->text, plural = entry->plural;
  return OnCreatorThread() ? LibraryTextLookup(singular, plural, count)
                           : SourceForm(singular, plural, count);
}

Text LoadStr(std::uint32_t identifier) {
  Text text;
  {
    ModuleRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    for (const ResourceModule* module : registry.modules) {
      text = module->Load(identifier);
      if (!text.empty())
        break;
    }
  }
  return LibraryTextLookup(text);
}

Text FmtLoadStr(std::uint32_t identifier, std::initializer_list<FormatArg> args) {
  return Format(LoadStr(identifier), args);
}

}  // namespace zephora
