#include "system/reg_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/machine_fixture.h"

namespace glimra {
namespace {

using testing::MachineTest;

constexpr const char16_t* kKey = uR"(Software\Corvane Corporation\Test)";
constexpr const char16_t* kOtherKey = uR"(Software\Corvane Corporation\Other)";
constexpr plat::LONG kOk = 0;
constexpr plat::LONG kNotFound = 2;
constexpr plat::LONG kInvalidData = 13;

std::vector<std::uint8_t> Bytes(std::u16string_view units) {
  std::vector<std::uint8_t> bytes;
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

using RegKeyTest = MachineTest;

TEST_F(RegKeyTest, QueryStringValueJudgesTypeAndShape) {
  struct Case {
    const char* name;
    std::optional<sim::RegistryValue> stored;  // none: the value is missing
    plat::LONG error;
    std::u16string text;  // after the call; the text starts as "before"
  };
  std::vector<std::uint8_t> odd = Bytes(std::u16string(u"ab\0", 3));
  odd.pop_back();  // 5 bytes
  const std::u16string huge = std::u16string(300000, u'x');
  const Case cases[] = {
      {"REG_SZ", sim::RegistryValue{plat::REG_SZ, Bytes(std::u16string(u"3.3.0.0\0", 8))}, kOk,
       u"3.3.0.0"},
      {"REG_EXPAND_SZ unexpanded",
       sim::RegistryValue{plat::REG_EXPAND_SZ, Bytes(std::u16string(u"%ProgramFiles%\\G\0", 17))},
       kOk, u"%ProgramFiles%\\G"},
      {"embedded NUL cuts the text",
       sim::RegistryValue{plat::REG_SZ, Bytes(std::u16string(u"ab\0cd\0", 6))}, kOk, u"ab"},
      {"0 bytes: empty", sim::RegistryValue{plat::REG_SZ, {}}, kOk, u""},
      {"only a NUL: empty", sim::RegistryValue{plat::REG_SZ, Bytes(std::u16string(1, u'\0'))}, kOk,
       u""},
      {"huge value", sim::RegistryValue{plat::REG_SZ, Bytes(huge + u'\0')}, kOk, huge},
      {"REG_DWORD", sim::RegistryValue{plat::REG_DWORD, {1, 0, 0, 0}}, kInvalidData, u"before"},
      {"REG_BINARY holding text",
       sim::RegistryValue{plat::REG_BINARY, Bytes(std::u16string(u"a\0", 2))}, kInvalidData,
       u"before"},
      {"REG_MULTI_SZ", sim::RegistryValue{plat::REG_MULTI_SZ, Bytes(std::u16string(u"a\0\0", 3))},
       kInvalidData, u"before"},
      {"odd byte count", sim::RegistryValue{plat::REG_SZ, odd}, kInvalidData, u"before"},
      {"one byte", sim::RegistryValue{plat::REG_SZ, {0}}, kInvalidData, u"before"},
      {"no terminating NUL", sim::RegistryValue{plat::REG_SZ, Bytes(u"abc")}, kInvalidData,
       u"before"},
      {"missing value", std::nullopt, kNotFound, u"before"},
  };
  for (const Case& c : cases) {
    sim::Machine m;
    m.CreateKey(sim::View::k32, kKey);
    if (c.stored) m.SetValue(sim::View::k32, kKey, u"Value", *c.stored);
    CRegKeyEx key(m.platform().registry);
    ASSERT_EQ(key.Open(kKey, plat::KEY_READ), kOk) << c.name;
    std::u16string text = u"before";
    EXPECT_EQ(key.QueryStringValue(u"Value", text), c.error) << c.name;
    EXPECT_EQ(text, c.text) << c.name;
  }
}

TEST_F(RegKeyTest, QueryStringValueReportsAFailedSecondRead) {
  machine.SetString(sim::View::k32, kKey, u"Value", u"abc");
  CRegKeyEx key(platform().registry);
  ASSERT_EQ(key.Open(kKey, plat::KEY_READ), kOk);
  machine.FailOperation("RegQueryValueExW", plat::ERROR_ACCESS_DENIED, 1, /*skip=*/1);
  std::u16string text = u"before";
  EXPECT_EQ(key.QueryStringValue(u"Value", text), 5);
  EXPECT_EQ(text, u"before");
}

TEST_F(RegKeyTest, WithoutAKeyNothingIsReadOrWritten) {
  CRegKeyEx key(platform().registry);
  std::u16string text = u"before";
  EXPECT_NE(key.QueryStringValue(u"Value", text), kOk);
  EXPECT_EQ(text, u"before");
  EXPECT_NE(key.SetStringValue(u"Value", u"x"), kOk);
  EXPECT_EQ(key.Close(), kOk);  // closing an empty object is harmless
}

TEST_F(RegKeyTest, FailedOpenKeepsTheKeyHeldBefore) {
  machine.SetString(sim::View::k64, kKey, u"Value", u"first");
  CRegKeyEx key(platform().registry);
  ASSERT_EQ(key.Open(kKey, plat::KEY_READ | plat::KEY_WOW64_64KEY), kOk);
  const plat::HKEY held = key.key();
  EXPECT_EQ(key.view(), plat::KEY_WOW64_64KEY);

  EXPECT_EQ(key.Open(kOtherKey, plat::KEY_READ | plat::KEY_WOW64_32KEY), kNotFound);
  EXPECT_EQ(key.key(), held);
  EXPECT_EQ(key.view(), plat::KEY_WOW64_64KEY);
  std::u16string text;
  EXPECT_EQ(key.QueryStringValue(u"Value", text), kOk);
  EXPECT_EQ(text, u"first");
  EXPECT_EQ(machine.OpenHandleCount(), 1u);
}

TEST_F(RegKeyTest, SecondOpenClosesTheFirstKey) {
  machine.CreateKey(sim::View::k32, kKey);
  machine.SetString(sim::View::k32, kOtherKey, u"Value", u"second");
  CRegKeyEx key(platform().registry);
  ASSERT_EQ(key.Open(kKey, plat::KEY_READ | plat::KEY_WOW64_32KEY), kOk);
  ASSERT_EQ(key.Open(kOtherKey, plat::KEY_READ), kOk);
  EXPECT_EQ(key.view(), 0u);
  EXPECT_EQ(machine.OpenHandleCount(), 1u);
  std::u16string text;
  EXPECT_EQ(key.QueryStringValue(u"Value", text), kOk);
  EXPECT_EQ(text, u"second");

  EXPECT_EQ(key.Close(), kOk);
  EXPECT_EQ(key.key(), nullptr);
  EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

TEST_F(RegKeyTest, DestructorClosesTheKey) {
  machine.CreateKey(sim::View::k32, kKey);
  {
    CRegKeyEx key(platform().registry);
    ASSERT_EQ(key.Open(kKey, plat::KEY_READ), kOk);
    EXPECT_EQ(machine.OpenHandleCount(), 1u);
  }
  EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

TEST_F(RegKeyTest, CreateMakesTheKeyWithViewZeroAndKeepsTheOldKeyOnFailure) {
  machine.CreateKey(sim::View::k64, kOtherKey);
  CRegKeyEx key(platform().registry);
  ASSERT_EQ(key.Open(kOtherKey, plat::KEY_READ | plat::KEY_WOW64_64KEY), kOk);
  const plat::HKEY held = key.key();

  machine.FailOperation("RegCreateKeyExW", plat::ERROR_ACCESS_DENIED, 1);
  EXPECT_EQ(key.Create(plat::HkeyLocalMachine(), kKey), 5);
  EXPECT_EQ(key.key(), held);
  EXPECT_EQ(key.view(), plat::KEY_WOW64_64KEY);

  ASSERT_EQ(key.Create(plat::HkeyLocalMachine(), kKey), kOk);
  EXPECT_EQ(key.view(), 0u);
  EXPECT_EQ(machine.OpenHandleCount(), 1u);
  EXPECT_TRUE(machine.KeyExists(sim::View::k32, kKey));  // a 32-bit program's own view
  // Creating an existing key opens it.
  ASSERT_EQ(key.SetStringValue(u"Value", u"v"), kOk);
  CRegKeyEx again(platform().registry);
  ASSERT_EQ(again.Create(plat::HkeyLocalMachine(), kKey), kOk);
  std::u16string text;
  EXPECT_EQ(again.QueryStringValue(u"Value", text), kOk);
  EXPECT_EQ(text, u"v");
}

TEST_F(RegKeyTest, SetStringValueStoresTheTerminatingNul) {
  CRegKeyEx key(platform().registry);
  ASSERT_EQ(key.Create(plat::HkeyLocalMachine(), kKey), kOk);

  EXPECT_EQ(key.SetStringValue(u"Null", nullptr), kInvalidData);
  EXPECT_FALSE(machine.GetValue(sim::View::k32, kKey, u"Null").has_value());

  ASSERT_EQ(key.SetStringValue(u"Empty", u""), kOk);
  const auto empty = machine.GetValue(sim::View::k32, kKey, u"Empty");
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->type, plat::REG_SZ);
  EXPECT_EQ(empty->data, (std::vector<std::uint8_t>{0, 0}));

  ASSERT_EQ(key.SetStringValue(u"Version", u"3.3"), kOk);
  const auto version = machine.GetValue(sim::View::k32, kKey, u"Version");
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(version->type, plat::REG_SZ);
  EXPECT_EQ(version->data, Bytes(std::u16string(u"3.3\0", 4)));
}

// OpenForRead: which view a key is read from.
struct ViewCase {
  const char* name;
  bool windows64;
  bool in32;
  bool in64;
  int openFaults;  // failing RegOpenKeyExW calls before the rest succeed
  plat::LONG error;
  plat::REGSAM view;
  std::u16string value;
};

TEST_F(RegKeyTest, OpenForReadTriesThe32BitViewFirst) {
  const ViewCase cases[] = {
      {"64-bit: both views, 32-bit wins", true, true, true, 0, kOk, plat::KEY_WOW64_32KEY, u"32"},
      {"64-bit: 64-bit view only", true, false, true, 0, kOk, plat::KEY_WOW64_64KEY, u"64"},
      {"64-bit: 32-bit view only", true, true, false, 0, kOk, plat::KEY_WOW64_32KEY, u"32"},
      {"64-bit: neither view", true, false, false, 0, kNotFound, 0, u""},
      {"64-bit: any failed first open tries the other view", true, true, true, 1, kOk,
       plat::KEY_WOW64_64KEY, u"64"},
      {"64-bit: the last attempt's error is reported", true, true, true, 2, 5, 0, u""},
      {"32-bit: the one view", false, true, false, 0, kOk, 0, u"32"},
      {"32-bit: no second attempt after a failure", false, true, false, 1, 5, 0, u""},
  };
  for (const ViewCase& c : cases) {
    ResetOsVersionInfoForTesting();
    sim::Machine m;
    if (!c.windows64) m.SetProcessorType(plat::PROCESSOR_INTEL_PENTIUM);
    if (c.in32) m.SetString(sim::View::k32, kKey, u"Value", u"32");
    if (c.in64) m.SetString(sim::View::k64, kKey, u"Value", u"64");
    if (c.openFaults > 0) m.FailOperation("RegOpenKeyExW", plat::ERROR_ACCESS_DENIED, c.openFaults);
    CRegKeyEx key(m.platform().registry);
    EXPECT_EQ(OpenForRead(m.platform().system, key, kKey), c.error) << c.name;
    EXPECT_EQ(key.view(), c.view) << c.name;
    std::u16string text;
    if (c.error == kOk) {
      EXPECT_EQ(key.QueryStringValue(u"Value", text), kOk) << c.name;
    }
    EXPECT_EQ(text, c.value) << c.name;
  }
}

TEST_F(RegKeyTest, OpenForReadDoesNotLookFurtherWhenOnlyTheValueIsMissing) {
  machine.CreateKey(sim::View::k32, kKey);
  machine.SetString(sim::View::k64, kKey, u"Value", u"64");
  CRegKeyEx key(platform().registry);
  ASSERT_EQ(OpenForRead(platform().system, key, kKey), kOk);
  std::u16string text;
  EXPECT_EQ(key.QueryStringValue(u"Value", text), kNotFound);
  EXPECT_EQ(text, u"");
}

}  // namespace
}  // namespace glimra
