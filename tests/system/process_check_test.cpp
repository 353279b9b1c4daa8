#include "system/process_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/machine_fixture.h"

namespace glimra {
namespace {

using testing::MachineTest;

using ProcessCheckTest = MachineTest;

TEST_F(ProcessCheckTest, MatchesTheExactExecutableName) {
  const struct {
    const char* name;
    std::vector<std::u16string> running;
    std::u16string_view asked;
    bool expected;
  } cases[] = {
      {"running under its own name", {u"explorer.exe", u"GlmStudio.exe"}, u"GlmStudio.exe", true},
      {"case differs", {u"glmstudio.exe"}, u"GlmStudio.exe", false},
      {"copy under another name", {u"GlmStudio2.exe"}, u"GlmStudio.exe", false},
      {"prefix only", {u"GlmStudio.exe"}, u"GlmStudio", false},
      {"several of the same name", {u"RfxEditor.exe", u"RfxEditor.exe"}, u"RfxEditor.exe", true},
      {"not running", {u"explorer.exe"}, u"RfxEditor.exe", false},
  };
  for (const auto& c : cases) {
    sim::Machine m;
    for (const std::u16string& exe : c.running) m.StartProcess(exe);
    EXPECT_EQ(IsProcessRunning(m.platform().processes, c.asked), c.expected) << c.name;
    EXPECT_EQ(m.OpenHandleCount(), 0u) << c.name << ": snapshot closed";
  }
}

TEST_F(ProcessCheckTest, EndedProcessIsNotRunning) {
  const plat::DWORD id = machine.StartProcess(u"GlmStudio.exe");
  machine.EndProcess(id);
  EXPECT_FALSE(IsProcessRunning(platform().processes, u"GlmStudio.exe"));
}

TEST_F(ProcessCheckTest, SnapshotFailureCountsAsNotRunning) {
  machine.StartProcess(u"GlmStudio.exe");
  machine.FailOperation("CreateToolhelp32Snapshot", plat::ERROR_ACCESS_DENIED);
  EXPECT_FALSE(IsProcessRunning(platform().processes, u"GlmStudio.exe"));
  EXPECT_FALSE(AreProductProgramsRunning(platform().processes));
}

TEST_F(ProcessCheckTest, ProductProgramsAreTheSiblingAndTheMainProgram) {
  const struct {
    const char* name;
    std::vector<std::u16string> running;
    bool expected;
  } cases[] = {
      {"neither", {u"explorer.exe", u"notepad.exe"}, false},
      {"sibling program", {u"RfxEditor.exe"}, true},
      {"main program", {u"GlmStudio.exe"}, true},
      {"both", {u"GlmStudio.exe", u"RfxEditor.exe"}, true},
      {"names in other case", {u"rfxeditor.exe", u"GLMSTUDIO.EXE"}, false},
  };
  for (const auto& c : cases) {
    sim::Machine m;
    for (const std::u16string& exe : c.running) m.StartProcess(exe);
    EXPECT_EQ(AreProductProgramsRunning(m.platform().processes), c.expected) << c.name;
    EXPECT_EQ(m.OpenHandleCount(), 0u) << c.name;
  }
}

}  // namespace
}  // namespace glimra
