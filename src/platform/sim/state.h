// The simulated machine's state, shared by the source files of sim::Machine (one per service).
// Not part of the set-up API.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"

namespace sim {

// Case folding as the registry, module names and resource types use it: ASCII and Latin-1
// letters. Enough for every name this program and its tests use.
char16_t FoldChar(char16_t c);
std::u16string Fold(std::u16string_view text);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);
// Null-safe length of a NUL-terminated UTF-16 string.
std::u16string_view ViewOf(const plat::WCHAR* text);

// --- Registry ------------------------------------------------------------------------------
struct StoredValue {
  std::u16string name;  // as first written
  RegistryValue value;
};

struct KeyNode {
  std::u16string name;                                         // as first created
  std::map<std::u16string, std::unique_ptr<KeyNode>> subKeys;  // by folded name
  std::map<std::u16string, StoredValue> values;                // by folded name
};

// --- Handles ---------------------------------------------------------------------------------
struct KeyHandle {
  View view;
  std::vector<std::u16string> path;  // components below HKEY_LOCAL_MACHINE
  plat::REGSAM access;
};
struct MutexHandle {
  std::u16string objectName;  // namespaced name, or empty for an unnamed mutex
};
struct ProcessRecord {
  DWORD id;
  DWORD parentId;
  DWORD threads;
  std::u16string exeName;
};
struct SnapshotHandle {
  std::vector<ProcessRecord> processes;
  std::size_t next = 0;
};
struct TokenHandle {
  DWORD access;
};
// An open file (file_handles.cpp). The node outlives its name: a file deleted or replaced while
// open is kept in FileSystemState::orphans.
struct FileHandle {
  FsNode* node;
  DWORD access;
  DWORD share;
  std::uint64_t position = 0;
};
using HandleObject = std::variant<KeyHandle, MutexHandle, SnapshotHandle, TokenHandle, FileHandle>;

struct MemoryBlock {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;
  bool moveable = false;
  int locks = 0;
};

// --- Resources -------------------------------------------------------------------------------
// A resource type or name: an integer id or a folded string.
using ResourceKey = std::variant<WORD, std::u16string>;
struct ResourceRecord {
  std::vector<std::uint8_t> data;
  bool removed = false;
};
struct ResourceEntry {
  // By language; the records are never freed while the machine lives, so an HRSRC handed out
  // stays a valid pointer.
  std::map<LANGID, ResourceRecord*> languages;
};

struct Fault {
  DWORD error;
  int times;  // 0: forever
  int skip;
};

struct Machine::State {
  std::recursive_mutex lock;

  // Machine.
  DWORD processorType = plat::PROCESSOR_AMD_X8664;
  DWORD major = 6, minor = 1, build = 7601, platformId = plat::VER_PLATFORM_WIN32_NT;
  bool program32 = true;
  LANGID uiLanguage = 1033;
  std::u16string programPath = uR"(C:\Users\user\Downloads\GlimraUpdate.exe)";
  DWORD programId = 3412;
  std::vector<ProcessRecord> processes;  // besides the program
  DWORD nextProcessId = 5000;
  std::vector<TokenGroup> groups;
  std::map<std::string, std::set<std::string>> removedExports;  // folded module -> names
  DWORD ticks = 1'000'000;
  std::vector<MessageBoxRecord> boxes;

  // Last error per thread.
  std::map<std::thread::id, DWORD> lastErrors;

  // Registry: hklm is HKEY_LOCAL_MACHINE as the 64-bit view (and the only view on 32-bit
  // Windows) sees it; software32 is SOFTWARE as the 32-bit view on 64-bit Windows sees it.
  KeyNode hklm;
  KeyNode software32;

  // Handles and kernel objects.
  std::map<std::uintptr_t, HandleObject> handles;
  std::uintptr_t nextHandle = 0x104;
  std::map<std::u16string, int> namedObjects;  // namespaced name -> open handles
  std::set<std::u16string> heldElsewhere;      // objects another process keeps open
  std::map<const void*, MemoryBlock> memory;   // by HGLOBAL
  std::uintptr_t nextMovable = 0x10008;
  std::set<const void*> sids;
  std::vector<std::unique_ptr<std::uint8_t[]>> sidStorage;

  // Resources of the program's module.
  std::map<std::pair<ResourceKey, ResourceKey>, ResourceEntry> resources;
  std::vector<std::unique_ptr<ResourceRecord>> resourceRecords;

  std::map<std::string, Fault> faults;

  // Files and folders (file_system.cpp).
  FileSystemState files;

  bool Is64BitWindows() const {
    return processorType == plat::PROCESSOR_AMD_X8664 ||
           processorType == plat::PROCESSOR_INTEL_IA64;
  }
  bool ProgramIs32Bit() const { return !Is64BitWindows() || program32; }

  plat::HANDLE AddHandle(HandleObject object);
  template <typename T>
  T* Find(const void* handle) {
    const auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles.end()) return nullptr;
    return std::get_if<T>(&it->second);
  }
  void ReleaseHandle(std::uintptr_t value);

  // The key a view sees at a path, or null; with create, missing keys are made (created counts
  // the keys that had to be made).
  KeyNode* ResolveKey(View view, const std::vector<std::u16string>& path, bool create,
                      int* created = nullptr);
  void SetThreadError(DWORD error) { lastErrors[std::this_thread::get_id()] = error; }

  // The fault to apply to this call of the operation, if any.
  std::optional<DWORD> TakeFault(const char* operation);
};

std::vector<std::u16string> SplitKeyPath(std::u16string_view path);

}  // namespace sim
