// The program's entry point: the gate sequence, the run and the report of its outcome.
#pragma once

#include <string>

#include "platform/platform.h"

namespace glimra {

// Called by the process's real entry point with the platform it runs on. Returns the exit code
// (a negative result leaves the process as its 32-bit pattern). Only hInstance is used.
int wWinMain(plat::Platform& platform, plat::HINSTANCE hInstance, plat::HINSTANCE hPrevInstance,
             const plat::WCHAR* commandLine, int showCommand);

// The gate outcomes that end the program before the run.
enum class GateOutcome {
  AlreadyRunning,
  NotAdministrator,
  UnsupportedSystem,
  SameVersion,
  NotApplicable,
  NoTarget,
  NothingToUpdate,
  ProgramsRunning,
};

// What a gate outcome shows and returns.
struct GateReport {
  plat::UINT messageId;
  plat::UINT style;
  plat::HRESULT exitCode;
};
GateReport DescribeGateOutcome(GateOutcome outcome);

// True when "LaunchInstaller" under HKLM\SOFTWARE\Corvane Corporation\Lumeo Update reads as the
// 32-bit number 1 (whatever its stored type): the maker's installer started the program. The key is
// opened with KEY_READ and no view flag, so a 32-bit program reads the 32-bit view. A missing key
// or value, or one that cannot be read into 4 bytes, is false.
bool IsLaunchedByInstaller(plat::Registry& registry);

// The title of every message box and of the progress dialog: message 200, loaded by wWinMain at its
// start (replaced on every call, so each run starts from its own machine's catalogue). Empty
// before that or when the catalogue has no text.
const std::u16string& Caption();

}  // namespace glimra
