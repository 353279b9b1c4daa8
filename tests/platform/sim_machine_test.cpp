// The simulated machine's own set-up API: faults, handle accounting, 32-bit Windows, and the
// set-up views of the registry. What Windows itself does is in the contract suite.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/sim/machine.h"

namespace {

using plat::DWORD;
using plat::HKEY;
using plat::LONG;
using sim::View;

constexpr LONG Ok = 0;
LONG Err(DWORD error) {
  return static_cast<LONG>(error);
}

class SimMachineTest : public ::testing::Test {
 protected:
  HKEY Open(const char16_t* path, plat::REGSAM sam = plat::KEY_READ) {
    HKEY key = nullptr;
    last = m.RegOpenKeyExW(plat::HkeyLocalMachine(), path, 0, sam, &key);
    return key;
  }
  sim::Machine m;
  LONG last = 0;
};

TEST_F(SimMachineTest, FaultFailsAfterSkipForTimesThenWorksAgain) {
  m.CreateKey(View::k32, uR"(SOFTWARE\A)");
  m.FailOperation("RegOpenKeyExW", plat::ERROR_ACCESS_DENIED, /*times=*/2, /*skip=*/1);
  std::vector<LONG> results;
  for (int i = 0; i < 4; ++i) {
    HKEY key = Open(uR"(SOFTWARE\A)");
    results.push_back(last);
    if (key) m.RegCloseKey(key);
  }
  EXPECT_EQ(results, (std::vector<LONG>{Ok, Err(plat::ERROR_ACCESS_DENIED),
                                        Err(plat::ERROR_ACCESS_DENIED), Ok}));
}

TEST_F(SimMachineTest, FaultWithoutCountFailsUntilCleared) {
  m.FailOperation("CreateMutexW", plat::ERROR_ACCESS_DENIED);
  for (int i = 0; i < 3; ++i) {
    m.SetLastError(0);
    EXPECT_EQ(m.CreateMutexW(nullptr, plat::FALSE, u"Global\\X"), nullptr);
    EXPECT_EQ(m.GetLastError(), plat::ERROR_ACCESS_DENIED);
  }
  m.ClearFaults();
  plat::HANDLE mutex = m.CreateMutexW(nullptr, plat::FALSE, u"Global\\X");
  EXPECT_NE(mutex, nullptr);
  m.CloseHandle(mutex);
}

TEST_F(SimMachineTest, FailedOpenLeavesNullKeyAndReturnsTheError) {
  m.CreateKey(View::k32, uR"(SOFTWARE\A)");
  m.FailOperation("RegOpenKeyExW", plat::ERROR_ACCESS_DENIED);
  HKEY key = reinterpret_cast<HKEY>(std::uintptr_t{0x1234});
  EXPECT_EQ(m.RegOpenKeyExW(plat::HkeyLocalMachine(), uR"(SOFTWARE\A)", 0, plat::KEY_READ, &key),
            Err(plat::ERROR_ACCESS_DENIED));
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

// Each operation's failure value, as the callers test for it.
TEST_F(SimMachineTest, FaultsReturnEachOperationsFailureValue) {
  m.FailOperation("CreateToolhelp32Snapshot", plat::ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(m.CreateToolhelp32Snapshot(plat::TH32CS_SNAPPROCESS, 0), plat::InvalidHandleValue());
  EXPECT_EQ(m.GetLastError(), plat::ERROR_NOT_ENOUGH_MEMORY);

  m.FailOperation("OpenProcessToken", plat::ERROR_ACCESS_DENIED);
  plat::HANDLE token = nullptr;
  EXPECT_EQ(m.OpenProcessToken(m.GetCurrentProcess(), plat::TOKEN_QUERY, &token), plat::FALSE);
  EXPECT_EQ(m.GetLastError(), plat::ERROR_ACCESS_DENIED);

  m.FailOperation("GetModuleFileNameW", plat::ERROR_NOT_ENOUGH_MEMORY);
  plat::WCHAR path[plat::MAX_PATH];
  EXPECT_EQ(m.GetModuleFileNameW(nullptr, path, plat::MAX_PATH), 0u);

  m.FailOperation("GlobalAlloc", plat::ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(m.GlobalAlloc(plat::GMEM_ZEROINIT, 16), nullptr);

  m.FailOperation("FindResourceExW", plat::ERROR_RESOURCE_DATA_NOT_FOUND);
  EXPECT_EQ(m.FindResourceExW(m.ProgramModule(), plat::MakeIntResourceW(plat::RT_STRING),
                              plat::MakeIntResourceW(13), 0),
            nullptr);
  EXPECT_EQ(m.GetLastError(), plat::ERROR_RESOURCE_DATA_NOT_FOUND);

  m.FailOperation("MessageBoxW", plat::ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(m.MessageBoxW(nullptr, u"text", u"caption", plat::MB_OK), 0);
  EXPECT_TRUE(m.MessageBoxes().empty());

  m.FailOperation("GetTokenInformation", plat::ERROR_ACCESS_DENIED);
  m.ClearFaults();
  EXPECT_EQ(m.OpenProcessToken(m.GetCurrentProcess(), plat::TOKEN_QUERY, &token), plat::TRUE);
  m.CloseHandle(token);
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(SimMachineTest, UnknownOrInfallibleOperationNamesAreRefused) {
  EXPECT_THROW(m.FailOperation("RegOpenKeyEx", 5), std::invalid_argument);
  EXPECT_THROW(m.FailOperation("GetNativeSystemInfo", 5), std::invalid_argument);
  EXPECT_THROW(m.FailOperation("RegOpenKeyExW", 5, -1), std::invalid_argument);
}

TEST_F(SimMachineTest, OpenHandleCountFollowsEveryKindOfHandle) {
  m.CreateKey(View::k32, uR"(SOFTWARE\A)");
  HKEY key = Open(uR"(SOFTWARE\A)");
  plat::HANDLE mutex = m.CreateMutexW(nullptr, plat::FALSE, u"M");
  plat::HANDLE snapshot = m.CreateToolhelp32Snapshot(plat::TH32CS_SNAPPROCESS, 0);
  plat::HANDLE token = nullptr;
  m.OpenProcessToken(m.GetCurrentProcess(), plat::TOKEN_QUERY, &token);
  plat::HGLOBAL memory = m.GlobalAlloc(plat::GMEM_MOVEABLE, 8);
  plat::PSID sid = nullptr;
  m.AllocateAndInitializeSid(&plat::SECURITY_NT_AUTHORITY, 1, 18, 0, 0, 0, 0, 0, 0, 0, &sid);
  EXPECT_EQ(m.OpenHandleCount(), 6u);

  EXPECT_EQ(m.RegCloseKey(key), Ok);
  EXPECT_EQ(m.CloseHandle(mutex), plat::TRUE);
  EXPECT_EQ(m.CloseHandle(snapshot), plat::TRUE);
  EXPECT_EQ(m.CloseHandle(token), plat::TRUE);
  EXPECT_EQ(m.GlobalFree(memory), nullptr);
  EXPECT_EQ(m.FreeSid(sid), nullptr);
  EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST_F(SimMachineTest, ClosingTheLastHandleOfAMutexEndsIt) {
  plat::HANDLE first = m.CreateMutexW(nullptr, plat::FALSE, u"Global\\Single");
  EXPECT_TRUE(m.NamedObjectExists(u"Global\\Single"));
  m.CloseHandle(first);
  EXPECT_FALSE(m.NamedObjectExists(u"Global\\Single"));
  plat::HANDLE again = m.CreateMutexW(nullptr, plat::FALSE, u"Global\\Single");
  EXPECT_EQ(m.GetLastError(), 0u);
  m.CloseHandle(again);
}

TEST_F(SimMachineTest, ObjectHeldByAnotherProcessMakesTheMutexExist) {
  m.AddNamedObject(u"Global\\Single");
  plat::HANDLE mutex = m.CreateMutexW(nullptr, plat::FALSE, u"Global\\Single");
  EXPECT_NE(mutex, nullptr);
  EXPECT_EQ(m.GetLastError(), plat::ERROR_ALREADY_EXISTS);
  m.CloseHandle(mutex);
  EXPECT_TRUE(m.NamedObjectExists(u"Global\\Single"));
  // The session namespace is another namespace.
  plat::HANDLE local = m.CreateMutexW(nullptr, plat::FALSE, u"Single");
  EXPECT_EQ(m.GetLastError(), 0u);
  m.CloseHandle(local);
}

TEST_F(SimMachineTest, LastErrorIsPerThread) {
  m.SetLastError(5);
  DWORD seenByWorker = 1;
  std::thread worker([&] {
    seenByWorker = m.GetLastError();
    m.SetLastError(87);
  });
  worker.join();
  EXPECT_EQ(seenByWorker, 0u);
  EXPECT_EQ(m.GetLastError(), 5u);
}

// On 32-bit Windows there is one registry view and the view flags change nothing.
TEST_F(SimMachineTest, ThirtyTwoBitWindowsHasOneView) {
  m.SetProcessorType(plat::PROCESSOR_INTEL_PENTIUM);
  m.SetString(View::k32, uR"(SOFTWARE\Vendor)", u"V", u"one");
  EXPECT_TRUE(m.KeyExists(View::k64, uR"(SOFTWARE\Vendor)"));
  for (const plat::REGSAM sam : {plat::KEY_READ, plat::KEY_READ | plat::KEY_WOW64_32KEY,
                                 plat::KEY_READ | plat::KEY_WOW64_64KEY}) {
    HKEY key = Open(uR"(SOFTWARE\Vendor)", sam);
    EXPECT_EQ(last, Ok) << sam;
    m.RegCloseKey(key);
  }
  plat::SYSTEM_INFO info;
  m.GetNativeSystemInfo(&info);
  EXPECT_EQ(info.dwProcessorType, plat::PROCESSOR_INTEL_PENTIUM);
  EXPECT_EQ(info.u.arch.wProcessorArchitecture, plat::PROCESSOR_ARCHITECTURE_INTEL);
}

TEST_F(SimMachineTest, SixtyFourBitWindowsKeepsSoftwarePerViewAndSharesTheRest) {
  m.SetString(View::k32, uR"(SOFTWARE\Vendor)", u"V", u"32");
  m.SetString(View::k64, uR"(SOFTWARE\Vendor)", u"V", u"64");
  m.SetString(View::k32, uR"(SYSTEM\Shared)", u"V", u"shared");
  EXPECT_EQ(m.GetString(View::k32, uR"(software\VENDOR)", u"v"), u"32");
  EXPECT_EQ(m.GetString(View::k64, uR"(SOFTWARE\Vendor)", u"V"), u"64");
  EXPECT_EQ(m.GetString(View::k64, uR"(SOFTWARE\Wow6432Node\Vendor)", u"V"), u"32");
  EXPECT_EQ(m.GetString(View::k64, uR"(SYSTEM\Shared)", u"V"), u"shared");
}

// A 64-bit program sees the 64-bit view without a flag; the default 32-bit one the 32-bit view.
TEST_F(SimMachineTest, UnflaggedOpenFollowsTheProgramsBitness) {
  m.CreateKey(View::k64, uR"(SOFTWARE\Only64)");
  Open(uR"(SOFTWARE\Only64)");
  EXPECT_EQ(last, Err(plat::ERROR_FILE_NOT_FOUND));
  m.SetProgramIs32Bit(false);
  HKEY key = Open(uR"(SOFTWARE\Only64)");
  EXPECT_EQ(last, Ok);
  m.RegCloseKey(key);
  plat::BOOL wow64 = plat::TRUE;
  m.InvokeIsWow64Process(m.GetProcAddress(m.GetModuleHandleW(u"kernel32"), "IsWow64Process"),
                         m.GetCurrentProcess(), &wow64);
  EXPECT_EQ(wow64, plat::FALSE);
}

TEST_F(SimMachineTest, HandleOfADeletedKeyFailsWithKeyDeleted) {
  m.SetString(View::k32, uR"(SOFTWARE\Gone)", u"V", u"x");
  HKEY key = Open(uR"(SOFTWARE\Gone)");
  m.DeleteKey(View::k32, uR"(SOFTWARE\Gone)");
  DWORD size = 0;
  EXPECT_EQ(m.RegQueryValueExW(key, u"V", nullptr, nullptr, nullptr, &size),
            Err(plat::ERROR_KEY_DELETED));
  EXPECT_EQ(m.RegCloseKey(key), Ok);
  EXPECT_FALSE(m.KeyExists(View::k32, uR"(SOFTWARE\Gone)"));
}

TEST_F(SimMachineTest, RemovedExportIsNotFound) {
  m.RemoveExport("kernel32", "IsWow64Process");
  m.SetLastError(0);
  EXPECT_EQ(m.GetProcAddress(m.GetModuleHandleW(u"kernel32.dll"), "IsWow64Process"), nullptr);
  EXPECT_EQ(m.GetLastError(), plat::ERROR_PROC_NOT_FOUND);
  EXPECT_THROW(m.RemoveExport("kernel32", "NoSuchFunction"), std::invalid_argument);
}

TEST_F(SimMachineTest, StartedAndEndedProcessesShowInLaterSnapshots) {
  const DWORD id = m.StartProcess(uR"(C:\Program Files\Glimra\GlmStudio.exe)");
  auto names = [&] {
    std::vector<std::u16string> seen;
    plat::HANDLE snapshot = m.CreateToolhelp32Snapshot(plat::TH32CS_SNAPPROCESS, 0);
    plat::PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (plat::BOOL ok = m.Process32FirstW(snapshot, &entry); ok;
         ok = m.Process32NextW(snapshot, &entry)) {
      seen.emplace_back(entry.szExeFile);
    }
    m.CloseHandle(snapshot);
    return seen;
  };
  auto seen = names();
  EXPECT_NE(std::find(seen.begin(), seen.end(), u"GlmStudio.exe"), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), u"GlimraUpdate.exe"), seen.end());
  m.EndProcess(id);
  seen = names();
  EXPECT_EQ(std::find(seen.begin(), seen.end(), u"GlmStudio.exe"), seen.end());
}

TEST_F(SimMachineTest, FilteredTokenHasAdministratorsForDenyOnly) {
  m.SetTokenGroups(sim::Machine::FilteredAdministratorGroups());
  plat::HANDLE token = nullptr;
  ASSERT_TRUE(m.OpenProcessToken(m.GetCurrentProcess(), plat::TOKEN_QUERY, &token));
  DWORD size = 0;
  m.GetTokenInformation(token, plat::TokenGroups, nullptr, 0, &size);
  std::vector<std::uint8_t> buffer(size);
  ASSERT_TRUE(m.GetTokenInformation(token, plat::TokenGroups, buffer.data(), size, &size));
  plat::PSID admins = nullptr;
  m.AllocateAndInitializeSid(&plat::SECURITY_NT_AUTHORITY, 2, plat::SECURITY_BUILTIN_DOMAIN_RID,
                             plat::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins);
  const auto* groups = reinterpret_cast<const plat::TOKEN_GROUPS*>(buffer.data());
  const plat::SID_AND_ATTRIBUTES* array = groups->Groups;
  int found = 0;
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    if (m.EqualSid(array[i].Sid, admins)) {
      ++found;
      EXPECT_EQ(array[i].Attributes, plat::SE_GROUP_USE_FOR_DENY_ONLY);
    }
  }
  EXPECT_EQ(found, 1);
  m.FreeSid(admins);
  m.CloseHandle(token);
  EXPECT_THROW(m.SetTokenGroups({{"S-1-5-x", 0}}), std::invalid_argument);
}

TEST_F(SimMachineTest, MessageBoxesAreRecordedInOrder) {
  EXPECT_EQ(m.MessageBoxW(nullptr, u"first", u"Title", plat::MB_OK), plat::IDOK);
  EXPECT_EQ(m.MessageBoxW(nullptr, nullptr, nullptr, plat::MB_ICONWARNING), plat::IDOK);
  ASSERT_EQ(m.MessageBoxes().size(), 2u);
  EXPECT_EQ(m.MessageBoxes()[0].text, u"first");
  EXPECT_EQ(m.MessageBoxes()[0].caption, u"Title");
  EXPECT_EQ(m.MessageBoxes()[1].text, u"");
  EXPECT_EQ(m.MessageBoxes()[1].style, plat::MB_ICONWARNING);
}

TEST_F(SimMachineTest, TickCountIsWhatTheTestSets) {
  m.SetTickCount(0xFFFFFFF0u);
  EXPECT_EQ(m.GetTickCount(), 0xFFFFFFF0u);
}

}  // namespace

#include "string_tables.h"

namespace {

// The program's module holds every catalogue message in every language, in the block and entry
// the loader reads it from.
TEST(SimProgramModule, ServesEveryCatalogueMessage) {
  sim::Machine m;
  const auto catalogue = glimra::resources::MessageCatalogue();
  ASSERT_FALSE(catalogue.empty());
  for (const auto& message : catalogue) {
    plat::HRSRC found = m.FindResourceExW(
        m.ProgramModule(), plat::MakeIntResourceW(plat::RT_STRING),
        plat::MakeIntResourceW(static_cast<plat::WORD>(message.id / 16 + 1)), message.language);
    ASSERT_NE(found, nullptr) << message.language << " " << message.id;
    const auto* block =
        static_cast<const char16_t*>(m.LockResource(m.LoadResource(m.ProgramModule(), found)));
    const std::size_t units = m.SizeofResource(m.ProgramModule(), found) / 2;
    std::size_t at = 0;
    for (int i = 0; i < message.id % 16 && at < units; ++i) at += 1u + block[at];
    ASSERT_LT(at, units);
    EXPECT_EQ(std::u16string_view(block + at + 1, block[at]), message.text)
        << message.language << " " << message.id;
  }
}

}  // namespace
