// The registry, as the Win32 registry functions offer it.
//
// Every operation returns its Win32 error and leaves the thread's last error alone. Keys are
// named by backslash-separated paths compared without regard to case; a path may not begin with
// a backslash (ERROR_BAD_PATHNAME). A handle that is not an open key, or one already closed,
// gives ERROR_INVALID_HANDLE. The program uses HKEY_LOCAL_MACHINE only.
#pragma once

#include "platform/types.h"

namespace plat {

class Registry {
 public:
  virtual ~Registry() = default;

  // Opens root\subKey (root: HKEY_LOCAL_MACHINE or an open key; an empty or null subKey opens root
  // again). The view is chosen by KEY_WOW64_32KEY / KEY_WOW64_64KEY in sam; without either, a
  // 32-bit process on 64-bit Windows sees the 32-bit view of redirected keys (those under
  // SOFTWARE), a 64-bit process the 64-bit view. The 64-bit view also reaches the 32-bit one as
  // SOFTWARE\Wow6432Node; keys outside SOFTWARE (SYSTEM\...) are the same in both views. On 32-bit
  // Windows there is one view and the flags change nothing. On failure *result is set to null and
  // the Win32 error is returned (ERROR_FILE_NOT_FOUND for a missing key).
  virtual LONG RegOpenKeyExW(HKEY root, const WCHAR* subKey, DWORD options, REGSAM sam,
                             HKEY* result) = 0;

  // Creates root\subKey and any missing keys above it, or opens it when it exists. disposition,
  // when given, receives REG_CREATED_NEW_KEY (some key had to be made) or REG_OPENED_EXISTING_KEY.
  // On failure *result is null and nothing is created.
  virtual LONG RegCreateKeyExW(HKEY root, const WCHAR* subKey, DWORD reserved, WCHAR* keyClass,
                               DWORD options, REGSAM sam, const void* securityAttributes,
                               HKEY* result, DWORD* disposition) = 0;

  // Reads a value (null or empty valueName: the key's default value). type, data and dataSize are
  // each optional, but data needs dataSize (else ERROR_INVALID_PARAMETER) and reserved must be
  // null. Without data, *dataSize receives the stored size. With data, *dataSize gives the
  // buffer's size on entry; a value that does not fit returns ERROR_MORE_DATA with the needed size
  // in *dataSize and *type set, and the buffer's contents are not to be relied on. A value that
  // fits is copied exactly as stored: odd byte counts and strings without a terminating NUL come
  // back as they are, REG_EXPAND_SZ is not expanded, and *dataSize is the stored size. (When a
  // string does not end in NUL and the buffer has two bytes to spare, Wine writes a NUL after it;
  // do not rely on either.) A missing value gives ERROR_FILE_NOT_FOUND; a key opened without
  // KEY_QUERY_VALUE gives ERROR_ACCESS_DENIED.
  virtual LONG RegQueryValueExW(HKEY key, const WCHAR* valueName, DWORD* reserved, DWORD* type,
                                BYTE* data, DWORD* dataSize) = 0;

  // Stores dataSize bytes of data under valueName with the given type, replacing any value. For
  // REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ with an even count whose last unit is not NUL, Windows
  // also stores the NUL unit that follows the counted bytes, if there is one. A key opened without
  // KEY_SET_VALUE gives ERROR_ACCESS_DENIED and stores nothing.
  virtual LONG RegSetValueExW(HKEY key, const WCHAR* valueName, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD dataSize) = 0;

  // Closes an open key (ERROR_INVALID_HANDLE for anything else; closing HKEY_LOCAL_MACHINE itself
  // succeeds and does nothing).
  virtual LONG RegCloseKey(HKEY key) = 0;
};

}  // namespace plat
