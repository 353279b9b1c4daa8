#include "apply/temp_workspace.h"

#include <gtest/gtest.h>

#include "common/machine_fixture.h"

namespace glimra {
namespace {

std::u16string Repeat(std::u16string_view prefix, std::size_t length) {
  std::u16string path(prefix);
  while (path.size() < length) path += u'a' + static_cast<char16_t>(path.size() % 26);
  path.resize(length);
  return path;
}

TEST(ToLongPath, PrefixesFrom260CharactersAndLeavesTheRest) {
  struct Case {
    const char* what;
    std::u16string in;
    std::u16string out;
  };
  const std::u16string d259 = Repeat(uR"(C:\)", 259);
  const std::u16string d260 = Repeat(uR"(C:\)", 260);
  const std::u16string unc300 = Repeat(uR"(\\srv\share\)", 300);
  const std::u16string long600 = Repeat(uR"(\\?\C:\)", 600);
  const std::u16string longUnc = Repeat(uR"(\\?\UNC\srv\share\)", 400);
  const std::u16string slashes = Repeat(u"C:/", 270);
  const Case cases[] = {
      {"259-character drive path", d259, d259},
      {"260-character drive path", d260, uR"(\\?\)" + d260},
      {"300-character UNC path", unc300, uR"(\\?\UNC)" + unc300.substr(1)},
      {"already extended", long600, long600},
      {"already extended UNC", longUnc, longUnc},
      {"short extended prefix", uR"(\\?\)", uR"(\\?\)"},
      {"fewer than 4 characters", u"C:\\", u"C:\\"},
      {"empty", u"", u""},
      {"forward slashes are not normalised", slashes, uR"(\\?\)" + slashes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ToLongPath(c.in), c.out);
  }
  EXPECT_TRUE(ToLongPath(unc300).starts_with(uR"(\\?\UNC\srv\share\)"));
}

class TempWorkspaceTest : public testing::MachineTest {};

TEST_F(TempWorkspaceTest, BaseNameIsTheProgramFileNameOrProcessAndTicks) {
  struct Case {
    const char16_t* programPath;  // null: GetModuleFileNameW fails
    std::uint32_t ticks;
    const char16_t* baseName;
  };
  for (const Case& c :
       {Case{uR"(C:\Downloads\Update.exe)", 0, u"Update.exe"},
        Case{uR"(\\srv\share\GlimraUpdate.EXE)", 0, u"GlimraUpdate.EXE"},
        Case{nullptr, 291, u"d54.00000123"}, Case{u"", 0xDEADBEEF, u"d54.deadbeef"}}) {
    sim::Machine m;
    if (c.programPath) {
      m.SetProgramPath(c.programPath);
    } else {
      m.FailOperation("GetModuleFileNameW", plat::ERROR_ACCESS_DENIED);
    }
    m.SetTickCount(c.ticks);
    EXPECT_EQ(MakeWorkspaceBaseName(m.platform()), c.baseName) << "process id 3412 is 0xd54";
  }
}

TEST_F(TempWorkspaceTest, ComposesAndCreatesTheFolderInTheTemporaryFolder) {
  struct Case {
    const char16_t* temp;
    const char16_t* workspace;
  };
  for (const Case& c :
       {Case{uR"(C:\Temp\)", uR"(C:\Temp\Update.exe.tmp\)"},
        Case{uR"(C:\Temp)", uR"(C:\Temp\Update.exe.tmp\)"},
        Case{uR"(C:\Users\u\New\Deeper\)", uR"(C:\Users\u\New\Deeper\Update.exe.tmp\)"}}) {
    sim::Machine m;
    m.SetTempPath(c.temp);
    EXPECT_EQ(CreateTempWorkspace(m.platform(), u"Update.exe"), c.workspace);
    EXPECT_EQ(m.PathAttributes(c.workspace), plat::FILE_ATTRIBUTE_DIRECTORY)
        << "made with any missing folder above it";
    EXPECT_EQ(m.Shell32References(), 0) << "shell32 released again";
  }
}

TEST_F(TempWorkspaceTest, AnExistingFolderIsReusedAndAFailedCreationIgnored) {
  machine.SetTempPath(uR"(C:\Temp\)");
  machine.AddFile(uR"(C:\Temp\Update.exe.tmp\left.bin)", {1, 2});
  EXPECT_EQ(CreateTempWorkspace(platform(), u"Update.exe"), uR"(C:\Temp\Update.exe.tmp\)");
  EXPECT_TRUE(machine.FileBytes(uR"(C:\Temp\Update.exe.tmp\left.bin)").has_value());

  machine.FailOperation("InvokeSHCreateDirectory", plat::ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateTempWorkspace(platform(), u"Other.exe"), uR"(C:\Temp\Other.exe.tmp\)");
  EXPECT_FALSE(machine.PathAttributes(uR"(C:\Temp\Other.exe.tmp\)").has_value());
}

TEST_F(TempWorkspaceTest, NoTemporaryFolderGivesAnEmptyPathAndCreatesNothing) {
  machine.SetTempPath(u"");
  EXPECT_EQ(CreateTempWorkspace(platform(), u"Update.exe"), u"");
  machine.SetTempPath(uR"(C:\Temp\)");
  machine.FailOperation("GetTempPathW", plat::ERROR_ACCESS_DENIED, 1, 1);  // the second call
  EXPECT_EQ(CreateTempWorkspace(platform(), u"Update.exe"), u"");
  EXPECT_EQ(machine.Shell32References(), 0);
}

}  // namespace
}  // namespace glimra
