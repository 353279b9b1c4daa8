// Windows-shaped types and constants for the platform interfaces.
//
// The program's logic never includes <windows.h>; it sees Windows through the interfaces in this
// folder, whose operations take and return these types with the same values Windows uses. The
// constants carry their Windows names inside namespace plat. A translation unit that also includes
// <windows.h> (only src/platform/win32 and the Wine-side test tools do) must include this header
// first: the SDK's macros would otherwise rewrite these names.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define PLAT_WINAPI __stdcall
#else
#define PLAT_WINAPI
#endif

namespace plat {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using UINT = std::uint32_t;
using HRESULT = std::int32_t;
using REGSAM = DWORD;
using LANGID = WORD;
using WCHAR = char16_t;
using SIZE_T = std::size_t;
using ULONG_PTR = std::uintptr_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// Handles. Generic kernel handles, global memory and SIDs are untyped as on Windows; the others
// are distinct pointer types so that a key cannot be passed where a window is expected.
using HANDLE = void*;
using HGLOBAL = void*;
using PSID = void*;
struct HKEY__;
using HKEY = HKEY__*;
struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
using HINSTANCE = HMODULE;
struct HRSRC__;
using HRSRC = HRSRC__*;
struct HWND__;
using HWND = HWND__*;
// A function found by GetProcAddress. It is called through the interface that owns the service
// (for example System::InvokeIsWow64Process), never directly by the program's logic.
using FARPROC = void (*)();

inline HANDLE InvalidHandleValue() {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}
// GetCurrentProcess's pseudo handle.
inline HANDLE CurrentProcessPseudoHandle() {
  return InvalidHandleValue();
}

// Win32 error codes.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_DATA = 13;
inline constexpr DWORD ERROR_OUTOFMEMORY = 14;
inline constexpr DWORD ERROR_NO_MORE_FILES = 18;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_OPEN_FAILED = 110;
inline constexpr DWORD ERROR_DISK_FULL = 112;
inline constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
inline constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
inline constexpr DWORD ERROR_NOT_LOCKED = 158;
inline constexpr DWORD ERROR_BAD_PATHNAME = 161;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NOACCESS = 998;
inline constexpr DWORD ERROR_KEY_DELETED = 1018;
inline constexpr DWORD ERROR_SINGLE_INSTANCE_APP = 1152;
inline constexpr DWORD ERROR_INVALID_SID = 1337;
inline constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
inline constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
inline constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
inline constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 1815;

// HRESULT-style result codes.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// A positive Win32 error n becomes 0x80070000 | (n & 0xFFFF); 0 or less passes unchanged.
constexpr HRESULT HRESULT_FROM_WIN32(DWORD error) {
  const auto asLong = static_cast<LONG>(error);
  if (asLong <= 0) return asLong;
  return static_cast<HRESULT>((error & 0xFFFFu) | 0x80070000u);
}

// Registry.
inline HKEY HkeyLocalMachine() {
  // Sign-extended on 64-bit Windows, as the SDK defines it.
  return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000002u)));
}
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM KEY_WOW64_RES = 0x0300;
inline constexpr REGSAM KEY_READ = 0x00020019;
inline constexpr REGSAM KEY_WRITE = 0x00020006;
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

// Processes and system information.
inline constexpr DWORD TH32CS_SNAPPROCESS = 0x00000002;
inline constexpr DWORD MAX_PATH = 260;

struct PROCESSENTRY32W {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  ULONG_PTR th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  WCHAR szExeFile[MAX_PATH];
};

inline constexpr DWORD PROCESSOR_INTEL_386 = 386;
inline constexpr DWORD PROCESSOR_INTEL_486 = 486;
inline constexpr DWORD PROCESSOR_INTEL_PENTIUM = 586;
inline constexpr DWORD PROCESSOR_INTEL_IA64 = 2200;
inline constexpr DWORD PROCESSOR_AMD_X8664 = 8664;
inline constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
inline constexpr WORD PROCESSOR_ARCHITECTURE_IA64 = 6;
inline constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;

struct SYSTEM_INFO {
  union {
    DWORD dwOemId;
    struct {
      WORD wProcessorArchitecture;
      WORD wReserved;
    } arch;
  } u;
  DWORD dwPageSize;
  void* lpMinimumApplicationAddress;
  void* lpMaximumApplicationAddress;
  ULONG_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
};

inline constexpr DWORD VER_PLATFORM_WIN32s = 0;
inline constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOW) == 276);
// The extended record GetVersionExW also accepts (dwOSVersionInfoSize 284).
struct OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
static_assert(sizeof(OSVERSIONINFOEXW) == 284);

// Security.
inline constexpr DWORD TOKEN_QUERY = 0x0008;
enum TOKEN_INFORMATION_CLASS : int { TokenUser = 1, TokenGroups = 2 };
inline constexpr DWORD SE_GROUP_MANDATORY = 0x00000001;
inline constexpr DWORD SE_GROUP_ENABLED_BY_DEFAULT = 0x00000002;
inline constexpr DWORD SE_GROUP_ENABLED = 0x00000004;
inline constexpr DWORD SE_GROUP_OWNER = 0x00000008;
inline constexpr DWORD SE_GROUP_USE_FOR_DENY_ONLY = 0x00000010;
inline constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 32;
inline constexpr DWORD DOMAIN_ALIAS_RID_ADMINS = 544;

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
};
inline constexpr SID_IDENTIFIER_AUTHORITY SECURITY_NT_AUTHORITY = {{0, 0, 0, 0, 0, 5}};

struct SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
};
// Variable length: GroupCount entries follow, then the SIDs they point at, in one buffer.
struct TOKEN_GROUPS {
  DWORD GroupCount;
  SID_AND_ATTRIBUTES Groups[1];
};

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;

// Module resources. Integer names and types are pointers whose value is below 0x10000.
inline const WCHAR* MakeIntResourceW(WORD id) {
  return reinterpret_cast<const WCHAR*>(static_cast<ULONG_PTR>(id));
}
inline bool IsIntResource(const WCHAR* name) {
  return (reinterpret_cast<ULONG_PTR>(name) >> 16) == 0;
}
inline WORD IntResourceId(const WCHAR* name) {
  return static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
}
inline constexpr WORD RT_ICON = 3;
inline constexpr WORD RT_DIALOG = 5;
inline constexpr WORD RT_STRING = 6;
inline constexpr WORD RT_GROUP_ICON = 14;
inline constexpr WORD RT_VERSION = 16;
inline constexpr WORD RT_MANIFEST = 24;
inline constexpr WORD LANG_NEUTRAL = 0x00;
inline constexpr WORD SUBLANG_NEUTRAL = 0x00;
constexpr LANGID MAKELANGID(WORD primary, WORD sub) {
  return static_cast<LANGID>((sub << 10) | primary);
}
constexpr WORD PRIMARYLANGID(LANGID lang) {
  return lang & 0x3FF;
}

// User interface.
inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_ICONERROR = 0x00000010;
inline constexpr UINT MB_ICONWARNING = 0x00000030;
inline constexpr int IDOK = 1;

}  // namespace plat
