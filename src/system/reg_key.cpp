#include "system/reg_key.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "system/os_checks.h"

namespace glimra {

CRegKeyEx::~CRegKeyEx() {
  Close();
}

plat::LONG CRegKeyEx::Open(const plat::WCHAR* subKey, plat::REGSAM sam) {
  plat::HKEY opened = nullptr;
  const plat::LONG error =
      registry_.RegOpenKeyExW(plat::HkeyLocalMachine(), subKey, /*options=*/0, sam, &opened);
  if (error != static_cast<plat::LONG>(plat::ERROR_SUCCESS)) return error;
  Close();
  key_ = opened;
  view_ = sam & plat::KEY_WOW64_RES;
  return error;
}

plat::LONG CRegKeyEx::Create(plat::HKEY parent, const plat::WCHAR* subKey) {
  plat::HKEY created = nullptr;
  plat::DWORD disposition = 0;  // created or opened: either will do
  const plat::LONG error = registry_.RegCreateKeyExW(
      parent, subKey, /*reserved=*/0, /*keyClass=*/nullptr, plat::REG_OPTION_NON_VOLATILE,
      plat::KEY_READ | plat::KEY_WRITE, /*securityAttributes=*/nullptr, &created, &disposition);
  if (error != static_cast<plat::LONG>(plat::ERROR_SUCCESS)) return error;
  Close();
  key_ = created;
  view_ = 0;
  return error;
}

plat::LONG CRegKeyEx::QueryStringValue(const plat::WCHAR* valueName, std::u16string& text) {
  if (key_ == nullptr) return static_cast<plat::LONG>(plat::ERROR_INVALID_HANDLE);
  plat::DWORD type = plat::REG_NONE;
  plat::DWORD size = 0;
  plat::LONG error = registry_.RegQueryValueExW(key_, valueName, nullptr, &type, nullptr, &size);
  if (error != static_cast<plat::LONG>(plat::ERROR_SUCCESS)) return error;
  if (type != plat::REG_SZ && type != plat::REG_EXPAND_SZ) {
    return static_cast<plat::LONG>(plat::ERROR_INVALID_DATA);
  }

  // Read into a buffer of our own, so that a failure below leaves the caller's text as it was.
  // Room for an odd last byte too: with exactly size / 2 units an odd-sized value would not fit and
  // the read would fail with ERROR_MORE_DATA instead of being judged as data of the wrong shape.
  // At least one unit, so that the second read always has a buffer.
  std::vector<char16_t> units(std::max<std::size_t>(1, (std::size_t{size} + 1) / 2));
  plat::DWORD read = static_cast<plat::DWORD>(std::min<std::size_t>(units.size() * 2, 0xFFFFFFFFu));
  error = registry_.RegQueryValueExW(key_, valueName, nullptr, nullptr,
                                     reinterpret_cast<plat::BYTE*>(units.data()), &read);
  if (error != static_cast<plat::LONG>(plat::ERROR_SUCCESS)) return error;
  if (read == 0) {
    text.clear();
    return error;
  }
  if (read % 2 != 0 || read / 2 > units.size() || units[read / 2 - 1] != u'\0') {
    return static_cast<plat::LONG>(plat::ERROR_INVALID_DATA);
  }
  const std::u16string_view stored(units.data(), read / 2);
  text.assign(stored.substr(0, stored.find(u'\0')));
  return error;
}

plat::LONG CRegKeyEx::SetStringValue(const plat::WCHAR* valueName, const plat::WCHAR* text) {
  if (text == nullptr) return static_cast<plat::LONG>(plat::ERROR_INVALID_DATA);
  if (key_ == nullptr) return static_cast<plat::LONG>(plat::ERROR_INVALID_HANDLE);
  const std::size_t length = std::char_traits<char16_t>::length(text);
  // A registry value's size is a DWORD; a text that cannot be stored whole is not cut.
  if (length >= 0x7FFFFFFFu) return static_cast<plat::LONG>(plat::ERROR_INVALID_PARAMETER);
  const auto bytes = static_cast<plat::DWORD>((length + 1) * 2);
  return registry_.RegSetValueExW(key_, valueName, /*reserved=*/0, plat::REG_SZ,
                                  reinterpret_cast<const plat::BYTE*>(text), bytes);
}

plat::LONG CRegKeyEx::Close() {
  plat::LONG error = static_cast<plat::LONG>(plat::ERROR_SUCCESS);
  if (key_ != nullptr) {
    error = registry_.RegCloseKey(key_);
    key_ = nullptr;
  }
  view_ = 0;
  return error;
}

plat::LONG OpenForRead(plat::System& system, CRegKeyEx& key, const plat::WCHAR* subKey) {
  const bool is64Bit = IsNative64BitSystem(system);
  const plat::LONG error =
      key.Open(subKey, is64Bit ? plat::KEY_READ | plat::KEY_WOW64_32KEY : plat::KEY_READ);
  if (error == static_cast<plat::LONG>(plat::ERROR_SUCCESS) || !is64Bit) return error;
  return key.Open(subKey, plat::KEY_READ | plat::KEY_WOW64_64KEY);
}

}  // namespace glimra
