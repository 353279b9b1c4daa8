#include "versions/file_version.h"

#include <gtest/gtest.h>

#include <string>

#include "common/machine_fixture.h"

namespace glimra {
namespace {

TEST(ParseVersionTextTest, ReadsFourSignedParts) {
  const struct {
    std::u16string_view text;
    ParsedVersion expected;
  } cases[] = {
      {u"3.3.00.10220", {3, 3, 0, 10220}},
      {u"3.1.00.05190", {3, 1, 0, 5190}},
      {u"3.3", {3, 3, 3, 3}},
      {u"7", {7, 7, 7, 7}},
      {u"3..1.2", {3, 0, 1, 2}},
      {u"3.3.0.10220 beta", {3, 3, 0, 10220}},
      {u"-1.0.0.0", {-1, 0, 0, 0}},
      {u"3.3.0.70000", {3, 3, 0, 70000}},
      {u" 3. +4.\t5.6", {3, 4, 5, 6}},
      {u"1.2.3.4.5", {1, 2, 3, 4}},
      {u"abc", {0, 0, 0, 0}},
      {u"v3.3.0.0", {0, 3, 0, 0}},
      {u"...", {0, 0, 0, 0}},
      {u"", {0, 0, 0, 0}},
      {u"99999999999.-99999999999.0.0", {2147483647, -2147483647 - 1, 0, 0}},
  };
  for (const auto& c : cases) {
    const ParsedVersion got = ParseVersionText(c.text);
    EXPECT_EQ(got, c.expected) << std::string(c.text.begin(), c.text.end()) << " gave " << got.major
                               << "," << got.minor << "," << got.build << "," << got.revision;
  }
}

TEST(CompareVersionTest, BoundsAreInclusiveAndPartsCompareAsNumbers) {
  const struct {
    std::u16string_view text;
    FileVersion bound;
    bool atLeast;
    bool atMost;
  } cases[] = {
      {u"3.3.0.0", {3, 3, 0, 0}, true, true},   {u"3.3.0.0", {3, 0, 0, 0}, true, false},
      {u"3.3.0.1", {3, 3, 0, 0}, true, false},  {u"2.9.9.9", {3, 0, 0, 0}, false, true},
      {u"3.10.0.0", {3, 9, 0, 0}, true, false}, {u"3.3.0.70000", {3, 3, 0, 65535}, true, false},
      {u"-1.0.0.0", {0, 0, 0, 0}, false, true}, {u"4", {3, 65535, 65535, 65535}, true, false},
      {u"", {0, 0, 0, 0}, false, false},  // empty is never at least or at most anything
  };
  for (const auto& c : cases) {
    const std::string name(c.text.begin(), c.text.end());
    EXPECT_EQ(IsVersionAtLeast(c.text, c.bound), c.atLeast) << name;
    EXPECT_EQ(IsVersionAtMost(c.text, c.bound), c.atMost) << name;
  }
}

TEST(CompareVersionTest, SameVersionIsNumericAndNeverEmpty) {
  const struct {
    std::u16string_view a, b;
    bool same;
  } cases[] = {
      {u"3.3.00.10220", u"3.3.0.10220", true},
      {u"3.3.00.10220", u"3.3.00.10220", true},
      {u"3.3", u"3.3.3.3", true},
      {u"3.3.0.10220", u"3.3.0.10221", false},
      {u"", u"", false},
      {u"", u"0.0.0.0", false},
      {u"0.0.0.0", u"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsSameVersion(c.a, c.b), c.same)
        << std::string(c.a.begin(), c.a.end()) << " vs " << std::string(c.b.begin(), c.b.end());
  }
}

using OwnModulePathTest = testing::MachineTest;

TEST_F(OwnModulePathTest, GrowsPastTheFirstBufferForLongPaths) {
  const std::u16string folder = uR"(C:\P\)";
  for (std::size_t length : {std::size_t{20}, std::size_t{259}, std::size_t{260}, std::size_t{390},
                             std::size_t{1000}, std::size_t{5000}}) {
    sim::Machine m;
    const std::u16string path = folder + std::u16string(length - folder.size() - 4, u'a') + u".exe";
    ASSERT_EQ(path.size(), length);
    m.SetProgramPath(path);
    std::u16string got = u"stale";
    EXPECT_TRUE(GetOwnModulePath(m.platform().processes, got)) << length;
    EXPECT_EQ(got, path) << length;
  }
}

TEST_F(OwnModulePathTest, FailureGivesAnEmptyPath) {
  machine.FailOperation("GetModuleFileNameW", plat::ERROR_ACCESS_DENIED);
  std::u16string got = u"stale";
  EXPECT_FALSE(GetOwnModulePath(platform().processes, got));
  EXPECT_EQ(got, u"");
}

}  // namespace
}  // namespace glimra
