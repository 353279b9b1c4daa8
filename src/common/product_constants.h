// Names and values that several parts of the program share. Registry paths are relative to
// HKEY_LOCAL_MACHINE.
#pragma once

#include "platform/types.h"

namespace glimra {

// The version this update brings; also what the post-update records store.
inline constexpr const plat::WCHAR* kTargetVersionText = u"3.3.00.10220";
inline constexpr const plat::WCHAR* kPatchId = u"EP0000748153";
inline constexpr const plat::WCHAR* kProductName = u"Glimra";

inline constexpr const plat::WCHAR* kProductKey = uR"(Software\Corvane Corporation\Glimra\1.0)";
inline constexpr const plat::WCHAR* kProductAppSubKey = u"App";
inline constexpr const plat::WCHAR* kProductAppKey =
    uR"(Software\Corvane Corporation\Glimra\1.0\App)";
inline constexpr const plat::WCHAR* kUninstallKey =
    uR"(Software\Microsoft\Windows\CurrentVersion\Uninstall\InstallShield_{8C1D4E27-5B9A-4F3E-B6D2-1A7E93C04F65})";
inline constexpr const plat::WCHAR* kDisplayVersionValue = u"DisplayVersion";

// Set by the maker's update service when its installer starts the program.
inline constexpr const plat::WCHAR* kLumeoUpdateKey =
    uR"(SOFTWARE\Corvane Corporation\Lumeo Update)";
inline constexpr const plat::WCHAR* kLaunchInstallerValue = u"LaunchInstaller";

// Global namespace: one mutex for every logon of the machine.
inline constexpr const plat::WCHAR* kSingleInstanceMutexName =
    uR"(Global\CorvaneRfxGlmINSUpdater-MutexAll)";

// Programs that must not run while the product is updated, in the order they are looked for.
inline constexpr const plat::WCHAR* kSiblingProgramExe = u"RfxEditor.exe";
inline constexpr const plat::WCHAR* kProductMainProgramExe = u"GlmStudio.exe";

}  // namespace glimra
