// System information and security: processor, Windows version, WOW64, the process token, SIDs,
// and the global memory that token information is read into.
#pragma once

#include "platform/types.h"

namespace plat {

class System {
 public:
  virtual ~System() = default;

  virtual void GetNativeSystemInfo(SYSTEM_INFO* info) = 0;
  // Fills *info up to info->dwOSVersionInfoSize bytes; FALSE when that size is not one it knows.
  virtual BOOL GetVersionExW(OSVERSIONINFOW* info) = 0;
  // Calls IsWow64Process found at run time: isWow64Process must come from
  // Processes::GetProcAddress(GetModuleHandleW(u"kernel32"), "IsWow64Process").
  virtual BOOL InvokeIsWow64Process(FARPROC isWow64Process, HANDLE process, BOOL* result) = 0;
  // The user's display language, which the resource loader follows.
  virtual LANGID GetUserDefaultUILanguage() = 0;

  virtual BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) = 0;
  // With a buffer too small (or none), FALSE with ERROR_INSUFFICIENT_BUFFER and the needed size in
  // *returnLength. TokenGroups fills a TOKEN_GROUPS whose SIDs lie in the same buffer.
  virtual BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* info,
                                   DWORD infoLength, DWORD* returnLength) = 0;
  virtual BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count,
                                        DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                                        DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) = 0;
  virtual BOOL EqualSid(PSID a, PSID b) = 0;
  virtual void* FreeSid(PSID sid) = 0;

  virtual HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) = 0;
  virtual void* GlobalLock(HGLOBAL memory) = 0;
  virtual BOOL GlobalUnlock(HGLOBAL memory) = 0;
  // Null on success, the handle on failure.
  virtual HGLOBAL GlobalFree(HGLOBAL memory) = 0;
};

}  // namespace plat
