// System information, the process token, SIDs and global memory.
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "platform/sim/machine.h"
#include "platform/sim/state.h"

namespace sim {

using plat::BOOL;
using plat::BYTE;
using plat::FALSE;
using plat::HANDLE;
using plat::HGLOBAL;
using plat::PSID;
using plat::TRUE;

namespace {

constexpr BYTE kSidRevision = 1;
constexpr BYTE kMaxSubAuthorities = 15;

std::size_t SidLength(BYTE subAuthorities) {
  return 8 + 4 * std::size_t{subAuthorities};
}

// A SID as Windows lays it out: revision, count, 48-bit big-endian authority, then the
// sub-authorities as native DWORDs.
std::vector<BYTE> ParseSid(const std::string& text) {
  auto fail = [&] { return std::invalid_argument("sim::Machine: not a SID: " + text); };
  if (!text.starts_with("S-1-")) throw fail();
  std::vector<std::uint64_t> parts;
  const char* p = text.data() + 4;
  const char* end = text.data() + text.size();
  while (p < end) {
    std::uint64_t value = 0;
    const auto [next, ec] = std::from_chars(p, end, value);
    if (ec != std::errc() || next == p) throw fail();
    parts.push_back(value);
    p = next;
    if (p < end) {
      if (*p != '-') throw fail();
      ++p;
      if (p == end) throw fail();
    }
  }
  if (parts.empty() || parts.size() - 1 > kMaxSubAuthorities || parts[0] >= (1ull << 48)) {
    throw fail();
  }
  const auto count = static_cast<BYTE>(parts.size() - 1);
  std::vector<BYTE> sid(SidLength(count));
  sid[0] = kSidRevision;
  sid[1] = count;
  for (int i = 0; i < 6; ++i)
    sid[2 + static_cast<std::size_t>(i)] = static_cast<BYTE>(parts[0] >> (8 * (5 - i)));
  for (std::size_t i = 1; i < parts.size(); ++i) {
    if (parts[i] > 0xFFFFFFFFu) throw fail();
    const auto sub = static_cast<DWORD>(parts[i]);
    std::memcpy(&sid[8 + 4 * (i - 1)], &sub, 4);
  }
  return sid;
}

bool LooksLikeSid(const void* sid) {
  if (!sid) return false;
  const auto* bytes = static_cast<const BYTE*>(sid);
  return bytes[0] == kSidRevision && bytes[1] <= kMaxSubAuthorities;
}

constexpr std::size_t kGlobalAllocLimit = std::size_t{1} << 30;

}  // namespace

std::vector<TokenGroup> Machine::DefaultAdministratorGroups() {
  constexpr DWORD kDefault =
      plat::SE_GROUP_MANDATORY | plat::SE_GROUP_ENABLED_BY_DEFAULT | plat::SE_GROUP_ENABLED;
  return {
      {"S-1-5-21-1004336348-1177238915-682003330-513", kDefault},
      {"S-1-1-0", kDefault},
      {"S-1-5-114", kDefault},
      {"S-1-5-32-544", kDefault | plat::SE_GROUP_OWNER},
      {"S-1-5-32-545", kDefault},
      {"S-1-5-4", kDefault},
      {"S-1-2-1", kDefault},
      {"S-1-5-11", kDefault},
      {"S-1-5-15", kDefault},
      {"S-1-5-5-0-71234", kDefault | 0xC0000000u},  // logon id
      {"S-1-2-0", kDefault},
      {"S-1-5-64-10", kDefault},
      {"S-1-16-12288", 0x60},  // high mandatory level, integrity enabled
  };
}

std::vector<TokenGroup> Machine::FilteredAdministratorGroups() {
  auto groups = DefaultAdministratorGroups();
  for (auto& group : groups) {
    if (group.sid == "S-1-5-32-544") group.attributes = plat::SE_GROUP_USE_FOR_DENY_ONLY;
    if (group.sid == "S-1-16-12288") group.sid = "S-1-16-8192";  // medium level
  }
  return groups;
}

void Machine::SetTokenGroups(std::vector<TokenGroup> groups) {
  for (const auto& group : groups) ParseSid(group.sid);  // refuse a malformed set-up at once
  std::lock_guard guard(state_->lock);
  state_->groups = std::move(groups);
}

void Machine::SetProcessorType(DWORD processorType) {
  std::lock_guard guard(state_->lock);
  state_->processorType = processorType;
}

void Machine::SetWindowsVersion(DWORD major, DWORD minor, DWORD build, DWORD platformId) {
  std::lock_guard guard(state_->lock);
  state_->major = major;
  state_->minor = minor;
  state_->build = build;
  state_->platformId = platformId;
}

void Machine::SetProgramIs32Bit(bool is32Bit) {
  std::lock_guard guard(state_->lock);
  state_->program32 = is32Bit;
}

void Machine::SetUserUILanguage(LANGID language) {
  std::lock_guard guard(state_->lock);
  state_->uiLanguage = language;
}

void Machine::GetNativeSystemInfo(plat::SYSTEM_INFO* info) {
  std::lock_guard guard(state_->lock);
  std::memset(info, 0, sizeof *info);
  WORD architecture = plat::PROCESSOR_ARCHITECTURE_INTEL;
  if (state_->processorType == plat::PROCESSOR_AMD_X8664) {
    architecture = plat::PROCESSOR_ARCHITECTURE_AMD64;
  } else if (state_->processorType == plat::PROCESSOR_INTEL_IA64) {
    architecture = plat::PROCESSOR_ARCHITECTURE_IA64;
  }
  info->u.arch.wProcessorArchitecture = architecture;
  info->dwPageSize = 4096;
  info->lpMinimumApplicationAddress = reinterpret_cast<void*>(std::uintptr_t{0x10000});
  info->lpMaximumApplicationAddress =
      reinterpret_cast<void*>(std::uintptr_t{state_->Is64BitWindows() ? 0xFFFEFFFFu : 0x7FFEFFFFu});
  info->dwActiveProcessorMask = 0x3;
  info->dwNumberOfProcessors = 2;
  info->dwProcessorType = state_->processorType;
  info->dwAllocationGranularity = 0x10000;
  info->wProcessorLevel = 6;
  info->wProcessorRevision = 0x3A09;
}

BOOL Machine::GetVersionExW(plat::OSVERSIONINFOW* info) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GetVersionExW")) {
    state_->SetThreadError(*fault);
    return FALSE;
  }
  const DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(plat::OSVERSIONINFOW) && size != sizeof(plat::OSVERSIONINFOEXW)) {
    state_->SetThreadError(plat::ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  info->dwMajorVersion = state_->major;
  info->dwMinorVersion = state_->minor;
  info->dwBuildNumber = state_->build;
  info->dwPlatformId = state_->platformId;
  const std::u16string servicePack = state_->build == 7601 ? u"Service Pack 1" : u"";
  std::fill(std::begin(info->szCSDVersion), std::end(info->szCSDVersion), u'\0');
  std::copy(servicePack.begin(), servicePack.end(), info->szCSDVersion);
  if (size == sizeof(plat::OSVERSIONINFOEXW)) {
    auto* ex = reinterpret_cast<plat::OSVERSIONINFOEXW*>(info);
    ex->wServicePackMajor = servicePack.empty() ? 0 : 1;
    ex->wServicePackMinor = 0;
    ex->wSuiteMask = 0x0100;  // VER_SUITE_SINGLEUSERTS
    ex->wProductType = 1;     // VER_NT_WORKSTATION
    ex->wReserved = 0;
  }
  return TRUE;
}

BOOL Machine::InvokeIsWow64Process(plat::FARPROC isWow64Process, HANDLE process, BOOL* result) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("InvokeIsWow64Process")) {
    state_->SetThreadError(*fault);
    return FALSE;
  }
  // Anything but the export itself would be a call into the void on Windows.
  if (!isWow64Process || isWow64Process != ExportAddress("kernel32", "IsWow64Process")) {
    throw std::logic_error("sim::Machine: InvokeIsWow64Process without kernel32!IsWow64Process");
  }
  if (process != plat::CurrentProcessPseudoHandle() || !result) {
    state_->SetThreadError(!result ? plat::ERROR_NOACCESS : plat::ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *result = state_->Is64BitWindows() && state_->ProgramIs32Bit() ? TRUE : FALSE;
  return TRUE;
}

LANGID Machine::GetUserDefaultUILanguage() {
  std::lock_guard guard(state_->lock);
  return state_->uiLanguage;
}

// --- Token -----------------------------------------------------------------------------------

BOOL Machine::OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("OpenProcessToken")) {
    state_->SetThreadError(*fault);
    return FALSE;
  }
  if (process != plat::CurrentProcessPseudoHandle()) {
    state_->SetThreadError(plat::ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!token) {
    state_->SetThreadError(plat::ERROR_NOACCESS);
    return FALSE;
  }
  *token = state_->AddHandle(TokenHandle{desiredAccess});
  return TRUE;
}

BOOL Machine::GetTokenInformation(HANDLE token, plat::TOKEN_INFORMATION_CLASS infoClass, void* info,
                                  DWORD infoLength, DWORD* returnLength) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GetTokenInformation")) {
    state_->SetThreadError(*fault);
    return FALSE;
  }
  const TokenHandle* handle = state_->Find<TokenHandle>(token);
  if (!handle) {
    state_->SetThreadError(plat::ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if ((handle->access & plat::TOKEN_QUERY) == 0) {
    state_->SetThreadError(plat::ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!returnLength) {
    state_->SetThreadError(plat::ERROR_NOACCESS);
    return FALSE;
  }

  // TokenUser is a TOKEN_GROUPS of one group without the count in front; both put the array
  // first and the SIDs right after it, in the caller's buffer.
  std::vector<std::vector<BYTE>> sids;
  std::vector<DWORD> attributes;
  std::size_t header = 0;
  if (infoClass == plat::TokenGroups) {
    for (const auto& group : state_->groups) {
      sids.push_back(ParseSid(group.sid));
      attributes.push_back(group.attributes);
    }
    header = offsetof(plat::TOKEN_GROUPS, Groups);
  } else if (infoClass == plat::TokenUser) {
    sids.push_back(ParseSid("S-1-5-21-1004336348-1177238915-682003330-1000"));
    attributes.push_back(0);
  } else {
    state_->SetThreadError(plat::ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::size_t needed = header + sids.size() * sizeof(plat::SID_AND_ATTRIBUTES);
  for (const auto& sid : sids) needed += sid.size();
  *returnLength = static_cast<DWORD>(needed);
  if (!info || infoLength < needed) {
    state_->SetThreadError(plat::ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }

  auto* bytes = static_cast<BYTE*>(info);
  auto* array = reinterpret_cast<plat::SID_AND_ATTRIBUTES*>(bytes + header);
  if (infoClass == plat::TokenGroups) {
    const auto count = static_cast<DWORD>(sids.size());
    std::memcpy(bytes, &count, sizeof count);
  }
  BYTE* sidArea = bytes + header + sids.size() * sizeof(plat::SID_AND_ATTRIBUTES);
  for (std::size_t i = 0; i < sids.size(); ++i) {
    std::memcpy(sidArea, sids[i].data(), sids[i].size());
    array[i].Sid = sidArea;
    array[i].Attributes = attributes[i];
    sidArea += sids[i].size();
  }
  return TRUE;
}

// --- SIDs ------------------------------------------------------------------------------------

BOOL Machine::AllocateAndInitializeSid(const plat::SID_IDENTIFIER_AUTHORITY* authority, BYTE count,
                                       DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                                       DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("AllocateAndInitializeSid")) {
    state_->SetThreadError(*fault);
    return FALSE;
  }
  if (count > 8) {
    state_->SetThreadError(plat::ERROR_INVALID_SID);
    return FALSE;
  }
  if (!authority || !sid) {
    state_->SetThreadError(plat::ERROR_NOACCESS);
    return FALSE;
  }
  const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
  auto storage = std::make_unique<BYTE[]>(SidLength(count));
  storage[0] = kSidRevision;
  storage[1] = count;
  std::memcpy(&storage[2], authority->Value, 6);
  std::memcpy(&storage[8], subs, 4 * std::size_t{count});
  *sid = storage.get();
  state_->sids.insert(storage.get());
  state_->sidStorage.push_back(std::move(storage));
  return TRUE;
}

BOOL Machine::EqualSid(PSID a, PSID b) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("EqualSid")) {
    state_->SetThreadError(*fault);
    return FALSE;
  }
  if (!LooksLikeSid(a) || !LooksLikeSid(b)) {
    state_->SetThreadError(plat::ERROR_INVALID_SID);
    return FALSE;
  }
  const auto* x = static_cast<const BYTE*>(a);
  const auto* y = static_cast<const BYTE*>(b);
  state_->SetThreadError(plat::ERROR_SUCCESS);
  return x[1] == y[1] && std::memcmp(x, y, SidLength(x[1])) == 0 ? TRUE : FALSE;
}

void* Machine::FreeSid(PSID sid) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("FreeSid")) {
    state_->SetThreadError(*fault);
    return sid;
  }
  if (!state_->sids.erase(sid)) return sid;  // not ours: Windows would corrupt its heap
  std::erase_if(state_->sidStorage, [&](const auto& storage) { return storage.get() == sid; });
  return nullptr;
}

// --- Global memory ---------------------------------------------------------------------------

HGLOBAL Machine::GlobalAlloc(plat::UINT flags, plat::SIZE_T bytes) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GlobalAlloc")) {
    state_->SetThreadError(*fault);
    return nullptr;
  }
  if (bytes > kGlobalAllocLimit) {
    state_->SetThreadError(plat::ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  MemoryBlock block;
  block.size = bytes;
  block.moveable = (flags & plat::GMEM_MOVEABLE) != 0;
  block.bytes = std::make_unique<std::uint8_t[]>(bytes == 0 ? 1 : bytes);
  // Memory that is not asked to be zeroed is not: code that relies on it shows at once.
  std::memset(block.bytes.get(), (flags & plat::GMEM_ZEROINIT) ? 0 : 0xA5, bytes == 0 ? 1 : bytes);
  const void* handle = block.bytes.get();
  if (block.moveable) {
    handle = reinterpret_cast<const void*>(state_->nextMovable);
    state_->nextMovable += 8;
  }
  state_->memory.emplace(handle, std::move(block));
  return const_cast<void*>(handle);
}

void* Machine::GlobalLock(HGLOBAL memory) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GlobalLock")) {
    state_->SetThreadError(*fault);
    return nullptr;
  }
  const auto it = state_->memory.find(memory);
  if (it == state_->memory.end()) {
    state_->SetThreadError(plat::ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (it->second.moveable) ++it->second.locks;
  return it->second.bytes.get();
}

BOOL Machine::GlobalUnlock(HGLOBAL memory) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GlobalUnlock")) {
    state_->SetThreadError(*fault);
    return FALSE;
  }
  const auto it = state_->memory.find(memory);
  if (it == state_->memory.end()) {
    state_->SetThreadError(plat::ERROR_INVALID_HANDLE);
    return FALSE;
  }
  MemoryBlock& block = it->second;
  if (!block.moveable) return TRUE;  // fixed memory keeps no lock count
  if (block.locks == 0) {
    state_->SetThreadError(plat::ERROR_NOT_LOCKED);
    return FALSE;
  }
  if (--block.locks > 0) return TRUE;
  state_->SetThreadError(plat::ERROR_SUCCESS);
  return FALSE;
}

HGLOBAL Machine::GlobalFree(HGLOBAL memory) {
  std::lock_guard guard(state_->lock);
  if (const auto fault = state_->TakeFault("GlobalFree")) {
    state_->SetThreadError(*fault);
    return memory;
  }
  if (!memory) return nullptr;
  if (!state_->memory.erase(memory)) {
    state_->SetThreadError(plat::ERROR_INVALID_HANDLE);
    return memory;
  }
  return nullptr;
}

}  // namespace sim
