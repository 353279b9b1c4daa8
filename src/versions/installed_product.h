// The installed product's version and the gate that tells whether this update applies to it.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "versions/file_version.h"

namespace glimra {

// The range of installed versions this update accepts, both bounds included.
inline constexpr FileVersion kLowestApplicableVersion{3, 0, 0, 0};
inline constexpr FileVersion kHighestApplicableVersion{3, 3, 0, 0};

enum class InstalledVersionVerdict { Applicable, SameVersion, NotApplicable };

// "DisplayVersion" of the product's uninstall entry, read by OpenForRead (32-bit view first on
// 64-bit Windows). Empty when the key or the value cannot be read or the value is not a string;
// the error is not passed on. The key is closed before returning.
std::u16string ReadInstalledVersion(plat::Platform& platform);

// Applicable within the accepted range; otherwise SameVersion when the text is the target
// version (compared as numbers); otherwise NotApplicable, which includes an empty text.
InstalledVersionVerdict CheckInstalledVersion(std::u16string_view installedVersion);

}  // namespace glimra
