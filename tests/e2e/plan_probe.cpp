// Prints the patch plan that the program would build on this machine, without doing anything else:
// the same plan builder over the same Win32 platform as GlimraUpdate.exe. UTF-8 output:
//
//   result=<the builder's result>
//   <resourceId> <target's file version> <payload's version> <target path>
//
// one line per plan item in plan order; a version that cannot be read (the help file has none)
// is "-". The file version is read from the item's own target path, so a long path is read
// through its extended-length form as the program would.
#include <cstddef>
#include <new>
#include <optional>
#include <string>

#include "plan/patch_catalogue.h"
#include "plan/plan_builder.h"
#include "platform/win32/win32_platform.h"
#include "versions/file_version.h"

// After the program's headers: windows.h defines macros of the same names as their constants.
#include "e2e_tool.h"

namespace {

std::wstring VersionText(const std::optional<glimra::FileVersion>& version) {
  if (!version) return L"-";
  return std::to_wstring(version->major) + L"." + std::to_wstring(version->minor) + L"." +
         std::to_wstring(version->build) + L"." + std::to_wstring(version->revision);
}

// The payload version of the catalogue row with this resource id.
std::optional<glimra::FileVersion> PayloadVersionOf(std::int32_t resourceId) {
  const auto& catalogue = glimra::PatchCatalogue();
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    if (catalogue[i].resourceId == resourceId) return glimra::PayloadVersion(i);
  }
  return std::nullopt;
}

std::wstring Wide(const std::u16string& text) {
  return std::wstring(text.begin(), text.end());
}

}  // namespace

int wmain() {
  try {
    plat::Platform& platform = win32::SystemPlatform();
    glimra::PatchFolderTable folders = glimra::MakePatchFolderTable();
    glimra::PatchPlan plan;
    const int result = glimra::BuildPatchPlan(platform, folders, plan);
    std::wstring report = L"result=" + std::to_wstring(result) + L"\n";
    for (const auto& item : plan) {
      glimra::FileVersion version;
      std::optional<glimra::FileVersion> current;
      if (glimra::ReadFixedFileVersion(platform.files, item.target, version)) current = version;
      report += std::to_wstring(item.resourceId) + L" " + VersionText(current) + L" " +
                VersionText(PayloadVersionOf(item.resourceId)) + L" " + Wide(item.target) + L"\n";
    }
    e2e::Out(report);
    return 0;
  } catch (const std::bad_alloc&) {
    e2e::Err(L"plan probe: out of memory\n");
    return 3;
  }
}
