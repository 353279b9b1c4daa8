// System information and security: processor, Windows version, WOW64, the process token, SIDs,
// and the global memory that token information is read into.
//
// Operations that fail set the thread's last error (Processes::GetLastError).
#pragma once

#include "platform/types.h"

namespace plat {

class System {
 public:
  virtual ~System() = default;

  // The processor as the native system sees it, also for a 32-bit process under WOW64:
  // dwProcessorType (PROCESSOR_AMD_X8664 on 64-bit Windows) and the matching
  // wProcessorArchitecture. Cannot fail.
  virtual void GetNativeSystemInfo(SYSTEM_INFO* info) = 0;
  // Fills *info when info->dwOSVersionInfoSize is 276 (OSVERSIONINFOW) or 284 (OSVERSIONINFOEXW);
  // any other size gives FALSE with ERROR_INSUFFICIENT_BUFFER and nothing filled (Wine 8 leaves
  // the last error as it was).
  virtual BOOL GetVersionExW(OSVERSIONINFOW* info) = 0;
  // Calls IsWow64Process found at run time: isWow64Process must come from
  // Processes::GetProcAddress(GetModuleHandleW(u"kernel32"), "IsWow64Process"). *result is TRUE
  // only for a 32-bit process on 64-bit Windows.
  virtual BOOL InvokeIsWow64Process(FARPROC isWow64Process, HANDLE process, BOOL* result) = 0;
  // The user's display language, which the resource loader follows.
  virtual LANGID GetUserDefaultUILanguage() = 0;

  // A token handle (close it with Processes::CloseHandle). Reading TokenGroups needs TOKEN_QUERY
  // in desiredAccess.
  virtual BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) = 0;
  // With a buffer too small (or none), FALSE with ERROR_INSUFFICIENT_BUFFER and the needed size in
  // *returnLength. TokenGroups fills a TOKEN_GROUPS whose SIDs lie in the same buffer, after the
  // array; *returnLength is the size used. A token opened without TOKEN_QUERY gives
  // ERROR_ACCESS_DENIED.
  virtual BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, void* info,
                                   DWORD infoLength, DWORD* returnLength) = 0;
  // A SID of count (at most 8) sub-authorities in memory of its own, freed with FreeSid.
  virtual BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count,
                                        DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                                        DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) = 0;
  // Compares two SIDs by value; sets the last error to 0 when both are valid, also when unequal.
  virtual BOOL EqualSid(PSID a, PSID b) = 0;
  // Null on success; the SID itself when it was not allocated by AllocateAndInitializeSid.
  virtual void* FreeSid(PSID sid) = 0;

  // GMEM_ZEROINIT memory is zero-filled; other memory holds whatever it holds. GMEM_FIXED memory
  // is its own address (GlobalLock returns it, GlobalUnlock returns TRUE); GMEM_MOVEABLE memory
  // counts its locks, and GlobalUnlock returns FALSE with last error 0 when the count reaches 0.
  virtual HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) = 0;
  virtual void* GlobalLock(HGLOBAL memory) = 0;
  virtual BOOL GlobalUnlock(HGLOBAL memory) = 0;
  // Null on success, the handle on failure.
  virtual HGLOBAL GlobalFree(HGLOBAL memory) = 0;
};

}  // namespace plat
