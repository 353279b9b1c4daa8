// ReplaceTargetFile and RemoveTargetFile on the simulated machine: attributes kept, files in use
// moved aside, and the old content never scheduled for deletion unless the new copy is in place.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "apply/file_replacement.h"
#include "platform/sim/machine.h"

namespace glimra {
namespace {

using plat::DWORD;
using Bytes = std::vector<std::uint8_t>;

constexpr DWORD kRO = plat::FILE_ATTRIBUTE_READONLY;
constexpr DWORD kHidden = plat::FILE_ATTRIBUTE_HIDDEN;
constexpr DWORD kArchive = plat::FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kEncrypted = plat::FILE_ATTRIBUTE_ENCRYPTED;
constexpr DWORD kProgramId = 3412;  // the sim's program

const std::u16string kTarget = uR"(C:\Program Files\Corvane\Glimra\GlmStudio.exe)";
const std::u16string kSource = uR"(C:\Users\user\AppData\Local\Temp\Update.exe.tmp\GlmStudio.exe)";
const Bytes kOld = {'o', 'l', 'd'};
const Bytes kNew = {'n', 'e', 'w', '!'};

enum class Op { kReplace, kRemove };

struct Case {
  const char* name;
  Op op;
  std::optional<DWORD> targetAttributes;  // none: no target
  std::function<void(sim::Machine&)> arrange;
  plat::HRESULT result;
  std::optional<Bytes> targetAfter;      // none: the name holds no file
  std::optional<DWORD> attributesAfter;  // of the target, when it exists
  std::optional<Bytes> sideFile;         // content under the side name, none: no side file
  bool sideScheduled = false;
};

std::u16string SideName(DWORD ticks) {
  return MakeSideName(kTarget, kProgramId, ticks);
}

constexpr DWORD kTicks = 93;

void HoldMovable(sim::Machine& m) {
  const DWORD id = m.StartProcess(u"GlmStudio.exe");
  m.HoldFile(id, kTarget, plat::GENERIC_READ, plat::FILE_SHARE_READ | plat::FILE_SHARE_DELETE);
}

// Held without delete sharing: neither written nor renamed.
void HoldUnmovable(sim::Machine& m) {
  const DWORD id = m.StartProcess(u"GlmStudio.exe");
  m.HoldFile(id, kTarget, plat::GENERIC_READ, plat::FILE_SHARE_READ);
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"replace: plain copy", Op::kReplace, kArchive, nullptr, 0, kNew, kArchive, {}},
      {"replace: read-only hidden target stays so",
       Op::kReplace,
       kRO | kHidden | kArchive,
       nullptr,
       0,
       kNew,
       kRO | kHidden | kArchive,
       {}},
      {"replace: encryption is not passed on",
       Op::kReplace,
       kEncrypted | kHidden,
       nullptr,
       0,
       kNew,
       kHidden | kArchive,
       {}},
      {"replace: path-based way when kernel32 lacks the handle functions",
       Op::kReplace,
       kRO | kHidden | kArchive,
       [](sim::Machine& m) { m.RemoveExport("kernel32", "SetFileInformationByHandle"); },
       0,
       kNew,
       kRO | kHidden | kArchive,
       {}},
      {"replace: missing target is created",
       Op::kReplace,
       std::nullopt,
       nullptr,
       0,
       kNew,
       kArchive,
       {}},
      {"replace: in use but movable: side file deleted at restart", Op::kReplace, kArchive,
       HoldMovable, 0, kNew, kArchive, kOld, true},
      {"replace: held without delete sharing: neither written nor moved",
       Op::kReplace,
       kRO | kHidden | kArchive,
       HoldUnmovable,
       static_cast<plat::HRESULT>(0x80070020),
       kOld,
       kArchive,
       {}},
      // A running image may be renamed though not written, so it is moved aside.
      {"replace: running image: moved aside", Op::kReplace, kArchive,
       [](sim::Machine& m) { m.StartProgramFromImage(kTarget); }, 0, kNew, kArchive, kOld, true},
      {"replace: second copy fails: old file back, nothing scheduled",
       Op::kReplace,
       kArchive,
       [](sim::Machine& m) {
         HoldMovable(m);
         m.SetDiskFreeSpace(0);
       },
       static_cast<plat::HRESULT>(0x80070070),
       kOld,
       kArchive,
       {}},
      {"replace: second copy fails and the old file cannot go back: kept aside, not scheduled",
       Op::kReplace, kArchive,
       [](sim::Machine& m) {
         HoldMovable(m);
         m.SetDiskFreeSpace(0);
         m.FailOperation("MoveFileW", plat::ERROR_ACCESS_DENIED, 1, 1);
       },
       static_cast<plat::HRESULT>(0x80070070), std::nullopt, std::nullopt, kOld, false},
      {"replace: another copy error is returned at once",
       Op::kReplace,
       kArchive,
       [](sim::Machine& m) { m.SetDiskFreeSpace(0); },
       static_cast<plat::HRESULT>(0x80070070),
       kOld,
       kArchive,
       {}},
      {"remove: plain delete of a read-only hidden file",
       Op::kRemove,
       kRO | kHidden,
       nullptr,
       0,
       std::nullopt,
       std::nullopt,
       {}},
      {"remove: path-based way",
       Op::kRemove,
       kRO | kHidden,
       [](sim::Machine& m) { m.RemoveExport("kernel32", "GetFileInformationByHandleEx"); },
       0,
       std::nullopt,
       std::nullopt,
       {}},
      {"remove: missing target",
       Op::kRemove,
       std::nullopt,
       nullptr,
       static_cast<plat::HRESULT>(0x80070002),
       std::nullopt,
       std::nullopt,
       {}},
      {"remove: held with delete sharing: deleted at once",
       Op::kRemove,
       kArchive,
       HoldMovable,
       0,
       std::nullopt,
       std::nullopt,
       {}},
      // A delete refused as in use while the file may still be renamed.
      {"remove: in use but movable: name free, content deleted at restart", Op::kRemove, kArchive,
       [](sim::Machine& m) {
         HoldMovable(m);
         m.FailOperation("DeleteFileW", plat::ERROR_SHARING_VIOLATION, 1);
       },
       0, std::nullopt, std::nullopt, kOld, true},
      {"remove: only read-only and hidden: cleared by handle all the same",
       Op::kRemove,
       kRO | kHidden,
       nullptr,
       0,
       std::nullopt,
       std::nullopt,
       {}},
      {"remove: held without delete sharing",
       Op::kRemove,
       kRO | kArchive,
       HoldUnmovable,
       static_cast<plat::HRESULT>(0x80070020),
       kOld,
       kArchive,
       {}},
      // Deleting a running image is refused as access denied, not as a sharing conflict: it is
      // not moved aside and stays as it was, apart from its cleared read-only bit.
      {"remove: running image: refused as access denied",
       Op::kRemove,
       kRO | kArchive,
       [](sim::Machine& m) { m.StartProgramFromImage(kTarget); },
       static_cast<plat::HRESULT>(0x80070005),
       kOld,
       kArchive,
       {}},
  };
  return cases;
}

class FileReplacementTable : public ::testing::TestWithParam<Case> {};

TEST_P(FileReplacementTable, LeavesTargetSideFileAndScheduleAsExpected) {
  const Case& c = GetParam();
  sim::Machine machine;
  machine.SetTickCount(kTicks);
  machine.AddFile(kSource, kNew, kArchive);
  machine.AddDirectory(uR"(C:\Program Files\Corvane\Glimra)");
  if (c.targetAttributes) machine.AddFile(kTarget, kOld, *c.targetAttributes);
  if (c.arrange) c.arrange(machine);

  const plat::HRESULT result = c.op == Op::kReplace
                                   ? ReplaceTargetFile(machine.platform(), kTarget, kSource)
                                   : RemoveTargetFile(machine.platform(), kTarget);

  EXPECT_EQ(static_cast<std::uint32_t>(result), static_cast<std::uint32_t>(c.result));
  EXPECT_EQ(machine.FileBytes(kTarget), c.targetAfter);
  if (c.attributesAfter) {
    EXPECT_EQ(machine.PathAttributes(kTarget), c.attributesAfter);
  }
  EXPECT_EQ(machine.FileBytes(SideName(kTicks)), c.sideFile);
  const std::vector<std::u16string> pending = machine.PendingDeletions();
  EXPECT_EQ(pending, c.sideScheduled ? std::vector<std::u16string>{SideName(kTicks)}
                                     : std::vector<std::u16string>{});
  EXPECT_EQ(machine.FileBytes(kSource), kNew) << "the source stays for the caller to delete";
  EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileReplacementTable, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& param) {
                           std::string name;
                           for (const char* p = param.param.name; *p; ++p) {
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           }
                           return name;
                         });

TEST(SideName, PrintsProcessIdAndTickCountSigned) {
  EXPECT_EQ(MakeSideName(uR"(C:\a\GlmStudio.exe)", 812, 93), uR"(C:\a\GlmStudio.exe.tmp.812-93)");
  EXPECT_EQ(MakeSideName(u"x", 812, 0x80000000u), u"x.tmp.812--2147483648");
  EXPECT_EQ(MakeSideName(u"x", 812, 0xFFFFFFFFu), u"x.tmp.812--1");
}

TEST(FileReplacement, TickCountOfTwoToTheThirtyFirstGivesAUsableSideName) {
  sim::Machine machine;
  machine.SetTickCount(0x80000005u);
  machine.AddFile(kSource, kNew);
  machine.AddFile(kTarget, kOld);
  HoldMovable(machine);
  EXPECT_EQ(ReplaceTargetFile(machine.platform(), kTarget, kSource), 0);
  const std::u16string side = kTarget + u".tmp.3412--2147483643";
  EXPECT_EQ(machine.FileBytes(side), kOld);
  EXPECT_EQ(machine.PendingDeletions(), std::vector<std::u16string>{side});
  EXPECT_EQ(machine.FileBytes(kTarget), kNew);
}

}  // namespace
}  // namespace glimra
