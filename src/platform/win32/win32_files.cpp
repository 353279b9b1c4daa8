// Thin Win32 implementations of plat::Files: each operation forwards to the call of its name.
#include "platform/win32/win32_files.h"

#include <cstddef>

#include <windows.h>

// Need <windows.h> first.
#include <shlwapi.h>
#include <winver.h>

namespace win32 {
namespace {

static_assert(sizeof(plat::VS_FIXEDFILEINFO) == sizeof(::VS_FIXEDFILEINFO));
static_assert(offsetof(plat::VS_FIXEDFILEINFO, dwFileVersionLS) ==
              offsetof(::VS_FIXEDFILEINFO, dwFileVersionLS));

inline const wchar_t* W(const plat::WCHAR* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* W(plat::WCHAR* text) {
  return reinterpret_cast<wchar_t*>(text);
}

// int SHCreateDirectory(HWND, PCWSTR), exported by shell32 under ordinal 165 only on old systems.
using ShCreateDirectoryFn = int(WINAPI*)(HWND, LPCWSTR);

class Win32Files final : public plat::Files {
 public:
  plat::DWORD GetFileAttributesW(const plat::WCHAR* path) override {
    return ::GetFileAttributesW(W(path));
  }

  plat::DWORD GetTempPathW(plat::DWORD size, plat::WCHAR* buffer) override {
    return ::GetTempPathW(size, W(buffer));
  }

  plat::BOOL RemoveDirectoryW(const plat::WCHAR* path) override {
    return ::RemoveDirectoryW(W(path));
  }

  const plat::WCHAR* PathFindFileNameW(const plat::WCHAR* path) override {
    return reinterpret_cast<const plat::WCHAR*>(::PathFindFileNameW(W(path)));
  }

  int InvokeSHCreateDirectory(plat::FARPROC shCreateDirectory, plat::HWND owner,
                              const plat::WCHAR* path) override {
    const auto function =
        reinterpret_cast<ShCreateDirectoryFn>(reinterpret_cast<void*>(shCreateDirectory));
    return function(reinterpret_cast<HWND>(owner), W(path));
  }

  plat::HMODULE LoadLibraryW(const plat::WCHAR* fileName) override {
    return reinterpret_cast<plat::HMODULE>(::LoadLibraryW(W(fileName)));
  }

  plat::BOOL FreeLibrary(plat::HMODULE module) override {
    return ::FreeLibrary(reinterpret_cast<HMODULE>(module));
  }

  plat::DWORD GetFileVersionInfoSizeW(const plat::WCHAR* path, plat::DWORD* handle) override {
    ::DWORD zero = 0;
    const ::DWORD size = ::GetFileVersionInfoSizeW(W(path), &zero);
    if (handle) *handle = zero;
    return size;
  }

  plat::BOOL GetFileVersionInfoW(const plat::WCHAR* path, plat::DWORD handle, plat::DWORD size,
                                 void* data) override {
    return ::GetFileVersionInfoW(W(path), handle, size, data);
  }

  plat::BOOL VerQueryValueW(const void* block, const plat::WCHAR* subBlock, void** buffer,
                            plat::UINT* length) override {
    ::UINT got = 0;
    const BOOL ok = ::VerQueryValueW(block, W(subBlock), buffer, length ? &got : nullptr);
    if (length) *length = got;
    return ok;
  }
};

}  // namespace

plat::Files& SystemFiles() {
  static Win32Files files;
  return files;
}

}  // namespace win32
