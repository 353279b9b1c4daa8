// The program's entry point: the gate sequence, the run and the report of its outcome.
#pragma once

#include "platform/platform.h"

namespace glimra {

// Called by the process's real entry point with the platform it runs on. Returns the exit code
// (a negative result leaves the process as its 32-bit pattern). Only hInstance is used.
int wWinMain(plat::Platform& platform, plat::HINSTANCE hInstance, plat::HINSTANCE hPrevInstance,
             const plat::WCHAR* commandLine, int showCommand);

}  // namespace glimra
