// The calling process, its modules, kernel objects and the process list.
#pragma once

#include "platform/types.h"

namespace plat {

class Processes {
 public:
  virtual ~Processes() = default;

  // The calling thread's last error, as set by the operations of every platform interface.
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD error) = 0;

  virtual BOOL CloseHandle(HANDLE handle) = 0;

  // Creates or opens a named mutex. When the name already exists, a handle to the existing object
  // is returned and the last error is ERROR_ALREADY_EXISTS; otherwise the last error is 0. Null
  // when no handle can be had, with the reason as the last error.
  virtual HANDLE CreateMutexW(const void* securityAttributes, BOOL initialOwner,
                              const WCHAR* name) = 0;

  virtual HANDLE GetCurrentProcess() = 0;
  virtual DWORD GetCurrentProcessId() = 0;

  // Copies the module's path (null: the program's own executable) into buffer, NUL-terminated,
  // and returns its length. When it does not fit, the copy is cut to size - 1 characters plus NUL,
  // the return value is size and the last error ERROR_INSUFFICIENT_BUFFER.
  virtual DWORD GetModuleFileNameW(HMODULE module, WCHAR* buffer, DWORD size) = 0;

  // A loaded module by name ("kernel32", "kernel32.dll"), without taking a reference; null when
  // none is loaded.
  virtual HMODULE GetModuleHandleW(const WCHAR* moduleName) = 0;
  // An exported function by name; null (last error ERROR_PROC_NOT_FOUND) when it is missing.
  virtual FARPROC GetProcAddress(HMODULE module, const char* procName) = 0;

  // Process snapshots: INVALID_HANDLE_VALUE when none can be taken. Process32FirstW and
  // Process32NextW fill *entry (whose dwSize the caller sets) and return FALSE with
  // ERROR_NO_MORE_FILES past the last process.
  virtual HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) = 0;
  virtual BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) = 0;
  virtual BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) = 0;
};

}  // namespace plat
