#include "plan/plan_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "apply/temp_workspace.h"
#include "common/machine_fixture.h"
#include "common/product_constants.h"
#include "fixtures/sample_installations.h"
#include "fixtures/sim_installation.h"

namespace glimra {
namespace {

using fixtures::FindSampleInstallation;

std::set<std::int32_t> AllRowsExcept(std::set<std::int32_t> excluded) {
  std::set<std::int32_t> rows;
  for (std::int32_t id = 401; id <= 434; ++id) {
    if (!excluded.contains(id)) rows.insert(id);
  }
  return rows;
}

std::set<std::int32_t> Ids(const PatchPlan& plan) {
  std::set<std::int32_t> ids;
  for (const auto& item : plan) ids.insert(item.resourceId);
  return ids;
}

// The target path a row must get for a recorded application folder and video-edit library
// folder: the folder (with one backslash added when it has none), the help folder's tail, the
// file name; "\\?\" in front from 260 characters on.
std::u16string ExpectedTarget(const fixtures::SampleInstallation& s, const PatchEntry& row) {
  std::u16string folder;
  if (row.folderId == kApplicationFolderId) {
    folder = s.applicationDir;
  } else if (row.folderId == kVideoEditLibFolderId) {
    folder = s.videoEditLibPath;
  } else {
    folder = s.videoEditLibPath;
    const auto at = folder.find(u"RerIvor");
    if (at != std::u16string::npos) folder.replace(at, 7, u"Help");
    folder += u"\\" + fixtures::HelpLanguages()[static_cast<std::size_t>(row.folderId - 4)];
  }
  if (folder.back() != u'\\') folder += u'\\';
  std::u16string path = folder + row.target;
  return path.size() >= 260 ? uR"(\\?\)" + path : path;
}

struct SampleCase {
  const char* name;
  int result;
  std::set<std::int32_t> rows;
};

class PlanOfSample : public testing::MachineTest,
                     public ::testing::WithParamInterface<SampleCase> {};

TEST_P(PlanOfSample, GivesTheRowsAndTargetPaths) {
  const SampleCase& c = GetParam();
  const auto* sample = FindSampleInstallation(c.name);
  ASSERT_NE(sample, nullptr);
  fixtures::ApplyToMachine(*sample, machine);

  PatchFolderTable folders = MakePatchFolderTable();
  PatchPlan plan(2);  // left from elsewhere: emptied first
  EXPECT_EQ(BuildPatchPlan(platform(), folders, plan), c.result);
  EXPECT_EQ(Ids(plan), c.rows);
  const auto& catalogue = PatchCatalogue();
  for (std::size_t i = 0; i + 1 < plan.size(); ++i) {
    EXPECT_LT(plan[i].resourceId, plan[i + 1].resourceId) << "catalogue order";
  }
  for (const PatchEntry& item : plan) {
    SCOPED_TRACE(item.resourceId);
    PatchEntry row = catalogue[static_cast<std::size_t>(item.resourceId - 401)];
    EXPECT_EQ(item.target, ExpectedTarget(*sample, row));
    row.target = item.target;
    EXPECT_EQ(item, row) << "every other field copied from the row";
  }
  EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    SampleInstallations, PlanOfSample,
    ::testing::Values(SampleCase{"glimra-3.0", 34, AllRowsExcept({})},
                      SampleCase{"glimra-3.1", 34, AllRowsExcept({})},
                      // Every file at exactly its upper bound: still replaced.
                      SampleCase{"glimra-3.2", 34, AllRowsExcept({})},
                      SampleCase{"glimra-3.3", 31, AllRowsExcept({401, 405, 407})},
                      SampleCase{"up-to-date", 0, {}},
                      SampleCase{"no-help", 21,
                                 AllRowsExcept({409, 410, 411, 412, 413, 414, 415, 416, 417, 418,
                                                419, 420, 421})},
                      SampleCase{"some-help", 24,
                                 AllRowsExcept({409, 410, 413, 414, 415, 417, 418, 419, 420, 421})},
                      SampleCase{"view64-only", 34, AllRowsExcept({})},
                      SampleCase{"long-paths", 34, AllRowsExcept({})},
                      SampleCase{"trailing-backslash", 34, AllRowsExcept({})},
                      SampleCase{"files-missing", -1, {}}, SampleCase{"folders-unrecorded", -1, {}},
                      // A folder at GlmStudio.exe's name is absent; GLMTask.exe without version
                      // information is found but never replaced.
                      SampleCase{"odd-targets", 32, AllRowsExcept({403, 404})}),
    [](const auto& param) {
      std::string name = param.param.name;
      std::replace_if(
          name.begin(), name.end(), [](char ch) { return !std::isalnum(ch); }, '_');
      return name;
    });

class PlanBuilderTest : public testing::MachineTest {
 protected:
  static constexpr const char16_t* kApp = uR"(D:\Product)";
  static constexpr const char16_t* kLib = uR"(D:\Product\RerIvor)";

  void Record(sim::View view, const char16_t* app, const char16_t* lib) {
    if (app) machine.SetString(view, kProductAppKey, u"ApplicationDir", app);
    if (lib) machine.SetString(view, kProductAppKey, u"VideoEditLibPath", lib);
  }
  void Pe(const std::u16string& path, standins::Version version) {
    machine.AddFile(path, fixtures::MakeSampleFileBytes({path, fixtures::FileKind::kPe, version}));
  }
  int Build(PatchPlan& plan) {
    PatchFolderTable folders = MakePatchFolderTable();
    return BuildPatchPlan(platform(), folders, plan);
  }
};

TEST_F(PlanBuilderTest, AMissingFolderValueEndsWithoutLookingAtFiles) {
  struct Case {
    const char* what;
    const char16_t* app;
    const char16_t* lib;
  };
  for (const Case& c :
       {Case{"no VideoEditLibPath", kApp, nullptr}, Case{"no ApplicationDir", nullptr, kLib},
        Case{"empty ApplicationDir", u"", kLib}}) {
    SCOPED_TRACE(c.what);
    sim::Machine m;
    ResetOsVersionInfoForTesting();
    if (c.app) m.SetString(sim::View::k32, kProductAppKey, u"ApplicationDir", c.app);
    if (c.lib) m.SetString(sim::View::k32, kProductAppKey, u"VideoEditLibPath", c.lib);
    m.AddFile(uR"(D:\Product\GlmStudio.exe)", {});
    m.FailOperation("GetFileAttributesW", plat::ERROR_ACCESS_DENIED);  // any look would show
    PatchFolderTable folders = MakePatchFolderTable();
    PatchPlan plan(1);
    EXPECT_EQ(BuildPatchPlan(m.platform(), folders, plan), -1);
    EXPECT_TRUE(plan.empty());
    EXPECT_EQ(folders[0].path, u"") << "the folder table is left as it was";
    EXPECT_EQ(folders[6].path, u"\\ENU");
  }
}

TEST_F(PlanBuilderTest, The32BitViewKeyWithoutTheValueHidesThe64BitOne) {
  Record(sim::View::k32, kApp, nullptr);
  Record(sim::View::k64, kApp, kLib);
  Pe(uR"(D:\Product\GlmStudio.exe)", {3, 1, 0, 5190});
  PatchPlan plan;
  EXPECT_EQ(Build(plan), -1);
  EXPECT_TRUE(plan.empty());
}

TEST_F(PlanBuilderTest, CompletesTheFolderTableByPlainConcatenation) {
  Record(sim::View::k32, uR"(D:\Product\)", uR"(D:\Product\RerIvor\)");
  PatchFolderTable folders = MakePatchFolderTable();
  PatchPlan plan;
  EXPECT_EQ(BuildPatchPlan(platform(), folders, plan), -1);  // no file on disk
  EXPECT_EQ(folders[0].path, uR"(D:\Product\)");
  EXPECT_EQ(folders[1].path, uR"(D:\Product\RerIvor\)");
  EXPECT_EQ(folders[2].path, uR"(D:\Product\Help\)");
  EXPECT_EQ(folders[3].path, uR"(D:\Product\Help\\CHS)");
  EXPECT_EQ(folders[15].path, uR"(D:\Product\Help\\RUS)");
}

TEST_F(PlanBuilderTest, UpperBoundIsInclusiveAndFileVersionNotProductVersionCounts) {
  struct Case {
    standins::Version file;
    standins::Version product;
    bool replaced;
  };
  for (const Case& c :
       {Case{{3, 3, 0, 0}, {9, 0, 0, 0}, true}, Case{{3, 3, 0, 1}, {3, 0, 0, 0}, false},
        Case{{0, 0, 0, 0}, {9, 9, 9, 9}, true}, Case{{3, 2, 9, 65535}, {3, 3, 0, 1}, true}}) {
    SCOPED_TRACE(standins::FormatVersion(c.file));
    sim::Machine m;
    ResetOsVersionInfoForTesting();
    m.SetString(sim::View::k32, kProductAppKey, u"ApplicationDir", kApp);
    m.SetString(sim::View::k32, kProductAppKey, u"VideoEditLibPath", kLib);
    standins::PeOptions options;
    options.dll = false;
    options.fileVersion = c.file;
    options.productVersion = c.product;
    m.AddFile(uR"(D:\Product\GlmStudio.exe)", standins::MakePeFile(options));
    PatchFolderTable folders = MakePatchFolderTable();
    PatchPlan plan;
    EXPECT_EQ(BuildPatchPlan(m.platform(), folders, plan), c.replaced ? 1 : 0);
    EXPECT_EQ(Ids(plan), c.replaced ? std::set<std::int32_t>{403} : std::set<std::int32_t>{});
  }
}

TEST_F(PlanBuilderTest, HelpRowsFollowTheInstalledVersionText) {
  struct Case {
    const char16_t* installed;  // null: no uninstall entry
    bool replaced;
  };
  for (const Case& c : {Case{u"3.1.00.05190", true}, Case{u"3.0.0.0", true}, Case{u"3.3.0.0", true},
                        Case{u"2.9.9.9", false}, Case{u"3.3.0.1", false}, Case{nullptr, false}}) {
    SCOPED_TRACE(c.installed ? std::string(c.installed, c.installed + 3) : "none");
    sim::Machine m;
    ResetOsVersionInfoForTesting();
    m.SetString(sim::View::k32, kProductAppKey, u"ApplicationDir", kApp);
    m.SetString(sim::View::k32, kProductAppKey, u"VideoEditLibPath", kLib);
    if (c.installed) m.SetString(sim::View::k32, kUninstallKey, kDisplayVersionValue, c.installed);
    m.AddFile(uR"(D:\Product\Help\ENU\glm.chm)", standins::MakeHelpFile(0, 1));
    PatchFolderTable folders = MakePatchFolderTable();
    PatchPlan plan;
    EXPECT_EQ(BuildPatchPlan(m.platform(), folders, plan), c.replaced ? 1 : 0)
        << "the help file exists, so the result is never -1";
    ASSERT_EQ(plan.size(), c.replaced ? 1u : 0u);
    if (c.replaced) {
      EXPECT_EQ(plan[0].target, uR"(D:\Product\Help\ENU\glm.chm)");
    }
  }
}

TEST_F(PlanBuilderTest, OnA32BitWindowsTheRowsFor32BitWindowsCount) {
  machine.SetProcessorType(plat::PROCESSOR_INTEL_PENTIUM);
  Record(sim::View::k32, kApp, kLib);
  Pe(uR"(D:\Product\RerIvor\corvaneplay.dll)", {5, 2, 2, 1000});
  PatchPlan plan;
  EXPECT_EQ(Build(plan), 1);
  EXPECT_EQ(Ids(plan), (std::set<std::int32_t>{408}));
}

TEST_F(PlanBuilderTest, AFolderRowUnusableOnThisWindowsIsPassedOver) {
  Record(sim::View::k32, kApp, kLib);
  Pe(uR"(D:\Product\GlmStudio.exe)", {3, 1, 0, 0});
  PatchFolderTable folders = MakePatchFolderTable();
  for (auto& folder : folders) folder.path = folder.folderId == 1 ? uR"(D:\Elsewhere)" : u"";
  // A second row for id 1 that is usable: the walk goes on past the unusable first one.
  folders[0].forX64 = 0;
  folders[2] = {1, 1, 1, uR"(D:\Product)"};
  PatchPlan plan;
  EXPECT_EQ(CollectPatchEntries(platform(), folders, plan), 1);
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].target, uR"(D:\Product\GlmStudio.exe)");

  // No usable row at all: the row is skipped rather than looked for by its bare name.
  folders[2].forX64 = 0;
  plan.clear();
  EXPECT_EQ(CollectPatchEntries(platform(), folders, plan), -1);
  EXPECT_TRUE(plan.empty());
}

TEST(MakeHelpFolderPath, ReplacesEveryExactCaseOccurrenceLeftToRight) {
  struct Case {
    const char16_t* in;
    const char16_t* out;
  };
  for (const Case& c :
       {Case{uR"(D:\Product\RerIvor)", uR"(D:\Product\Help)"},
        Case{uR"(D:\Product\RerIvor\)", uR"(D:\Product\Help\)"},
        Case{uR"(C:\RerIvor\x\RerIvor)", uR"(C:\Help\x\Help)"},
        Case{uR"(C:\RerIvorRerIvor)", uR"(C:\HelpHelp)"}, Case{uR"(C:\rerivor)", uR"(C:\rerivor)"},
        Case{uR"(C:\Lib)", uR"(C:\Lib)"}, Case{u"", u""}}) {
    EXPECT_EQ(MakeHelpFolderPath(c.in), c.out);
  }
}

}  // namespace
}  // namespace glimra
