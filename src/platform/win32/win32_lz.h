// plat::Lz over lz32.dll.
#pragma once

#include "platform/lz.h"

namespace win32 {

// The process's one Lz implementation.
plat::Lz& SystemLz();

}  // namespace win32
