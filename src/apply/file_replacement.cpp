#include "apply/file_replacement.h"

#include <cstdint>
#include <optional>

#include "common/unique_handle.h"
#include "common/wide_string.h"

namespace glimra {
namespace {

using plat::DWORD;
using plat::HRESULT;

constexpr DWORD kProtective = plat::FILE_ATTRIBUTE_READONLY | plat::FILE_ATTRIBUTE_HIDDEN;
constexpr HRESULT kInUse = plat::HRESULT_FROM_WIN32(plat::ERROR_SHARING_VIOLATION);

HRESULT LastErrorAsHresult(plat::Platform& platform) {
  return plat::HRESULT_FROM_WIN32(platform.processes.GetLastError());
}

// In FILE_BASIC_INFO, attributes of 0 mean "leave them as they are": no attributes at all must be
// written as FILE_ATTRIBUTE_NORMAL, or a file that was only read-only and hidden would stay so.
DWORD NonZero(DWORD attributes) {
  return attributes != 0 ? attributes : plat::FILE_ATTRIBUTE_NORMAL;
}

// The handle-based attribute functions, when kernel32 exports both.
struct BasicInfoFunctions {
  plat::FARPROC get = nullptr;
  plat::FARPROC set = nullptr;
  bool available() const { return get != nullptr && set != nullptr; }
};

BasicInfoFunctions LookUpBasicInfoFunctions(plat::Platform& platform) {
  BasicInfoFunctions functions;
  // No reference is taken: nothing to release.
  plat::HMODULE kernel32 = platform.processes.GetModuleHandleW(u"kernel32.dll");
  if (kernel32 == nullptr) return functions;
  functions.get = platform.processes.GetProcAddress(kernel32, "GetFileInformationByHandleEx");
  functions.set = platform.processes.GetProcAddress(kernel32, "SetFileInformationByHandle");
  return functions;
}

FileHandle OpenForAttributes(plat::Platform& platform, const std::u16string& path) {
  return FileHandle(
      platform.processes,
      platform.files.CreateFileW(path.c_str(), plat::GENERIC_READ | plat::FILE_WRITE_ATTRIBUTES,
                                 plat::FILE_SHARE_READ, /*securityAttributes=*/nullptr,
                                 plat::OPEN_EXISTING, plat::FILE_ATTRIBUTE_NORMAL,
                                 /*templateFile=*/nullptr));
}

// Clears the target's protective bits by handle; its former attributes, when they could be read.
std::optional<DWORD> ClearProtectiveByHandle(plat::Platform& platform,
                                             const BasicInfoFunctions& functions,
                                             const std::u16string& target) {
  FileHandle file = OpenForAttributes(platform, target);
  if (!file) return std::nullopt;
  plat::FILE_BASIC_INFO info{};
  if (!platform.files.InvokeGetFileInformationByHandleEx(functions.get, file.get(),
                                                         plat::FileBasicInfo, &info, sizeof info)) {
    return std::nullopt;
  }
  const DWORD attributes = info.FileAttributes;
  if (attributes & kProtective) {
    info.FileAttributes = NonZero(attributes & ~kProtective);
    platform.files.InvokeSetFileInformationByHandle(functions.set, file.get(), plat::FileBasicInfo,
                                                    &info, sizeof info);
  }
  return attributes;
}

void GiveAttributesByHandle(plat::Platform& platform, const BasicInfoFunctions& functions,
                            const std::u16string& source, DWORD attributes) {
  FileHandle file = OpenForAttributes(platform, source);
  if (!file) return;
  plat::FILE_BASIC_INFO info{};
  if (!platform.files.InvokeGetFileInformationByHandleEx(functions.get, file.get(),
                                                         plat::FileBasicInfo, &info, sizeof info)) {
    return;
  }
  info.FileAttributes = NonZero(attributes & ~plat::FILE_ATTRIBUTE_ENCRYPTED);
  platform.files.InvokeSetFileInformationByHandle(functions.set, file.get(), plat::FileBasicInfo,
                                                  &info, sizeof info);
}

// The attribute step of both operations; source empty for a removal. Outcomes are ignored.
void PrepareAttributes(plat::Platform& platform, const std::u16string& target,
                       const std::u16string* source) {
  const BasicInfoFunctions functions = LookUpBasicInfoFunctions(platform);
  if (functions.available()) {
    const std::optional<DWORD> former = ClearProtectiveByHandle(platform, functions, target);
    if (former && source) GiveAttributesByHandle(platform, functions, *source, *former);
    return;
  }
  const DWORD former = platform.files.GetFileAttributesW(target.c_str());
  if (former == plat::INVALID_FILE_ATTRIBUTES) return;
  if (former & kProtective) {
    platform.files.SetFileAttributesW(target.c_str(), former & ~kProtective);
  }
  if (source) {
    platform.files.SetFileAttributesW(source->c_str(), former & ~plat::FILE_ATTRIBUTE_ENCRYPTED);
  }
}

std::u16string SideNameNow(plat::Platform& platform, const std::u16string& target) {
  return MakeSideName(target, platform.processes.GetCurrentProcessId(),
                      platform.clock.GetTickCount());
}

void ScheduleDeletion(plat::Platform& platform, const std::u16string& path) {
  platform.files.MoveFileExW(path.c_str(), /*newPath=*/nullptr, plat::MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

std::u16string MakeSideName(std::u16string_view target, DWORD processId, DWORD ticks) {
  return FormatWide(u"%s.tmp.%d-%d", {target, static_cast<std::int32_t>(processId),
                                      static_cast<std::int32_t>(ticks)});
}

HRESULT ReplaceTargetFile(plat::Platform& platform, const std::u16string& target,
                          const std::u16string& source) {
  PrepareAttributes(platform, target, &source);
  if (platform.files.CopyFileW(source.c_str(), target.c_str(), /*failIfExists=*/plat::FALSE)) {
    return plat::S_OK;
  }
  const HRESULT copyError = LastErrorAsHresult(platform);
  if (copyError != kInUse) return copyError;

  const std::u16string side = SideNameNow(platform, target);
  if (!platform.files.MoveFileW(target.c_str(), side.c_str())) return LastErrorAsHresult(platform);
  if (platform.files.CopyFileW(source.c_str(), target.c_str(), /*failIfExists=*/plat::FALSE)) {
    // Only now may the old content go: the new copy holds the name.
    ScheduleDeletion(platform, side);
    return plat::S_OK;
  }
  const HRESULT secondError = LastErrorAsHresult(platform);
  // Back under its name if possible; either way nothing is scheduled, so no restart deletes the
  // only copy of the file.
  platform.files.MoveFileW(side.c_str(), target.c_str());
  return secondError;
}

HRESULT RemoveTargetFile(plat::Platform& platform, const std::u16string& target) {
  PrepareAttributes(platform, target, /*source=*/nullptr);
  if (platform.files.DeleteFileW(target.c_str())) return plat::S_OK;
  const HRESULT deleteError = LastErrorAsHresult(platform);
  if (deleteError != kInUse) return deleteError;

  const std::u16string side = SideNameNow(platform, target);
  if (!platform.files.MoveFileW(target.c_str(), side.c_str())) return LastErrorAsHresult(platform);
  ScheduleDeletion(platform, side);
  return plat::S_OK;
}

}  // namespace glimra
