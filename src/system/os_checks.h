// Questions about the machine and the user: the Windows platform, 64-bit Windows, WOW64 and
// membership of the Administrators group.
#pragma once

#include "platform/platform.h"
#include "platform/types.h"

namespace glimra {

struct OsVersionInfo {
  plat::DWORD platformId = 0;  // dwPlatformId; VER_PLATFORM_WIN32_NT is 2. 0 when the query failed.
  bool filled = false;         // set after the first query, whether or not it succeeded
};

// The process-wide record, filled from GetVersionExW on the first call only, so Windows is asked
// once per process.
const OsVersionInfo& GetOsVersionInfo(plat::System& system);

// Forgets the record so that the next GetOsVersionInfo asks again. Only the host tests call this,
// between test cases that each run on a machine of their own; the program never does.
void ResetOsVersionInfoForTesting();

// True when GetNativeSystemInfo's dwProcessorType is PROCESSOR_AMD_X8664 or PROCESSOR_INTEL_IA64
// (the architecture field is not looked at). Keeps no state.
bool IsNative64BitSystem(plat::System& system);

// True when IsWow64Process, looked up in kernel32 at run time, says the process runs under WOW64;
// false when kernel32 or the function is missing or the call fails.
bool IsRunningUnderWow64(plat::Platform& platform);

// Whether the process token holds the built-in Administrators group (S-1-5-32-544) *enabled*: a
// group present only for deny checks, as in a token filtered by user account control, does not
// count. Returns true when the check was made, with the answer in *isMember; false when it could
// not be made (not the NT family, no token, token information or SID unavailable, no memory; a
// null isMember), *isMember then being false. Every token, memory block and SID obtained is
// released on every path.
bool IsAdministratorMember(plat::Platform& platform, plat::BOOL* isMember);

// The administrator gate: the membership answer when the check was made; otherwise true outside
// the NT family and false on it, so a failed check refuses the user on NT.
bool PassesAdministratorGate(plat::Platform& platform);

}  // namespace glimra
