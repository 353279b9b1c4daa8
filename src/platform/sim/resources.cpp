// Resources of the program's module and the loader's choice of language.
#include <charconv>
#include <stdexcept>

#include "platform/sim/machine.h"
#include "platform/sim/state.h"

#if GLIMRA_SIM_HAS_PROGRAM_STRINGS
#include "string_tables.h"
#endif

namespace sim {

using plat::HGLOBAL;
using plat::HMODULE;
using plat::HRSRC;
using plat::WCHAR;

namespace {

// "#123" names the integer resource 123, as the Windows loader reads it.
std::optional<ResourceKey> KeyOf(const WCHAR* typeOrName) {
  if (plat::IsIntResource(typeOrName)) return ResourceKey{plat::IntResourceId(typeOrName)};
  const std::u16string_view text(typeOrName);
  if (text.size() > 1 && text[0] == u'#') {
    unsigned value = 0;
    for (const char16_t c : text.substr(1)) {
      if (c < u'0' || c > u'9') return std::nullopt;
      value = value * 10 + static_cast<unsigned>(c - u'0');
      if (value > 0xFFFF) return std::nullopt;
    }
    return ResourceKey{static_cast<WORD>(value)};
  }
  return ResourceKey{Fold(text)};
}

}  // namespace

std::vector<LANGID> Machine::NeutralLanguageOrder(LANGID uiLanguage) {
  // The order of the Windows loader for a neutral request: the user's display language, the same
  // primary language without a sublanguage, the neutral language, then English (United States).
  // A module holding none of them yields its lowest language.
  std::vector<LANGID> order = {uiLanguage, plat::MAKELANGID(plat::PRIMARYLANGID(uiLanguage), 0),
                               plat::MAKELANGID(plat::LANG_NEUTRAL, plat::SUBLANG_NEUTRAL), 0x0409};
  return order;
}

void Machine::LoadProgramResources() {
#if GLIMRA_SIM_HAS_PROGRAM_STRINGS
  for (const auto& block : glimra::resources::ProgramStringTables()) {
    SetResource(plat::RT_STRING, block.blockId, block.language,
                std::vector<std::uint8_t>(block.data, block.data + block.size));
  }
#endif
}

void Machine::SetResource(const std::u16string& type, WORD name, LANGID language,
                          std::vector<std::uint8_t> data) {
  const auto typeKey = KeyOf(type.c_str());
  if (!typeKey) throw std::invalid_argument("sim::Machine: bad resource type");
  std::lock_guard guard(state_->lock);
  auto& entry = state_->resources[{*typeKey, ResourceKey{name}}];
  auto& record = entry.languages[language];
  if (record) record->removed = true;  // an HRSRC found before keeps the old bytes
  state_->resourceRecords.push_back(
      std::make_unique<ResourceRecord>(ResourceRecord{std::move(data), false}));
  record = state_->resourceRecords.back().get();
}

void Machine::SetResource(WORD type, WORD name, LANGID language, std::vector<std::uint8_t> data) {
  SetResource(
      u"#" +
          [type] {
            std::u16string digits;
            for (const char c : std::to_string(type)) digits += static_cast<char16_t>(c);
            return digits;
          }(),
      name, language, std::move(data));
}

void Machine::RemoveResource(WORD type, WORD name, LANGID language) {
  std::lock_guard guard(state_->lock);
  const auto it = state_->resources.find({ResourceKey{type}, ResourceKey{name}});
  if (it == state_->resources.end()) return;
  const auto lang = it->second.languages.find(language);
  if (lang == it->second.languages.end()) return;
  lang->second->removed = true;
  it->second.languages.erase(lang);
  if (it->second.languages.empty()) state_->resources.erase(it);
}

HRSRC Machine::FindResourceExW(HMODULE module, const WCHAR* type, const WCHAR* name,
                               WORD language) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("FindResourceExW")) {
    state_->SetThreadError(*fault);
    return nullptr;
  }
  if (module && module != ProgramModule()) {
    // The system modules' own resources are not modelled.
    state_->SetThreadError(plat::ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  return FindProgramResource(type, name, language);
}

HRSRC Machine::FindProgramResource(const WCHAR* type, const WCHAR* name, WORD language) {
  if (!type || !name) {
    state_->SetThreadError(plat::ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  const auto typeKey = KeyOf(type);
  const auto nameKey = KeyOf(name);
  bool typeFound = false;
  const ResourceEntry* entry = nullptr;
  for (const auto& [key, candidate] : state_->resources) {
    if (typeKey && key.first == *typeKey) {
      typeFound = true;
      if (nameKey && key.second == *nameKey) entry = &candidate;
    }
  }
  if (!typeFound) {
    state_->SetThreadError(plat::ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  if (!entry) {
    state_->SetThreadError(plat::ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const ResourceRecord* found = nullptr;
  if (plat::PRIMARYLANGID(language) == plat::LANG_NEUTRAL) {
    for (const LANGID candidate : NeutralLanguageOrder(state_->uiLanguage)) {
      if (const auto it = entry->languages.find(candidate); it != entry->languages.end()) {
        found = it->second;
        break;
      }
    }
    if (!found && !entry->languages.empty()) found = entry->languages.begin()->second;
  } else if (const auto it = entry->languages.find(language); it != entry->languages.end()) {
    found = it->second;
  }
  if (!found) {
    state_->SetThreadError(plat::ERROR_RESOURCE_LANG_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<ResourceRecord*>(found));
}

HRSRC Machine::FindResourceW(HMODULE module, const WCHAR* name, const WCHAR* type) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("FindResourceW")) {
    state_->SetThreadError(*fault);
    return nullptr;
  }
  if (module && module != ProgramModule()) {
    state_->SetThreadError(plat::ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  return FindProgramResource(type, name,
                             plat::MAKELANGID(plat::LANG_NEUTRAL, plat::SUBLANG_NEUTRAL));
}

namespace {

const ResourceRecord* RecordOf(const std::vector<std::unique_ptr<ResourceRecord>>& records,
                               const void* handle) {
  for (const auto& record : records) {
    if (record.get() == handle) return record.get();
  }
  return nullptr;
}

}  // namespace

DWORD Machine::SizeofResource(HMODULE /*module*/, HRSRC resource) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("SizeofResource")) {
    state_->SetThreadError(*fault);
    return 0;
  }
  const ResourceRecord* record = RecordOf(state_->resourceRecords, resource);
  if (!record) {
    state_->SetThreadError(plat::ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<DWORD>(record->data.size());
}

HGLOBAL Machine::LoadResource(HMODULE /*module*/, HRSRC resource) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("LoadResource")) {
    state_->SetThreadError(*fault);
    return nullptr;
  }
  const ResourceRecord* record = RecordOf(state_->resourceRecords, resource);
  if (!record) {
    state_->SetThreadError(plat::ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // As on Windows, the loaded resource is the address of its bytes in the module's image.
  static const std::uint8_t kEmpty = 0;
  return const_cast<std::uint8_t*>(record->data.empty() ? &kEmpty : record->data.data());
}

const void* Machine::LockResource(HGLOBAL loaded) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("LockResource")) {
    state_->SetThreadError(*fault);
    return nullptr;
  }
  return loaded;
}

}  // namespace sim
