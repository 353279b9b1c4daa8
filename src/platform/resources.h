// Resources of a loaded module.
#pragma once

#include "platform/types.h"

namespace plat {

class Resources {
 public:
  virtual ~Resources() = default;

  // Finds a resource by type, name and language. Integer types and names come from
  // MakeIntResourceW; a string type such as u"PATCH" is compared without regard to case. A request
  // in LANG_NEUTRAL leaves the choice to the loader, which prefers the user's display language and
  // falls back by its own rules to another language the resource exists in. Null on failure, with
  // ERROR_RESOURCE_TYPE_NOT_FOUND, _NAME_NOT_FOUND or _LANG_NOT_FOUND as the last error.
  virtual HRSRC FindResourceExW(HMODULE module, const WCHAR* type, const WCHAR* name,
                                WORD language) = 0;
  // FindResourceExW in LANG_NEUTRAL; note the argument order (name before type).
  virtual HRSRC FindResourceW(HMODULE module, const WCHAR* name, const WCHAR* type) = 0;
  virtual DWORD SizeofResource(HMODULE module, HRSRC resource) = 0;
  virtual HGLOBAL LoadResource(HMODULE module, HRSRC resource) = 0;
  // The resource's bytes, valid as long as the module is loaded.
  virtual const void* LockResource(HGLOBAL loaded) = 0;
};

}  // namespace plat
