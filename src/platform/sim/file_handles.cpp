// The simulated machine's open files: handles with sharing modes (also those of other processes),
// reading and writing with a disk of limited capacity, file times, copying, deleting, renaming,
// deletions scheduled for the next restart, the clock's calendar conversion and the LZ functions
// over our own SZDD decoder.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/state.h"
#include "szdd/szdd.h"

namespace sim {
namespace {

using plat::BOOL;
using plat::FALSE;
using plat::HANDLE;
using plat::TRUE;
using plat::WCHAR;

constexpr DWORD kGenericExecute = 0x20000000;
constexpr DWORD kGenericAll = 0x10000000;
constexpr DWORD kFileExecute = 0x0020;
// What SetFileAttributesW and FILE_BASIC_INFO may change; encryption and the folder bit stay.
constexpr DWORD kSettableAttributes = 0x31A7;
constexpr std::u16string_view kSessionManager =
    uR"(SYSTEM\CurrentControlSet\Control\Session Manager)";
constexpr std::u16string_view kPendingValue = u"PendingFileRenameOperations";

bool Reads(DWORD access) {
  return (access & (plat::GENERIC_READ | plat::FILE_READ_DATA | kGenericExecute | kFileExecute |
                    kGenericAll)) != 0;
}
bool Writes(DWORD access) {
  return (access & (plat::GENERIC_WRITE | plat::FILE_WRITE_DATA | plat::FILE_APPEND_DATA |
                    kGenericAll)) != 0;
}
bool Deletes(DWORD access) {
  return (access & (plat::DELETE | kGenericAll)) != 0;
}
bool DataAccess(DWORD access) {
  return Reads(access) || Writes(access) || Deletes(access);
}

// Whether two opens of one file may coexist. Opens for attributes only are not checked.
bool Compatible(DWORD accessA, DWORD shareA, DWORD accessB, DWORD shareB) {
  if (!DataAccess(accessA) || !DataAccess(accessB)) return true;
  auto admits = [](DWORD access, DWORD otherShare) {
    return (!Reads(access) || (otherShare & plat::FILE_SHARE_READ)) &&
           (!Writes(access) || (otherShare & plat::FILE_SHARE_WRITE)) &&
           (!Deletes(access) || (otherShare & plat::FILE_SHARE_DELETE));
  };
  return admits(accessA, shareB) && admits(accessB, shareA);
}

std::uint64_t Used(const FsNode& node) {
  std::uint64_t total = node.data.size();
  for (const auto& [key, child] : node.children) total += Used(*child);
  return total;
}

std::uint64_t ToU64(const plat::FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
plat::FILETIME ToFileTime(std::uint64_t value) {
  return plat::FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

// The form the registry value carries: "\??\" in front of a drive path or "\??\UNC\...".
std::u16string NtPath(std::u16string_view path) {
  if (path.starts_with(uR"(\\?\)")) return uR"(\??\)" + std::u16string(path.substr(4));
  if (path.starts_with(uR"(\\)")) return uR"(\??\UNC\)" + std::u16string(path.substr(2));
  return uR"(\??\)" + std::u16string(path);
}

}  // namespace

// Everything the file operations share, over the machine's state (lock held by the caller).
class FileOps {
 public:
  explicit FileOps(Machine::State& state) : s_(state), fs_(state.files) {}

  struct Target {
    std::optional<FsPath> path;
    FsLookup found;
    DWORD error = plat::ERROR_SUCCESS;  // the path itself is bad
  };

  Target Resolve(const WCHAR* text) {
    Target target;
    DWORD error = 0;
    target.path = ParseFsPath(ViewOf(text), /*lengthLimit=*/true, &error);
    if (!target.path) {
      target.error = error == plat::ERROR_BAD_PATHNAME ? plat::ERROR_PATH_NOT_FOUND : error;
      return target;
    }
    target.found = FindFsNode(fs_, *target.path);
    return target;
  }

  // The folder that holds (or would hold) the path's last component, or null with the error.
  FsNode* ParentFolder(const Target& target, DWORD* error) {
    if (target.path->parts.empty()) {
      *error = plat::ERROR_ACCESS_DENIED;  // a volume's root
      return nullptr;
    }
    FsPath parent = *target.path;
    parent.parts.pop_back();
    const FsLookup found = FindFsNode(fs_, parent);
    if (!found.node || !found.node->directory) {
      *error = found.error == plat::ERROR_BAD_NETPATH ? found.error : plat::ERROR_PATH_NOT_FOUND;
      return nullptr;
    }
    return found.node;
  }

  // Whether a new open of node with this access and sharing mode conflicts with any open one.
  bool Conflicts(const FsNode* node, DWORD access, DWORD share) {
    for (const auto& [value, object] : s_.handles) {
      const auto* file = std::get_if<FileHandle>(&object);
      if (file && file->node == node && !Compatible(access, share, file->access, file->share)) {
        return true;
      }
    }
    for (const FileHold& hold : fs_.holds) {
      if (hold.node == node && !Compatible(access, share, hold.access, hold.share)) return true;
    }
    return false;
  }

  // Whether a running program maps node as its image: renaming it is allowed, deleting it not.
  bool HeldAsImage(const FsNode* node) {
    return std::any_of(fs_.holds.begin(), fs_.holds.end(),
                       [&](const FileHold& hold) { return hold.node == node && hold.image; });
  }

  bool Referenced(const FsNode* node) {
    for (const auto& [value, object] : s_.handles) {
      const auto* file = std::get_if<FileHandle>(&object);
      if (file && file->node == node) return true;
    }
    return std::any_of(fs_.holds.begin(), fs_.holds.end(),
                       [&](const FileHold& hold) { return hold.node == node; });
  }

  std::uint64_t UsedBytes() {
    std::uint64_t total = 0;
    for (const auto& [key, volume] : fs_.volumes) total += Used(*volume);
    for (const auto& orphan : fs_.orphans) total += Used(*orphan);
    return total;
  }
  bool Fits(std::uint64_t oldSize, std::uint64_t newSize) {
    if (!fs_.capacity || newSize <= oldSize) return true;
    return UsedBytes() + (newSize - oldSize) <= *fs_.capacity;
  }

  // Takes a node out of its folder; it lives on as an orphan while handles refer to it.
  std::unique_ptr<FsNode> Detach(FsNode* parent, const std::u16string& name) {
    const auto it = parent->children.find(Fold(name));
    std::unique_ptr<FsNode> node = std::move(it->second);
    parent->children.erase(it);
    return node;
  }
  void Discard(std::unique_ptr<FsNode> node) {
    if (Referenced(node.get())) fs_.orphans.push_back(std::move(node));
  }

  FileHandle* Handle(HANDLE handle) { return s_.Find<FileHandle>(handle); }

  // CreateFileW without fault injection; the LZ functions open their files through it too.
  HANDLE Open(const WCHAR* text, DWORD access, DWORD share, DWORD disposition, DWORD attributes) {
    const Target target = Resolve(text);
    if (!target.path) return Fail(target.error);
    FsNode* node = target.found.node;
    if (!node) {
      if (target.found.error != plat::ERROR_FILE_NOT_FOUND) return Fail(target.found.error);
      if (disposition == plat::OPEN_EXISTING || disposition == plat::TRUNCATE_EXISTING) {
        return Fail(plat::ERROR_FILE_NOT_FOUND);
      }
      if (disposition != plat::CREATE_NEW && disposition != plat::CREATE_ALWAYS &&
          disposition != plat::OPEN_ALWAYS) {
        return Fail(plat::ERROR_INVALID_PARAMETER);
      }
      DWORD error = 0;
      FsNode* parent = ParentFolder(target, &error);
      if (!parent) return Fail(error);
      auto created = std::make_unique<FsNode>();
      created->name = target.path->parts.back();
      created->attributes = (attributes & kSettableAttributes & ~plat::FILE_ATTRIBUTE_NORMAL) |
                            plat::FILE_ATTRIBUTE_ARCHIVE;
      created->creationTime = created->lastAccessTime = created->lastWriteTime = fs_.now;
      node = created.get();
      parent->children[Fold(created->name)] = std::move(created);
      s_.SetThreadError(plat::ERROR_SUCCESS);
      return s_.AddHandle(FileHandle{node, access, share});
    }
    if (node->directory) return Fail(plat::ERROR_ACCESS_DENIED);
    if (disposition == plat::CREATE_NEW) return Fail(plat::ERROR_FILE_EXISTS);
    const bool truncate =
        disposition == plat::CREATE_ALWAYS || disposition == plat::TRUNCATE_EXISTING;
    const bool readOnly = (node->attributes & plat::FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && (Writes(access) || truncate)) return Fail(plat::ERROR_ACCESS_DENIED);
    if (Conflicts(node, access, share)) return Fail(plat::ERROR_SHARING_VIOLATION);
    if (truncate) {
      node->data.clear();
      node->lastWriteTime = node->lastAccessTime = fs_.now;
      if (disposition == plat::CREATE_ALWAYS) {
        node->attributes = (node->attributes & plat::FILE_ATTRIBUTE_ENCRYPTED) |
                           (attributes & kSettableAttributes & ~plat::FILE_ATTRIBUTE_NORMAL) |
                           plat::FILE_ATTRIBUTE_ARCHIVE;
      }
    }
    const bool existed = disposition == plat::CREATE_ALWAYS || disposition == plat::OPEN_ALWAYS;
    s_.SetThreadError(existed ? plat::ERROR_ALREADY_EXISTS : plat::ERROR_SUCCESS);
    return s_.AddHandle(FileHandle{node, access, share});
  }

  // WriteFile without fault injection.
  BOOL Write(FileHandle& file, const void* buffer, DWORD size, DWORD* written) {
    if (written) *written = 0;
    if (!Writes(file.access)) return FailBool(plat::ERROR_ACCESS_DENIED);
    DWORD count = size;
    if (fs_.shortWrite) {
      count = std::min(count, *fs_.shortWrite);
      fs_.shortWrite.reset();
    }
    std::vector<std::uint8_t>& data = file.node->data;
    const std::uint64_t end = std::max<std::uint64_t>(data.size(), file.position + count);
    if (!Fits(data.size(), end)) return FailBool(plat::ERROR_DISK_FULL);
    if (end > data.size()) data.resize(static_cast<std::size_t>(end));
    if (count > 0) {
      std::memcpy(data.data() + file.position, buffer, count);
    }
    file.position += count;
    file.node->lastWriteTime = file.node->lastAccessTime = fs_.now;
    if (written) *written = count;
    return TRUE;
  }

  HANDLE Fail(DWORD error) {
    s_.SetThreadError(error);
    return plat::InvalidHandleValue();
  }
  BOOL FailBool(DWORD error) {
    s_.SetThreadError(error);
    return FALSE;
  }

  // What both by-handle basic-information calls check before they touch the file: the handle,
  // the information class, the record's size and the access the call needs. Null, with the last
  // error set, when a check fails.
  FileHandle* BasicInfoHandle(HANDLE file, int infoClass, const void* info, DWORD size,
                              DWORD access) {
    FileHandle* handle = Handle(file);
    DWORD error = plat::ERROR_SUCCESS;
    if (!handle) {
      error = plat::ERROR_INVALID_HANDLE;
    } else if (infoClass != plat::FileBasicInfo || info == nullptr) {
      error = plat::ERROR_INVALID_PARAMETER;
    } else if (size < sizeof(plat::FILE_BASIC_INFO)) {
      error = plat::ERROR_BAD_LENGTH;
    } else if (!(handle->access & access)) {
      error = plat::ERROR_ACCESS_DENIED;
    }
    if (error == plat::ERROR_SUCCESS) return handle;
    FailBool(error);
    return nullptr;
  }

  // The registry value of the deletions and renames at the next restart, extended by one entry.
  void SchedulePending(Machine& machine, std::u16string_view existing, std::u16string_view target) {
    std::vector<std::uint8_t> data;
    if (const auto value = machine.GetValue(View::k64, std::u16string(kSessionManager),
                                            std::u16string(kPendingValue))) {
      data = value->data;
      // Drop the list's final NUL; each entry keeps its own.
      if (data.size() >= 2 && data[data.size() - 1] == 0 && data[data.size() - 2] == 0) {
        data.resize(data.size() - 2);
      }
    }
    auto put = [&](std::u16string_view text) {
      for (const char16_t c : text) {
        data.push_back(static_cast<std::uint8_t>(c & 0xFF));
        data.push_back(static_cast<std::uint8_t>(c >> 8));
      }
      data.push_back(0);
      data.push_back(0);
    };
    put(NtPath(existing));
    put(target.empty() ? std::u16string() : NtPath(target));
    put(u"");
    machine.SetValue(View::k64, std::u16string(kSessionManager), std::u16string(kPendingValue),
                     RegistryValue{plat::REG_MULTI_SZ, std::move(data)});
  }

 private:
  Machine::State& s_;
  FileSystemState& fs_;
};

// --- Set-up and observation ------------------------------------------------------------------

void Machine::HoldFile(DWORD processId, const std::u16string& path, DWORD access, DWORD shareMode) {
  std::lock_guard guard(state_->lock);
  DWORD error = 0;
  const auto parsed = ParseFsPath(path, /*lengthLimit=*/false, &error);
  if (!parsed) throw std::invalid_argument("sim::Machine: not a full Windows path");
  const FsLookup found = FindFsNode(state_->files, *parsed);
  if (!found.node || found.node->directory) {
    throw std::invalid_argument("sim::Machine: HoldFile needs an existing file");
  }
  state_->files.holds.push_back(FileHold{processId, found.node, access, shareMode});
}

DWORD Machine::StartProgramFromImage(const std::u16string& imagePath) {
  const DWORD id = StartProcess(imagePath);
  HoldFile(id, imagePath, plat::GENERIC_READ | kGenericExecute,
           plat::FILE_SHARE_READ | plat::FILE_SHARE_DELETE);
  std::lock_guard guard(state_->lock);
  state_->files.holds.back().image = true;
  return id;
}

void Machine::SetDiskFreeSpace(std::uint64_t bytes) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  state_->files.capacity = ops.UsedBytes() + bytes;
}

void Machine::ShortenNextWrite(DWORD bytes) {
  std::lock_guard guard(state_->lock);
  state_->files.shortWrite = bytes;
}

void Machine::SetFileTimes(const std::u16string& path, std::uint64_t creation,
                           std::uint64_t lastAccess, std::uint64_t lastWrite) {
  std::lock_guard guard(state_->lock);
  DWORD error = 0;
  const auto parsed = ParseFsPath(path, /*lengthLimit=*/false, &error);
  const FsLookup found =
      parsed ? FindFsNode(state_->files, *parsed) : FsLookup{nullptr, nullptr, error};
  if (!found.node) throw std::invalid_argument("sim::Machine: SetFileTimes of a missing file");
  found.node->creationTime = creation;
  found.node->lastAccessTime = lastAccess;
  found.node->lastWriteTime = lastWrite;
}

std::uint64_t Machine::FileTimeNow() const {
  return state_->files.now;
}

std::optional<Machine::FileTimes> Machine::PathTimes(const std::u16string& path) const {
  std::lock_guard guard(state_->lock);
  DWORD error = 0;
  const auto parsed = ParseFsPath(path, /*lengthLimit=*/false, &error);
  if (!parsed) return std::nullopt;
  const FsLookup found = FindFsNode(state_->files, *parsed);
  if (!found.node) return std::nullopt;
  return FileTimes{found.node->creationTime, found.node->lastAccessTime, found.node->lastWriteTime};
}

std::vector<std::u16string> Machine::PendingDeletions() const {
  std::vector<std::u16string> result;
  const auto value =
      GetValue(View::k64, std::u16string(kSessionManager), std::u16string(kPendingValue));
  if (!value) return result;
  std::vector<std::u16string> strings;
  std::u16string current;
  for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
    const auto c = static_cast<char16_t>(value->data[i] | value->data[i + 1] << 8);
    if (c == u'\0') {
      strings.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (!strings[i].empty() && strings[i + 1].empty()) {
      result.push_back(strings[i].starts_with(uR"(\??\)") ? strings[i].substr(4) : strings[i]);
    }
  }
  return result;
}

std::vector<std::u16string> Machine::FolderEntries(const std::u16string& path) const {
  std::lock_guard guard(state_->lock);
  std::vector<std::u16string> names;
  DWORD error = 0;
  const auto parsed = ParseFsPath(path, /*lengthLimit=*/false, &error);
  if (!parsed) return names;
  const FsLookup found = FindFsNode(state_->files, *parsed);
  if (!found.node || !found.node->directory) return names;
  for (const auto& [key, child] : found.node->children) names.push_back(child->name);
  return names;
}

// --- plat::Files: handles ----------------------------------------------------------------------

HANDLE Machine::CreateFileW(const WCHAR* path, DWORD desiredAccess, DWORD shareMode,
                            const void* /*securityAttributes*/, DWORD disposition,
                            DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("CreateFileW")) return ops.Fail(*fault);
  return ops.Open(path, desiredAccess, shareMode, disposition, flagsAndAttributes);
}

DWORD Machine::SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  auto fail = [&](DWORD error) {
    state_->SetThreadError(error);
    return plat::INVALID_SET_FILE_POINTER;
  };
  if (const auto fault = state_->TakeFault("SetFilePointer")) return fail(*fault);
  FileHandle* handle = ops.Handle(file);
  if (!handle) return fail(plat::ERROR_INVALID_HANDLE);
  std::int64_t move = distanceHigh ? (static_cast<std::int64_t>(*distanceHigh) << 32) |
                                         static_cast<std::uint32_t>(distance)
                                   : distance;
  std::int64_t base = 0;
  if (method == plat::FILE_CURRENT)
    base = static_cast<std::int64_t>(handle->position);
  else if (method == plat::FILE_END)
    base = static_cast<std::int64_t>(handle->node->data.size());
  else if (method != plat::FILE_BEGIN)
    return fail(plat::ERROR_INVALID_PARAMETER);
  const std::int64_t position = base + move;
  if (position < 0) return fail(plat::ERROR_NEGATIVE_SEEK);
  handle->position = static_cast<std::uint64_t>(position);
  if (distanceHigh) *distanceHigh = static_cast<LONG>(handle->position >> 32);
  state_->SetThreadError(plat::ERROR_SUCCESS);
  return static_cast<DWORD>(handle->position & 0xFFFFFFFFu);
}

BOOL Machine::SetEndOfFile(HANDLE file) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("SetEndOfFile")) return ops.FailBool(*fault);
  FileHandle* handle = ops.Handle(file);
  if (!handle) return ops.FailBool(plat::ERROR_INVALID_HANDLE);
  if (!Writes(handle->access)) return ops.FailBool(plat::ERROR_ACCESS_DENIED);
  if (!ops.Fits(handle->node->data.size(), handle->position)) {
    return ops.FailBool(plat::ERROR_DISK_FULL);
  }
  handle->node->data.resize(static_cast<std::size_t>(handle->position));
  handle->node->lastWriteTime = state_->files.now;
  return TRUE;
}

BOOL Machine::WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* written,
                        void* overlapped) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (written) *written = 0;
  if (const auto fault = state_->TakeFault("WriteFile")) return ops.FailBool(*fault);
  FileHandle* handle = ops.Handle(file);
  if (!handle) return ops.FailBool(plat::ERROR_INVALID_HANDLE);
  if (overlapped) return ops.FailBool(plat::ERROR_INVALID_PARAMETER);
  return ops.Write(*handle, buffer, size, written);
}

BOOL Machine::ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read, void* overlapped) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (read) *read = 0;
  if (const auto fault = state_->TakeFault("ReadFile")) return ops.FailBool(*fault);
  FileHandle* handle = ops.Handle(file);
  if (!handle) return ops.FailBool(plat::ERROR_INVALID_HANDLE);
  if (overlapped) return ops.FailBool(plat::ERROR_INVALID_PARAMETER);
  if (!Reads(handle->access)) return ops.FailBool(plat::ERROR_ACCESS_DENIED);
  const std::vector<std::uint8_t>& data = handle->node->data;
  const std::uint64_t available =
      handle->position < data.size() ? data.size() - handle->position : 0;
  const auto count = static_cast<DWORD>(std::min<std::uint64_t>(available, size));
  if (count > 0) std::memcpy(buffer, data.data() + handle->position, count);
  handle->position += count;
  if (read) *read = count;
  return TRUE;
}

BOOL Machine::SetFileTime(HANDLE file, const plat::FILETIME* creation,
                          const plat::FILETIME* lastAccess, const plat::FILETIME* lastWrite) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("SetFileTime")) return ops.FailBool(*fault);
  FileHandle* handle = ops.Handle(file);
  if (!handle) return ops.FailBool(plat::ERROR_INVALID_HANDLE);
  if (!(handle->access & (plat::FILE_WRITE_ATTRIBUTES | plat::GENERIC_WRITE | kGenericAll))) {
    return ops.FailBool(plat::ERROR_ACCESS_DENIED);
  }
  if (creation) handle->node->creationTime = ToU64(*creation);
  if (lastAccess) handle->node->lastAccessTime = ToU64(*lastAccess);
  if (lastWrite) handle->node->lastWriteTime = ToU64(*lastWrite);
  return TRUE;
}

BOOL Machine::GetFileTime(HANDLE file, plat::FILETIME* creation, plat::FILETIME* lastAccess,
                          plat::FILETIME* lastWrite) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("GetFileTime")) return ops.FailBool(*fault);
  FileHandle* handle = ops.Handle(file);
  if (!handle) return ops.FailBool(plat::ERROR_INVALID_HANDLE);
  if (!(handle->access & (plat::FILE_READ_ATTRIBUTES | plat::GENERIC_READ | kGenericAll))) {
    return ops.FailBool(plat::ERROR_ACCESS_DENIED);
  }
  if (creation) *creation = ToFileTime(handle->node->creationTime);
  if (lastAccess) *lastAccess = ToFileTime(handle->node->lastAccessTime);
  if (lastWrite) *lastWrite = ToFileTime(handle->node->lastWriteTime);
  return TRUE;
}

BOOL Machine::InvokeGetFileInformationByHandleEx(plat::FARPROC function, HANDLE file, int infoClass,
                                                 void* info, DWORD size) {
  std::lock_guard guard(state_->lock);
  if (function != ExportAddress("kernel32", "GetFileInformationByHandleEx")) {
    throw std::logic_error("sim::Machine: GetFileInformationByHandleEx through a foreign address");
  }
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("InvokeGetFileInformationByHandleEx")) {
    return ops.FailBool(*fault);
  }
  FileHandle* handle = ops.BasicInfoHandle(
      file, infoClass, info, size, plat::FILE_READ_ATTRIBUTES | plat::GENERIC_READ | kGenericAll);
  if (!handle) return FALSE;
  const FsNode& node = *handle->node;
  plat::FILE_BASIC_INFO basic{};
  basic.CreationTime = static_cast<std::int64_t>(node.creationTime);
  basic.LastAccessTime = static_cast<std::int64_t>(node.lastAccessTime);
  basic.LastWriteTime = static_cast<std::int64_t>(node.lastWriteTime);
  basic.ChangeTime = static_cast<std::int64_t>(node.lastWriteTime);
  basic.FileAttributes = node.attributes != 0 ? node.attributes : plat::FILE_ATTRIBUTE_NORMAL;
  std::memcpy(info, &basic, sizeof basic);
  return TRUE;
}

BOOL Machine::InvokeSetFileInformationByHandle(plat::FARPROC function, HANDLE file, int infoClass,
                                               void* info, DWORD size) {
  std::lock_guard guard(state_->lock);
  if (function != ExportAddress("kernel32", "SetFileInformationByHandle")) {
    throw std::logic_error("sim::Machine: SetFileInformationByHandle through a foreign address");
  }
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("InvokeSetFileInformationByHandle")) {
    return ops.FailBool(*fault);
  }
  FileHandle* handle = ops.BasicInfoHandle(
      file, infoClass, info, size, plat::FILE_WRITE_ATTRIBUTES | plat::GENERIC_WRITE | kGenericAll);
  if (!handle) return FALSE;
  plat::FILE_BASIC_INFO basic;
  std::memcpy(&basic, info, sizeof basic);
  FsNode& node = *handle->node;
  auto setTime = [](std::uint64_t& time, std::int64_t value) {
    if (value > 0) time = static_cast<std::uint64_t>(value);  // 0 and -1: unchanged
  };
  setTime(node.creationTime, basic.CreationTime);
  setTime(node.lastAccessTime, basic.LastAccessTime);
  setTime(node.lastWriteTime, basic.LastWriteTime);
  if (basic.FileAttributes != 0) {
    node.attributes = (node.attributes & plat::FILE_ATTRIBUTE_ENCRYPTED) |
                      (basic.FileAttributes & kSettableAttributes & ~plat::FILE_ATTRIBUTE_NORMAL);
  }
  return TRUE;
}

// --- plat::Files: by path ----------------------------------------------------------------------

BOOL Machine::CopyFileW(const WCHAR* source, const WCHAR* destination, BOOL failIfExists) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("CopyFileW")) return ops.FailBool(*fault);
  const FileOps::Target from = ops.Resolve(source);
  if (!from.path) return ops.FailBool(from.error);
  if (!from.found.node) return ops.FailBool(from.found.error);
  if (from.found.node->directory) return ops.FailBool(plat::ERROR_ACCESS_DENIED);
  if (ops.Conflicts(from.found.node, plat::GENERIC_READ, plat::FILE_SHARE_READ)) {
    return ops.FailBool(plat::ERROR_SHARING_VIOLATION);
  }
  const FsNode& src = *from.found.node;
  const FileOps::Target to = ops.Resolve(destination);
  if (!to.path) return ops.FailBool(to.error);
  FsNode* dst = to.found.node;
  if (dst == &src) return ops.FailBool(plat::ERROR_SHARING_VIOLATION);
  if (dst) {
    if (failIfExists) return ops.FailBool(plat::ERROR_FILE_EXISTS);
    if (dst->directory || (dst->attributes & plat::FILE_ATTRIBUTE_READONLY)) {
      return ops.FailBool(plat::ERROR_ACCESS_DENIED);
    }
    if (ops.Conflicts(dst, plat::GENERIC_WRITE | plat::DELETE, 0)) {
      return ops.FailBool(plat::ERROR_SHARING_VIOLATION);
    }
    if (!ops.Fits(dst->data.size(), src.data.size())) return ops.FailBool(plat::ERROR_DISK_FULL);
    dst->data = src.data;
  } else {
    if (to.found.error != plat::ERROR_FILE_NOT_FOUND) return ops.FailBool(to.found.error);
    DWORD error = 0;
    FsNode* parent = ops.ParentFolder(to, &error);
    if (!parent) return ops.FailBool(error);
    if (!ops.Fits(0, src.data.size())) return ops.FailBool(plat::ERROR_DISK_FULL);
    auto created = std::make_unique<FsNode>();
    created->name = to.path->parts.back();
    created->data = src.data;
    created->creationTime = state_->files.now;
    dst = created.get();
    parent->children[Fold(created->name)] = std::move(created);
  }
  dst->attributes = src.attributes | plat::FILE_ATTRIBUTE_ARCHIVE;
  dst->lastWriteTime = src.lastWriteTime;
  dst->lastAccessTime = state_->files.now;
  return TRUE;
}

BOOL Machine::DeleteFileW(const WCHAR* path) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("DeleteFileW")) return ops.FailBool(*fault);
  const FileOps::Target target = ops.Resolve(path);
  if (!target.path) return ops.FailBool(target.error);
  FsNode* node = target.found.node;
  if (!node) return ops.FailBool(target.found.error);
  if (node->directory || !target.found.parent ||
      (node->attributes & plat::FILE_ATTRIBUTE_READONLY)) {
    return ops.FailBool(plat::ERROR_ACCESS_DENIED);
  }
  const DWORD shareAll = plat::FILE_SHARE_READ | plat::FILE_SHARE_WRITE | plat::FILE_SHARE_DELETE;
  if (ops.Conflicts(node, plat::DELETE, shareAll)) {
    return ops.FailBool(plat::ERROR_SHARING_VIOLATION);
  }
  if (ops.HeldAsImage(node)) return ops.FailBool(plat::ERROR_ACCESS_DENIED);
  // Open with FILE_SHARE_DELETE: the name goes at once (Windows frees it with the last handle).
  ops.Discard(ops.Detach(target.found.parent, node->name));
  return TRUE;
}

namespace {

BOOL Rename(Machine::State& state, FileOps& ops, const WCHAR* existingPath, const WCHAR* newPath,
            bool replace) {
  const FileOps::Target from = ops.Resolve(existingPath);
  if (!from.path) return ops.FailBool(from.error);
  FsNode* node = from.found.node;
  if (!node) return ops.FailBool(from.found.error);
  if (!from.found.parent) return ops.FailBool(plat::ERROR_ACCESS_DENIED);
  const DWORD shareAll = plat::FILE_SHARE_READ | plat::FILE_SHARE_WRITE | plat::FILE_SHARE_DELETE;
  if (ops.Conflicts(node, plat::DELETE, shareAll)) {
    return ops.FailBool(plat::ERROR_SHARING_VIOLATION);
  }
  const FileOps::Target to = ops.Resolve(newPath);
  if (!to.path) return ops.FailBool(to.error);
  FsNode* existing = to.found.node;
  if (existing == node) return TRUE;
  if (existing) {
    if (!replace) return ops.FailBool(plat::ERROR_ALREADY_EXISTS);
    if (existing->directory || node->directory ||
        (existing->attributes & plat::FILE_ATTRIBUTE_READONLY)) {
      return ops.FailBool(plat::ERROR_ACCESS_DENIED);
    }
    if (ops.Conflicts(existing, plat::DELETE, shareAll)) {
      return ops.FailBool(plat::ERROR_SHARING_VIOLATION);
    }
    if (ops.HeldAsImage(existing)) return ops.FailBool(plat::ERROR_ACCESS_DENIED);
  } else if (to.found.error != plat::ERROR_FILE_NOT_FOUND) {
    return ops.FailBool(to.found.error);
  }
  DWORD error = 0;
  FsNode* parent = ops.ParentFolder(to, &error);
  if (!parent) return ops.FailBool(error);
  if (existing) ops.Discard(ops.Detach(parent, existing->name));
  std::unique_ptr<FsNode> moved = ops.Detach(from.found.parent, node->name);
  moved->name = to.path->parts.back();
  parent->children[Fold(moved->name)] = std::move(moved);
  (void)state;
  return TRUE;
}

}  // namespace

BOOL Machine::MoveFileW(const WCHAR* existingPath, const WCHAR* newPath) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("MoveFileW")) return ops.FailBool(*fault);
  return Rename(*state_, ops, existingPath, newPath, /*replace=*/false);
}

BOOL Machine::MoveFileExW(const WCHAR* existingPath, const WCHAR* newPath, DWORD flags) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("MoveFileExW")) return ops.FailBool(*fault);
  if (ViewOf(existingPath).empty()) return ops.FailBool(plat::ERROR_INVALID_PARAMETER);
  if (flags & plat::MOVEFILE_DELAY_UNTIL_REBOOT) {
    ops.SchedulePending(*this, ViewOf(existingPath), ViewOf(newPath));
    return TRUE;
  }
  if (ViewOf(newPath).empty()) return ops.FailBool(plat::ERROR_INVALID_PARAMETER);
  return Rename(*state_, ops, existingPath, newPath,
                (flags & plat::MOVEFILE_REPLACE_EXISTING) != 0);
}

BOOL Machine::SetFileAttributesW(const WCHAR* path, DWORD attributes) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("SetFileAttributesW")) return ops.FailBool(*fault);
  const FileOps::Target target = ops.Resolve(path);
  if (!target.path) return ops.FailBool(target.error);
  FsNode* node = target.found.node;
  if (!node) return ops.FailBool(target.found.error);
  node->attributes = (node->attributes & plat::FILE_ATTRIBUTE_ENCRYPTED) |
                     (attributes & kSettableAttributes & ~plat::FILE_ATTRIBUTE_NORMAL);
  return TRUE;
}

// --- plat::Clock: calendar ---------------------------------------------------------------------

BOOL Machine::SystemTimeToFileTime(const plat::SYSTEMTIME* time, plat::FILETIME* fileTime) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("SystemTimeToFileTime")) return ops.FailBool(*fault);
  if (!time || !fileTime) return ops.FailBool(plat::ERROR_INVALID_PARAMETER);
  const int year = time->wYear;
  const unsigned month = time->wMonth;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1601 || year > 30827 || month < 1 || month > 12 || time->wDay < 1 ||
      time->wDay > kDays[month - 1] + ((month == 2 && leap) ? 1u : 0u) || time->wHour > 23 ||
      time->wMinute > 59 || time->wSecond > 59 || time->wMilliseconds > 999) {
    return ops.FailBool(plat::ERROR_INVALID_PARAMETER);
  }
  // Days since 1601-01-01 (a proleptic Gregorian calendar, as Windows counts).
  auto daysBefore = [](int y) {
    const int past = y - 1601;
    return static_cast<std::int64_t>(past) * 365 + past / 4 - past / 100 + past / 400;
  };
  std::int64_t days = daysBefore(year);
  for (unsigned m = 1; m < month; ++m) days += kDays[m - 1] + ((m == 2 && leap) ? 1 : 0);
  days += time->wDay - 1;
  const std::int64_t millis = ((days * 24 + time->wHour) * 60 + time->wMinute) * 60000 +
                              time->wSecond * 1000 + time->wMilliseconds;
  *fileTime = ToFileTime(static_cast<std::uint64_t>(millis) * 10000);
  return TRUE;
}

// --- plat::Lz ------------------------------------------------------------------------------------

int Machine::LZOpenFileW(const WCHAR* fileName, plat::OFSTRUCT* ofStruct, WORD style) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  auto fail = [&](DWORD error) {
    state_->SetThreadError(error);
    if (ofStruct) ofStruct->nErrCode = static_cast<WORD>(error);
    return static_cast<int>(plat::LZERROR_BADINHANDLE);
  };
  if (const auto fault = state_->TakeFault("LZOpenFileW")) return fail(*fault);
  // OpenFile copies the path into OFSTRUCT::szPathName; the codes are those Wine gives.
  const std::size_t length = std::char_traits<WCHAR>::length(fileName);
  if (length >= plat::MAX_PATH) return fail(plat::ERROR_FILENAME_EXCED_RANGE);
  if (length >= plat::OFS_MAXPATHNAME) return fail(plat::ERROR_INVALID_DATA);
  const WORD mode = style & 0x3;
  const DWORD access = mode == plat::OF_WRITE       ? plat::GENERIC_WRITE
                       : mode == plat::OF_READWRITE ? plat::GENERIC_READ | plat::GENERIC_WRITE
                                                    : plat::GENERIC_READ;
  DWORD share = plat::FILE_SHARE_READ | plat::FILE_SHARE_WRITE;
  if (style & plat::OF_SHARE_EXCLUSIVE)
    share = 0;
  else if (style & plat::OF_SHARE_DENY_WRITE)
    share = plat::FILE_SHARE_READ;
  const DWORD disposition = (style & plat::OF_CREATE) ? plat::CREATE_ALWAYS : plat::OPEN_EXISTING;
  const HANDLE handle = ops.Open(fileName, access, share, disposition, 0);
  if (handle == plat::InvalidHandleValue()) return fail(GetLastError());
  if (ofStruct) ofStruct->nErrCode = 0;
  return static_cast<int>(reinterpret_cast<std::uintptr_t>(handle));
}

LONG Machine::LZCopy(int source, int destination) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  if (const auto fault = state_->TakeFault("LZCopy")) {
    state_->SetThreadError(*fault);
    return plat::LZERROR_READ;
  }
  auto asHandle = [](int value) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(static_cast<unsigned>(value)));
  };
  FileHandle* from = source >= 0 ? ops.Handle(asHandle(source)) : nullptr;
  if (!from) return plat::LZERROR_BADINHANDLE;
  FileHandle* to = destination >= 0 ? ops.Handle(asHandle(destination)) : nullptr;
  if (!to) return plat::LZERROR_BADOUTHANDLE;
  if (!Reads(from->access)) return plat::LZERROR_READ;
  const std::vector<std::uint8_t> input = from->node->data;
  from->position = input.size();
  std::vector<std::uint8_t> output;
  const bool compressed =
      input.size() >= szdd::kHeaderSize &&
      std::equal(std::begin(szdd::kMagic), std::end(szdd::kMagic), input.begin());
  if (compressed) {
    szdd::ExpandResult expanded = szdd::Expand(input);
    if (expanded.status == szdd::ExpandStatus::kBadMode) return plat::LZERROR_UNKNOWNALG;
    output = std::move(expanded.data);  // a short container gives what it holds
  } else {
    output = input;
  }
  DWORD written = 0;
  if (!ops.Write(*to, output.data(), static_cast<DWORD>(output.size()), &written)) {
    return plat::LZERROR_WRITE;
  }
  return static_cast<LONG>(written);
}

void Machine::LZClose(int file) {
  std::lock_guard guard(state_->lock);
  FileOps ops(*state_);
  const auto value = static_cast<std::uintptr_t>(static_cast<unsigned>(file));
  if (file >= 0 && ops.Handle(reinterpret_cast<HANDLE>(value))) state_->ReleaseHandle(value);
}

}  // namespace sim
