// The program's process: handles, the named mutex, modules and exports, process snapshots.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/sim/machine.h"
#include "platform/sim/state.h"

namespace sim {

using plat::BOOL;
using plat::FALSE;
using plat::HANDLE;
using plat::HMODULE;
using plat::TRUE;
using plat::WCHAR;

namespace {

// Module handles are the modules' base addresses.
constexpr std::uintptr_t kProgramBase = 0x00400000;
constexpr std::uintptr_t kKernel32Base = 0x7B600000;
constexpr std::uintptr_t kNtdllBase = 0x7BC00000;

HMODULE ModuleAt(std::uintptr_t base) {
  return reinterpret_cast<HMODULE>(base);
}

struct LoadedModule {
  std::uintptr_t base;
  const char16_t* fileName;  // as GetModuleHandleW matches it, without ".dll"
  std::vector<const char*> exports;
};

// The system modules every process has. Only the exports the program looks up at run time are
// listed; each resolves to a distinct address inside its module.
const std::vector<LoadedModule>& SystemModules() {
  static const std::vector<LoadedModule> modules = {
      {kKernel32Base,
       u"kernel32",
       {"IsWow64Process", "GetNativeSystemInfo", "CreateMutexW", "GetFileInformationByHandleEx",
        "SetFileInformationByHandle"}},
      {kNtdllBase, u"ntdll", {"NtQueryInformationProcess"}},
  };
  return modules;
}

const LoadedModule* FindSystemModule(std::uintptr_t base) {
  for (const auto& module : SystemModules()) {
    if (module.base == base) return &module;
  }
  return nullptr;
}

std::string FoldAscii(std::string_view text) {
  std::string folded(text);
  for (auto& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  return folded;
}

std::u16string FileNameOf(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// The namespace an object name lives in: "Global\" names are machine-wide, plain and "Local\"
// names belong to the session (the program's only one).
std::u16string NamespacedName(std::u16string_view name) {
  constexpr std::u16string_view kGlobal = u"Global\\";
  constexpr std::u16string_view kLocal = u"Local\\";
  if (name.starts_with(kGlobal)) return u"\\BaseNamedObjects\\" + std::u16string(name.substr(7));
  if (name.starts_with(kLocal)) name.remove_prefix(kLocal.size());
  return u"\\Sessions\\1\\BaseNamedObjects\\" + std::u16string(name);
}

}  // namespace

plat::HMODULE Machine::ProgramModule() const {
  return ModuleAt(kProgramBase);
}

std::u16string Machine::SystemFolder() const {
  std::lock_guard guard(state_->lock);
  return state_->Is64BitWindows() && state_->ProgramIs32Bit() ? uR"(C:\windows\syswow64)"
                                                              : uR"(C:\windows\system32)";
}

// --- Handles and the mutex -------------------------------------------------------------------

BOOL Machine::CloseHandle(HANDLE handle) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("CloseHandle")) {
    state_->SetThreadError(*fault);
    return FALSE;
  }
  if (handle == plat::CurrentProcessPseudoHandle()) return TRUE;
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (!state_->handles.contains(value)) {
    state_->SetThreadError(plat::ERROR_INVALID_HANDLE);
    return FALSE;
  }
  state_->ReleaseHandle(value);
  return TRUE;
}

HANDLE Machine::CreateMutexW(const void* /*securityAttributes*/, BOOL /*initialOwner*/,
                             const WCHAR* name) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("CreateMutexW")) {
    state_->SetThreadError(*fault);
    return nullptr;
  }
  const std::u16string_view given = ViewOf(name);
  if (given.empty()) {
    state_->SetThreadError(plat::ERROR_SUCCESS);
    return state_->AddHandle(MutexHandle{});
  }
  const std::u16string object = NamespacedName(given);
  const bool exists =
      state_->namedObjects.contains(object) || state_->heldElsewhere.contains(object);
  ++state_->namedObjects[object];
  HANDLE handle = state_->AddHandle(MutexHandle{object});
  state_->SetThreadError(exists ? plat::ERROR_ALREADY_EXISTS : plat::ERROR_SUCCESS);
  return handle;
}

void Machine::AddNamedObject(std::u16string name) {
  std::lock_guard guard(state_->lock);
  state_->heldElsewhere.insert(NamespacedName(name));
}

void Machine::RemoveNamedObject(const std::u16string& name) {
  std::lock_guard guard(state_->lock);
  state_->heldElsewhere.erase(NamespacedName(name));
}

bool Machine::NamedObjectExists(const std::u16string& name) const {
  std::lock_guard guard(state_->lock);
  const std::u16string object = NamespacedName(name);
  return state_->namedObjects.contains(object) || state_->heldElsewhere.contains(object);
}

HANDLE Machine::GetCurrentProcess() {
  return plat::CurrentProcessPseudoHandle();
}

DWORD Machine::GetCurrentProcessId() {
  std::lock_guard guard(state_->lock);
  return state_->programId;
}

// --- Modules ---------------------------------------------------------------------------------

DWORD Machine::GetModuleFileNameW(HMODULE module, WCHAR* buffer, DWORD size) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GetModuleFileNameW")) {
    state_->SetThreadError(*fault);
    return 0;
  }
  std::u16string path;
  const auto base = reinterpret_cast<std::uintptr_t>(module);
  if (!module || base == kProgramBase) {
    path = state_->programPath;
  } else if (const LoadedModule* system = FindSystemModule(base)) {
    path = SystemFolder() + u"\\" + system->fileName + u".dll";
  } else {
    state_->SetThreadError(plat::ERROR_MOD_NOT_FOUND);
    return 0;
  }
  // Since Windows Vista a path that does not fit is cut to size - 1 characters and terminated.
  const auto length = static_cast<DWORD>(path.size());
  if (length < size) {
    std::copy(path.begin(), path.end(), buffer);
    buffer[length] = u'\0';
    return length;
  }
  if (size > 0) {
    std::copy_n(path.begin(), size - 1, buffer);
    buffer[size - 1] = u'\0';
  }
  state_->SetThreadError(plat::ERROR_INSUFFICIENT_BUFFER);
  return size;
}

HMODULE Machine::GetModuleHandleW(const WCHAR* moduleName) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GetModuleHandleW")) {
    state_->SetThreadError(*fault);
    return nullptr;
  }
  if (!moduleName) return ProgramModule();
  std::u16string name = FileNameOf(ViewOf(moduleName));
  if (EqualNoCase(name, FileNameOf(state_->programPath))) return ProgramModule();
  if (name.size() > 4 && EqualNoCase(std::u16string_view(name).substr(name.size() - 4), u".dll")) {
    name.resize(name.size() - 4);
  }
  for (const auto& module : SystemModules()) {
    if (EqualNoCase(name, module.fileName)) return ModuleAt(module.base);
  }
  state_->SetThreadError(plat::ERROR_MOD_NOT_FOUND);
  return nullptr;
}

plat::FARPROC Machine::GetProcAddress(HMODULE module, const char* procName) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GetProcAddress")) {
    state_->SetThreadError(*fault);
    return nullptr;
  }
  const auto base = reinterpret_cast<std::uintptr_t>(module);
  if (IsShell32(base)) {  // loaded by LoadLibraryW (file_system.cpp)
    const plat::FARPROC proc = Shell32Export(procName);
    if (!proc) state_->SetThreadError(plat::ERROR_PROC_NOT_FOUND);
    return proc;
  }
  const LoadedModule* system = FindSystemModule(base);
  if (!system) {
    // The program exports nothing; anything else is not a module.
    state_->SetThreadError(base == kProgramBase ? plat::ERROR_PROC_NOT_FOUND
                                                : plat::ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (!procName || plat::IsIntResource(reinterpret_cast<const WCHAR*>(procName))) {
    state_->SetThreadError(plat::ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  const std::string name(procName);
  const auto removed = state_->removedExports.find(FoldAscii(std::string(
      system->fileName, system->fileName + std::char_traits<char16_t>::length(system->fileName))));
  const bool isRemoved = removed != state_->removedExports.end() && removed->second.contains(name);
  for (std::size_t i = 0; i < system->exports.size(); ++i) {
    if (name == system->exports[i] && !isRemoved) {
      return reinterpret_cast<plat::FARPROC>(base + 0x1000 + 0x10 * i);
    }
  }
  state_->SetThreadError(plat::ERROR_PROC_NOT_FOUND);
  return nullptr;
}

plat::FARPROC Machine::ExportAddress(const std::string& module, const std::string& procName) const {
  std::string folded = FoldAscii(module);
  if (folded.ends_with(".DLL")) folded.resize(folded.size() - 4);
  for (const auto& system : SystemModules()) {
    std::string moduleName;
    for (const char16_t* c = system.fileName; *c; ++c) moduleName += static_cast<char>(*c);
    if (FoldAscii(moduleName) != folded) continue;
    for (std::size_t i = 0; i < system.exports.size(); ++i) {
      if (procName == system.exports[i]) {
        return reinterpret_cast<plat::FARPROC>(system.base + 0x1000 + 0x10 * i);
      }
    }
  }
  return nullptr;
}

void Machine::RemoveExport(const std::string& module, const std::string& procName) {
  std::string folded = FoldAscii(module);
  if (folded.ends_with(".DLL")) folded.resize(folded.size() - 4);
  if (!ExportAddress(module, procName)) {
    throw std::invalid_argument("sim::Machine: no export " + module + "!" + procName);
  }
  std::lock_guard guard(state_->lock);
  state_->removedExports[folded].insert(procName);
}

// --- Processes -------------------------------------------------------------------------------

void Machine::AddSystemProcesses() {
  struct Process {
    DWORD id, parent, threads;
    const char16_t* name;
  };
  static constexpr Process kSystem[] = {
      {0, 0, 2, u"[System Process]"}, {4, 0, 96, u"System"},
      {268, 4, 2, u"smss.exe"},       {356, 348, 9, u"csrss.exe"},
      {400, 348, 3, u"wininit.exe"},  {496, 400, 7, u"services.exe"},
      {512, 400, 8, u"lsass.exe"},    {628, 496, 11, u"svchost.exe"},
      {716, 496, 19, u"svchost.exe"}, {1480, 1456, 31, u"explorer.exe"},
  };
  std::lock_guard guard(state_->lock);
  for (const auto& p : kSystem)
    state_->processes.push_back(ProcessRecord{p.id, p.parent, p.threads, p.name});
}

DWORD Machine::StartProcess(std::u16string exeName) {
  std::lock_guard guard(state_->lock);
  const DWORD id = state_->nextProcessId;
  state_->nextProcessId += 4;
  state_->processes.push_back(ProcessRecord{id, 1480, 4, FileNameOf(exeName)});
  return id;
}

void Machine::EndProcess(DWORD processId) {
  std::lock_guard guard(state_->lock);
  std::erase_if(state_->processes, [&](const ProcessRecord& p) { return p.id == processId; });
  std::erase_if(state_->files.holds, [&](const FileHold& h) { return h.processId == processId; });
}

void Machine::SetProgramPath(std::u16string path) {
  std::lock_guard guard(state_->lock);
  state_->programPath = std::move(path);
}

HANDLE Machine::CreateToolhelp32Snapshot(DWORD flags, DWORD /*processId*/) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("CreateToolhelp32Snapshot")) {
    state_->SetThreadError(*fault);
    return plat::InvalidHandleValue();
  }
  SnapshotHandle snapshot;
  if (flags & plat::TH32CS_SNAPPROCESS) {
    // The list as it is now; processes started later are not in it.
    snapshot.processes = state_->processes;
    snapshot.processes.push_back(
        ProcessRecord{state_->programId, 1480, 2, FileNameOf(state_->programPath)});
    std::stable_sort(snapshot.processes.begin(), snapshot.processes.end(),
                     [](const ProcessRecord& a, const ProcessRecord& b) { return a.id < b.id; });
  }
  return state_->AddHandle(std::move(snapshot));
}

namespace {

BOOL FillEntry(Machine::State& state, SnapshotHandle* snapshot, plat::PROCESSENTRY32W* entry) {
  if (!snapshot) {
    state.SetThreadError(plat::ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!entry || entry->dwSize < sizeof(plat::PROCESSENTRY32W)) {
    state.SetThreadError(plat::ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (snapshot->next >= snapshot->processes.size()) {
    state.SetThreadError(plat::ERROR_NO_MORE_FILES);
    return FALSE;
  }
  const ProcessRecord& process = snapshot->processes[snapshot->next++];
  entry->cntUsage = 0;
  entry->th32ProcessID = process.id;
  entry->th32DefaultHeapID = 0;
  entry->th32ModuleID = 0;
  entry->cntThreads = process.threads;
  entry->th32ParentProcessID = process.parentId;
  entry->pcPriClassBase = 8;
  entry->dwFlags = 0;
  const std::size_t length = std::min<std::size_t>(process.exeName.size(), plat::MAX_PATH - 1);
  std::copy_n(process.exeName.begin(), length, entry->szExeFile);
  std::fill(entry->szExeFile + length, entry->szExeFile + plat::MAX_PATH, u'\0');
  return TRUE;
}

}  // namespace

BOOL Machine::Process32FirstW(HANDLE snapshot, plat::PROCESSENTRY32W* entry) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("Process32FirstW")) {
    state_->SetThreadError(*fault);
    return FALSE;
  }
  auto* found = state_->Find<SnapshotHandle>(snapshot);
  if (found) found->next = 0;
  return FillEntry(*state_, found, entry);
}

BOOL Machine::Process32NextW(HANDLE snapshot, plat::PROCESSENTRY32W* entry) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("Process32NextW")) {
    state_->SetThreadError(*fault);
    return FALSE;
  }
  return FillEntry(*state_, state_->Find<SnapshotHandle>(snapshot), entry);
}

}  // namespace sim
