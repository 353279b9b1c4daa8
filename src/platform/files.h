// Files and folders, the temporary folder, file version information and the shell's path helpers.
//
// Paths are Windows paths: drive ("C:\...") or UNC ("\\server\share\..."), compared without regard
// to case. A path of MAX_PATH (260) characters or more fails with ERROR_FILENAME_EXCED_RANGE
// unless it carries the extended-length prefix "\\?\" or "\\?\UNC\" (Wine accepts it; the sim
// refuses it as Windows does).
#pragma once

#include "platform/types.h"

namespace plat {

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;
inline constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x00000004;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr DWORD FILE_ATTRIBUTE_ENCRYPTED = 0x00004000;

inline constexpr DWORD ERROR_BAD_FORMAT = 11;
inline constexpr DWORD ERROR_BAD_NETPATH = 53;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
inline constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_DIRECTORY = 267;

// An export looked up by ordinal, for GetProcAddress.
inline const char* MakeIntResourceA(WORD ordinal) {
  return reinterpret_cast<const char*>(static_cast<ULONG_PTR>(ordinal));
}

struct VS_FIXEDFILEINFO {
  DWORD dwSignature;  // 0xFEEF04BD
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
};

class Files {
 public:
  virtual ~Files() = default;

  // The attributes of a file or folder; INVALID_FILE_ATTRIBUTES with the reason as the last
  // error (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND) when there is none.
  virtual DWORD GetFileAttributesW(const WCHAR* path) = 0;

  // The temporary folder, with its trailing backslash. Returns the number of characters copied
  // (without the NUL) when buffer holds size characters or more, otherwise the size needed
  // including the NUL and nothing copied. 0 on failure.
  virtual DWORD GetTempPathW(DWORD size, WCHAR* buffer) = 0;

  // Removes an empty folder. FALSE with ERROR_DIR_NOT_EMPTY, ERROR_FILE_NOT_FOUND,
  // ERROR_PATH_NOT_FOUND or ERROR_DIRECTORY (not a folder).
  virtual BOOL RemoveDirectoryW(const WCHAR* path) = 0;

  // The file-name part of path: a pointer into path just after its last separator (backslash,
  // slash or colon) that is followed by something other than a separator; path itself when there
  // is none. So C:\dir\ gives dir\ and "" gives "". Pure; no file access.
  virtual const WCHAR* PathFindFileNameW(const WCHAR* path) = 0;

  // Creates a folder and any missing folders above it, as the shell's SHCreateDirectory does:
  // shCreateDirectory must come from Processes::GetProcAddress(shell32, MakeIntResourceA(165)).
  // Returns ERROR_SUCCESS, ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS, ERROR_PATH_NOT_FOUND,
  // ERROR_BAD_PATHNAME (a relative path) or ERROR_FILENAME_EXCED_RANGE.
  virtual int InvokeSHCreateDirectory(FARPROC shCreateDirectory, HWND owner, const WCHAR* path) = 0;

  // Loads a system library for a look-up by ordinal (shell32 for SHCreateDirectory) and releases
  // it again. Null with the reason as the last error (ERROR_MOD_NOT_FOUND) when it cannot be had.
  virtual HMODULE LoadLibraryW(const WCHAR* fileName) = 0;
  virtual BOOL FreeLibrary(HMODULE module) = 0;

  // File version information: the size of the file's version resource (0 with the reason as the
  // last error when it has none, ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_DATA_NOT_FOUND),
  // a copy of it into data, and a look-up inside such a copy. VerQueryValueW(block, u"\\") gives
  // the VS_FIXEDFILEINFO and its size.
  virtual DWORD GetFileVersionInfoSizeW(const WCHAR* path, DWORD* handle) = 0;
  virtual BOOL GetFileVersionInfoW(const WCHAR* path, DWORD handle, DWORD size, void* data) = 0;
  virtual BOOL VerQueryValueW(const void* block, const WCHAR* subBlock, void** buffer,
                              UINT* length) = 0;
};

}  // namespace plat
