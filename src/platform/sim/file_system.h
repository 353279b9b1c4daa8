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
};

// shell32 as LoadLibraryW hands it out, and its export SHCreateDirectory (ordinal 165).
inline constexpr std::uintptr_t kShell32Base = 0x7C800000;
bool IsShell32(std::uintptr_t base);
// The address GetProcAddress gives for shell32's export, or null.
plat::FARPROC Shell32Export(const char* procName);

}  // namespace sim
