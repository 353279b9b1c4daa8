#include "apply/temp_workspace.h"

#include <cstddef>
#include <vector>

#include "common/wide_string.h"
#include "versions/file_version.h"

namespace glimra {
namespace {

constexpr std::u16string_view kLongPrefix = uR"(\\?\)";
constexpr std::u16string_view kLongUncPrefix = uR"(\\?\UNC)";
constexpr plat::WORD kShCreateDirectoryOrdinal = 165;

// The temporary folder as GetTempPathW reports it; empty when it reports nothing usable.
std::u16string QueryTempPath(plat::Files& files) {
  const plat::DWORD needed = files.GetTempPathW(0, nullptr);
  if (needed == 0) return {};
  std::vector<plat::WCHAR> buffer(std::size_t{needed} + 1, u'\0');
  const plat::DWORD length = files.GetTempPathW(needed + 1, buffer.data());
  // A folder that grew between the two calls reports a size instead of a copy: nothing to use.
  if (length == 0 || length >= buffer.size()) return {};
  return std::u16string(buffer.data(), length);
}

}  // namespace

std::u16string ToLongPath(std::u16string_view path) {
  if (path.size() < 4) return std::u16string(path);
  if (path.starts_with(kLongPrefix)) return std::u16string(path);
  if (path.size() < plat::MAX_PATH) return std::u16string(path);
  std::u16string result;
  if (path[0] == u'\\' && path[1] == u'\\') {
    result.reserve(kLongUncPrefix.size() + path.size() - 1);
    result.append(kLongUncPrefix).append(path.substr(1));
  } else {
    result.reserve(kLongPrefix.size() + path.size());
    result.append(kLongPrefix).append(path);
  }
  return result;
}

std::u16string MakeWorkspaceBaseName(plat::Platform& platform) {
  plat::Files& files = platform.files;
  std::u16string modulePath;
  GetOwnModulePath(platform.processes, modulePath);
  const plat::WCHAR* name = files.PathFindFileNameW(modulePath.c_str());
  if (name != nullptr && *name != u'\0') return std::u16string(name);
  return FormatWide(u"%x.%08x",
                    {platform.processes.GetCurrentProcessId(), platform.clock.GetTickCount()});
}

std::u16string CreateTempWorkspace(plat::Platform& platform, std::u16string_view baseName) {
  plat::Files& files = platform.files;
  std::u16string path = QueryTempPath(files);
  if (path.empty()) return path;
  if (path.back() != u'\\') path.push_back(u'\\');
  path.append(baseName).append(u".tmp\\");

  // shell32 is looked up by name first; a process that has not loaded it yet loads it for the call.
  plat::HMODULE shell32 = platform.processes.GetModuleHandleW(u"shell32.dll");
  plat::HMODULE loaded = nullptr;
  if (shell32 == nullptr) shell32 = loaded = files.LoadLibraryW(u"shell32.dll");
  if (shell32 != nullptr) {
    const plat::FARPROC shCreateDirectory = platform.processes.GetProcAddress(
        shell32, plat::MakeIntResourceA(kShCreateDirectoryOrdinal));
    if (shCreateDirectory != nullptr) {
      files.InvokeSHCreateDirectory(shCreateDirectory, /*owner=*/nullptr, path.c_str());
    }
  }
  if (loaded != nullptr) files.FreeLibrary(loaded);
  return path;
}

}  // namespace glimra
