// plat::Files over the real Win32 API: kernel32, shlwapi, and version.dll.
#pragma once

#include "platform/files.h"

namespace win32 {

// The process's one Files implementation.
plat::Files& SystemFiles();

}  // namespace win32
