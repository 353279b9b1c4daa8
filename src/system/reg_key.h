// Registry keys under HKEY_LOCAL_MACHINE: the key wrapper and the rule by which the product's
// keys are read from the 32-bit or the 64-bit registry view.
#pragma once

#include <string>

#include "platform/registry.h"
#include "platform/system.h"
#include "platform/types.h"

namespace glimra {

// Holds at most one key and the registry-view bits of the access mask it was opened with.
class CRegKey {
 public:
  plat::HKEY key() const { return key_; }
  // KEY_WOW64_32KEY / KEY_WOW64_64KEY of the mask the key was opened with; 0 when none is held
  // and after CRegKeyEx::Create.
  plat::REGSAM view() const { return view_; }

 protected:
  explicit CRegKey(plat::Registry& registry) : registry_(registry) {}
  ~CRegKey() = default;

  // The registry the key belongs to; the platform is passed explicitly, so the wrapper keeps it.
  plat::Registry& registry_;
  plat::HKEY key_ = nullptr;
  plat::REGSAM view_ = 0;
};

// A key wrapper that lives as a local of one function and closes its key when it goes.
class CRegKeyEx : public CRegKey {
 public:
  explicit CRegKeyEx(plat::Registry& registry) : CRegKey(registry) {}
  virtual ~CRegKeyEx();
  CRegKeyEx(const CRegKeyEx&) = delete;
  CRegKeyEx& operator=(const CRegKeyEx&) = delete;

  // RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, sam). On success the key held before (if any) is
  // closed and the new one held, with view = sam & KEY_WOW64_RES. On failure the object is left
  // exactly as it was (a key already held stays held) and the error is returned.
  plat::LONG Open(const plat::WCHAR* subKey, plat::REGSAM sam);

  // Creates or opens parent\subKey with KEY_READ | KEY_WRITE. Success and failure as for Open,
  // except that view becomes 0.
  plat::LONG Create(plat::HKEY parent, const plat::WCHAR* subKey);

  // Reads a REG_SZ or REG_EXPAND_SZ value (the latter as stored, unexpanded) into text: the
  // characters before the first NUL. A value of 0 bytes gives an empty text and 0. Errors: those
  // of the registry (ERROR_FILE_NOT_FOUND for a missing value); ERROR_INVALID_DATA (13) for another
  // type, an odd byte count or data whose last unit is not NUL; ERROR_INVALID_HANDLE when no key is
  // held. On every failure the text is left untouched. Running out of memory for the text throws
  // std::bad_alloc.
  plat::LONG QueryStringValue(const plat::WCHAR* valueName, std::u16string& text);

  // Stores text as REG_SZ with its terminating NUL ((length + 1) * 2 bytes, so an empty text is 2
  // bytes). A null text gives ERROR_INVALID_DATA (13) without touching the registry; no key held
  // gives ERROR_INVALID_HANDLE.
  plat::LONG SetStringValue(const plat::WCHAR* valueName, const plat::WCHAR* text);

  // Closes the key held, if any (returning RegCloseKey's result; 0 when nothing was held, without
  // a registry call). The object is empty afterwards, view 0.
  plat::LONG Close();
};

// Opens subKey for reading by the view rule: on 64-bit Windows the 32-bit view first
// (KEY_READ | KEY_WOW64_32KEY) and, only if that open fails, the 64-bit view
// (KEY_READ | KEY_WOW64_64KEY); on 32-bit Windows once with KEY_READ. Returns the error of the
// last attempt; a failed attempt leaves key as CRegKeyEx::Open does.
plat::LONG OpenForRead(plat::System& system, CRegKeyEx& key, const plat::WCHAR* subKey);

}  // namespace glimra
