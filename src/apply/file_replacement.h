// Putting a new file in place of a product file, or removing one, also while another program
// holds it open: the plain operation first, and only on a sharing conflict (error 32) the old
// file moved aside to "<target>.tmp.<process id>-<tick count>" in its own folder and deleted at
// the next restart of Windows.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace glimra {

// Copies source over target (0 on success, else the Win32 error as an HRESULT). Before the copy
// the target's read-only and hidden bits are cleared and the source is given the target's former
// attributes without FILE_ATTRIBUTE_ENCRYPTED, so the new target keeps them; by handle
// (GetFileInformationByHandleEx / SetFileInformationByHandle, looked up in kernel32 on every
// call) when both exist, else by path. A target in use (0x80070020) is moved aside, and the copy
// tried once more. The side file is scheduled for deletion at restart only once the new copy is
// in place; when that copy fails the old file is moved back, and if even that fails it stays
// under the side name, not scheduled, so that no restart deletes the only copy of the file.
// A target that cannot be moved aside gives the move's error and keeps its content.
plat::HRESULT ReplaceTargetFile(plat::Platform& platform, const std::u16string& target,
                                const std::u16string& source);

// Deletes target (0 on success; a missing one gives 0x80070002). Its read-only and hidden bits
// are cleared first. A target in use is moved aside and its content deleted at the next restart:
// the name is free at once. A target that cannot be moved aside gives the move's error.
plat::HRESULT RemoveTargetFile(plat::Platform& platform, const std::u16string& target);

// The side name "%s.tmp.%d-%d" of target, process id and tick count, both printed signed (a tick
// count of 2^31 or more gives two hyphens in a row).
std::u16string MakeSideName(std::u16string_view target, plat::DWORD processId, plat::DWORD ticks);

}  // namespace glimra
