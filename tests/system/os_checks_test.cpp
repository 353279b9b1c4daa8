#include "system/os_checks.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "common/machine_fixture.h"

namespace glimra {
namespace {

using testing::MachineTest;

constexpr const char* kAdministrators = "S-1-5-32-544";
constexpr plat::DWORD kEnabledGroup =
    plat::SE_GROUP_MANDATORY | plat::SE_GROUP_ENABLED_BY_DEFAULT | plat::SE_GROUP_ENABLED;

using OsChecksTest = MachineTest;

TEST_F(OsChecksTest, Native64BitComesFromTheProcessorType) {
  const struct {
    plat::DWORD processorType;
    bool is64Bit;
  } cases[] = {
      {plat::PROCESSOR_AMD_X8664, true},      {plat::PROCESSOR_INTEL_IA64, true},
      {plat::PROCESSOR_INTEL_PENTIUM, false}, {plat::PROCESSOR_INTEL_386, false},
      {plat::PROCESSOR_INTEL_486, false},
  };
  for (const auto& c : cases) {
    sim::Machine m;
    m.SetProcessorType(c.processorType);
    EXPECT_EQ(IsNative64BitSystem(m.platform().system), c.is64Bit) << c.processorType;
  }
}

TEST_F(OsChecksTest, Wow64AnswersOnlyForA32BitProcessOn64BitWindows) {
  const struct {
    const char* name;
    std::function<void(sim::Machine&)> setUp;
    bool underWow64;
  } cases[] = {
      {"32-bit program on 64-bit Windows", [](sim::Machine&) {}, true},
      {"64-bit program", [](sim::Machine& m) { m.SetProgramIs32Bit(false); }, false},
      {"32-bit Windows", [](sim::Machine& m) { m.SetProcessorType(plat::PROCESSOR_INTEL_PENTIUM); },
       false},
      {"IsWow64Process missing",
       [](sim::Machine& m) { m.RemoveExport("kernel32", "IsWow64Process"); }, false},
      {"kernel32 not found",
       [](sim::Machine& m) { m.FailOperation("GetModuleHandleW", plat::ERROR_MOD_NOT_FOUND); },
       false},
      {"the call fails",
       [](sim::Machine& m) { m.FailOperation("InvokeIsWow64Process", plat::ERROR_ACCESS_DENIED); },
       false},
  };
  for (const auto& c : cases) {
    sim::Machine m;
    c.setUp(m);
    EXPECT_EQ(IsRunningUnderWow64(m.platform()), c.underWow64) << c.name;
  }
}

TEST_F(OsChecksTest, VersionRecordIsFilledOnceEvenWhenTheQueryFails) {
  machine.FailOperation("GetVersionExW", plat::ERROR_INVALID_PARAMETER, 1);
  const OsVersionInfo& first = GetOsVersionInfo(platform().system);
  EXPECT_TRUE(first.filled);
  EXPECT_EQ(first.platformId, 0u);
  // Asked once only: a query that would now succeed is not made.
  EXPECT_EQ(GetOsVersionInfo(platform().system).platformId, 0u);

  ResetOsVersionInfoForTesting();
  EXPECT_EQ(GetOsVersionInfo(platform().system).platformId, plat::VER_PLATFORM_WIN32_NT);
}

struct AdminCase {
  const char* name;
  std::function<void(sim::Machine&)> setUp;
  bool checkMade;
  bool member;
  bool gate;
};

TEST_F(OsChecksTest, AdministratorMembershipAndGate) {
  const auto groups = [](std::vector<sim::TokenGroup> g) {
    return [g](sim::Machine& m) { m.SetTokenGroups(g); };
  };
  const auto fail = [](const char* operation, int skip = 0) {
    return [operation, skip](sim::Machine& m) {
      m.FailOperation(operation, plat::ERROR_ACCESS_DENIED, 0, skip);
    };
  };
  const AdminCase cases[] = {
      {"elevated administrator", [](sim::Machine&) {}, true, true, true},
      {"filtered token: Administrators deny-only",
       groups({{"S-1-1-0", kEnabledGroup}, {kAdministrators, plat::SE_GROUP_USE_FOR_DENY_ONLY}}),
       true, false, false},
      {"Administrators present but not enabled",
       groups({{kAdministrators, plat::SE_GROUP_MANDATORY | plat::SE_GROUP_ENABLED_BY_DEFAULT}}),
       true, false, false},
      {"not in Administrators", groups({{"S-1-5-32-545", kEnabledGroup}}), true, false, false},
      {"Administrators after other groups",
       groups({{"S-1-1-0", kEnabledGroup},
               {"S-1-5-32-545", kEnabledGroup},
               {kAdministrators, kEnabledGroup}}),
       true, true, true},
      {"no groups at all", groups({}), true, false, false},
      {"token cannot be opened", fail("OpenProcessToken"), false, false, false},
      {"token size query fails otherwise", fail("GetTokenInformation"), false, false, false},
      {"token groups read fails", fail("GetTokenInformation", 1), false, false, false},
      {"no memory", fail("GlobalAlloc"), false, false, false},
      {"memory cannot be locked", fail("GlobalLock"), false, false, false},
      {"SID cannot be built", fail("AllocateAndInitializeSid"), false, false, false},
      {"not the NT family: no check, user let through",
       [](sim::Machine& m) {
         m.SetWindowsVersion(4, 10, 2222, plat::VER_PLATFORM_WIN32_WINDOWS);
         m.SetTokenGroups({});
       },
       false, false, true},
      {"version query fails: platform id 0 lets the user through",
       [](sim::Machine& m) {
         m.FailOperation("GetVersionExW", plat::ERROR_INVALID_PARAMETER);
         m.SetTokenGroups({});
       },
       false, false, true},
  };
  for (const AdminCase& c : cases) {
    ResetOsVersionInfoForTesting();
    sim::Machine m;
    c.setUp(m);
    plat::BOOL member = plat::TRUE;
    EXPECT_EQ(IsAdministratorMember(m.platform(), &member), c.checkMade) << c.name;
    EXPECT_EQ(member != plat::FALSE, c.member) << c.name;
    EXPECT_EQ(m.OpenHandleCount(), 0u) << c.name << ": token, memory and SID released";
    ResetOsVersionInfoForTesting();
    EXPECT_EQ(PassesAdministratorGate(m.platform()), c.gate) << c.name;
    EXPECT_EQ(m.OpenHandleCount(), 0u) << c.name;
  }
}

TEST_F(OsChecksTest, AdministratorCheckNeedsAnAnswerToFill) {
  EXPECT_FALSE(IsAdministratorMember(platform(), nullptr));
}

}  // namespace
}  // namespace glimra
