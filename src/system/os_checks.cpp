#include "system/os_checks.h"

#include <cstddef>
#include <cstring>

#include "common/unique_handle.h"

namespace glimra {
namespace {

// Process-wide, as the record is asked for once per process.
OsVersionInfo g_osVersionInfo;

}  // namespace

const OsVersionInfo& GetOsVersionInfo(plat::System& system) {
  if (!g_osVersionInfo.filled) {
    plat::OSVERSIONINFOW info;
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    g_osVersionInfo.platformId = system.GetVersionExW(&info) ? info.dwPlatformId : 0;
    g_osVersionInfo.filled = true;
  }
  return g_osVersionInfo;
}

void ResetOsVersionInfoForTesting() {
  g_osVersionInfo = OsVersionInfo{};
}

bool IsNative64BitSystem(plat::System& system) {
  plat::SYSTEM_INFO info;
  std::memset(&info, 0, sizeof(info));
  system.GetNativeSystemInfo(&info);
  return info.dwProcessorType == plat::PROCESSOR_AMD_X8664 ||
         info.dwProcessorType == plat::PROCESSOR_INTEL_IA64;
}

bool IsRunningUnderWow64(plat::Platform& platform) {
  const plat::HMODULE kernel32 = platform.processes.GetModuleHandleW(u"kernel32");
  if (kernel32 == nullptr) return false;
  const plat::FARPROC isWow64Process =
      platform.processes.GetProcAddress(kernel32, "IsWow64Process");
  if (isWow64Process == nullptr) return false;
  plat::BOOL answer = plat::FALSE;
  if (!platform.system.InvokeIsWow64Process(isWow64Process, platform.processes.GetCurrentProcess(),
                                            &answer)) {
    return false;
  }
  return answer != plat::FALSE;
}

bool IsAdministratorMember(plat::Platform& platform, plat::BOOL* isMember) {
  if (isMember == nullptr) return false;
  *isMember = plat::FALSE;
  if (GetOsVersionInfo(platform.system).platformId != plat::VER_PLATFORM_WIN32_NT) return false;

  plat::HANDLE rawToken = nullptr;
  if (!platform.system.OpenProcessToken(platform.processes.GetCurrentProcess(), plat::TOKEN_QUERY,
                                        &rawToken)) {
    return false;
  }
  const KernelHandle token(platform.processes, rawToken);

  plat::DWORD size = 0;
  if (platform.system.GetTokenInformation(token.get(), plat::TokenGroups, nullptr, 0, &size) ||
      platform.processes.GetLastError() != plat::ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  const GlobalMemory memory(platform.system,
                            platform.system.GlobalAlloc(plat::GMEM_ZEROINIT, size));
  if (!memory) return false;
  void* const groupsBuffer = platform.system.GlobalLock(memory.get());
  if (groupsBuffer == nullptr) return false;
  // Declared after the memory, so the block is unlocked before it is freed.
  const GlobalMemoryLock lock(platform.system, memory.get());

  plat::DWORD written = 0;
  if (!platform.system.GetTokenInformation(token.get(), plat::TokenGroups, groupsBuffer, size,
                                           &written)) {
    return false;
  }

  plat::PSID rawSid = nullptr;
  if (!platform.system.AllocateAndInitializeSid(
          &plat::SECURITY_NT_AUTHORITY, 2, plat::SECURITY_BUILTIN_DOMAIN_RID,
          plat::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &rawSid)) {
    return false;
  }
  const UniqueSid administrators(platform.system, rawSid);

  // The check is made. Walk no further than the buffer holds, whatever GroupCount claims.
  const auto* groups = static_cast<const plat::TOKEN_GROUPS*>(groupsBuffer);
  const std::size_t headerSize = offsetof(plat::TOKEN_GROUPS, Groups);
  const std::size_t capacity =
      size > headerSize ? (size - headerSize) / sizeof(plat::SID_AND_ATTRIBUTES) : 0;
  const plat::SID_AND_ATTRIBUTES* entries = groups->Groups;
  const std::size_t count = size >= sizeof(plat::DWORD) ? groups->GroupCount : 0;
  for (std::size_t i = 0; i < count && i < capacity && *isMember == plat::FALSE; ++i) {
    if (platform.system.EqualSid(entries[i].Sid, administrators.get()) &&
        (entries[i].Attributes & plat::SE_GROUP_ENABLED) != 0) {
      *isMember = plat::TRUE;
    }
  }
  return true;
}

bool PassesAdministratorGate(plat::Platform& platform) {
  plat::BOOL isMember = plat::FALSE;
  if (IsAdministratorMember(platform, &isMember)) return isMember != plat::FALSE;
  return GetOsVersionInfo(platform.system).platformId != plat::VER_PLATFORM_WIN32_NT;
}

}  // namespace glimra
