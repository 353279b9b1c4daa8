// The calling process, its modules, kernel objects and the process list.
//
// Operations that fail set the thread's last error; successful ones leave it alone unless stated.
#pragma once

#include "platform/types.h"

namespace plat {

class Processes {
 public:
  virtual ~Processes() = default;

  // The calling thread's last error, as set by the operations of every platform interface. Each
  // thread has its own.
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD error) = 0;

  // Closes a kernel handle (mutex, snapshot, token, file). FALSE with ERROR_INVALID_HANDLE for a
  // handle that is not open, including one closed before. A named object ends with its last handle.
  virtual BOOL CloseHandle(HANDLE handle) = 0;

  // Creates or opens a named mutex. When the name already exists, a handle to the existing object
  // is returned and the last error is ERROR_ALREADY_EXISTS; otherwise the last error is 0, also
  // for an unnamed mutex. Names are case-sensitive; "Global\" names are one object for the whole
  // machine, other names one per logon session. Null when no handle can be had, with the reason
  // as the last error.
  virtual HANDLE CreateMutexW(const void* securityAttributes, BOOL initialOwner,
                              const WCHAR* name) = 0;

  // A pseudo handle that needs no closing (CloseHandle of it succeeds).
  virtual HANDLE GetCurrentProcess() = 0;
  virtual DWORD GetCurrentProcessId() = 0;

  // Copies the module's path (null: the program's own executable) into buffer, NUL-terminated,
  // and returns its length. When it does not fit, the copy is cut to size - 1 characters plus NUL,
  // the return value is size and the last error ERROR_INSUFFICIENT_BUFFER. (Wine 8 copies size
  // characters without the NUL instead, as Windows XP did; the return value and the error agree.)
  // 0 with ERROR_MOD_NOT_FOUND for a handle that is not a loaded module.
  virtual DWORD GetModuleFileNameW(HMODULE module, WCHAR* buffer, DWORD size) = 0;

  // A loaded module by name ("kernel32", "kernel32.dll", without regard to case; null: the
  // program itself), without taking a reference; null with ERROR_MOD_NOT_FOUND when none is
  // loaded.
  virtual HMODULE GetModuleHandleW(const WCHAR* moduleName) = 0;
  // An exported function by name; null (last error ERROR_PROC_NOT_FOUND) when it is missing.
  virtual FARPROC GetProcAddress(HMODULE module, const char* procName) = 0;

  // Process snapshots: INVALID_HANDLE_VALUE when none can be taken. The snapshot holds the
  // processes running when it was taken, this program among them; szExeFile is the executable's
  // file name without its folder. Process32FirstW starts over at the first process and
  // Process32NextW moves on; both fill *entry (whose dwSize the caller sets: less than
  // sizeof(PROCESSENTRY32W) gives FALSE with ERROR_INSUFFICIENT_BUFFER) and return FALSE with
  // ERROR_NO_MORE_FILES past the last process.
  virtual HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) = 0;
  virtual BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) = 0;
  virtual BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) = 0;
};

}  // namespace plat
