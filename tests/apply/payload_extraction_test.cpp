// ExtractPayload on the simulated machine: the expanded file, its time stamp, the compressed copy
// always gone, and every way the payload can fail to reach the workspace whole.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "apply/payload_extraction.h"
#include "platform/sim/machine.h"
#include "szdd/szdd.h"

namespace glimra {
namespace {

using plat::DWORD;
using Bytes = std::vector<std::uint8_t>;

const std::u16string kWorkspace = uR"(C:\Users\user\AppData\Local\Temp\Update.exe.tmp\)";
const std::u16string kTarget = uR"(C:\Program Files\Corvane\Glimra\GlmStudio.exe)";
constexpr plat::LANGID kChinese = 2052;
// 2013-10-22 02:00:00.000 UTC as a FILETIME value.
constexpr std::uint64_t kStampTime = 130268808000000000ull;

Bytes CodeLike(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  std::uint32_t x = seed;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = (i % 50 < 30) ? static_cast<std::uint8_t>("PUSH EBP; MOV EBP, ESP; "[i % 24])
                             : static_cast<std::uint8_t>(x >> 24);
  }
  bytes[0] = 'M';
  bytes[1] = 'Z';
  return bytes;
}

PatchEntry Item(std::int32_t resourceId, std::u16string target = kTarget) {
  PatchEntry item;
  item.forX86 = item.forX64 = 1;
  item.checkFileVersion = 1;
  item.folderId = 1;
  item.resourceId = resourceId;
  item.target = std::move(target);
  item.timestamp = PatchTimestamp{2013, 10, 22, 2, 0, 0, 0};
  return item;
}

szdd::PayloadDigest DigestOf(plat::WORD id, const Bytes& bytes) {
  return szdd::PayloadDigest{id, static_cast<std::uint32_t>(bytes.size()),
                             szdd::ComputeSha256(bytes)};
}

class ExtractPayloadTest : public ::testing::Test {
 protected:
  ExtractPayloadTest() : payload(CodeLike(30000, 1)), packed(szdd::Pack(payload)) {
    machine.AddDirectory(kWorkspace);
    machine.SetResource(u"PATCH", 403, kChinese, packed);
    digests.push_back(DigestOf(403, payload));
  }
  plat::HRESULT Extract(const PatchEntry& item, std::u16string& path) {
    return ExtractPayload(machine.platform(), kWorkspace, item, machine.ProgramModule(), path,
                          digests);
  }

 public:
  sim::Machine machine;
  Bytes payload;
  Bytes packed;
  std::vector<szdd::PayloadDigest> digests;
};

TEST_F(ExtractPayloadTest, ExpandsTheResourceStampsItAsUtcAndLeavesOnlyTheExpandedFile) {
  for (const std::int32_t id : {403, -403}) {
    SCOPED_TRACE(id);
    std::u16string path = u"stale";
    ASSERT_EQ(Extract(Item(id), path), 0);
    EXPECT_EQ(path, kWorkspace + u"GlmStudio.exe");
    EXPECT_EQ(machine.FileBytes(path), payload);
    const auto times = machine.PathTimes(path);
    ASSERT_TRUE(times);
    EXPECT_EQ(times->creation, kStampTime);
    EXPECT_EQ(times->lastAccess, kStampTime);
    EXPECT_EQ(times->lastWrite, kStampTime);
    EXPECT_EQ(machine.FolderEntries(kWorkspace), std::vector<std::u16string>{u"GlmStudio.exe"});
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
  }
}

TEST_F(ExtractPayloadTest, TwoItemsWithOneFileNameFollowEachOther) {
  const Bytes chs = CodeLike(9000, 2), cht = CodeLike(7000, 3);
  machine.SetResource(u"PATCH", 409, kChinese, szdd::Pack(chs));
  machine.SetResource(u"PATCH", 410, kChinese, szdd::Pack(cht));
  digests = {DigestOf(409, chs), DigestOf(410, cht)};
  std::u16string path;
  ASSERT_EQ(Extract(Item(409, uR"(D:\Help\CHS\glm.chm)"), path), 0);
  EXPECT_EQ(machine.FileBytes(path), chs);
  ASSERT_EQ(Extract(Item(410, uR"(D:\Help\CHT\glm.chm)"), path), 0);
  EXPECT_EQ(path, kWorkspace + u"glm.chm");
  EXPECT_EQ(machine.FileBytes(path), cht) << "the second expansion truncates the first";
}

TEST_F(ExtractPayloadTest, WorkspacePathsBeyondTheLzLimitFailWithoutLeavingTheCompressedCopy) {
  // The LZ functions take paths of fewer than OFS_MAXPATHNAME characters; from 260 on the
  // compressed copy is written through its extended-length form and still cannot be expanded.
  struct Case {
    std::size_t depth;
    std::vector<std::u16string> after;
  };
  // At 110 only the compressed copy's path is too long: the expanded file is created empty by its
  // open and stays, as after a corrupt container.
  for (const auto& [depth, after] : {Case{110, {u"GlmStudio.exe"}}, Case{120, {}}, Case{250, {}}}) {
    SCOPED_TRACE(depth);
    const std::u16string deep = uR"(C:\)" + std::u16string(depth, u'w') + uR"(\)";
    machine.AddDirectory(deep);
    std::u16string path = u"stale";
    EXPECT_EQ(static_cast<std::uint32_t>(ExtractPayload(machine.platform(), deep, Item(403),
                                                        machine.ProgramModule(), path, digests)),
              0x8007006Eu);
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(machine.FolderEntries(deep), after);
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
  }
}

struct FailureCase {
  const char* name;
  std::function<void(ExtractPayloadTest&)> arrange;
  std::int32_t resourceId;
  std::uint32_t result;
  std::vector<std::u16string> workspaceAfter;  // what stays in the workspace
};

class ExtractPayloadFailure : public ExtractPayloadTest,
                              public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ExtractPayloadFailure, FailsWithItsCodeAnEmptyPathAndNoCompressedCopy) {
  const FailureCase& c = GetParam();
  if (c.arrange) c.arrange(*this);
  std::u16string path = u"stale";
  EXPECT_EQ(static_cast<std::uint32_t>(Extract(Item(c.resourceId), path)), c.result);
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(machine.FolderEntries(kWorkspace), c.workspaceAfter);
  EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

const std::vector<FailureCase>& FailureCases() {
  static const std::vector<FailureCase> cases = {
      {"missing_resource", nullptr, 499, 0x80070716u, {}},
      {"missing_workspace",
       [](ExtractPayloadTest& t) { t.machine.RemoveDirectoryW(kWorkspace.c_str()); },
       403,
       0x80070003u,
       {}},
      {"corrupt_container_of_another_mode",
       [](ExtractPayloadTest& t) {
         Bytes bad = t.packed;
         bad[8] = 'B';
         t.machine.SetResource(u"PATCH", 403, kChinese, bad);
       },
       403,
       0x8007006Eu,
       {u"GlmStudio.exe"}},
      {"truncated_container_expands_short",
       [](ExtractPayloadTest& t) {
         t.machine.SetResource(u"PATCH", 403, kChinese,
                               Bytes(t.packed.begin(), t.packed.begin() + 2000));
       },
       403,
       0x8007006Eu,
       {}},
      {"same_length_other_bytes_fail_the_digest",
       [](ExtractPayloadTest& t) {
         Bytes other = t.payload;
         other[12345] ^= 0x40;
         t.machine.SetResource(u"PATCH", 403, kChinese, szdd::Pack(other));
       },
       403,
       0x8007006Eu,
       {}},
      {"payload_without_a_record",
       [](ExtractPayloadTest& t) { t.digests.clear(); },
       403,
       0x8007006Eu,
       {}},
      {"compressed_copy_written_short",
       [](ExtractPayloadTest& t) { t.machine.ShortenNextWrite(100); },
       403,
       0x8007006Eu,
       {}},
      {"disk_full_writing_the_compressed_copy",
       [](ExtractPayloadTest& t) { t.machine.SetDiskFreeSpace(t.packed.size() - 1); },
       403,
       0x80070070u,
       {}},
      {"disk_full_writing_the_expanded_file",
       [](ExtractPayloadTest& t) { t.machine.SetDiskFreeSpace(t.packed.size() + 100); },
       403,
       0x8007006Eu,
       {u"GlmStudio.exe"}},
      {"expanded_file_cannot_be_opened",
       [](ExtractPayloadTest& t) {
         t.machine.FailOperation("LZOpenFileW", plat::ERROR_ACCESS_DENIED, 1, 1);
       },
       403,
       0x8007006Eu,
       {}},
      {"write_error",
       [](ExtractPayloadTest& t) { t.machine.FailOperation("WriteFile", plat::ERROR_DISK_FULL); },
       403,
       0x80070070u,
       {}},
  };
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractPayloadFailure, ::testing::ValuesIn(FailureCases()),
                         [](const ::testing::TestParamInfo<FailureCase>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace glimra
