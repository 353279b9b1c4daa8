// The platform interfaces over the real Win32 API.
#pragma once

#include "platform/platform.h"

namespace win32 {

// The process's one Platform: each operation is the Win32 call of the same name.
plat::Platform& SystemPlatform();

}  // namespace win32
