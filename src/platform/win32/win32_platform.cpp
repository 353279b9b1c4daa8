// Thin Win32 implementations: each operation forwards to the call of the same name, converting
// only between the interfaces' types and the SDK's (same sizes and values, different names).
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_files.h"
#include "platform/win32/win32_lz.h"

#include <cstddef>

#include <windows.h>

// Needs <windows.h> first.
#include <tlhelp32.h>

namespace win32 {
namespace {

// The interfaces mirror the SDK's records; a layout difference would corrupt every call.
static_assert(sizeof(plat::PROCESSENTRY32W) == sizeof(::PROCESSENTRY32W));
static_assert(offsetof(plat::PROCESSENTRY32W, szExeFile) == offsetof(::PROCESSENTRY32W, szExeFile));
static_assert(sizeof(plat::SYSTEM_INFO) == sizeof(::SYSTEM_INFO));
static_assert(offsetof(plat::SYSTEM_INFO, dwProcessorType) ==
              offsetof(::SYSTEM_INFO, dwProcessorType));
static_assert(sizeof(plat::OSVERSIONINFOW) == sizeof(::OSVERSIONINFOW));
static_assert(sizeof(plat::SID_AND_ATTRIBUTES) == sizeof(::SID_AND_ATTRIBUTES));
static_assert(offsetof(plat::TOKEN_GROUPS, Groups) == offsetof(::TOKEN_GROUPS, Groups));
static_assert(sizeof(plat::WCHAR) == sizeof(wchar_t));
static_assert(sizeof(plat::DWORD) == sizeof(::DWORD));
static_assert(sizeof(plat::SYSTEMTIME) == sizeof(::SYSTEMTIME));
static_assert(sizeof(plat::FILETIME) == sizeof(::FILETIME));

template <typename To, typename From>
To As(From value) {
  return reinterpret_cast<To>(value);
}

inline const wchar_t* W(const plat::WCHAR* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* W(plat::WCHAR* text) {
  return reinterpret_cast<wchar_t*>(text);
}

class Win32Registry final : public plat::Registry {
 public:
  plat::LONG RegOpenKeyExW(plat::HKEY root, const plat::WCHAR* subKey, plat::DWORD options,
                           plat::REGSAM sam, plat::HKEY* result) override {
    ::HKEY key = nullptr;
    const LONG error = ::RegOpenKeyExW(As<::HKEY>(root), W(subKey), options, sam, &key);
    if (result) *result = As<plat::HKEY>(key);
    return error;
  }

  plat::LONG RegCreateKeyExW(plat::HKEY root, const plat::WCHAR* subKey, plat::DWORD reserved,
                             plat::WCHAR* keyClass, plat::DWORD options, plat::REGSAM sam,
                             const void* securityAttributes, plat::HKEY* result,
                             plat::DWORD* disposition) override {
    ::HKEY key = nullptr;
    ::DWORD created = 0;
    const LONG error =
        ::RegCreateKeyExW(As<::HKEY>(root), W(subKey), reserved, W(keyClass), options, sam,
                          const_cast<LPSECURITY_ATTRIBUTES>(
                              static_cast<const SECURITY_ATTRIBUTES*>(securityAttributes)),
                          &key, disposition ? &created : nullptr);
    if (result) *result = As<plat::HKEY>(key);
    if (disposition) *disposition = created;
    return error;
  }

  plat::LONG RegQueryValueExW(plat::HKEY key, const plat::WCHAR* valueName, plat::DWORD* reserved,
                              plat::DWORD* type, plat::BYTE* data, plat::DWORD* dataSize) override {
    ::DWORD valueType = 0;
    ::DWORD size = dataSize ? *dataSize : 0;
    const LONG error =
        ::RegQueryValueExW(As<::HKEY>(key), W(valueName), As<LPDWORD>(reserved),
                           type ? &valueType : nullptr, data, dataSize ? &size : nullptr);
    if (type) *type = valueType;
    if (dataSize) *dataSize = size;
    return error;
  }

  plat::LONG RegSetValueExW(plat::HKEY key, const plat::WCHAR* valueName, plat::DWORD reserved,
                            plat::DWORD type, const plat::BYTE* data,
                            plat::DWORD dataSize) override {
    return ::RegSetValueExW(As<::HKEY>(key), W(valueName), reserved, type, data, dataSize);
  }

  plat::LONG RegCloseKey(plat::HKEY key) override { return ::RegCloseKey(As<::HKEY>(key)); }
};

class Win32Processes final : public plat::Processes {
 public:
  plat::DWORD GetLastError() override { return ::GetLastError(); }
  void SetLastError(plat::DWORD error) override { ::SetLastError(error); }
  plat::BOOL CloseHandle(plat::HANDLE handle) override { return ::CloseHandle(handle); }

  plat::HANDLE CreateMutexW(const void* securityAttributes, plat::BOOL initialOwner,
                            const plat::WCHAR* name) override {
    return ::CreateMutexW(const_cast<LPSECURITY_ATTRIBUTES>(
                              static_cast<const SECURITY_ATTRIBUTES*>(securityAttributes)),
                          initialOwner, W(name));
  }

  plat::HANDLE GetCurrentProcess() override { return ::GetCurrentProcess(); }
  plat::DWORD GetCurrentProcessId() override { return ::GetCurrentProcessId(); }

  plat::DWORD GetModuleFileNameW(plat::HMODULE module, plat::WCHAR* buffer,
                                 plat::DWORD size) override {
    return ::GetModuleFileNameW(As<::HMODULE>(module), W(buffer), size);
  }

  plat::HMODULE GetModuleHandleW(const plat::WCHAR* moduleName) override {
    return As<plat::HMODULE>(::GetModuleHandleW(W(moduleName)));
  }

  plat::FARPROC GetProcAddress(plat::HMODULE module, const char* procName) override {
    return As<plat::FARPROC>(::GetProcAddress(As<::HMODULE>(module), procName));
  }

  plat::HANDLE CreateToolhelp32Snapshot(plat::DWORD flags, plat::DWORD processId) override {
    return ::CreateToolhelp32Snapshot(flags, processId);
  }
  plat::BOOL Process32FirstW(plat::HANDLE snapshot, plat::PROCESSENTRY32W* entry) override {
    return ::Process32FirstW(snapshot, As<::PROCESSENTRY32W*>(entry));
  }
  plat::BOOL Process32NextW(plat::HANDLE snapshot, plat::PROCESSENTRY32W* entry) override {
    return ::Process32NextW(snapshot, As<::PROCESSENTRY32W*>(entry));
  }
};

class Win32System final : public plat::System {
 public:
  void GetNativeSystemInfo(plat::SYSTEM_INFO* info) override {
    ::GetNativeSystemInfo(As<::SYSTEM_INFO*>(info));
  }
  plat::BOOL GetVersionExW(plat::OSVERSIONINFOW* info) override {
    return ::GetVersionExW(As<::OSVERSIONINFOW*>(info));
  }
  plat::BOOL InvokeIsWow64Process(plat::FARPROC isWow64Process, plat::HANDLE process,
                                  plat::BOOL* result) override {
    using Fn = ::BOOL(WINAPI*)(::HANDLE, ::PBOOL);
    ::BOOL answer = FALSE;
    const ::BOOL ok = As<Fn>(isWow64Process)(process, &answer);
    if (result) *result = answer;
    return ok;
  }
  plat::LANGID GetUserDefaultUILanguage() override { return ::GetUserDefaultUILanguage(); }

  plat::BOOL OpenProcessToken(plat::HANDLE process, plat::DWORD desiredAccess,
                              plat::HANDLE* token) override {
    return ::OpenProcessToken(process, desiredAccess, token);
  }
  plat::BOOL GetTokenInformation(plat::HANDLE token, plat::TOKEN_INFORMATION_CLASS infoClass,
                                 void* info, plat::DWORD infoLength,
                                 plat::DWORD* returnLength) override {
    ::DWORD needed = 0;
    const ::BOOL ok = ::GetTokenInformation(
        token, static_cast<::TOKEN_INFORMATION_CLASS>(infoClass), info, infoLength, &needed);
    if (returnLength) *returnLength = needed;
    return ok;
  }
  plat::BOOL AllocateAndInitializeSid(const plat::SID_IDENTIFIER_AUTHORITY* authority,
                                      plat::BYTE count, plat::DWORD sub0, plat::DWORD sub1,
                                      plat::DWORD sub2, plat::DWORD sub3, plat::DWORD sub4,
                                      plat::DWORD sub5, plat::DWORD sub6, plat::DWORD sub7,
                                      plat::PSID* sid) override {
    ::SID_IDENTIFIER_AUTHORITY copy;
    for (int i = 0; i < 6; ++i) copy.Value[i] = authority->Value[i];
    return ::AllocateAndInitializeSid(&copy, count, sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7,
                                      sid);
  }
  plat::BOOL EqualSid(plat::PSID a, plat::PSID b) override { return ::EqualSid(a, b); }
  void* FreeSid(plat::PSID sid) override { return ::FreeSid(sid); }

  plat::HGLOBAL GlobalAlloc(plat::UINT flags, plat::SIZE_T bytes) override {
    return ::GlobalAlloc(flags, bytes);
  }
  void* GlobalLock(plat::HGLOBAL memory) override { return ::GlobalLock(memory); }
  plat::BOOL GlobalUnlock(plat::HGLOBAL memory) override { return ::GlobalUnlock(memory); }
  plat::HGLOBAL GlobalFree(plat::HGLOBAL memory) override { return ::GlobalFree(memory); }
};

class Win32Resources final : public plat::Resources {
 public:
  plat::HRSRC FindResourceExW(plat::HMODULE module, const plat::WCHAR* type,
                              const plat::WCHAR* name, plat::WORD language) override {
    return As<plat::HRSRC>(::FindResourceExW(As<::HMODULE>(module), W(type), W(name), language));
  }
  plat::HRSRC FindResourceW(plat::HMODULE module, const plat::WCHAR* name,
                            const plat::WCHAR* type) override {
    return As<plat::HRSRC>(::FindResourceW(As<::HMODULE>(module), W(name), W(type)));
  }
  plat::DWORD SizeofResource(plat::HMODULE module, plat::HRSRC resource) override {
    return ::SizeofResource(As<::HMODULE>(module), As<::HRSRC>(resource));
  }
  plat::HGLOBAL LoadResource(plat::HMODULE module, plat::HRSRC resource) override {
    return ::LoadResource(As<::HMODULE>(module), As<::HRSRC>(resource));
  }
  const void* LockResource(plat::HGLOBAL loaded) override { return ::LockResource(loaded); }
};

class Win32Ui final : public plat::Ui {
 public:
  int MessageBoxW(plat::HWND owner, const plat::WCHAR* text, const plat::WCHAR* caption,
                  plat::UINT type) override {
    return ::MessageBoxW(As<::HWND>(owner), W(text), W(caption), type);
  }
};

class Win32Clock final : public plat::Clock {
 public:
  plat::DWORD GetTickCount() override { return ::GetTickCount(); }
  plat::BOOL SystemTimeToFileTime(const plat::SYSTEMTIME* systemTime,
                                  plat::FILETIME* fileTime) override {
    return ::SystemTimeToFileTime(As<const ::SYSTEMTIME*>(systemTime), As<::FILETIME*>(fileTime));
  }
};

}  // namespace

plat::Platform& SystemPlatform() {
  static Win32Registry registry;
  static Win32Processes processes;
  static Win32System system;
  static Win32Resources resources;
  static Win32Ui ui;
  static Win32Clock clock;
  static plat::Platform platform{registry, processes, system,        resources,
                                 ui,       clock,     SystemFiles(), SystemLz()};
  return platform;
}

}  // namespace win32
