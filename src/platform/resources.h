// Resources of a loaded module.
#pragma once

#include "platform/types.h"

namespace plat {

class Resources {
 public:
  virtual ~Resources() = default;

  // Finds a resource by type, name and language (module null: the program itself). Integer types
  // and names come from MakeIntResourceW; a string type such as u"PATCH" is compared without
  // regard to case. A specific language must exist exactly. A request in LANG_NEUTRAL leaves the
  // choice to the loader: the user's display language, else the same language with
  // SUBLANG_NEUTRAL, else LANG_NEUTRAL, else English (United States, 1033), else the resource's
  // lowest language. No other sublanguage of the display language is tried: de-CH (2055) gets
  // 1033, not German (1031). Null on failure, with ERROR_RESOURCE_TYPE_NOT_FOUND,
  // _NAME_NOT_FOUND or _LANG_NOT_FOUND as the last error.
  virtual HRSRC FindResourceExW(HMODULE module, const WCHAR* type, const WCHAR* name,
                                WORD language) = 0;
  // FindResourceExW in LANG_NEUTRAL; note the argument order (name before type).
  virtual HRSRC FindResourceW(HMODULE module, const WCHAR* name, const WCHAR* type) = 0;
  // The resource's size in bytes; a string block is exactly its 16 length-prefixed entries.
  virtual DWORD SizeofResource(HMODULE module, HRSRC resource) = 0;
  virtual HGLOBAL LoadResource(HMODULE module, HRSRC resource) = 0;
  // The resource's bytes, valid as long as the module is loaded; nothing to unlock or free.
  virtual const void* LockResource(HGLOBAL loaded) = 0;
};

}  // namespace plat
