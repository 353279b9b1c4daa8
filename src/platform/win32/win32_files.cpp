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
static_assert(sizeof(plat::FILE_BASIC_INFO) == sizeof(::FILE_BASIC_INFO));
static_assert(offsetof(plat::FILE_BASIC_INFO, FileAttributes) ==
              offsetof(::FILE_BASIC_INFO, FileAttributes));
static_assert(sizeof(plat::FILETIME) == sizeof(::FILETIME));
static_assert(plat::FileBasicInfo == ::FileBasicInfo);

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

  plat::HANDLE CreateFileW(const plat::WCHAR* path, plat::DWORD desiredAccess,
                           plat::DWORD shareMode, const void* securityAttributes,
                           plat::DWORD disposition, plat::DWORD flagsAndAttributes,
                           plat::HANDLE templateFile) override {
    return ::CreateFileW(W(path), desiredAccess, shareMode,
                         const_cast<LPSECURITY_ATTRIBUTES>(
                             static_cast<const SECURITY_ATTRIBUTES*>(securityAttributes)),
                         disposition, flagsAndAttributes, templateFile);
  }

  plat::DWORD SetFilePointer(plat::HANDLE file, plat::LONG distance, plat::LONG* distanceHigh,
                             plat::DWORD method) override {
    ::LONG high = distanceHigh ? *distanceHigh : 0;
    const ::DWORD low = ::SetFilePointer(file, distance, distanceHigh ? &high : nullptr, method);
    if (distanceHigh) *distanceHigh = high;
    return low;
  }

  plat::BOOL SetEndOfFile(plat::HANDLE file) override { return ::SetEndOfFile(file); }

  plat::BOOL WriteFile(plat::HANDLE file, const void* buffer, plat::DWORD size,
                       plat::DWORD* written, void* overlapped) override {
    ::DWORD count = 0;
    const ::BOOL ok =
        ::WriteFile(file, buffer, size, &count, static_cast<LPOVERLAPPED>(overlapped));
    if (written) *written = count;
    return ok;
  }

  plat::BOOL ReadFile(plat::HANDLE file, void* buffer, plat::DWORD size, plat::DWORD* read,
                      void* overlapped) override {
    ::DWORD count = 0;
    const ::BOOL ok = ::ReadFile(file, buffer, size, &count, static_cast<LPOVERLAPPED>(overlapped));
    if (read) *read = count;
    return ok;
  }

  plat::BOOL SetFileTime(plat::HANDLE file, const plat::FILETIME* creation,
                         const plat::FILETIME* lastAccess,
                         const plat::FILETIME* lastWrite) override {
    return ::SetFileTime(file, reinterpret_cast<const ::FILETIME*>(creation),
                         reinterpret_cast<const ::FILETIME*>(lastAccess),
                         reinterpret_cast<const ::FILETIME*>(lastWrite));
  }

  plat::BOOL GetFileTime(plat::HANDLE file, plat::FILETIME* creation, plat::FILETIME* lastAccess,
                         plat::FILETIME* lastWrite) override {
    return ::GetFileTime(file, reinterpret_cast<::FILETIME*>(creation),
                         reinterpret_cast<::FILETIME*>(lastAccess),
                         reinterpret_cast<::FILETIME*>(lastWrite));
  }

  plat::BOOL InvokeGetFileInformationByHandleEx(plat::FARPROC function, plat::HANDLE file,
                                                int infoClass, void* info,
                                                plat::DWORD size) override {
    using Fn = ::BOOL(WINAPI*)(::HANDLE, int, LPVOID, ::DWORD);
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(function))(file, infoClass, info, size);
  }

  plat::BOOL InvokeSetFileInformationByHandle(plat::FARPROC function, plat::HANDLE file,
                                              int infoClass, void* info,
                                              plat::DWORD size) override {
    using Fn = ::BOOL(WINAPI*)(::HANDLE, int, LPVOID, ::DWORD);
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(function))(file, infoClass, info, size);
  }

  plat::BOOL CopyFileW(const plat::WCHAR* source, const plat::WCHAR* destination,
                       plat::BOOL failIfExists) override {
    return ::CopyFileW(W(source), W(destination), failIfExists);
  }
  plat::BOOL DeleteFileW(const plat::WCHAR* path) override { return ::DeleteFileW(W(path)); }
  plat::BOOL MoveFileW(const plat::WCHAR* existingPath, const plat::WCHAR* newPath) override {
    return ::MoveFileW(W(existingPath), W(newPath));
  }
  plat::BOOL MoveFileExW(const plat::WCHAR* existingPath, const plat::WCHAR* newPath,
                         plat::DWORD flags) override {
    return ::MoveFileExW(W(existingPath), W(newPath), flags);
  }
  plat::BOOL SetFileAttributesW(const plat::WCHAR* path, plat::DWORD attributes) override {
    return ::SetFileAttributesW(W(path), attributes);
  }
};

}  // namespace

plat::Files& SystemFiles() {
  static Win32Files files;
  return files;
}

}  // namespace win32
