// The private folder a patch run works in, and the extended-length form of long paths.
#pragma once

#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/platform.h"

namespace glimra {

// The extended-length form of path, as a new string: "\\?\" in front of a drive path, or
// "\\?\UNC" in front of a UNC path less its first backslash (\\srv\share\x gives
// \\?\UNC\srv\share\x). Only paths of MAX_PATH (260) characters or more are changed; a path of
// fewer than 4 characters or one that already starts with "\\?\" is returned as it is. Nothing
// else is normalised. Pure.
std::u16string ToLongPath(std::u16string_view path);

// The workspace's base name: the file-name part of the program's own path, extension included
// (Update.exe). Only when that part is empty, "%x.%08x" of the process id and the tick count
// (process 420 at tick 291 gives 1a4.00000123).
std::u16string MakeWorkspaceBaseName(plat::Platform& platform);

// The workspace path <temporary folder>\<baseName>.tmp\ (always ending in a backslash) with the
// folder created by SHCreateDirectory (shell32's ordinal 165, any missing folders above it too).
// The creation's result is ignored: an existing folder is reused, and a folder that cannot be made
// shows when the first file written into it fails. Returns an empty text only when the temporary
// folder cannot be determined (GetTempPathW reports nothing usable); nothing is created then.
std::u16string CreateTempWorkspace(plat::Platform& platform, std::u16string_view baseName);

}  // namespace glimra
