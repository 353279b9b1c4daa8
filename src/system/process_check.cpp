#include "system/process_check.h"

#include <cstring>

#include "common/product_constants.h"
#include "common/unique_handle.h"

namespace glimra {
namespace {

// The entry's name up to its NUL, never past the array even when the NUL is missing.
std::u16string_view ExeFileName(const plat::PROCESSENTRY32W& entry) {
  const std::u16string_view all(entry.szExeFile, plat::MAX_PATH);
  return all.substr(0, all.find(u'\0'));
}

}  // namespace

bool IsProcessRunning(plat::Processes& processes, std::u16string_view exeName) {
  const FileHandle snapshot(processes,
                            processes.CreateToolhelp32Snapshot(plat::TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  plat::PROCESSENTRY32W entry;
  std::memset(&entry, 0, sizeof(entry));
  entry.dwSize = sizeof(entry);
  for (plat::BOOL more = processes.Process32FirstW(snapshot.get(), &entry); more;
       more = processes.Process32NextW(snapshot.get(), &entry)) {
    if (ExeFileName(entry) == exeName) return true;
  }
  return false;
}

bool AreProductProgramsRunning(plat::Processes& processes) {
  return IsProcessRunning(processes, kSiblingProgramExe) ||
         IsProcessRunning(processes, kProductMainProgramExe);
}

}  // namespace glimra
