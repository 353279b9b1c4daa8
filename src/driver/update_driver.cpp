#include "driver/update_driver.h"

#include "common/product_constants.h"
#include "common/unique_handle.h"
#include "driver/message_catalogue.h"
#include "plan/plan_builder.h"
#include "system/os_checks.h"
#include "system/process_check.h"
#include "system/reg_key.h"
#include "versions/installed_product.h"

namespace glimra {
namespace {

// Process-wide: the patch process titles its dialog with it.
std::u16string g_caption;

// A run result of exactly 1 means the run ended before its worker delivered a result; it is not
// reported.
constexpr plat::HRESULT kRunEndedWithoutResult = 1;

// Ends the program on a gate outcome: the mutex is closed before any box, so a copy started while
// the box is open is not refused.
int EndWithOutcome(plat::Platform& platform, plat::HINSTANCE hInstance, KernelHandle& mutex,
                   bool silent, GateOutcome outcome) {
  mutex.reset();
  const GateReport report = DescribeGateOutcome(outcome);
  if (!silent) {
    const std::u16string text = LoadMessage(platform.resources, hInstance, report.messageId);
    platform.ui.MessageBoxW(nullptr, text.c_str(), g_caption.c_str(), report.style);
  }
  return report.exitCode;
}

void ReportRunResult(plat::Platform& platform, plat::HINSTANCE hInstance, bool silent,
                     plat::HRESULT result) {
  if (silent || result == kRunEndedWithoutResult) return;
  if (result >= 0) {
    const std::u16string text = LoadMessage(platform.resources, hInstance, kMessageUpdateCompleted);
    platform.ui.MessageBoxW(nullptr, text.c_str(), g_caption.c_str(), plat::MB_OK);
    return;
  }
  const std::u16string text = FormatMessageFromId(
      platform.resources, hInstance, kMessageUpdateFailed, {static_cast<std::uint32_t>(result)});
  platform.ui.MessageBoxW(nullptr, text.c_str(), g_caption.c_str(), plat::MB_ICONERROR);
}

}  // namespace

GateReport DescribeGateOutcome(GateOutcome outcome) {
  switch (outcome) {
    case GateOutcome::AlreadyRunning:
      return {kMessageAlreadyRunning, plat::MB_OK,
              plat::HRESULT_FROM_WIN32(plat::ERROR_SINGLE_INSTANCE_APP)};
    case GateOutcome::NotAdministrator:
      return {kMessageNotAdministrator, plat::MB_ICONWARNING, plat::E_ACCESSDENIED};
    case GateOutcome::UnsupportedSystem:
      return {kMessageUnsupportedSystem, plat::MB_ICONWARNING, plat::E_ACCESSDENIED};
    case GateOutcome::SameVersion:
      return {kMessageSameVersion, plat::MB_ICONWARNING, plat::E_ACCESSDENIED};
    case GateOutcome::NotApplicable:
      return {kMessageNotApplicable, plat::MB_ICONWARNING, plat::E_ACCESSDENIED};
    case GateOutcome::NoTarget:
      return {kMessageNoTarget, plat::MB_OK, plat::S_OK};
    case GateOutcome::NothingToUpdate:
      return {kMessageNothingToUpdate, plat::MB_OK, plat::S_OK};
    case GateOutcome::ProgramsRunning:
      return {kMessageProgramsRunning, plat::MB_ICONWARNING, plat::E_ACCESSDENIED};
  }
  return {kMessageUpdateFailed, plat::MB_ICONERROR, plat::E_UNEXPECTED};
}

bool IsLaunchedByInstaller(plat::Registry& registry) {
  CRegKeyEx key(registry);
  if (key.Open(kLumeoUpdateKey, plat::KEY_READ) != static_cast<plat::LONG>(plat::ERROR_SUCCESS)) {
    return false;
  }
  plat::DWORD value = 0;
  plat::DWORD size = sizeof(value);
  const plat::LONG error =
      registry.RegQueryValueExW(key.key(), kLaunchInstallerValue, nullptr, /*type=*/nullptr,
                                reinterpret_cast<plat::BYTE*>(&value), &size);
  key.Close();
  // A value that did not fit leaves the buffer undefined on Windows: it does not count.
  return error == static_cast<plat::LONG>(plat::ERROR_SUCCESS) && value == 1;
}

const std::u16string& Caption() {
  return g_caption;
}

int wWinMain(plat::Platform& platform, plat::HINSTANCE hInstance, plat::HINSTANCE /*hPrevInstance*/,
             const plat::WCHAR* /*commandLine*/, int /*showCommand*/) {
  g_caption = LoadMessage(platform.resources, hInstance, kMessageCaption);
  const bool silent = IsLaunchedByInstaller(platform.registry);
  const std::u16string installedVersion = ReadInstalledVersion(platform);

  // Only the mutex's existence counts: it is never waited on or owned. Without a handle the
  // update runs unguarded.
  KernelHandle mutex(platform.processes,
                     platform.processes.CreateMutexW(
                         /*securityAttributes=*/nullptr,
                         /*initialOwner=*/plat::FALSE, kSingleInstanceMutexName));
  if (mutex && platform.processes.GetLastError() == plat::ERROR_ALREADY_EXISTS) {
    return EndWithOutcome(platform, hInstance, mutex, silent, GateOutcome::AlreadyRunning);
  }

  if (!PassesAdministratorGate(platform)) {
    return EndWithOutcome(platform, hInstance, mutex, silent, GateOutcome::NotAdministrator);
  }
  if (!IsNative64BitSystem(platform.system)) {
    return EndWithOutcome(platform, hInstance, mutex, silent, GateOutcome::UnsupportedSystem);
  }
  switch (CheckInstalledVersion(installedVersion)) {
    case InstalledVersionVerdict::SameVersion:
      return EndWithOutcome(platform, hInstance, mutex, silent, GateOutcome::SameVersion);
    case InstalledVersionVerdict::NotApplicable:
      return EndWithOutcome(platform, hInstance, mutex, silent, GateOutcome::NotApplicable);
    case InstalledVersionVerdict::Applicable:
      break;
  }

  // The folder table is completed once per process, here; the plan lives until the return.
  PatchFolderTable folders = MakePatchFolderTable();
  PatchPlan plan;
  const int planned = BuildPatchPlan(platform, folders, plan);
  if (plan.empty()) {
    return EndWithOutcome(platform, hInstance, mutex, silent,
                          planned < 0 ? GateOutcome::NoTarget : GateOutcome::NothingToUpdate);
  }
  if (AreProductProgramsRunning(platform.processes)) {
    return EndWithOutcome(platform, hInstance, mutex, silent, GateOutcome::ProgramsRunning);
  }

  // Not built yet: RunPatchProcess(plan, Caption(), hInstance) -> the run result. Until then the
  // sequence ends here as a failed run, so the unfinished program never passes for a successful
  // update.
  const plat::HRESULT result = plat::E_NOTIMPL;

  mutex.reset();
  ReportRunResult(platform, hInstance, silent, result);
  return result;
}

}  // namespace glimra
