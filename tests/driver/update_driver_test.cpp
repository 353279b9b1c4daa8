#include "driver/update_driver.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "common/catalogue_text.h"
#include "common/product_constants.h"
#include "common/wide_string.h"
#include "platform/sim/machine.h"
#include "system/os_checks.h"

namespace glimra {
namespace {

using testing::CatalogueText;

constexpr plat::HRESULT kAlreadyRunningExit = static_cast<plat::HRESULT>(0x80070480u);
constexpr plat::LANGID kEnglish = 1033;
constexpr plat::LANGID kJapanese = 1041;
constexpr const char16_t* kUpdateService = uR"(SOFTWARE\Corvane Corporation\Lumeo Update)";

// A machine that records, for every box shown, what a second copy of the program would find at that
// moment: the handles the program still holds and whether the single-instance mutex exists.
class ObservingMachine : public sim::Machine {
 public:
  int MessageBoxW(plat::HWND owner, const plat::WCHAR* text, const plat::WCHAR* caption,
                  plat::UINT type) override {
    handlesOpen.push_back(OpenHandleCount());
    const plat::HANDLE probe =
        sim::Machine::CreateMutexW(nullptr, plat::FALSE, kSingleInstanceMutexName);
    mutexExisted.push_back(probe != nullptr && GetLastError() == plat::ERROR_ALREADY_EXISTS);
    if (probe != nullptr) CloseHandle(probe);
    return sim::Machine::MessageBoxW(owner, text, caption, type);
  }

  std::vector<std::size_t> handlesOpen;
  std::vector<bool> mutexExisted;
};

struct ProgramRun {
  int exitCode;
  std::vector<sim::MessageBoxRecord> boxes;
  std::vector<std::size_t> handlesAtBox;
  std::vector<bool> mutexAtBox;
  std::size_t handlesAfter;
};

ProgramRun RunProgram(ObservingMachine& machine, const plat::WCHAR* commandLine = u"") {
  ResetOsVersionInfoForTesting();
  const int exitCode =
      wWinMain(machine.platform(), machine.ProgramModule(), nullptr, commandLine, 1);
  return ProgramRun{exitCode, machine.MessageBoxes(), machine.handlesOpen, machine.mutexExisted,
                    machine.OpenHandleCount()};
}

void Install(sim::Machine& m, const std::u16string& version, sim::View view = sim::View::k32) {
  m.SetString(view, kUninstallKey, kDisplayVersionValue, version);
}
// The product's folders recorded and one file of the plan on disk: the English help file, which
// the installed version alone qualifies.
void OnDisk(sim::Machine& m) {
  m.SetString(sim::View::k32, kProductAppKey, u"ApplicationDir", uR"(C:\Product\)");
  m.SetString(sim::View::k32, kProductAppKey, u"VideoEditLibPath", uR"(C:\Product\RerIvor)");
  m.AddFile(uR"(C:\Product\Help\ENU\glm.chm)", {'I', 'T', 'S', 'F'});
}
void Applicable(sim::Machine& m) {
  Install(m, u"3.3.0.0");
  OnDisk(m);
}
void Silent(sim::Machine& m) {
  m.SetDword(sim::View::k32, kUpdateService, kLaunchInstallerValue, 1);
}
void OtherCopyRunning(sim::Machine& m) {
  m.AddNamedObject(kSingleInstanceMutexName);
}
void FilteredToken(sim::Machine& m) {
  m.SetTokenGroups({{"S-1-1-0", plat::SE_GROUP_MANDATORY | plat::SE_GROUP_ENABLED},
                    {"S-1-5-32-544", plat::SE_GROUP_USE_FOR_DENY_ONLY}});
}
void Windows32(sim::Machine& m) {
  m.SetProcessorType(plat::PROCESSOR_INTEL_PENTIUM);
}

using SetUp = std::function<void(sim::Machine&)>;
SetUp All(std::vector<SetUp> steps) {
  return [steps](sim::Machine& m) {
    for (const SetUp& step : steps) step(m);
  };
}

struct GateCase {
  const char* name;
  SetUp setUp;
  plat::HRESULT exitCode;
  // The one box expected; none when silent.
  std::optional<plat::UINT> messageId;
  plat::UINT style = plat::MB_OK;
};

// Until the plan builder exists an applicable machine ends as a failed run with E_NOTIMPL.
constexpr plat::HRESULT kUnfinished = plat::E_NOTIMPL;

std::u16string ExpectedText(plat::LANGID language, plat::UINT id, plat::HRESULT exitCode) {
  std::u16string text = CatalogueText(language, static_cast<std::uint16_t>(id));
  if (id == 1213) {
    text = ReplaceSubstrings(text, u"%08x",
                             FormatWide(u"%08x", {static_cast<std::uint32_t>(exitCode)}));
  }
  return text;
}

class UpdateDriverTest : public ::testing::Test {
 protected:
  UpdateDriverTest() { ResetOsVersionInfoForTesting(); }

  ObservingMachine machine;
};

TEST_F(UpdateDriverTest, GateSequence) {
  const auto launchInstaller = [](sim::RegistryValue value, sim::View view = sim::View::k32) {
    return [value, view](sim::Machine& m) {
      m.SetValue(view, kUpdateService, kLaunchInstallerValue, value);
    };
  };
  const auto tokenFault = [](sim::Machine& m) {
    m.FailOperation("GetTokenInformation", plat::ERROR_ACCESS_DENIED);
  };
  const auto notNt = [](sim::Machine& m) {
    m.SetWindowsVersion(4, 10, 2222, plat::VER_PLATFORM_WIN32_WINDOWS);
  };
  const auto mutexFails = [](sim::Machine& m) {
    m.FailOperation("CreateMutexW", plat::ERROR_ACCESS_DENIED);
  };
  const GateCase cases[] = {
      // Outcomes, interactive and silent.
      {"applicable: the unfinished run is reported as a failure", Applicable, kUnfinished, 1213,
       plat::MB_ICONERROR},
      {"applicable, silent", All({Applicable, Silent}), kUnfinished, {}},
      // The plan builder and the running-program check.
      {"folders not recorded: no target", [](sim::Machine& m) { Install(m, u"3.3.0.0"); },
       plat::S_OK, 1202},
      {"folders recorded, no file on disk: no target",
       [](sim::Machine& m) {
         Install(m, u"3.3.0.0");
         m.SetString(sim::View::k32, kProductAppKey, u"ApplicationDir", uR"(C:\Product\)");
         m.SetString(sim::View::k32, kProductAppKey, u"VideoEditLibPath", uR"(C:\Product\RerIvor)");
       },
       plat::S_OK, 1202},
      {"no target, silent",
       All({[](sim::Machine& m) { Install(m, u"3.3.0.0"); }, Silent}),
       plat::S_OK,
       {}},
      {"a target without version information only: nothing to update",
       [](sim::Machine& m) {
         Install(m, u"3.3.0.0");
         m.SetString(sim::View::k32, kProductAppKey, u"ApplicationDir", uR"(C:\Product\)");
         m.SetString(sim::View::k32, kProductAppKey, u"VideoEditLibPath", uR"(C:\Product\RerIvor)");
         m.AddFile(uR"(C:\Product\GlmStudio.exe)", {'M', 'Z'});
       },
       plat::S_OK, 1203},
      {"the product's main program runs",
       All({Applicable, [](sim::Machine& m) { m.StartProcess(u"GlmStudio.exe"); }}),
       plat::E_ACCESSDENIED, 1215, plat::MB_ICONWARNING},
      {"already running", All({Applicable, OtherCopyRunning}), kAlreadyRunningExit, 1201},
      {"already running, silent",
       All({Applicable, OtherCopyRunning, Silent}),
       kAlreadyRunningExit,
       {}},
      {"mutex cannot be created: runs unguarded", All({Applicable, mutexFails}), kUnfinished, 1213,
       plat::MB_ICONERROR},
      {"filtered token", All({Applicable, FilteredToken}), plat::E_ACCESSDENIED, 1219,
       plat::MB_ICONWARNING},
      {"filtered token, silent",
       All({Applicable, FilteredToken, Silent}),
       plat::E_ACCESSDENIED,
       {}},
      {"token groups unreadable", All({Applicable, tokenFault}), plat::E_ACCESSDENIED, 1219,
       plat::MB_ICONWARNING},
      {"not the NT family passes the administrator gate", All({Applicable, tokenFault, notNt}),
       kUnfinished, 1213, plat::MB_ICONERROR},
      {"32-bit Windows", All({Applicable, Windows32}), plat::E_ACCESSDENIED, 1216,
       plat::MB_ICONWARNING},
      {"32-bit Windows, silent", All({Applicable, Windows32, Silent}), plat::E_ACCESSDENIED, {}},
      {"same version", [](sim::Machine& m) { Install(m, u"3.3.00.10220"); }, plat::E_ACCESSDENIED,
       1218, plat::MB_ICONWARNING},
      {"same version written without leading zero",
       [](sim::Machine& m) { Install(m, u"3.3.0.10220"); }, plat::E_ACCESSDENIED, 1218,
       plat::MB_ICONWARNING},
      {"same version, silent",
       All({[](sim::Machine& m) { Install(m, u"3.3.00.10220"); }, Silent}),
       plat::E_ACCESSDENIED,
       {}},
      {"no product installed", [](sim::Machine&) {}, plat::E_ACCESSDENIED, 1217,
       plat::MB_ICONWARNING},
      {"no product installed, silent", Silent, plat::E_ACCESSDENIED, {}},
      {"2.9.9.9", [](sim::Machine& m) { Install(m, u"2.9.9.9"); }, plat::E_ACCESSDENIED, 1217,
       plat::MB_ICONWARNING},
      {"3.3.0.1", [](sim::Machine& m) { Install(m, u"3.3.0.1"); }, plat::E_ACCESSDENIED, 1217,
       plat::MB_ICONWARNING},
      {"4.0.0.0", [](sim::Machine& m) { Install(m, u"4.0.0.0"); }, plat::E_ACCESSDENIED, 1217,
       plat::MB_ICONWARNING},
      {"3.0.0.0 is applicable",
       [](sim::Machine& m) {
         Install(m, u"3.0.0.0");
         OnDisk(m);
       },
       kUnfinished, 1213, plat::MB_ICONERROR},
      {"uninstall entry in the 64-bit view only",
       [](sim::Machine& m) {
         Install(m, u"3.3.0.0", sim::View::k64);
         OnDisk(m);
       },
       kUnfinished, 1213, plat::MB_ICONERROR},
      {"uninstall entry in both views: the 32-bit view wins",
       [](sim::Machine& m) {
         Install(m, u"4.0.0.0", sim::View::k32);
         Install(m, u"3.3.0.0", sim::View::k64);
       },
       plat::E_ACCESSDENIED, 1217, plat::MB_ICONWARNING},
      // The silent flag.
      {"LaunchInstaller REG_DWORD 0: interactive", launchInstaller({plat::REG_DWORD, {0, 0, 0, 0}}),
       plat::E_ACCESSDENIED, 1217, plat::MB_ICONWARNING},
      {"LaunchInstaller REG_DWORD 1: silent",
       launchInstaller({plat::REG_DWORD, {1, 0, 0, 0}}),
       plat::E_ACCESSDENIED,
       {}},
      {"LaunchInstaller REG_DWORD 2: interactive", launchInstaller({plat::REG_DWORD, {2, 0, 0, 0}}),
       plat::E_ACCESSDENIED, 1217, plat::MB_ICONWARNING},
      {"LaunchInstaller REG_SZ \"1\": interactive", launchInstaller({plat::REG_SZ, {'1', 0, 0, 0}}),
       plat::E_ACCESSDENIED, 1217, plat::MB_ICONWARNING},
      {"LaunchInstaller 1 stored as REG_BINARY counts",
       launchInstaller({plat::REG_BINARY, {1, 0, 0, 0}}),
       plat::E_ACCESSDENIED,
       {}},
      {"LaunchInstaller too long to read: interactive",
       launchInstaller({plat::REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0}}), plat::E_ACCESSDENIED, 1217,
       plat::MB_ICONWARNING},
      {"LaunchInstaller in the 64-bit view only: not seen by the 32-bit program",
       launchInstaller({plat::REG_DWORD, {1, 0, 0, 0}}, sim::View::k64), plat::E_ACCESSDENIED, 1217,
       plat::MB_ICONWARNING},
      // Gate order: the first gate that refuses decides.
      {"already running before the administrator gate",
       All({OtherCopyRunning, FilteredToken, Windows32}), kAlreadyRunningExit, 1201},
      {"administrator gate before the processor test", All({FilteredToken, Windows32}),
       plat::E_ACCESSDENIED, 1219, plat::MB_ICONWARNING},
      {"processor test before the version gate", Windows32, plat::E_ACCESSDENIED, 1216,
       plat::MB_ICONWARNING},
  };
  for (const GateCase& c : cases) {
    ObservingMachine m;
    c.setUp(m);
    const ProgramRun run = RunProgram(m);
    EXPECT_EQ(static_cast<std::uint32_t>(run.exitCode), static_cast<std::uint32_t>(c.exitCode))
        << c.name;
    EXPECT_EQ(run.handlesAfter, 0u) << c.name << ": every handle closed";
    if (!c.messageId) {
      EXPECT_TRUE(run.boxes.empty()) << c.name;
      continue;
    }
    ASSERT_EQ(run.boxes.size(), 1u) << c.name;
    const sim::MessageBoxRecord& box = run.boxes[0];
    EXPECT_EQ(box.text, ExpectedText(kEnglish, *c.messageId, c.exitCode)) << c.name;
    EXPECT_EQ(box.caption, CatalogueText(kEnglish, 200)) << c.name;
    EXPECT_EQ(box.style, c.style) << c.name;
    EXPECT_EQ(box.owner, nullptr) << c.name;
    // Closed before the box: a copy started now is not refused (unless another copy holds it).
    EXPECT_EQ(run.handlesAtBox[0], 0u) << c.name;
    if (*c.messageId != 1201) {
      EXPECT_FALSE(run.mutexAtBox[0]) << c.name;
    }
  }
}

TEST_F(UpdateDriverTest, GateOutcomesMapToMessageStyleAndExitCode) {
  const struct {
    GateOutcome outcome;
    plat::UINT messageId;
    plat::UINT style;
    std::uint32_t exitCode;
  } cases[] = {
      {GateOutcome::AlreadyRunning, 1201, plat::MB_OK, 0x80070480u},
      {GateOutcome::NotAdministrator, 1219, plat::MB_ICONWARNING, 0x80070005u},
      {GateOutcome::UnsupportedSystem, 1216, plat::MB_ICONWARNING, 0x80070005u},
      {GateOutcome::SameVersion, 1218, plat::MB_ICONWARNING, 0x80070005u},
      {GateOutcome::NotApplicable, 1217, plat::MB_ICONWARNING, 0x80070005u},
      {GateOutcome::NoTarget, 1202, plat::MB_OK, 0u},
      {GateOutcome::NothingToUpdate, 1203, plat::MB_OK, 0u},
      {GateOutcome::ProgramsRunning, 1215, plat::MB_ICONWARNING, 0x80070005u},
  };
  for (const auto& c : cases) {
    const GateReport report = DescribeGateOutcome(c.outcome);
    EXPECT_EQ(report.messageId, c.messageId);
    EXPECT_EQ(report.style, c.style) << c.messageId;
    EXPECT_EQ(static_cast<std::uint32_t>(report.exitCode), c.exitCode) << c.messageId;
  }
}

TEST_F(UpdateDriverTest, JapaneseUserGetsJapaneseBoxes) {
  machine.SetUserUILanguage(kJapanese);
  Install(machine, u"2.0.0.0");
  ProgramRun run = RunProgram(machine);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, CatalogueText(kJapanese, 1217));
  EXPECT_EQ(run.boxes[0].caption, CatalogueText(kJapanese, 200));
  EXPECT_EQ(Caption(), CatalogueText(kJapanese, 200));

  ObservingMachine applicable;
  applicable.SetUserUILanguage(kJapanese);
  Applicable(applicable);
  run = RunProgram(applicable);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, ExpectedText(kJapanese, 1213, kUnfinished));
}

TEST_F(UpdateDriverTest, MissingCaptionStillShowsTheBox) {
  // English block 13 (ids 192 to 207) with every entry empty.
  machine.SetResource(plat::RT_STRING, 200 / 16 + 1, kEnglish,
                      testing::MakeStringBlock(std::array<std::u16string, 16>{}));
  ProgramRun run = RunProgram(machine);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].caption, u"");
  EXPECT_EQ(run.boxes[0].text, CatalogueText(kEnglish, 1217));
  EXPECT_EQ(Caption(), u"");
}

TEST_F(UpdateDriverTest, CommandLineIsIgnored) {
  Applicable(machine);
  machine.SetDword(sim::View::k32, kUpdateService, kLaunchInstallerValue, 1);
  const ProgramRun run = RunProgram(machine, u"/quiet /norestart /?");
  EXPECT_EQ(run.exitCode, kUnfinished);
  EXPECT_TRUE(run.boxes.empty());
}

TEST_F(UpdateDriverTest, LaunchInstallerIsOnlyRead) {
  Silent(machine);
  RunProgram(machine);
  const auto value = machine.GetValue(sim::View::k32, kUpdateService, kLaunchInstallerValue);
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, plat::REG_DWORD);
  EXPECT_EQ(value->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
}

}  // namespace
}  // namespace glimra
