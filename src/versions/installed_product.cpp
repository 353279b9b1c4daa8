#include "versions/installed_product.h"

#include "common/product_constants.h"
#include "system/reg_key.h"

namespace glimra {

std::u16string ReadInstalledVersion(plat::Platform& platform) {
  std::u16string version;
  CRegKeyEx key(platform.registry);
  if (OpenForRead(platform.system, key, kUninstallKey) ==
      static_cast<plat::LONG>(plat::ERROR_SUCCESS)) {
    // A missing or non-string value leaves the text empty, which the gate treats as no product.
    key.QueryStringValue(kDisplayVersionValue, version);
  }
  key.Close();
  return version;
}

InstalledVersionVerdict CheckInstalledVersion(std::u16string_view installedVersion) {
  if (IsVersionAtLeast(installedVersion, kLowestApplicableVersion) &&
      IsVersionAtMost(installedVersion, kHighestApplicableVersion)) {
    return InstalledVersionVerdict::Applicable;
  }
  if (IsSameVersion(installedVersion, kTargetVersionText)) {
    return InstalledVersionVerdict::SameVersion;
  }
  return InstalledVersionVerdict::NotApplicable;
}

}  // namespace glimra
