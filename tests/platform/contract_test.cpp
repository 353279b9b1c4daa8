// What Windows does for each platform operation the program uses, stated once and run against
// every implementation: the simulated machine on the host, the Win32 calls under wine64.
//
// The environment is a 64-bit program on 64-bit Windows in both builds (the win64 test program),
// so an unflagged registry call reaches the 64-bit view.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/contract_env.h"

namespace {

using plat::BOOL;
using plat::BYTE;
using plat::DWORD;
using plat::HANDLE;
using plat::HKEY;
using plat::LONG;
using plat::REGSAM;
using plat::WCHAR;
using plat::WORD;

constexpr LONG Ok = 0;
constexpr LONG Err(DWORD error) {
  return static_cast<LONG>(error);
}

plat::Platform& P() {
  return contract::Env().platform();
}

std::vector<BYTE> Bytes(std::u16string_view text, bool withNul) {
  std::vector<BYTE> bytes((text.size() + (withNul ? 1 : 0)) * 2, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return bytes;
}

// --- Registry --------------------------------------------------------------------------------

class RegistryContract : public ::testing::Test {
 protected:
  void TearDown() override {
    for (HKEY key : open_) P().registry.RegCloseKey(key);
  }

  // A key path unique to this run below SOFTWARE (redirected) or SYSTEM (shared).
  static std::u16string Software(std::u16string_view rest) {
    return u"SOFTWARE\\GlimraContractTests\\" + contract::Env().UniqueName() + u"\\" +
           std::u16string(rest);
  }
  static std::u16string System(std::u16string_view rest) {
    return u"SYSTEM\\GlimraContractTests\\" + contract::Env().UniqueName() + u"\\" +
           std::u16string(rest);
  }

  HKEY Create(const std::u16string& path, REGSAM view = 0, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    const LONG error = P().registry.RegCreateKeyExW(
        plat::HkeyLocalMachine(), path.c_str(), 0, nullptr, plat::REG_OPTION_NON_VOLATILE,
        plat::KEY_READ | plat::KEY_WRITE | view, nullptr, &key, disposition);
    EXPECT_EQ(error, Ok) << "creating a test key";
    if (key) open_.push_back(key);
    return key;
  }

  LONG Open(const std::u16string& path, REGSAM sam, HKEY* key) {
    const LONG error =
        P().registry.RegOpenKeyExW(plat::HkeyLocalMachine(), path.c_str(), 0, sam, key);
    if (error == Ok) open_.push_back(*key);
    return error;
  }

  // Stores the counted bytes of data; the two bytes after them are 'X' 'X' or, with nulAfter, a
  // NUL unit.
  void Set(HKEY key, const char16_t* name, DWORD type, const std::vector<BYTE>& data,
           bool nulAfter = false) {
    std::vector<BYTE> source = data;
    source.push_back(nulAfter ? 0 : 'X');
    source.push_back(nulAfter ? 0 : 'X');
    ASSERT_EQ(P().registry.RegSetValueExW(key, name, 0, type, source.data(),
                                          static_cast<DWORD>(data.size())),
              Ok);
  }

  std::vector<HKEY> open_;
};

// A key under SOFTWARE exists in the view it was created in only; the 64-bit view reaches the
// 32-bit one under Wow6432Node.
TEST_F(RegistryContract, SoftwareKeysExistPerView) {
  Create(Software(u"Only64"), plat::KEY_WOW64_64KEY);
  Create(Software(u"Only32"), plat::KEY_WOW64_32KEY);
  HKEY key = nullptr;
  EXPECT_EQ(Open(Software(u"Only64"), plat::KEY_READ | plat::KEY_WOW64_32KEY, &key),
            Err(plat::ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(Software(u"Only64"), plat::KEY_READ | plat::KEY_WOW64_64KEY, &key), Ok);
  EXPECT_EQ(Open(Software(u"Only64"), plat::KEY_READ, &key), Ok) << "a 64-bit program sees 64";
  EXPECT_EQ(Open(Software(u"Only32"), plat::KEY_READ | plat::KEY_WOW64_64KEY, &key),
            Err(plat::ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(Software(u"Only32"), plat::KEY_READ, &key), Err(plat::ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(Software(u"Only32"), plat::KEY_READ | plat::KEY_WOW64_32KEY, &key), Ok);
  const std::u16string redirected =
      u"SOFTWARE\\Wow6432Node\\GlimraContractTests\\" + contract::Env().UniqueName() + u"\\Only32";
  EXPECT_EQ(Open(redirected, plat::KEY_READ | plat::KEY_WOW64_64KEY, &key), Ok);
}

TEST_F(RegistryContract, SystemKeysAreSharedByBothViews) {
  HKEY created = Create(System(u"Shared"), plat::KEY_WOW64_64KEY);
  Set(created, u"V", plat::REG_DWORD, {7, 0, 0, 0});
  HKEY key = nullptr;
  ASSERT_EQ(Open(System(u"Shared"), plat::KEY_READ | plat::KEY_WOW64_32KEY, &key), Ok);
  DWORD value = 0, size = sizeof value;
  EXPECT_EQ(P().registry.RegQueryValueExW(key, u"V", nullptr, nullptr,
                                          reinterpret_cast<BYTE*>(&value), &size),
            Ok);
  EXPECT_EQ(value, 7u);
}

TEST_F(RegistryContract, KeyPathsAndValueNamesIgnoreCase) {
  HKEY created = Create(Software(u"MixedCase\\Inner"));
  Set(created, u"ValueName", plat::REG_DWORD, {1, 0, 0, 0});
  HKEY key = nullptr;
  std::u16string lower = Software(u"mixedcase\\INNER");
  ASSERT_EQ(Open(lower, plat::KEY_READ, &key), Ok);
  DWORD size = 0;
  EXPECT_EQ(P().registry.RegQueryValueExW(key, u"VALUENAME", nullptr, nullptr, nullptr, &size), Ok);
  EXPECT_EQ(size, 4u);
}

// Values come back as stored, whatever their shape: nothing is expanded or converted, and the
// size is the stored one.
TEST_F(RegistryContract, ValueReadsReportTypeSizeAndExactBytes) {
  struct Case {
    const char* what;
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> data;  // what RegSetValueExW counts
    bool nulAfter;           // a NUL unit follows the counted bytes
    std::vector<BYTE> stored;
  };
  const auto abc = Bytes(u"abc", false);
  const auto abcNul = Bytes(u"abc", true);
  const std::vector<Case> cases = {
      {"string with NUL", u"Sz", plat::REG_SZ, abcNul, false, abcNul},
      {"string without NUL", u"NoNul", plat::REG_SZ, abc, false, abc},
      // Windows adds the NUL a count left out when it follows the counted bytes.
      {"string counted without its NUL", u"Counted", plat::REG_SZ, abc, true, abcNul},
      {"binary is never extended", u"Binary", plat::REG_BINARY, abc, true, abc},
      {"odd byte count", u"Odd", plat::REG_SZ, {'a', 0, 'b'}, false, {'a', 0, 'b'}},
      {"empty string of 0 bytes", u"Empty", plat::REG_SZ, {}, false, {}},
      {"expand string kept unexpanded", u"Expand", plat::REG_EXPAND_SZ,
       Bytes(u"%SystemRoot%\\x", true), false, Bytes(u"%SystemRoot%\\x", true)},
      {"dword", u"Dword", plat::REG_DWORD, {1, 0, 0, 0}, false, {1, 0, 0, 0}},
      {"default value", nullptr, plat::REG_SZ, abcNul, false, abcNul},
  };
  HKEY key = Create(Software(u"Values"));
  for (const auto& c : cases) Set(key, c.name, c.type, c.data, c.nulAfter);

  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto size = static_cast<DWORD>(c.stored.size());
    // No buffer: the type and the size.
    DWORD type = 0xDEAD, got = 0;
    EXPECT_EQ(P().registry.RegQueryValueExW(key, c.name, nullptr, &type, nullptr, &got), Ok);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(got, size);

    // A buffer of exactly that size: the stored bytes.
    std::vector<BYTE> buffer(size + 8, 0xCC);
    got = size;
    EXPECT_EQ(P().registry.RegQueryValueExW(key, c.name, nullptr, &type, buffer.data(), &got), Ok);
    EXPECT_EQ(got, size);
    EXPECT_TRUE(std::equal(c.stored.begin(), c.stored.end(), buffer.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + size, buffer.end(), [](BYTE b) { return b == 0xCC; }))
        << "nothing written past the size given";

    // One byte short: ERROR_MORE_DATA with the size needed and the type.
    if (size > 0) {
      got = size - 1;
      type = 0;
      EXPECT_EQ(P().registry.RegQueryValueExW(key, c.name, nullptr, &type, buffer.data(), &got),
                Err(plat::ERROR_MORE_DATA));
      EXPECT_EQ(got, size);
      EXPECT_EQ(type, c.type);
    }
  }
  // An empty name is the default value too.
  DWORD got = 0;
  EXPECT_EQ(P().registry.RegQueryValueExW(key, u"", nullptr, nullptr, nullptr, &got), Ok);
  EXPECT_EQ(got, abcNul.size());
}

// A larger buffer gets a string's bytes and, when they do not end in NUL and two bytes are free,
// a NUL after them that the size does not count (Wine 8 does so; Windows documents no NUL, so
// the program never relies on it and reads strings into buffers of their exact size).
TEST_F(RegistryContract, LargerBufferGetsATerminatingNulAfterAnUnterminatedString) {
  struct Case {
    const char* what;
    DWORD type;
    std::vector<BYTE> stored;
    DWORD bufferSize;
    std::size_t nulBytes;
  };
  const auto abc = Bytes(u"abc", false);
  const std::vector<Case> cases = {
      {"room for a NUL", plat::REG_SZ, abc, 8, 2},
      {"one byte free only", plat::REG_SZ, abc, 7, 0},
      {"odd size", plat::REG_EXPAND_SZ, {'a', 0, 'b'}, 8, 2},
      {"already terminated", plat::REG_SZ, Bytes(u"abc", true), 12, 0},
      {"binary", plat::REG_BINARY, abc, 12, 0},
      {"empty", plat::REG_SZ, {}, 8, 0},
  };
  HKEY key = Create(Software(u"Terminated"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Set(key, u"V", c.type, c.stored);
    std::vector<BYTE> buffer(16, 0xCC);
    DWORD got = c.bufferSize;
    EXPECT_EQ(P().registry.RegQueryValueExW(key, u"V", nullptr, nullptr, buffer.data(), &got), Ok);
    EXPECT_EQ(got, c.stored.size());
    const auto end = buffer.begin() + static_cast<std::ptrdiff_t>(c.stored.size());
    EXPECT_TRUE(std::equal(c.stored.begin(), c.stored.end(), buffer.begin()));
    EXPECT_TRUE(std::all_of(end, end + static_cast<std::ptrdiff_t>(c.nulBytes),
                            [](BYTE b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(end + static_cast<std::ptrdiff_t>(c.nulBytes), buffer.end(),
                            [](BYTE b) { return b == 0xCC; }));
  }
}

TEST_F(RegistryContract, MissingKeysAndValuesAreFileNotFound) {
  HKEY key = Create(Software(u"Present"));
  DWORD size = 0;
  EXPECT_EQ(P().registry.RegQueryValueExW(key, u"Absent", nullptr, nullptr, nullptr, &size),
            Err(plat::ERROR_FILE_NOT_FOUND));
  // A failed open leaves the out-handle null.
  HKEY missing = reinterpret_cast<HKEY>(std::uintptr_t{0x1234});
  EXPECT_EQ(Open(Software(u"Absent\\Deeper"), plat::KEY_READ, &missing),
            Err(plat::ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(missing, nullptr);
  missing = reinterpret_cast<HKEY>(std::uintptr_t{0x1234});
  EXPECT_EQ(Open(Software(u"Absent"), plat::KEY_READ | plat::KEY_WOW64_32KEY, &missing),
            Err(plat::ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(missing, nullptr);
}

TEST_F(RegistryContract, CreateMakesMissingParentsAndReportsDisposition) {
  DWORD disposition = 0;
  Create(Software(u"A\\B\\C"), 0, &disposition);
  EXPECT_EQ(disposition, plat::REG_CREATED_NEW_KEY);
  Create(Software(u"A\\B\\C"), 0, &disposition);
  EXPECT_EQ(disposition, plat::REG_OPENED_EXISTING_KEY);
  Create(Software(u"A\\B"), 0, &disposition);
  EXPECT_EQ(disposition, plat::REG_OPENED_EXISTING_KEY);
}

TEST_F(RegistryContract, RelativeOpenFromAnOpenKey) {
  HKEY parent = Create(Software(u"Parent"));
  Create(Software(u"Parent\\Child"));
  HKEY child = nullptr;
  ASSERT_EQ(P().registry.RegOpenKeyExW(parent, u"Child", 0, plat::KEY_READ, &child), Ok);
  EXPECT_EQ(P().registry.RegCloseKey(child), Ok);
}

TEST_F(RegistryContract, BadHandlesAndArguments) {
  HKEY key = nullptr;
  ASSERT_EQ(P().registry.RegCreateKeyExW(plat::HkeyLocalMachine(), Software(u"Closed").c_str(), 0,
                                         nullptr, 0, plat::KEY_READ | plat::KEY_WRITE, nullptr,
                                         &key, nullptr),
            Ok);
  EXPECT_EQ(P().registry.RegCloseKey(key), Ok);
  EXPECT_EQ(P().registry.RegCloseKey(key), Err(plat::ERROR_INVALID_HANDLE)) << "closed twice";
  DWORD size = 0;
  EXPECT_EQ(P().registry.RegQueryValueExW(key, u"V", nullptr, nullptr, nullptr, &size),
            Err(plat::ERROR_INVALID_HANDLE));

  HKEY open = Create(Software(u"Args"));
  BYTE buffer[4];
  EXPECT_EQ(P().registry.RegQueryValueExW(open, u"V", nullptr, nullptr, buffer, nullptr),
            Err(plat::ERROR_INVALID_PARAMETER))
      << "a buffer without its size";
}

TEST_F(RegistryContract, KeyOpenedForReadingCannotBeWritten) {
  Create(Software(u"ReadOnly"));
  HKEY key = nullptr;
  ASSERT_EQ(Open(Software(u"ReadOnly"), plat::KEY_READ, &key), Ok);
  const BYTE one[4] = {1, 0, 0, 0};
  EXPECT_EQ(P().registry.RegSetValueExW(key, u"V", 0, plat::REG_DWORD, one, 4),
            Err(plat::ERROR_ACCESS_DENIED));
}

// --- Kernel objects and the process ----------------------------------------------------------

TEST(ProcessContract, MutexOfAnExistingNameGivesAlreadyExists) {
  auto& processes = P().processes;
  const std::u16string name = u"Global\\GlimraContract-" + contract::Env().UniqueName();
  processes.SetLastError(1234);
  HANDLE first = processes.CreateMutexW(nullptr, plat::FALSE, name.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(processes.GetLastError(), 0u) << "a new object clears the last error";
  HANDLE second = processes.CreateMutexW(nullptr, plat::FALSE, name.c_str());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(processes.GetLastError(), plat::ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(processes.CloseHandle(second));
  EXPECT_TRUE(processes.CloseHandle(first));
  // With its last handle closed the object is gone.
  HANDLE again = processes.CreateMutexW(nullptr, plat::FALSE, name.c_str());
  EXPECT_EQ(processes.GetLastError(), 0u);
  EXPECT_TRUE(processes.CloseHandle(again));
}

TEST(ProcessContract, ClosingAnInvalidHandleFails) {
  auto& processes = P().processes;
  HANDLE mutex = processes.CreateMutexW(nullptr, plat::FALSE, nullptr);
  ASSERT_TRUE(processes.CloseHandle(mutex));
  processes.SetLastError(0);
  EXPECT_FALSE(processes.CloseHandle(mutex));
  EXPECT_EQ(processes.GetLastError(), plat::ERROR_INVALID_HANDLE);
}

std::u16string OwnPath() {
  std::vector<WCHAR> buffer(32768);
  const DWORD length =
      P().processes.GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::u16string(buffer.data(), length);
}

std::u16string FileNameOf(const std::u16string& path) {
  return path.substr(path.find_last_of(u'\\') + 1);
}

// A path that does not fit is cut to size - 1 characters and a NUL, the size is returned and the
// last error is ERROR_INSUFFICIENT_BUFFER. Wine 8 copies size characters without a NUL instead,
// as Windows XP did.
TEST(ProcessContract, ModuleFileNameTruncation) {
  auto& processes = P().processes;
  const std::u16string path = OwnPath();
  ASSERT_GT(path.size(), 3u);
  const auto length = static_cast<DWORD>(path.size());
  const bool wine = contract::Env().IsWine();
  for (const DWORD size : {length + 1, length, DWORD{3}, DWORD{1}}) {
    SCOPED_TRACE(size);
    std::vector<WCHAR> buffer(length + 8, u'#');
    processes.SetLastError(0);
    const DWORD returned = processes.GetModuleFileNameW(nullptr, buffer.data(), size);
    const DWORD error = processes.GetLastError();
    EXPECT_EQ(buffer[size], u'#') << "nothing written past the buffer";
    if (size > length) {
      EXPECT_EQ(returned, length);
      EXPECT_EQ(std::u16string(buffer.data()), path);
      continue;
    }
    EXPECT_EQ(returned, size);
    EXPECT_EQ(error, plat::ERROR_INSUFFICIENT_BUFFER);
    if (wine) {
      EXPECT_EQ(std::u16string(buffer.data(), size), path.substr(0, size));
    } else {
      EXPECT_EQ(std::u16string(buffer.data()), path.substr(0, size - 1));
    }
  }
}

TEST(ProcessContract, Kernel32ExportsIsWow64Process) {
  auto& processes = P().processes;
  plat::HMODULE kernel32 = processes.GetModuleHandleW(u"kernel32");
  ASSERT_NE(kernel32, nullptr);
  EXPECT_EQ(processes.GetModuleHandleW(u"KERNEL32.DLL"), kernel32);
  plat::FARPROC isWow64 = processes.GetProcAddress(kernel32, "IsWow64Process");
  ASSERT_NE(isWow64, nullptr);
  BOOL wow64 = plat::TRUE;
  EXPECT_TRUE(P().system.InvokeIsWow64Process(isWow64, processes.GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64, plat::FALSE) << "a 64-bit program";

  processes.SetLastError(0);
  EXPECT_EQ(processes.GetProcAddress(kernel32, "NoSuchExportAnywhere"), nullptr);
  EXPECT_EQ(processes.GetLastError(), plat::ERROR_PROC_NOT_FOUND);
  processes.SetLastError(0);
  EXPECT_EQ(processes.GetModuleHandleW(u"no-such-module.dll"), nullptr);
  EXPECT_EQ(processes.GetLastError(), plat::ERROR_MOD_NOT_FOUND);
}

TEST(ProcessContract, SnapshotListsThisProgramUnderItsFileName) {
  auto& processes = P().processes;
  HANDLE snapshot = processes.CreateToolhelp32Snapshot(plat::TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snapshot, plat::InvalidHandleValue());
  const std::u16string own = FileNameOf(OwnPath());
  plat::PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int matches = 0;
  int count = 0;
  for (BOOL more = processes.Process32FirstW(snapshot, &entry); more;
       more = processes.Process32NextW(snapshot, &entry)) {
    ++count;
    const std::u16string name(entry.szExeFile);
    EXPECT_EQ(name.find(u'\\'), std::u16string::npos) << "file name only";
    if (entry.th32ProcessID == processes.GetCurrentProcessId()) {
      EXPECT_EQ(name, own);
      ++matches;
    }
  }
  EXPECT_EQ(processes.GetLastError(), plat::ERROR_NO_MORE_FILES);
  EXPECT_EQ(matches, 1);
  EXPECT_GT(count, 1);

  // First starts over.
  EXPECT_TRUE(processes.Process32FirstW(snapshot, &entry));
  // A record size the function does not know is refused.
  plat::PROCESSENTRY32W small{};
  small.dwSize = sizeof small - 4;
  processes.SetLastError(0);
  EXPECT_FALSE(processes.Process32FirstW(snapshot, &small));
  EXPECT_EQ(processes.GetLastError(), plat::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_TRUE(processes.CloseHandle(snapshot));
}

// --- System information and security --------------------------------------------------------

TEST(SystemContract, NativeSystemInfoOfA64BitProcessor) {
  plat::SYSTEM_INFO info;
  P().system.GetNativeSystemInfo(&info);
  EXPECT_EQ(info.dwProcessorType, plat::PROCESSOR_AMD_X8664);
  EXPECT_EQ(info.u.arch.wProcessorArchitecture, plat::PROCESSOR_ARCHITECTURE_AMD64);
  EXPECT_GT(info.dwNumberOfProcessors, 0u);
  EXPECT_EQ(info.dwPageSize, 4096u);
}

// Only the two record sizes are accepted. Windows then sets ERROR_INSUFFICIENT_BUFFER; Wine 8
// leaves the last error as it was.
TEST(SystemContract, VersionRecordSizes) {
  struct Case {
    DWORD size;
    bool accepted;
  };
  for (const Case c : {Case{276, true}, Case{284, true}, Case{0, false}, Case{275, false},
                       Case{280, false}, Case{300, false}}) {
    SCOPED_TRACE(c.size);
    plat::OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = c.size;
    P().processes.SetLastError(1234);
    const BOOL ok = P().system.GetVersionExW(reinterpret_cast<plat::OSVERSIONINFOW*>(&info));
    const DWORD error = P().processes.GetLastError();
    EXPECT_EQ(ok != 0, c.accepted);
    if (c.accepted) {
      EXPECT_EQ(info.dwMajorVersion, 6u);
      EXPECT_EQ(info.dwMinorVersion, 1u);
      EXPECT_EQ(info.dwPlatformId, plat::VER_PLATFORM_WIN32_NT);
    } else {
      EXPECT_EQ(error, contract::Env().IsWine() ? 1234u : plat::ERROR_INSUFFICIENT_BUFFER);
    }
  }
}

class TokenContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        P().system.OpenProcessToken(P().processes.GetCurrentProcess(), plat::TOKEN_QUERY, &token_));
  }
  void TearDown() override {
    if (token_) P().processes.CloseHandle(token_);
  }
  plat::PSID Sid(DWORD sub0, DWORD sub1) {
    plat::PSID sid = nullptr;
    EXPECT_TRUE(P().system.AllocateAndInitializeSid(&plat::SECURITY_NT_AUTHORITY, 2, sub0, sub1, 0,
                                                    0, 0, 0, 0, 0, &sid));
    return sid;
  }
  HANDLE token_ = nullptr;
};

// The groups lie in the caller's buffer: the array first, the SIDs after it.
TEST_F(TokenContract, TokenGroupsLayoutAndTheAdministratorsGroup) {
  auto& system = P().system;
  DWORD needed = 0;
  P().processes.SetLastError(0);
  EXPECT_FALSE(system.GetTokenInformation(token_, plat::TokenGroups, nullptr, 0, &needed));
  EXPECT_EQ(P().processes.GetLastError(), plat::ERROR_INSUFFICIENT_BUFFER);
  ASSERT_GT(needed, sizeof(plat::TOKEN_GROUPS));

  std::vector<BYTE> buffer(needed + 64, 0);
  DWORD again = 0;
  EXPECT_FALSE(
      system.GetTokenInformation(token_, plat::TokenGroups, buffer.data(), needed - 1, &again));
  EXPECT_EQ(P().processes.GetLastError(), plat::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(again, needed);

  DWORD returned = 0;
  ASSERT_TRUE(
      system.GetTokenInformation(token_, plat::TokenGroups, buffer.data(), needed, &returned));
  EXPECT_EQ(returned, needed);
  const auto* groups = reinterpret_cast<const plat::TOKEN_GROUPS*>(buffer.data());
  ASSERT_GT(groups->GroupCount, 0u);
  const BYTE* arrayEnd = reinterpret_cast<const BYTE*>(groups->Groups + groups->GroupCount);
  const BYTE* bufferEnd = buffer.data() + needed;
  plat::PSID admins = Sid(plat::SECURITY_BUILTIN_DOMAIN_RID, plat::DOMAIN_ALIAS_RID_ADMINS);
  DWORD adminAttributes = 0;
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    const auto* sid = static_cast<const BYTE*>(groups->Groups[i].Sid);
    EXPECT_GE(sid, arrayEnd) << i;
    EXPECT_LE(sid + 8 + 4 * sid[1], bufferEnd) << i;
    if (system.EqualSid(groups->Groups[i].Sid, admins))
      adminAttributes = groups->Groups[i].Attributes;
  }
  // An elevated administrator: mandatory, enabled by default, enabled, owner.
  EXPECT_EQ(adminAttributes, 0xFu);
  EXPECT_EQ(system.FreeSid(admins), nullptr);
}

TEST_F(TokenContract, TokenWithoutQueryAccessCannotBeRead) {
  constexpr DWORD kTokenAdjustDefault = 0x0080;
  HANDLE limited = nullptr;
  ASSERT_TRUE(P().system.OpenProcessToken(P().processes.GetCurrentProcess(), kTokenAdjustDefault,
                                          &limited));
  DWORD needed = 0;
  EXPECT_FALSE(P().system.GetTokenInformation(limited, plat::TokenGroups, nullptr, 0, &needed));
  EXPECT_EQ(P().processes.GetLastError(), plat::ERROR_ACCESS_DENIED);
  P().processes.CloseHandle(limited);
}

TEST_F(TokenContract, SidsCompareByValue) {
  auto& system = P().system;
  plat::PSID admins = Sid(plat::SECURITY_BUILTIN_DOMAIN_RID, plat::DOMAIN_ALIAS_RID_ADMINS);
  plat::PSID adminsAgain = Sid(plat::SECURITY_BUILTIN_DOMAIN_RID, plat::DOMAIN_ALIAS_RID_ADMINS);
  plat::PSID users = Sid(plat::SECURITY_BUILTIN_DOMAIN_RID, 545);
  EXPECT_NE(admins, adminsAgain);
  EXPECT_TRUE(system.EqualSid(admins, adminsAgain));
  P().processes.SetLastError(1234);
  EXPECT_FALSE(system.EqualSid(admins, users));
  EXPECT_EQ(P().processes.GetLastError(), 0u);
  // S-1-5-32-544 in bytes: revision 1, two sub-authorities, authority 5, then 32 and 544.
  const BYTE expected[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};
  EXPECT_EQ(std::memcmp(admins, expected, sizeof expected), 0);
  for (plat::PSID sid : {admins, adminsAgain, users}) EXPECT_EQ(system.FreeSid(sid), nullptr);
}

TEST(SystemContract, GlobalMemoryZeroInitAndLocking) {
  auto& system = P().system;
  constexpr std::size_t kSize = 4096;
  plat::HGLOBAL fixed = system.GlobalAlloc(plat::GMEM_FIXED | plat::GMEM_ZEROINIT, kSize);
  ASSERT_NE(fixed, nullptr);
  auto* bytes = static_cast<BYTE*>(system.GlobalLock(fixed));
  EXPECT_EQ(bytes, fixed) << "fixed memory is its own address";
  EXPECT_TRUE(std::all_of(bytes, bytes + kSize, [](BYTE b) { return b == 0; }));
  EXPECT_EQ(system.GlobalFree(fixed), nullptr);

  plat::HGLOBAL moveable = system.GlobalAlloc(plat::GMEM_MOVEABLE | plat::GMEM_ZEROINIT, kSize);
  ASSERT_NE(moveable, nullptr);
  bytes = static_cast<BYTE*>(system.GlobalLock(moveable));
  ASSERT_NE(bytes, nullptr);
  EXPECT_TRUE(std::all_of(bytes, bytes + kSize, [](BYTE b) { return b == 0; }));
  EXPECT_EQ(system.GlobalLock(moveable), bytes);
  EXPECT_TRUE(system.GlobalUnlock(moveable)) << "still locked once";
  P().processes.SetLastError(1234);
  EXPECT_FALSE(system.GlobalUnlock(moveable)) << "unlocked";
  EXPECT_EQ(P().processes.GetLastError(), 0u);
  EXPECT_EQ(system.GlobalFree(moveable), nullptr);
}

// --- Resources -------------------------------------------------------------------------------

std::u16string BlockText(plat::HMODULE module, plat::HRSRC found, int index) {
  auto& resources = P().resources;
  const auto* block =
      static_cast<const char16_t*>(resources.LockResource(resources.LoadResource(module, found)));
  const DWORD units = resources.SizeofResource(module, found) / 2;
  DWORD at = 0;
  for (int i = 0; i < index && at < units; ++i) at += 1u + block[at];
  if (at >= units) return u"(outside)";
  return std::u16string(block + at + 1, block[at]);
}

std::u16string Decimal(plat::LANGID language) {
  std::u16string text;
  for (const char c : std::to_string(language)) text += static_cast<char16_t>(c);
  return text;
}

// A neutral request takes the display language's block, else English (United States). Checked
// on Wine: 1053 (sv_SE), 2058 (es_MX), 2057 (en_GB), 2055 (de_CH) and 3076 (zh_HK) all get 1033;
// no other sublanguage of the same language is tried.
TEST(ResourceLanguage, NeutralRequestFollowsTheDisplayLanguage) {
  struct Case {
    plat::LANGID display;
    plat::LANGID chosen;
  };
  const Case cases[] = {
      {1033, 1033}, {1041, 1041}, {1031, 1031}, {3082, 3082}, {2052, 2052}, {1028, 1028},
      {1053, 1033}, {2058, 1033}, {2057, 1033}, {2055, 1033}, {3076, 1033},
  };
  auto& env = contract::Env();
  plat::HMODULE module = env.TestModule();
  int ran = 0;
  for (const auto& c : cases) {
    if (!env.SetUserUILanguage(c.display)) continue;
    ++ran;
    SCOPED_TRACE(c.display);
    EXPECT_EQ(P().system.GetUserDefaultUILanguage(), c.display);
    plat::HRSRC found = P().resources.FindResourceExW(
        module, plat::MakeIntResourceW(plat::RT_STRING), plat::MakeIntResourceW(1),
        plat::MAKELANGID(plat::LANG_NEUTRAL, plat::SUBLANG_NEUTRAL));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(BlockText(module, found, 1), Decimal(c.chosen));
    // FindResourceW makes the same choice.
    found = P().resources.FindResourceW(module, plat::MakeIntResourceW(1),
                                        plat::MakeIntResourceW(plat::RT_STRING));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(BlockText(module, found, 1), Decimal(c.chosen));
  }
  EXPECT_GT(ran, 0) << "display language " << P().system.GetUserDefaultUILanguage()
                    << " is not one of the cases";
}

TEST(ResourceContract, SpecificLanguagesAndMissingResources) {
  auto& resources = P().resources;
  plat::HMODULE module = contract::Env().TestModule();
  const auto* rtString = plat::MakeIntResourceW(plat::RT_STRING);
  for (const int language : {1028, 1031, 1033, 1041, 3082}) {
    plat::HRSRC found = resources.FindResourceExW(module, rtString, plat::MakeIntResourceW(1),
                                                  static_cast<plat::LANGID>(language));
    ASSERT_NE(found, nullptr) << language;
    EXPECT_EQ(BlockText(module, found, 1), Decimal(static_cast<plat::LANGID>(language)));
    EXPECT_EQ(resources.SizeofResource(module, found), (16u + 4u) * 2u) << "16 lengths, 4 units";
  }
  struct Missing {
    const char* what;
    const WCHAR* type;
    WORD name;
    plat::LANGID language;
    DWORD error;
  };
  const Missing cases[] = {
      {"language", rtString, 1, 1053, plat::ERROR_RESOURCE_LANG_NOT_FOUND},
      {"name", rtString, 999, 0, plat::ERROR_RESOURCE_NAME_NOT_FOUND},
      {"type", u"NOSUCHTYPE", 1, 0, plat::ERROR_RESOURCE_TYPE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    P().processes.SetLastError(0);
    EXPECT_EQ(resources.FindResourceExW(module, c.type, plat::MakeIntResourceW(c.name), c.language),
              nullptr);
    EXPECT_EQ(P().processes.GetLastError(), c.error);
  }
}

TEST(ResourceContract, StringTypesIgnoreCase) {
  auto& resources = P().resources;
  plat::HMODULE module = contract::Env().TestModule();
  for (const WCHAR* type : {u"PATCH", u"patch", u"Patch"}) {
    plat::HRSRC found = resources.FindResourceW(module, plat::MakeIntResourceW(7), type);
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(resources.SizeofResource(module, found), 3u);
    const void* data = resources.LockResource(resources.LoadResource(module, found));
    EXPECT_EQ(std::memcmp(data, "abc", 3), 0);
  }
}

}  // namespace
