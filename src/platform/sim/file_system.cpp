// The simulated machine's files: path rules, folders and files, the temporary folder, shell32's
// SHCreateDirectory and the version information of PE files.
#include "platform/sim/file_system.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/sim/machine.h"
#include "platform/sim/pe_image.h"
#include "platform/sim/state.h"

namespace sim {
namespace {

using plat::BOOL;
using plat::WCHAR;

constexpr std::uintptr_t kShCreateDirectoryAddress = kShell32Base + 0x1650;
constexpr WORD kShCreateDirectoryOrdinal = 165;
constexpr WORD kVersionResourceName = 1;  // VS_VERSION_INFO

bool IsSeparator(char16_t c, bool extended) {
  return c == u'\\' || (!extended && c == u'/');
}

bool IsDriveLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

std::optional<FsPath> Fail(plat::DWORD* error, plat::DWORD code) {
  if (error) *error = code;
  return std::nullopt;
}

// Splits rest into components by the rules of the path's form.
bool SplitComponents(std::u16string_view rest, bool extended, std::vector<std::u16string>& parts) {
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end], extended)) ++end;
    std::u16string part(rest.substr(start, end - start));
    const bool last = end >= rest.size();
    if (extended) {
      if (part.empty()) {
        if (!last) return false;  // "a\\b" names an empty component
      } else if (part == u"." || part == u"..") {
        return false;
      } else {
        parts.push_back(std::move(part));
      }
    } else {
      while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) {
        if (part == u"." || part == u"..") break;
        part.pop_back();
      }
      if (part == u"..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != u".") {
        parts.push_back(std::move(part));
      }
    }
    start = end + 1;
  }
  return true;
}

std::u16string Narrowed(std::u16string_view text) {
  return std::u16string(text);
}

}  // namespace

std::optional<FsPath> ParseFsPath(std::u16string_view path, bool lengthLimit, plat::DWORD* error) {
  if (path.empty()) return Fail(error, plat::ERROR_PATH_NOT_FOUND);
  FsPath parsed;
  std::u16string_view rest;
  if (path.starts_with(uR"(\\?\)")) {
    parsed.extended = true;
    const std::u16string_view body = path.substr(4);
    if (body.size() >= 4 && EqualNoCase(body.substr(0, 4), uR"(UNC\)")) {
      const std::u16string_view unc = body.substr(4);
      const std::size_t serverEnd = unc.find(u'\\');
      if (serverEnd == 0 || serverEnd == std::u16string_view::npos) {
        return Fail(error, plat::ERROR_INVALID_NAME);
      }
      const std::size_t shareEnd = std::min(unc.find(u'\\', serverEnd + 1), unc.size());
      if (shareEnd == serverEnd + 1) return Fail(error, plat::ERROR_INVALID_NAME);
      parsed.volume = Fold(uR"(\\)" + Narrowed(unc.substr(0, shareEnd)));
      rest = shareEnd < unc.size() ? unc.substr(shareEnd + 1) : std::u16string_view();
    } else if (body.size() >= 2 && IsDriveLetter(body[0]) && body[1] == u':' &&
               (body.size() == 2 || body[2] == u'\\')) {
      parsed.volume = Fold(body.substr(0, 2));
      rest = body.size() > 3 ? body.substr(3) : std::u16string_view();
    } else {
      return Fail(error, plat::ERROR_INVALID_NAME);
    }
  } else {
    if (lengthLimit && path.size() >= plat::MAX_PATH) {
      return Fail(error, plat::ERROR_FILENAME_EXCED_RANGE);
    }
    if (path.size() >= 2 && IsSeparator(path[0], false) && IsSeparator(path[1], false)) {
      const std::u16string_view unc = path.substr(2);
      std::size_t serverEnd = 0;
      while (serverEnd < unc.size() && !IsSeparator(unc[serverEnd], false)) ++serverEnd;
      std::size_t shareEnd = serverEnd + 1;
      while (shareEnd < unc.size() && !IsSeparator(unc[shareEnd], false)) ++shareEnd;
      if (serverEnd == 0 || serverEnd >= unc.size() || shareEnd == serverEnd + 1) {
        return Fail(error, plat::ERROR_BAD_PATHNAME);
      }
      std::u16string volume = uR"(\\)" + Narrowed(unc.substr(0, shareEnd));
      std::replace(volume.begin(), volume.end(), u'/', u'\\');
      parsed.volume = Fold(volume);
      rest = shareEnd < unc.size() ? unc.substr(shareEnd + 1) : std::u16string_view();
    } else if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == u':' &&
               IsSeparator(path[2], false)) {
      parsed.volume = Fold(path.substr(0, 2));
      rest = path.substr(3);
    } else {
      // Relative to the current folder or drive: the program never means one.
      return Fail(error, plat::ERROR_BAD_PATHNAME);
    }
  }
  if (!SplitComponents(rest, parsed.extended, parsed.parts)) {
    return Fail(error, plat::ERROR_INVALID_NAME);
  }
  return parsed;
}

bool IsShell32(std::uintptr_t base) {
  return base == kShell32Base;
}

plat::FARPROC Shell32Export(const char* procName) {
  if (plat::IsIntResource(reinterpret_cast<const WCHAR*>(procName)) &&
      plat::IntResourceId(reinterpret_cast<const WCHAR*>(procName)) == kShCreateDirectoryOrdinal) {
    return reinterpret_cast<plat::FARPROC>(kShCreateDirectoryAddress);
  }
  return nullptr;
}

namespace {

// Where a path leads: the node, or the error Windows gives for the first missing piece.
struct Lookup {
  FsNode* node = nullptr;
  FsNode* parent = nullptr;  // the folder holding node (null for a volume's root)
  plat::DWORD error = plat::ERROR_SUCCESS;
};

Lookup Find(FileSystemState& fs, const FsPath& path) {
  Lookup result;
  const auto volume = fs.volumes.find(path.volume);
  if (volume == fs.volumes.end()) {
    result.error =
        path.volume.starts_with(u"\\\\") ? plat::ERROR_BAD_NETPATH : plat::ERROR_PATH_NOT_FOUND;
    return result;
  }
  FsNode* node = volume->second.get();
  for (std::size_t i = 0; i < path.parts.size(); ++i) {
    const bool last = i + 1 == path.parts.size();
    if (!node->directory) {
      result.error = plat::ERROR_PATH_NOT_FOUND;
      return result;
    }
    const auto child = node->children.find(Fold(path.parts[i]));
    if (child == node->children.end()) {
      result.error = last ? plat::ERROR_FILE_NOT_FOUND : plat::ERROR_PATH_NOT_FOUND;
      return result;
    }
    result.parent = node;
    node = child->second.get();
  }
  result.node = node;
  return result;
}

FsNode& Volume(FileSystemState& fs, const FsPath& path) {
  auto& volume = fs.volumes[path.volume];
  if (!volume) {
    volume = std::make_unique<FsNode>();
    volume->name = path.volume;
    volume->directory = true;
  }
  return *volume;
}

// Set-up: makes the folders of path (all of them when includeLast), replacing nothing.
FsNode& MakeFolders(FileSystemState& fs, const FsPath& path, bool includeLast) {
  FsNode* node = &Volume(fs, path);
  const std::size_t count = includeLast ? path.parts.size() : path.parts.size() - 1;
  for (std::size_t i = 0; i < count; ++i) {
    auto& child = node->children[Fold(path.parts[i])];
    if (!child) {
      child = std::make_unique<FsNode>();
      child->name = path.parts[i];
      child->directory = true;
    } else if (!child->directory) {
      throw std::invalid_argument("sim::Machine: a file stands where a folder is wanted");
    }
    node = child.get();
  }
  return *node;
}

FsPath SetupPath(const std::u16string& path) {
  plat::DWORD error = 0;
  auto parsed = ParseFsPath(path, /*lengthLimit=*/false, &error);
  if (!parsed) throw std::invalid_argument("sim::Machine: not a full Windows path");
  return *parsed;
}

// The version resource of an image: RT_VERSION, name 1, its first language.
struct VersionResource {
  std::vector<std::uint8_t> bytes;
  plat::DWORD error = plat::ERROR_SUCCESS;
};

VersionResource ReadVersionResource(const FsNode& file) {
  VersionResource result;
  const auto image = PeImage::Parse(file.data);
  if (!image) {
    result.error = plat::ERROR_BAD_EXE_FORMAT;
    return result;
  }
  const auto resources = image->Resources();
  if (!resources) {
    result.error = plat::ERROR_RESOURCE_DATA_NOT_FOUND;
    return result;
  }
  bool typeSeen = false;
  for (const PeResource& resource : *resources) {
    if (!(resource.type == PeResourceKey::Id(plat::RT_VERSION))) continue;
    typeSeen = true;
    if (!(resource.name == PeResourceKey::Id(kVersionResourceName))) continue;
    if (resource.data.empty()) break;
    result.bytes.assign(resource.data.begin(), resource.data.end());
    return result;
  }
  result.error =
      typeSeen ? plat::ERROR_RESOURCE_NAME_NOT_FOUND : plat::ERROR_RESOURCE_TYPE_NOT_FOUND;
  return result;
}

std::uint16_t ReadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

}  // namespace

FileSystemState::FileSystemState() {
  plat::DWORD error = 0;
  const auto temp = ParseFsPath(tempPath, /*lengthLimit=*/false, &error);
  MakeFolders(*this, *temp, /*includeLast=*/true);
}

// --- Set-up and observation ------------------------------------------------------------------

void Machine::AddDirectory(const std::u16string& path, DWORD attributes) {
  std::lock_guard guard(state_->lock);
  FsNode& folder = MakeFolders(state_->files, SetupPath(path), /*includeLast=*/true);
  folder.attributes = attributes & ~plat::FILE_ATTRIBUTE_DIRECTORY;
}

void Machine::AddFile(const std::u16string& path, std::vector<std::uint8_t> bytes,
                      DWORD attributes) {
  std::lock_guard guard(state_->lock);
  const FsPath parsed = SetupPath(path);
  if (parsed.parts.empty()) throw std::invalid_argument("sim::Machine: a file needs a name");
  FsNode& folder = MakeFolders(state_->files, parsed, /*includeLast=*/false);
  auto& file = folder.children[Fold(parsed.parts.back())];
  if (file && file->directory) throw std::invalid_argument("sim::Machine: a folder has that name");
  if (!file) {
    file = std::make_unique<FsNode>();
    file->creationTime = state_->files.now;
  }
  file->lastAccessTime = file->lastWriteTime = state_->files.now;
  file->name = parsed.parts.back();
  file->attributes = attributes & ~plat::FILE_ATTRIBUTE_DIRECTORY;
  file->data = std::move(bytes);
}

void Machine::SetTempPath(std::u16string path) {
  std::lock_guard guard(state_->lock);
  state_->files.tempPath = std::move(path);
}

std::optional<DWORD> Machine::PathAttributes(const std::u16string& path) const {
  std::lock_guard guard(state_->lock);
  const Lookup found = Find(state_->files, SetupPath(path));
  if (!found.node) return std::nullopt;
  return found.node->directory ? (found.node->attributes | plat::FILE_ATTRIBUTE_DIRECTORY)
                               : found.node->attributes;
}

std::optional<std::vector<std::uint8_t>> Machine::FileBytes(const std::u16string& path) const {
  std::lock_guard guard(state_->lock);
  const Lookup found = Find(state_->files, SetupPath(path));
  if (!found.node || found.node->directory) return std::nullopt;
  return found.node->data;
}

int Machine::Shell32References() const {
  std::lock_guard guard(state_->lock);
  return state_->files.shell32References;
}

// --- plat::Files -----------------------------------------------------------------------------

DWORD Machine::GetFileAttributesW(const WCHAR* path) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GetFileAttributesW")) {
    state_->SetThreadError(*fault);
    return plat::INVALID_FILE_ATTRIBUTES;
  }
  DWORD error = 0;
  const auto parsed = ParseFsPath(ViewOf(path), /*lengthLimit=*/true, &error);
  if (!parsed) {
    state_->SetThreadError(error == plat::ERROR_BAD_PATHNAME ? plat::ERROR_FILE_NOT_FOUND : error);
    return plat::INVALID_FILE_ATTRIBUTES;
  }
  const Lookup found = Find(state_->files, *parsed);
  if (!found.node) {
    state_->SetThreadError(found.error);
    return plat::INVALID_FILE_ATTRIBUTES;
  }
  if (found.node->directory) return found.node->attributes | plat::FILE_ATTRIBUTE_DIRECTORY;
  return found.node->attributes != 0 ? found.node->attributes : plat::FILE_ATTRIBUTE_NORMAL;
}

DWORD Machine::GetTempPathW(DWORD size, WCHAR* buffer) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GetTempPathW")) {
    state_->SetThreadError(*fault);
    return 0;
  }
  const std::u16string& temp = state_->files.tempPath;
  if (temp.empty()) {
    state_->SetThreadError(plat::ERROR_PATH_NOT_FOUND);
    return 0;
  }
  const auto length = static_cast<DWORD>(temp.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::copy(temp.begin(), temp.end(), buffer);
  buffer[length] = u'\0';
  return length;
}

BOOL Machine::RemoveDirectoryW(const WCHAR* path) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("RemoveDirectoryW")) {
    state_->SetThreadError(*fault);
    return plat::FALSE;
  }
  DWORD error = 0;
  const auto parsed = ParseFsPath(ViewOf(path), /*lengthLimit=*/true, &error);
  if (!parsed) {
    state_->SetThreadError(error == plat::ERROR_BAD_PATHNAME ? plat::ERROR_FILE_NOT_FOUND : error);
    return plat::FALSE;
  }
  const Lookup found = Find(state_->files, *parsed);
  DWORD failure = found.error;
  if (found.node && !found.node->directory) failure = plat::ERROR_DIRECTORY;
  if (found.node && found.node->directory && !found.node->children.empty()) {
    failure = plat::ERROR_DIR_NOT_EMPTY;
  }
  if (found.node && found.parent == nullptr) failure = plat::ERROR_ACCESS_DENIED;  // a volume root
  if (failure != plat::ERROR_SUCCESS) {
    state_->SetThreadError(failure);
    return plat::FALSE;
  }
  found.parent->children.erase(Fold(parsed->parts.back()));
  return plat::TRUE;
}

const WCHAR* Machine::PathFindFileNameW(const WCHAR* path) {
  if (path == nullptr) return nullptr;
  const WCHAR* name = path;
  for (const WCHAR* p = path; *p != u'\0'; ++p) {
    const bool separator = *p == u'\\' || *p == u'/' || *p == u':';
    if (separator && p[1] != u'\0' && p[1] != u'\\' && p[1] != u'/') name = p + 1;
  }
  return name;
}

int Machine::InvokeSHCreateDirectory(plat::FARPROC shCreateDirectory, plat::HWND /*owner*/,
                                     const WCHAR* path) {
  std::lock_guard guard(state_->lock);
  if (reinterpret_cast<std::uintptr_t>(shCreateDirectory) != kShCreateDirectoryAddress) {
    throw std::logic_error("sim::Machine: SHCreateDirectory called through a foreign address");
  }
  auto fail = [&](DWORD error) {
    state_->SetThreadError(error);
    return static_cast<int>(error);
  };
  if (const auto fault = state_->TakeFault("InvokeSHCreateDirectory")) return fail(*fault);
  DWORD error = 0;
  const auto parsed = ParseFsPath(ViewOf(path), /*lengthLimit=*/true, &error);
  if (!parsed) return fail(error);
  const auto volume = state_->files.volumes.find(parsed->volume);
  if (volume == state_->files.volumes.end()) {
    return fail(parsed->volume.starts_with(u"\\\\") ? plat::ERROR_BAD_NETPATH
                                                    : plat::ERROR_PATH_NOT_FOUND);
  }
  FsNode* node = volume->second.get();
  bool created = false;
  for (const auto& part : parsed->parts) {
    if (!node->directory) return fail(plat::ERROR_PATH_NOT_FOUND);
    auto& child = node->children[Fold(part)];
    if (!child) {
      child = std::make_unique<FsNode>();
      child->name = part;
      child->directory = true;
      created = true;
    }
    node = child.get();
  }
  if (!created) return fail(node->directory ? plat::ERROR_ALREADY_EXISTS : plat::ERROR_FILE_EXISTS);
  state_->SetThreadError(plat::ERROR_SUCCESS);
  return static_cast<int>(plat::ERROR_SUCCESS);
}

plat::HMODULE Machine::LoadLibraryW(const WCHAR* fileName) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("LoadLibraryW")) {
    state_->SetThreadError(*fault);
    return nullptr;
  }
  std::u16string_view name = ViewOf(fileName);
  name = name.substr(
      name.find_last_of(u'\\') == std::u16string_view::npos ? 0 : name.find_last_of(u'\\') + 1);
  if (!EqualNoCase(name, u"shell32.dll") && !EqualNoCase(name, u"shell32")) {
    state_->SetThreadError(plat::ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++state_->files.shell32References;
  return reinterpret_cast<plat::HMODULE>(kShell32Base);
}

BOOL Machine::FreeLibrary(plat::HMODULE module) {
  std::lock_guard guard(state_->lock);
  if (reinterpret_cast<std::uintptr_t>(module) != kShell32Base ||
      state_->files.shell32References == 0) {
    state_->SetThreadError(plat::ERROR_INVALID_HANDLE);
    return plat::FALSE;
  }
  --state_->files.shell32References;
  return plat::TRUE;
}

namespace {

// The file a version function reads, or the error to report.
const FsNode* VersionSource(FileSystemState& fs, const WCHAR* path, DWORD* error) {
  const auto parsed = ParseFsPath(ViewOf(path), /*lengthLimit=*/true, error);
  if (!parsed) {
    if (*error == plat::ERROR_BAD_PATHNAME) *error = plat::ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  const Lookup found = Find(fs, *parsed);
  if (!found.node) {
    *error = found.error;
    return nullptr;
  }
  if (found.node->directory) {
    *error = plat::ERROR_ACCESS_DENIED;
    return nullptr;
  }
  return found.node;
}

}  // namespace

DWORD Machine::GetFileVersionInfoSizeW(const WCHAR* path, DWORD* handle) {
  std::lock_guard guard(state_->lock);
  if (handle) *handle = 0;
  if (const auto fault = state_->TakeFault("GetFileVersionInfoSizeW")) {
    state_->SetThreadError(*fault);
    return 0;
  }
  DWORD error = 0;
  const FsNode* file = VersionSource(state_->files, path, &error);
  if (!file) {
    state_->SetThreadError(error);
    return 0;
  }
  const VersionResource resource = ReadVersionResource(*file);
  if (resource.bytes.empty()) {
    state_->SetThreadError(resource.error);
    return 0;
  }
  return static_cast<DWORD>(resource.bytes.size());
}

BOOL Machine::GetFileVersionInfoW(const WCHAR* path, DWORD /*handle*/, DWORD size, void* data) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GetFileVersionInfoW")) {
    state_->SetThreadError(*fault);
    return plat::FALSE;
  }
  if (data == nullptr) {
    state_->SetThreadError(plat::ERROR_INVALID_PARAMETER);
    return plat::FALSE;
  }
  DWORD error = 0;
  const FsNode* file = VersionSource(state_->files, path, &error);
  if (!file) {
    state_->SetThreadError(error);
    return plat::FALSE;
  }
  const VersionResource resource = ReadVersionResource(*file);
  if (resource.bytes.empty()) {
    state_->SetThreadError(resource.error);
    return plat::FALSE;
  }
  const std::size_t copied = std::min<std::size_t>(size, resource.bytes.size());
  std::memcpy(data, resource.bytes.data(), copied);
  state_->files.versionBlocks[data] = copied;
  return plat::TRUE;
}

BOOL Machine::VerQueryValueW(const void* block, const WCHAR* subBlock, void** buffer,
                             plat::UINT* length) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("VerQueryValueW")) {
    state_->SetThreadError(*fault);
    return plat::FALSE;
  }
  const auto known = state_->files.versionBlocks.find(block);
  if (known == state_->files.versionBlocks.end() || buffer == nullptr || length == nullptr) {
    state_->SetThreadError(plat::ERROR_INVALID_PARAMETER);
    return plat::FALSE;
  }
  // Only the root ("\": the VS_FIXEDFILEINFO) is looked up by the program.
  if (ViewOf(subBlock) != u"\\") {
    state_->SetThreadError(plat::ERROR_RESOURCE_TYPE_NOT_FOUND);
    return plat::FALSE;
  }
  // VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO", padding, the value.
  constexpr std::u16string_view kKey = u"VS_VERSION_INFO";
  constexpr std::size_t kValueOffset = 40;  // 6 + 32 bytes of key and NUL, aligned to 4
  const auto* bytes = static_cast<const std::uint8_t*>(block);
  std::size_t available = known->second;
  bool valid = available >= kValueOffset;
  if (valid) {
    available = std::min<std::size_t>(available, ReadU16(bytes));
    for (std::size_t i = 0; valid && i <= kKey.size(); ++i) {
      const char16_t expected = i < kKey.size() ? kKey[i] : u'\0';
      valid = ReadU16(bytes + 6 + 2 * i) == expected;
    }
  }
  const std::size_t valueLength = valid ? ReadU16(bytes + 2) : 0;
  if (!valid || valueLength == 0 || kValueOffset + valueLength > available) {
    state_->SetThreadError(plat::ERROR_RESOURCE_TYPE_NOT_FOUND);
    return plat::FALSE;
  }
  *buffer = const_cast<std::uint8_t*>(bytes + kValueOffset);
  *length = static_cast<plat::UINT>(valueLength);
  return plat::TRUE;
}

}  // namespace sim

namespace sim {

FsLookup FindFsNode(FileSystemState& fs, const FsPath& path) {
  const Lookup found = Find(fs, path);
  return FsLookup{found.node, found.parent, found.error};
}

}  // namespace sim
