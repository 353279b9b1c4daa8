// The simulated machine's file system: volumes (drive letters and UNC shares), folders and files
// with attributes, Windows path rules and the temporary folder. Part of sim::Machine's state; the
// operations are sim::Machine's plat::Files members (file_system.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace sim {

struct FsNode {
  std::u16string name;  // as created
  bool directory = false;
  plat::DWORD attributes = 0;  // without FILE_ATTRIBUTE_DIRECTORY
  std::vector<std::uint8_t> data;
  std::map<std::u16string, std::unique_ptr<FsNode>> children;  // by folded name
  // FILETIME values.
  std::uint64_t creationTime = 0;
  std::uint64_t lastAccessTime = 0;
  std::uint64_t lastWriteTime = 0;
};

// A file kept open by another process (set-up), with that open's access and sharing mode. A
// program's loaded image may in addition not be deleted (ERROR_ACCESS_DENIED), though renamed.
struct FileHold {
  plat::DWORD processId;
  FsNode* node;
  plat::DWORD access;
  plat::DWORD share;
  bool image = false;
};

// A path taken apart: its volume ("C:" or "\\SERVER\SHARE", folded) and its components.
struct FsPath {
  std::u16string volume;
  std::vector<std::u16string> parts;
  bool extended = false;
};

// Takes a path apart as the Win32 file functions do. Without "\\?\": '/' counts as '\', empty and
// "." components are dropped, ".." removes the one before it, trailing dots and spaces of a
// component are cut, and a path of MAX_PATH characters or more fails with
// ERROR_FILENAME_EXCED_RANGE unless lengthLimit is false. With "\\?\" (or "\\?\UNC\"): only '\'
// separates, and an empty (other than a final one), "." or ".." component is ERROR_INVALID_NAME.
// A relative path gives ERROR_BAD_PATHNAME, an empty one ERROR_PATH_NOT_FOUND.
std::optional<FsPath> ParseFsPath(std::u16string_view path, bool lengthLimit, plat::DWORD* error);

struct FileSystemState {
  FileSystemState();                                          // drive C: and the temporary folder
  std::map<std::u16string, std::unique_ptr<FsNode>> volumes;  // by folded volume
  std::u16string tempPath = uR"(C:\Users\user\AppData\Local\Temp\)";
  // Version blocks filled by GetFileVersionInfoW and the bytes copied into each, so VerQueryValueW
  // never reads past what it was given.
  std::map<const void*, std::size_t> versionBlocks;
  int shell32References = 0;

  // Handles of other processes (set-up), and files that lost their name while open.
  std::vector<FileHold> holds;
  std::vector<std::unique_ptr<FsNode>> orphans;
  // Bytes all volumes may hold together; none: no limit.
  std::optional<std::uint64_t> capacity;
  // The next WriteFile takes at most this many bytes and still succeeds (a fault for tests).
  std::optional<std::uint32_t> shortWrite;
  // The time new and written files get, as a FILETIME value: 2026-01-05 09:30 UTC.
  std::uint64_t now = 134120790000000000ull;
};

// Where a parsed path leads: the node (null when missing), the folder holding it, and the error
// Windows gives for the first missing piece (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
// ERROR_BAD_NETPATH).
struct FsLookup {
  FsNode* node = nullptr;
  FsNode* parent = nullptr;
  plat::DWORD error = plat::ERROR_SUCCESS;
};
FsLookup FindFsNode(FileSystemState& fs, const FsPath& path);

// shell32 as LoadLibraryW hands it out, and its export SHCreateDirectory (ordinal 165).
inline constexpr std::uintptr_t kShell32Base = 0x7C800000;
bool IsShell32(std::uintptr_t base);
// The address GetProcAddress gives for shell32's export, or null.
plat::FARPROC Shell32Export(const char* procName);

}  // namespace sim
