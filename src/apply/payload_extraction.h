// Expanding one payload resource ("PATCH", SZDD) into the run's workspace.
#pragma once

#include <span>
#include <string>

#include "plan/patch_catalogue.h"
#include "platform/platform.h"
#include "szdd/sha256.h"

namespace glimra {

// The HRESULT of a payload that cannot be expanded (error 110, the open failed).
inline constexpr plat::HRESULT kPayloadNotExpanded =
    plat::HRESULT_FROM_WIN32(plat::ERROR_OPEN_FAILED);

// Expands the item's payload (resource "PATCH" numbered by the absolute value of resourceId, in
// module) into ToLongPath(workspace + <file name of the target>), by way of a compressed copy
// "<file name>.tmp" beside it that is always gone afterwards, and stamps the expanded file's
// creation, last-access and last-write times with the item's timestamp taken as UTC. workspace
// ends in a backslash. On success returns 0 and sets expandedPath; on failure returns a negative
// HRESULT and leaves expandedPath empty:
//   - the Win32 error of the resource look-up, of creating the compressed copy (a missing
//     workspace gives 0x80070003) or of writing it; nothing is left behind;
//   - kPayloadNotExpanded when the copy was written short, an LZ open or the copy failed (the
//     expanded file, if the LZ functions created it, stays in the workspace), or the expanded
//     file differs from the payload's entry in digests (length and SHA-256; a payload without an
//     entry cannot be checked and fails too). A file that failed the check is deleted: it never
//     reaches the product.
//   - the Win32 error of opening the expanded file for the check.
plat::HRESULT ExtractPayload(plat::Platform& platform, const std::u16string& workspace,
                             const PatchEntry& item, plat::HMODULE module,
                             std::u16string& expandedPath,
                             std::span<const szdd::PayloadDigest> digests);

}  // namespace glimra
