// The plan builder: which catalogue files this machine needs, with their full paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "plan/patch_catalogue.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "versions/file_version.h"

namespace glimra {

// The help folder derived from the video-edit library folder: every "RerIvor" (exact case, left
// to right, no overlap) becomes "Help". A path without it is returned unchanged.
std::u16string MakeHelpFolderPath(std::u16string_view videoEditLibPath);

// The file version (not the product version) from the fixed version information of an existing
// file. False for an empty path, a missing path, a directory, a file without version information
// or whose information cannot be read, or fixed information shorter than VS_FIXEDFILEINFO;
// version is then untouched.
bool ReadFixedFileVersion(plat::Files& files, const std::u16string& path, FileVersion& version);

// Walks the catalogue over completed folders and appends every qualifying row to plan, its target
// replaced by the full (ToLongPath) path. Returns the number of items added when some applicable
// target file exists on disk, -1 otherwise. A row whose folder id leads to no usable folder is
// skipped. Growing the plan or a text throws std::bad_alloc, which is not caught.
int CollectPatchEntries(plat::Platform& platform, const PatchFolderTable& folders, PatchPlan& plan);

// Empties plan, reads ApplicationDir and VideoEditLibPath from the product's App key (each with a
// key opened anew by OpenForRead), completes folders in place (base folder + fixed tail, no
// separator added or removed) and collects the plan. -1 with folders and plan untouched (plan
// empty) when either folder or the help folder is empty; no file is looked at then.
// folders must hold the fixed tails (MakePatchFolderTable): completion is not repeatable.
int BuildPatchPlan(plat::Platform& platform, PatchFolderTable& folders, PatchPlan& plan);

}  // namespace glimra
