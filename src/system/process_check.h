// Whether programs that must not run during the update are running.
#pragma once

#include <string_view>

#include "platform/processes.h"

namespace glimra {

// True when a process in a snapshot of the running processes has exactly this executable name
// (file name without folder; same code units, case counts). A snapshot that cannot be taken
// answers false. The snapshot is closed before returning.
bool IsProcessRunning(plat::Processes& processes, std::u16string_view exeName);

// True when the maker's sibling program "RfxEditor.exe" runs or, failing that, the product's main
// program "GlmStudio.exe".
bool AreProductProgramsRunning(plat::Processes& processes);

}  // namespace glimra
