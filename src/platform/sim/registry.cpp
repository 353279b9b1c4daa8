// HKEY_LOCAL_MACHINE with its two views.
#include <cstring>
#include <stdexcept>

#include "platform/sim/machine.h"
#include "platform/sim/state.h"

namespace sim {

using plat::BYTE;
using plat::HKEY;
using plat::REGSAM;
using plat::WCHAR;

std::vector<std::u16string> SplitKeyPath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find(u'\\', start), path.size());
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

KeyNode* Machine::State::ResolveKey(View view, const std::vector<std::u16string>& path, bool create,
                                    int* created) {
  KeyNode* node = &hklm;
  std::size_t i = 0;
  if (Is64BitWindows() && !path.empty() && Fold(path[0]) == u"SOFTWARE") {
    // SOFTWARE is redirected: the 32-bit view sees SOFTWARE\Wow6432Node, which the 64-bit view
    // can also reach under that name.
    const bool wow6432 = path.size() > 1 && Fold(path[1]) == u"WOW6432NODE";
    if (view == View::k32 || wow6432) {
      node = &software32;
      i = wow6432 ? 2 : 1;
    }
  }
  for (; i < path.size(); ++i) {
    const std::u16string folded = Fold(path[i]);
    auto it = node->subKeys.find(folded);
    if (it == node->subKeys.end()) {
      if (!create) return nullptr;
      auto child = std::make_unique<KeyNode>();
      child->name = path[i];
      it = node->subKeys.emplace(folded, std::move(child)).first;
      if (created) ++*created;
    }
    node = it->second.get();
  }
  return node;
}

namespace {

constexpr LONG kSuccess = static_cast<LONG>(plat::ERROR_SUCCESS);
constexpr LONG Err(DWORD error) {
  return static_cast<LONG>(error);
}

// The longest value a key can hold on Windows is limited by memory only; the sim refuses what
// would not fit a DWORD size.
constexpr std::size_t kMaxValueBytes = 0xFFFFFFFFu;

bool IsPredefinedLocalMachine(HKEY key) {
  return key == plat::HkeyLocalMachine();
}

bool IsStringType(DWORD type) {
  return type == plat::REG_SZ || type == plat::REG_EXPAND_SZ || type == plat::REG_MULTI_SZ;
}

// Whether the last whole UTF-16 unit of the data is NUL.
bool EndsWithNul(const std::vector<std::uint8_t>& data) {
  const std::size_t units = data.size() / 2;
  return units > 0 && data[2 * units - 2] == 0 && data[2 * units - 1] == 0;
}

// The view an unflagged call reaches is the process's own; a flag picks one on 64-bit Windows.
View ViewFor(REGSAM sam, bool program32) {
  if (sam & plat::KEY_WOW64_64KEY) return View::k64;
  if (sam & plat::KEY_WOW64_32KEY) return View::k32;
  return program32 ? View::k32 : View::k64;
}

// The view and path a call names: a relative open stays in its parent key's view; from
// HKEY_LOCAL_MACHINE the access mask picks it. 0, or the error for a bad root or sub-key.
template <typename MachineState>
DWORD NamedKey(MachineState& state, HKEY root, const WCHAR* subKey, REGSAM sam, View& view,
               std::vector<std::u16string>& path) {
  view = ViewFor(sam, state.ProgramIs32Bit());
  if (const KeyHandle* parent = state.template Find<KeyHandle>(root)) {
    path = parent->path;
    view = parent->view;
  } else if (!IsPredefinedLocalMachine(root)) {
    return plat::ERROR_INVALID_HANDLE;
  }
  const std::u16string_view sub = ViewOf(subKey);
  if (!sub.empty() && sub.front() == u'\\') return plat::ERROR_BAD_PATHNAME;
  for (auto& part : SplitKeyPath(sub)) path.push_back(std::move(part));
  return plat::ERROR_SUCCESS;
}

}  // namespace

LONG Machine::RegOpenKeyExW(HKEY root, const WCHAR* subKey, DWORD /*options*/, REGSAM sam,
                            HKEY* result) {
  std::lock_guard guard(state_->lock);
  if (result) *result = nullptr;
  if (const auto fault = state_->TakeFault("RegOpenKeyExW")) return Err(*fault);
  if (!result) return Err(plat::ERROR_INVALID_PARAMETER);

  std::vector<std::u16string> path;
  View view{};
  if (const DWORD error = NamedKey(*state_, root, subKey, sam, view, path)) return Err(error);

  if (!state_->ResolveKey(view, path, false)) return Err(plat::ERROR_FILE_NOT_FOUND);
  *result = static_cast<HKEY>(state_->AddHandle(KeyHandle{view, std::move(path), sam}));
  return kSuccess;
}

LONG Machine::RegCreateKeyExW(HKEY root, const WCHAR* subKey, DWORD /*reserved*/,
                              WCHAR* /*keyClass*/, DWORD /*options*/, REGSAM sam,
                              const void* /*securityAttributes*/, HKEY* result,
                              DWORD* disposition) {
  std::lock_guard guard(state_->lock);
  if (result) *result = nullptr;
  if (const auto fault = state_->TakeFault("RegCreateKeyExW")) return Err(*fault);
  if (!result) return Err(plat::ERROR_INVALID_PARAMETER);

  std::vector<std::u16string> path;
  View view{};
  if (const DWORD error = NamedKey(*state_, root, subKey, sam, view, path)) return Err(error);

  int created = 0;
  state_->ResolveKey(view, path, true, &created);
  if (disposition) {
    *disposition = created > 0 ? plat::REG_CREATED_NEW_KEY : plat::REG_OPENED_EXISTING_KEY;
  }
  *result = static_cast<HKEY>(state_->AddHandle(KeyHandle{view, std::move(path), sam}));
  return kSuccess;
}

LONG Machine::RegQueryValueExW(HKEY key, const WCHAR* valueName, DWORD* reserved, DWORD* type,
                               BYTE* data, DWORD* dataSize) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("RegQueryValueExW")) return Err(*fault);
  if (reserved || (data && !dataSize)) return Err(plat::ERROR_INVALID_PARAMETER);

  const KeyHandle* handle = state_->Find<KeyHandle>(key);
  if (!handle) return Err(plat::ERROR_INVALID_HANDLE);
  if ((handle->access & plat::KEY_QUERY_VALUE) != plat::KEY_QUERY_VALUE) {
    return Err(plat::ERROR_ACCESS_DENIED);
  }
  const KeyNode* node = state_->ResolveKey(handle->view, handle->path, false);
  if (!node) return Err(plat::ERROR_KEY_DELETED);
  const auto it = node->values.find(Fold(ViewOf(valueName)));
  if (it == node->values.end()) return Err(plat::ERROR_FILE_NOT_FOUND);

  const RegistryValue& value = it->second.value;
  const auto size = static_cast<DWORD>(value.data.size());
  if (type) *type = value.type;
  if (!data) {
    if (dataSize) *dataSize = size;
    return kSuccess;
  }
  // Exactly the stored bytes: no NUL is added, and nothing is copied into a buffer too small.
  if (*dataSize < size) {
    *dataSize = size;
    return Err(plat::ERROR_MORE_DATA);
  }
  if (size > 0) std::memcpy(data, value.data.data(), size);
  // A string that does not end in NUL gets one after its bytes when the buffer has room; the
  // size reported stays the stored one. (Seen on Wine 8; a caller must not rely on either.)
  if (IsStringType(value.type) && size > 0 && *dataSize >= size + 2 && !EndsWithNul(value.data)) {
    data[size] = 0;
    data[size + 1] = 0;
  }
  *dataSize = size;
  return kSuccess;
}

LONG Machine::RegSetValueExW(HKEY key, const WCHAR* valueName, DWORD /*reserved*/, DWORD type,
                             const BYTE* data, DWORD dataSize) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("RegSetValueExW")) return Err(*fault);
  const KeyHandle* handle = state_->Find<KeyHandle>(key);
  if (!handle) return Err(plat::ERROR_INVALID_HANDLE);
  if ((handle->access & plat::KEY_SET_VALUE) != plat::KEY_SET_VALUE) {
    return Err(plat::ERROR_ACCESS_DENIED);
  }
  if (!data && dataSize > 0) return Err(plat::ERROR_NOACCESS);
  KeyNode* node = state_->ResolveKey(handle->view, handle->path, false);
  if (!node) return Err(plat::ERROR_KEY_DELETED);

  const std::u16string name(ViewOf(valueName));
  auto& stored = node->values[Fold(name)];
  if (stored.name.empty()) stored.name = name;
  stored.value.type = type;
  // Windows adds the terminating NUL of a string whose count left it out, when the unit right
  // after the counted bytes is that NUL.
  DWORD count = dataSize;
  if (IsStringType(type) && count >= 2 && count % 2 == 0) {
    const auto unitAt = [&](DWORD index) {
      return static_cast<char16_t>(data[2 * index] | (data[2 * index + 1] << 8));
    };
    if (unitAt(count / 2 - 1) != 0 && unitAt(count / 2) == 0) count += 2;
  }
  stored.value.data.assign(data, data + count);
  return kSuccess;
}

LONG Machine::RegCloseKey(HKEY key) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("RegCloseKey")) return Err(*fault);
  if (IsPredefinedLocalMachine(key)) return kSuccess;  // closing a predefined key is a no-op
  if (!state_->Find<KeyHandle>(key)) return Err(plat::ERROR_INVALID_HANDLE);
  state_->ReleaseHandle(reinterpret_cast<std::uintptr_t>(key));
  return kSuccess;
}

// --- Set-up ----------------------------------------------------------------------------------

void Machine::CreateKey(View view, const std::u16string& key) {
  std::lock_guard guard(state_->lock);
  state_->ResolveKey(view, SplitKeyPath(key), true);
}

void Machine::SetValue(View view, const std::u16string& key, const std::u16string& name,
                       RegistryValue value) {
  if (value.data.size() > kMaxValueBytes) throw std::length_error("sim::Machine: value too large");
  std::lock_guard guard(state_->lock);
  KeyNode* node = state_->ResolveKey(view, SplitKeyPath(key), true);
  auto& stored = node->values[Fold(name)];
  if (stored.name.empty()) stored.name = name;
  stored.value = std::move(value);
}

void Machine::SetString(View view, const std::u16string& key, const std::u16string& name,
                        const std::u16string& text, DWORD type) {
  // Stored as Windows programs store strings: with the terminating NUL.
  RegistryValue value{type, {}};
  const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
  value.data.resize(bytes);
  std::memcpy(value.data.data(), text.c_str(), bytes);
  SetValue(view, key, name, std::move(value));
}

void Machine::SetDword(View view, const std::u16string& key, const std::u16string& name,
                       DWORD value) {
  RegistryValue stored{plat::REG_DWORD, std::vector<std::uint8_t>(sizeof value)};
  std::memcpy(stored.data.data(), &value, sizeof value);
  SetValue(view, key, name, std::move(stored));
}

std::optional<RegistryValue> Machine::GetValue(View view, const std::u16string& key,
                                               const std::u16string& name) const {
  std::lock_guard guard(state_->lock);
  const KeyNode* node = state_->ResolveKey(view, SplitKeyPath(key), false);
  if (!node) return std::nullopt;
  const auto it = node->values.find(Fold(name));
  if (it == node->values.end()) return std::nullopt;
  return it->second.value;
}

std::optional<std::u16string> Machine::GetString(View view, const std::u16string& key,
                                                 const std::u16string& name) const {
  const auto value = GetValue(view, key, name);
  if (!value || (value->type != plat::REG_SZ && value->type != plat::REG_EXPAND_SZ) ||
      value->data.size() % 2 != 0) {
    return std::nullopt;
  }
  std::u16string text(value->data.size() / 2, u'\0');
  std::memcpy(text.data(), value->data.data(), value->data.size());
  if (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

bool Machine::KeyExists(View view, const std::u16string& key) const {
  std::lock_guard guard(state_->lock);
  return state_->ResolveKey(view, SplitKeyPath(key), false) != nullptr;
}

void Machine::DeleteKey(View view, const std::u16string& key) {
  std::lock_guard guard(state_->lock);
  auto path = SplitKeyPath(key);
  if (path.empty()) throw std::invalid_argument("sim::Machine: cannot delete HKEY_LOCAL_MACHINE");
  const std::u16string last = Fold(path.back());
  path.pop_back();
  if (KeyNode* parent = state_->ResolveKey(view, path, false)) {
    // Deleting SOFTWARE of the 32-bit view means emptying the redirected tree.
    if (path.empty() && last == u"SOFTWARE" && &*parent == &state_->hklm && view == View::k32 &&
        state_->Is64BitWindows()) {
      state_->software32.subKeys.clear();
      state_->software32.values.clear();
      return;
    }
    parent->subKeys.erase(last);
  }
}

void Machine::DeleteValue(View view, const std::u16string& key, const std::u16string& name) {
  std::lock_guard guard(state_->lock);
  if (KeyNode* node = state_->ResolveKey(view, SplitKeyPath(key), false)) {
    node->values.erase(Fold(name));
  }
}

}  // namespace sim
