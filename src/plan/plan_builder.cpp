#include "plan/plan_builder.h"

#include <cstring>
#include <memory>
#include <new>

#include "apply/temp_workspace.h"
#include "common/product_constants.h"
#include "common/wide_string.h"
#include "system/os_checks.h"
#include "system/reg_key.h"
#include "versions/installed_product.h"

namespace glimra {
namespace {

constexpr const plat::WCHAR* kApplicationDirValue = u"ApplicationDir";
constexpr const plat::WCHAR* kVideoEditLibPathValue = u"VideoEditLibPath";

// One value of the product's App key, read with a key of its own; empty when it cannot be read.
std::u16string ReadAppFolder(plat::Platform& platform, const plat::WCHAR* valueName) {
  std::u16string text;
  CRegKeyEx key(platform.registry);
  if (OpenForRead(platform.system, key, kProductAppKey) ==
      static_cast<plat::LONG>(plat::ERROR_SUCCESS)) {
    key.QueryStringValue(valueName, text);  // a missing value leaves the text empty
    key.Close();
  }
  return text;
}

bool Exists(plat::Files& files, const std::u16string& path) {
  const plat::DWORD attributes = files.GetFileAttributesW(path.c_str());
  return attributes != plat::INVALID_FILE_ATTRIBUTES &&
         (attributes & plat::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Within(const FileVersion& v, const FileVersion& low, const FileVersion& high) {
  auto key = [](const FileVersion& x) {
    return std::uint64_t{x.major} << 48 | std::uint64_t{x.minor} << 32 |
           std::uint64_t{x.build} << 16 | std::uint64_t{x.revision};
  };
  return key(low) <= key(v) && key(v) <= key(high);
}

}  // namespace

std::u16string MakeHelpFolderPath(std::u16string_view videoEditLibPath) {
  return ReplaceSubstrings(videoEditLibPath, u"RerIvor", u"Help");
}

bool ReadFixedFileVersion(plat::Files& files, const std::u16string& path, FileVersion& version) {
  if (path.empty()) return false;
  const plat::DWORD attributes = files.GetFileAttributesW(path.c_str());
  if (attributes == plat::INVALID_FILE_ATTRIBUTES ||
      (attributes & plat::FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  plat::DWORD handle = 0;
  const plat::DWORD size = files.GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return false;
  // A size the machine cannot hold is a failure of this file, not of the program.
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[size]);
  if (!block) return false;
  if (!files.GetFileVersionInfoW(path.c_str(), 0, size, block.get())) return false;

  void* fixed = nullptr;
  plat::UINT length = 0;
  if (!files.VerQueryValueW(block.get(), u"\\", &fixed, &length) || fixed == nullptr ||
      length < sizeof(plat::VS_FIXEDFILEINFO)) {
    return false;
  }
  plat::VS_FIXEDFILEINFO info;
  std::memcpy(&info, fixed, sizeof info);
  version.major = static_cast<plat::WORD>(info.dwFileVersionMS >> 16);
  version.minor = static_cast<plat::WORD>(info.dwFileVersionMS & 0xFFFF);
  version.build = static_cast<plat::WORD>(info.dwFileVersionLS >> 16);
  version.revision = static_cast<plat::WORD>(info.dwFileVersionLS & 0xFFFF);
  return true;
}

int CollectPatchEntries(plat::Platform& platform, const PatchFolderTable& folders,
                        PatchPlan& plan) {
  plat::Files& files = platform.files;
  const bool is64Bit = IsNative64BitSystem(platform.system);
  const std::u16string installedVersion = ReadInstalledVersion(platform);
  bool found = false;
  int added = 0;

  for (const PatchEntry& row : PatchCatalogue()) {
    if ((is64Bit ? row.forX64 : row.forX86) == 0) continue;

    std::u16string folder;
    for (const PatchFolder& candidate : folders) {
      if (!folder.empty()) break;
      if (candidate.folderId != row.folderId) continue;
      if ((is64Bit ? candidate.forX64 : candidate.forX86) == 0) continue;
      folder = candidate.path;
      if (!folder.empty() && folder.back() != u'\\') folder.push_back(u'\\');
    }
    // Without a folder the target would be a bare name, relative to whatever the current folder is.
    if (folder.empty()) continue;

    std::u16string targetPath = ToLongPath(folder + row.target);
    bool qualifies = false;
    if (Exists(files, targetPath)) {
      found = true;
      if (row.checkFileVersion != 0) {
        FileVersion fileVersion;
        if (!ReadFixedFileVersion(files, targetPath, fileVersion)) continue;
        qualifies = Within(fileVersion, row.minVersion, row.maxVersion);
      } else {
        qualifies = IsVersionAtLeast(installedVersion, row.minVersion) &&
                    IsVersionAtMost(installedVersion, row.maxVersion);
      }
    } else {
      qualifies = row.resourceId < 0;
    }
    if (!qualifies) continue;

    PatchEntry item = row;
    item.target = std::move(targetPath);
    plan.push_back(std::move(item));
    ++added;
  }
  return found ? added : -1;
}

int BuildPatchPlan(plat::Platform& platform, PatchFolderTable& folders, PatchPlan& plan) {
  plan.clear();
  plan.shrink_to_fit();
  const std::u16string applicationDir = ReadAppFolder(platform, kApplicationDirValue);
  const std::u16string videoEditLibPath = ReadAppFolder(platform, kVideoEditLibPathValue);
  const std::u16string helpFolder = MakeHelpFolderPath(videoEditLibPath);
  if (applicationDir.empty() || helpFolder.empty() || videoEditLibPath.empty()) return -1;

  for (PatchFolder& folder : folders) {
    const std::u16string* base = &helpFolder;
    if (folder.folderId == kApplicationFolderId) base = &applicationDir;
    if (folder.folderId == kVideoEditLibFolderId) base = &videoEditLibPath;
    folder.path.insert(0, *base);
  }
  return CollectPatchEntries(platform, folders, plan);
}

}  // namespace glimra
