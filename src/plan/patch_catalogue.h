// The built-in tables of the update: the catalogue of the 34 patchable files and the table of the
// 16 folders they live in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"
#include "versions/file_version.h"

namespace glimra {

// A UTC moment without day of week: the creation, access and write time given to a new file.
struct PatchTimestamp {
  plat::WORD year = 0;
  plat::WORD month = 0;
  plat::WORD day = 0;
  plat::WORD hour = 0;
  plat::WORD minute = 0;
  plat::WORD second = 0;
  plat::WORD millisecond = 0;
  friend bool operator==(const PatchTimestamp&, const PatchTimestamp&) = default;
};

// One catalogue row, and one work-list item (a copy of its row whose target is the full path).
//
// resourceId > 0: payload "PATCH" resourceId replaces the target, a row skipped when it is absent.
// resourceId < 0: payload -resourceId replaces or creates the target, taken without version test
//                 when it is absent.
// resourceId == 0: the target is removed; no payload.
struct PatchEntry {
  plat::BYTE forX86 = 0;
  plat::BYTE forX64 = 0;
  // 1: bounds apply to the target's own file version; 0: to the installed product's version text.
  plat::BYTE checkFileVersion = 0;
  std::int32_t folderId = 0;
  std::int32_t resourceId = 0;
  std::u16string target;
  PatchTimestamp timestamp;
  FileVersion minVersion;  // inclusive
  FileVersion maxVersion;  // inclusive
  friend bool operator==(const PatchEntry&, const PatchEntry&) = default;
};

// One row of the folder table: before completion path is the fixed tail, afterwards the full path.
struct PatchFolder {
  plat::DWORD forX86 = 0;
  plat::DWORD forX64 = 0;
  std::int32_t folderId = 0;
  std::u16string path;
};

inline constexpr std::size_t kPatchCatalogueSize = 34;
inline constexpr std::size_t kPatchFolderCount = 16;

using PatchCatalogueTable = std::array<PatchEntry, kPatchCatalogueSize>;
using PatchFolderTable = std::array<PatchFolder, kPatchFolderCount>;
// The work list: items in catalogue order, at most one per row.
using PatchPlan = std::vector<PatchEntry>;

// Folder ids with a meaning of their own.
inline constexpr std::int32_t kApplicationFolderId = 1;
inline constexpr std::int32_t kVideoEditLibFolderId = 2;
inline constexpr std::int32_t kHelpFolderId = 3;  // 4 to 16 are its language sub-folders

// Help-file payloads, which the patch run deletes before it writes them, are exactly these ids.
inline constexpr std::int32_t kFirstHelpResourceId = 409;
inline constexpr std::int32_t kLastHelpResourceId = 421;

inline constexpr PatchTimestamp kPatchTimestamp{2013, 10, 22, 2, 0, 0, 0};

// The 34 rows in resource-id order (row n, from 1, has resourceId 400 + n). Constant for the run.
const PatchCatalogueTable& PatchCatalogue();

// The version of the file carried by row index's payload; none for the compiled help file, which
// has no version information. For the tests and the payload build; not part of the row.
std::optional<FileVersion> PayloadVersion(std::size_t index);

// The folder table with its fixed tails, as at program start: ids 1 to 3 with an empty tail, 4 to
// 16 the language tags "\CHS" to "\RUS". The plan builder completes one such table per run.
PatchFolderTable MakePatchFolderTable();

}  // namespace glimra
