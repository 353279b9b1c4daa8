// The machine itself: construction, handles, the last error, faults, message boxes and the clock.
#include "platform/sim/machine.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string_view>

#include "platform/sim/state.h"

namespace sim {

char16_t FoldChar(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  return c;
}

std::u16string Fold(std::u16string_view text) {
  std::u16string folded(text);
  for (auto& c : folded) c = FoldChar(c);
  return folded;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return FoldChar(x) == FoldChar(y); });
}

std::u16string_view ViewOf(const plat::WCHAR* text) {
  return text ? std::u16string_view(text) : std::u16string_view();
}

plat::HANDLE Machine::State::AddHandle(HandleObject object) {
  const std::uintptr_t value = nextHandle;
  nextHandle += 4;  // kernel handles are multiples of 4
  handles.emplace(value, std::move(object));
  return reinterpret_cast<plat::HANDLE>(value);
}

void Machine::State::ReleaseHandle(std::uintptr_t value) {
  const auto it = handles.find(value);
  if (it == handles.end()) return;
  if (const auto* mutex = std::get_if<MutexHandle>(&it->second);
      mutex && !mutex->objectName.empty()) {
    if (--namedObjects[mutex->objectName] == 0) namedObjects.erase(mutex->objectName);
  }
  handles.erase(it);
}

namespace {

// Operations that can be made to fail; the rest (GetLastError, GetNativeSystemInfo, ...) cannot
// fail on Windows either.
constexpr std::array kFallibleOperations = {
    "RegOpenKeyExW",
    "RegCreateKeyExW",
    "RegQueryValueExW",
    "RegSetValueExW",
    "RegCloseKey",
    "CloseHandle",
    "CreateMutexW",
    "GetModuleFileNameW",
    "GetModuleHandleW",
    "GetProcAddress",
    "CreateToolhelp32Snapshot",
    "Process32FirstW",
    "Process32NextW",
    "GetVersionExW",
    "InvokeIsWow64Process",
    "OpenProcessToken",
    "GetTokenInformation",
    "AllocateAndInitializeSid",
    "EqualSid",
    "FreeSid",
    "GlobalAlloc",
    "GlobalLock",
    "GlobalUnlock",
    "GlobalFree",
    "FindResourceExW",
    "FindResourceW",
    "SizeofResource",
    "LoadResource",
    "LockResource",
    "MessageBoxW",
    "GetFileAttributesW",
    "GetTempPathW",
    "RemoveDirectoryW",
    "InvokeSHCreateDirectory",
    "LoadLibraryW",
    "GetFileVersionInfoSizeW",
    "GetFileVersionInfoW",
    "VerQueryValueW",
    "CreateFileW",
    "SetFilePointer",
    "SetEndOfFile",
    "WriteFile",
    "ReadFile",
    "SetFileTime",
    "GetFileTime",
    "InvokeGetFileInformationByHandleEx",
    "InvokeSetFileInformationByHandle",
    "CopyFileW",
    "DeleteFileW",
    "MoveFileW",
    "MoveFileExW",
    "SetFileAttributesW",
    "SystemTimeToFileTime",
    "LZOpenFileW",
    "LZCopy",
};

}  // namespace

std::optional<DWORD> Machine::State::TakeFault(const char* operation) {
  const auto it = faults.find(operation);
  if (it == faults.end()) return std::nullopt;
  Fault& fault = it->second;
  if (fault.skip > 0) {
    --fault.skip;
    return std::nullopt;
  }
  const DWORD error = fault.error;
  if (fault.times > 0 && --fault.times == 0) faults.erase(it);
  return error;
}

Machine::Machine()
    : state_(std::make_unique<State>()), platform_{*this, *this, *this, *this,
                                                   *this, *this, *this, *this} {
  // Keys every Windows has below HKEY_LOCAL_MACHINE.
  CreateKey(View::k64, u"SOFTWARE");
  CreateKey(View::k64, u"SYSTEM");
  CreateKey(View::k64, u"HARDWARE");
  SetTokenGroups(DefaultAdministratorGroups());
  AddSystemProcesses();
  LoadProgramResources();
}

Machine::~Machine() = default;

void Machine::FailOperation(const std::string& operation, DWORD error, int times, int skip) {
  if (std::find(kFallibleOperations.begin(), kFallibleOperations.end(),
                std::string_view(operation)) == kFallibleOperations.end()) {
    throw std::invalid_argument("sim::Machine: no fallible operation named " + operation);
  }
  if (times < 0 || skip < 0) throw std::invalid_argument("sim::Machine: negative fault count");
  std::lock_guard guard(state_->lock);
  state_->faults[operation] = Fault{error, times, skip};
}

void Machine::ClearFaults() {
  std::lock_guard guard(state_->lock);
  state_->faults.clear();
}

std::size_t Machine::OpenHandleCount() const {
  std::lock_guard guard(state_->lock);
  return state_->handles.size() + state_->memory.size() + state_->sids.size();
}

DWORD Machine::GetLastError() {
  std::lock_guard guard(state_->lock);
  const auto it = state_->lastErrors.find(std::this_thread::get_id());
  return it == state_->lastErrors.end() ? 0 : it->second;
}

void Machine::SetLastError(DWORD error) {
  std::lock_guard guard(state_->lock);
  state_->SetThreadError(error);
}

// --- User interface and clock ----------------------------------------------------------------

const std::vector<MessageBoxRecord>& Machine::MessageBoxes() const {
  return state_->boxes;
}

int Machine::MessageBoxW(plat::HWND owner, const plat::WCHAR* text, const plat::WCHAR* caption,
                         plat::UINT type) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("MessageBoxW")) {
    state_->SetThreadError(*fault);
    return 0;
  }
  state_->boxes.push_back(
      MessageBoxRecord{std::u16string(ViewOf(text)), std::u16string(ViewOf(caption)), type, owner});
  return plat::IDOK;
}

void Machine::SetTickCount(DWORD ticks) {
  std::lock_guard guard(state_->lock);
  state_->ticks = ticks;
}

DWORD Machine::GetTickCount() {
  std::lock_guard guard(state_->lock);
  return state_->ticks;
}

}  // namespace sim
