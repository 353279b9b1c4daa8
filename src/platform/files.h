// Files and folders, the temporary folder, file version information and the shell's path helpers.
//
// Paths are Windows paths: drive ("C:\...") or UNC ("\\server\share\..."), compared without regard
// to case. A path of MAX_PATH (260) characters or more fails with ERROR_FILENAME_EXCED_RANGE
// unless it carries the extended-length prefix "\\?\" or "\\?\UNC\" (Wine accepts it; the sim
// refuses it as Windows does).
#pragma once

#include <cstdint>

#include "platform/clock.h"
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
inline constexpr DWORD ERROR_BAD_LENGTH = 24;
inline constexpr DWORD ERROR_NEGATIVE_SEEK = 131;

// Access rights, sharing modes and dispositions of CreateFileW.
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FILE_READ_DATA = 0x0001;
inline constexpr DWORD FILE_WRITE_DATA = 0x0002;
inline constexpr DWORD FILE_APPEND_DATA = 0x0004;
inline constexpr DWORD FILE_READ_ATTRIBUTES = 0x0080;
inline constexpr DWORD FILE_WRITE_ATTRIBUTES = 0x0100;
inline constexpr DWORD DELETE = 0x00010000;
inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD FILE_SHARE_DELETE = 0x4;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;

inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;
inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;

inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD MOVEFILE_DELAY_UNTIL_REBOOT = 0x4;

// GetFileInformationByHandleEx / SetFileInformationByHandle: the basic record (40 bytes). Times
// are FILETIME values as 64-bit numbers.
inline constexpr int FileBasicInfo = 0;
struct FILE_BASIC_INFO {
  std::int64_t CreationTime;
  std::int64_t LastAccessTime;
  std::int64_t LastWriteTime;
  std::int64_t ChangeTime;
  DWORD FileAttributes;
};
static_assert(sizeof(FILE_BASIC_INFO) == 40);

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

  // --- Handles and their files ------------------------------------------------------------
  // File handles are closed with Processes::CloseHandle. Two handles on one file coexist only
  // when each one's sharing mode admits the other's access: read (GENERIC_READ, FILE_READ_DATA)
  // needs FILE_SHARE_READ, write (GENERIC_WRITE, FILE_WRITE_DATA, FILE_APPEND_DATA) needs
  // FILE_SHARE_WRITE, DELETE (also renaming) needs FILE_SHARE_DELETE, in both directions and
  // across processes; attribute-only access (FILE_READ_ATTRIBUTES, FILE_WRITE_ATTRIBUTES)
  // conflicts with nothing. A conflict is ERROR_SHARING_VIOLATION (32).

  // Opens or creates a file. disposition: CREATE_NEW (ERROR_FILE_EXISTS if it exists),
  // CREATE_ALWAYS (an existing file is truncated and the last error is ERROR_ALREADY_EXISTS,
  // otherwise 0), OPEN_EXISTING (ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND for a missing
  // folder), OPEN_ALWAYS, TRUNCATE_EXISTING. A new file takes the attribute bits of
  // flagsAndAttributes (FILE_ATTRIBUTE_NORMAL: none) plus FILE_ATTRIBUTE_ARCHIVE. Write access to a
  // read-only file, or any open of a folder, is ERROR_ACCESS_DENIED. INVALID_HANDLE_VALUE on
  // failure; nothing is created or truncated then.
  virtual HANDLE CreateFileW(const WCHAR* path, DWORD desiredAccess, DWORD shareMode,
                             const void* securityAttributes, DWORD disposition,
                             DWORD flagsAndAttributes, HANDLE templateFile) = 0;
  // Moves the position (FILE_BEGIN, FILE_CURRENT, FILE_END) by distance (with *distanceHigh as the
  // high half when given) and returns its low half; INVALID_SET_FILE_POINTER with
  // ERROR_NEGATIVE_SEEK for a position before the start (unchanged then). A position past the end
  // is allowed; writing there fills the gap with zeros.
  virtual DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) = 0;
  // Makes the position the file's end (write access needed: ERROR_ACCESS_DENIED).
  virtual BOOL SetEndOfFile(HANDLE file) = 0;
  // Writes at the position and moves it on; *written (set to 0 first) counts the bytes taken.
  // ERROR_ACCESS_DENIED without write access; ERROR_DISK_FULL (112) when the volume cannot hold
  // the bytes, nothing written then. overlapped must be null.
  virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* written,
                         void* overlapped) = 0;
  // Reads from the position; *read 0 at the end of the file (still TRUE). ERROR_ACCESS_DENIED
  // without read access.
  virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read, void* overlapped) = 0;
  // A handle's times; a null pointer skips that time (SetFileTime: leaves it as it is). Setting
  // needs FILE_WRITE_ATTRIBUTES or GENERIC_WRITE, reading FILE_READ_ATTRIBUTES or GENERIC_READ
  // (ERROR_ACCESS_DENIED).
  virtual BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                           const FILETIME* lastWrite) = 0;
  virtual BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess,
                           FILETIME* lastWrite) = 0;

  // Call GetFileInformationByHandleEx and SetFileInformationByHandle found at run time: function
  // must come from Processes::GetProcAddress(GetModuleHandleW(u"kernel32.dll"), "<its name>")
  // (missing before Windows Vista). Only FileBasicInfo is used: size must be at least
  // sizeof(FILE_BASIC_INFO) (ERROR_BAD_LENGTH). Reading needs FILE_READ_ATTRIBUTES or GENERIC_READ,
  // writing FILE_WRITE_ATTRIBUTES (ERROR_ACCESS_DENIED). When writing, a time of 0 and attributes
  // of 0 leave that item unchanged; FILE_ATTRIBUTE_NORMAL alone clears every attribute.
  virtual BOOL InvokeGetFileInformationByHandleEx(FARPROC function, HANDLE file, int infoClass,
                                                  void* info, DWORD size) = 0;
  virtual BOOL InvokeSetFileInformationByHandle(FARPROC function, HANDLE file, int infoClass,
                                                void* info, DWORD size) = 0;

  // --- By path ------------------------------------------------------------------------------
  // Copies a file's bytes, attributes (FILE_ATTRIBUTE_ARCHIVE added) and last-write time. The
  // source is read with FILE_SHARE_READ; the destination is written without sharing, so any
  // handle open on it makes the copy fail with ERROR_SHARING_VIOLATION. ERROR_FILE_EXISTS when it
  // exists and failIfExists; ERROR_ACCESS_DENIED when it is read-only (Windows; Wine running as
  // root overwrites it) or a folder; ERROR_DISK_FULL when the volume cannot hold the copy, the
  // destination left as it was. A destination that existed keeps its creation time.
  virtual BOOL CopyFileW(const WCHAR* source, const WCHAR* destination, BOOL failIfExists) = 0;
  // Deletes a file: ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED for a
  // read-only file or a folder, ERROR_SHARING_VIOLATION while a handle without FILE_SHARE_DELETE is
  // open on it.
  virtual BOOL DeleteFileW(const WCHAR* path) = 0;
  // Renames a file or folder, also across folders of one volume; its attributes, times and open
  // handles go with it. ERROR_ALREADY_EXISTS when newPath exists, ERROR_FILE_NOT_FOUND /
  // ERROR_PATH_NOT_FOUND for a missing source or target folder, ERROR_SHARING_VIOLATION while a
  // handle without FILE_SHARE_DELETE is open on the source. A read-only file may be renamed.
  virtual BOOL MoveFileW(const WCHAR* existingPath, const WCHAR* newPath) = 0;
  // MoveFileW with flags. MOVEFILE_DELAY_UNTIL_REBOOT only records the operation for the next
  // start of Windows (newPath null: delete existingPath then) in the registry value
  // PendingFileRenameOperations (REG_MULTI_SZ: "\??\<existing>", then "\??\<new>" or "" per
  // entry, appended) under HKLM\System\CurrentControlSet\Control\Session Manager; the file is not
  // looked at. Needs an administrator (ERROR_ACCESS_DENIED). MOVEFILE_REPLACE_EXISTING lets a
  // rename replace a file.
  virtual BOOL MoveFileExW(const WCHAR* existingPath, const WCHAR* newPath, DWORD flags) = 0;
  // Sets a file's or folder's attributes (FILE_ATTRIBUTE_NORMAL: none). ERROR_FILE_NOT_FOUND /
  // ERROR_PATH_NOT_FOUND.
  virtual BOOL SetFileAttributesW(const WCHAR* path, DWORD attributes) = 0;
};

}  // namespace plat
