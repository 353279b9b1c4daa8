// The registry, as the Win32 registry functions offer it.
#pragma once

#include "platform/types.h"

namespace plat {

class Registry {
 public:
  virtual ~Registry() = default;

  // Opens root\subKey. The view is chosen by KEY_WOW64_32KEY / KEY_WOW64_64KEY in sam; without
  // either, a 32-bit process on 64-bit Windows sees the 32-bit view of redirected keys (those
  // under SOFTWARE), a 64-bit process the 64-bit view. On failure *result is set to null and the
  // Win32 error is returned (ERROR_FILE_NOT_FOUND for a missing key).
  virtual LONG RegOpenKeyExW(HKEY root, const WCHAR* subKey, DWORD options, REGSAM sam,
                             HKEY* result) = 0;

  // Creates root\subKey and any missing keys above it, or opens it when it exists. disposition,
  // when given, receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
  virtual LONG RegCreateKeyExW(HKEY root, const WCHAR* subKey, DWORD reserved, WCHAR* keyClass,
                               DWORD options, REGSAM sam, const void* securityAttributes,
                               HKEY* result, DWORD* disposition) = 0;

  // Reads a value. type, data and dataSize are each optional. Without data, *dataSize receives the
  // stored size. With data, *dataSize gives the buffer's size on entry; a value that does not fit
  // returns ERROR_MORE_DATA and the needed size, with nothing copied. Strings are returned as
  // stored (REG_EXPAND_SZ is not expanded). A missing value gives ERROR_FILE_NOT_FOUND.
  virtual LONG RegQueryValueExW(HKEY key, const WCHAR* valueName, DWORD* reserved, DWORD* type,
                                BYTE* data, DWORD* dataSize) = 0;

  // Stores dataSize bytes of data under valueName with the given type, replacing any value.
  virtual LONG RegSetValueExW(HKEY key, const WCHAR* valueName, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD dataSize) = 0;

  virtual LONG RegCloseKey(HKEY key) = 0;
};

}  // namespace plat
