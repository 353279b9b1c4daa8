#include "versions/installed_product.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/machine_fixture.h"
#include "common/product_constants.h"

namespace glimra {
namespace {

TEST(CheckInstalledVersionTest, AcceptsTheRangeAndTellsTheTargetApart) {
  using V = InstalledVersionVerdict;
  const struct {
    std::u16string_view text;
    V verdict;
  } cases[] = {
      {u"3.0.0.0", V::Applicable},          {u"3.3.0.0", V::Applicable},
      {u"3.1.00.05190", V::Applicable},     {u"3.3", V::NotApplicable},  // 3.3.3.3
      {u"2.9.9.9", V::NotApplicable},       {u"3.3.0.1", V::NotApplicable},
      {u"4.0.0.0", V::NotApplicable},       {u"3.3.00.10220", V::SameVersion},
      {u"3.3.0.10220", V::SameVersion},     {u"", V::NotApplicable},
      {u"not a version", V::NotApplicable}, {u"-3.0.0.0", V::NotApplicable},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckInstalledVersion(c.text), c.verdict)
        << std::string(c.text.begin(), c.text.end());
  }
}

using ReadInstalledVersionTest = testing::MachineTest;

TEST_F(ReadInstalledVersionTest, ReadsDisplayVersionByTheViewRule) {
  const struct {
    const char* name;
    std::function<void(sim::Machine&)> setUp;
    std::u16string expected;
  } cases[] = {
      {"no uninstall entry", [](sim::Machine&) {}, u""},
      {"32-bit view",
       [](sim::Machine& m) {
         m.SetString(sim::View::k32, kUninstallKey, kDisplayVersionValue, u"3.1.00.05190");
       },
       u"3.1.00.05190"},
      {"64-bit view only",
       [](sim::Machine& m) {
         m.SetString(sim::View::k64, kUninstallKey, kDisplayVersionValue, u"3.2.0.0");
       },
       u"3.2.0.0"},
      {"both views: the 32-bit view wins",
       [](sim::Machine& m) {
         m.SetString(sim::View::k32, kUninstallKey, kDisplayVersionValue, u"3.0.0.0");
         m.SetString(sim::View::k64, kUninstallKey, kDisplayVersionValue, u"3.3.0.0");
       },
       u"3.0.0.0"},
      {"32-bit view without the value: not looked for in the 64-bit view",
       [](sim::Machine& m) {
         m.CreateKey(sim::View::k32, kUninstallKey);
         m.SetString(sim::View::k64, kUninstallKey, kDisplayVersionValue, u"3.3.0.0");
       },
       u""},
      {"value is not a string",
       [](sim::Machine& m) { m.SetDword(sim::View::k32, kUninstallKey, kDisplayVersionValue, 3); },
       u""},
      {"REG_EXPAND_SZ is read as stored",
       [](sim::Machine& m) {
         m.SetString(sim::View::k32, kUninstallKey, kDisplayVersionValue, u"3.3.0.0",
                     plat::REG_EXPAND_SZ);
       },
       u"3.3.0.0"},
      {"32-bit Windows: the only view",
       [](sim::Machine& m) {
         m.SetProcessorType(plat::PROCESSOR_INTEL_PENTIUM);
         m.SetString(sim::View::k32, kUninstallKey, kDisplayVersionValue, u"3.3.0.0");
       },
       u"3.3.0.0"},
  };
  for (const auto& c : cases) {
    sim::Machine m;
    c.setUp(m);
    EXPECT_EQ(ReadInstalledVersion(m.platform()), c.expected) << c.name;
    EXPECT_EQ(m.OpenHandleCount(), 0u) << c.name << ": key closed";
  }
}

}  // namespace
}  // namespace glimra
