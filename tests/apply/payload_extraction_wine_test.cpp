// Every payload this build carries, extracted by ExtractPayload through Wine's LZ32 into a real
// workspace: it must pass the compiled digest table, equal the file it was packed from and carry
// the item's time stamp.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "apply/payload_digests.h"
#include "apply/payload_extraction.h"
#include "apply/temp_workspace.h"
#include "fixtures/host_files.h"
#include "fixtures/payload_sources.h"
#include "plan/patch_catalogue.h"
#include "platform/win32/win32_platform.h"

namespace glimra {
namespace {

// 2013-10-22 02:00:00.000 UTC as a FILETIME value.
constexpr std::uint64_t kStampTime = 130268808000000000ull;

// id -> the packed file, as the payload build listed it (a path on the build machine, which Wine
// shows as drive Z:).
std::map<int, std::string> PayloadSources() {
  std::map<int, std::string> sources = fixtures::ReadPayloadSources(GLIMRA_PAYLOAD_SOURCES);
  for (auto& [id, path] : sources) {
    path = "Z:" + path;
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
  }
  return sources;
}

std::vector<std::uint8_t> ReadFile(plat::Platform& p, const std::u16string& path) {
  std::vector<std::uint8_t> bytes;
  plat::HANDLE file = p.files.CreateFileW(path.c_str(), plat::GENERIC_READ, plat::FILE_SHARE_READ,
                                          nullptr, plat::OPEN_EXISTING, 0, nullptr);
  if (file == plat::InvalidHandleValue()) return bytes;
  std::uint8_t chunk[65536];
  plat::DWORD got = 0;
  while (p.files.ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  p.processes.CloseHandle(file);
  return bytes;
}

std::uint64_t Ticks(const plat::FILETIME& time) {
  return std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

TEST(PayloadExtractionOnWine, EveryPayloadExpandsToItsSourceWithItsTimeStamp) {
  plat::Platform& p = win32::SystemPlatform();
  const std::map<int, std::string> sources = PayloadSources();
  ASSERT_EQ(sources.size(), kPatchCatalogueSize) << GLIMRA_PAYLOAD_SOURCES;
  ASSERT_EQ(EmbeddedPayloadDigests().size(), kPatchCatalogueSize);

  const std::string base =
      "payload-extraction-" + std::to_string(p.processes.GetCurrentProcessId());
  const std::u16string workspace = CreateTempWorkspace(p, std::u16string(base.begin(), base.end()));
  ASSERT_FALSE(workspace.empty());
  const plat::HMODULE module = p.processes.GetModuleHandleW(nullptr);

  for (const PatchEntry& row : PatchCatalogue()) {
    const int id = row.resourceId < 0 ? -row.resourceId : row.resourceId;
    SCOPED_TRACE(id);
    PatchEntry item = row;
    item.target = uR"(C:\Program Files\Corvane\Glimra\)" + row.target;
    std::u16string expanded = u"stale";
    ASSERT_EQ(ExtractPayload(p, workspace, item, module, expanded, EmbeddedPayloadDigests()), 0);
    EXPECT_EQ(expanded, workspace + row.target);
    // The times first: reading the file moves its last-access time on Wine.
    plat::HANDLE file = p.files.CreateFileW(expanded.c_str(), plat::GENERIC_READ, 0, nullptr,
                                            plat::OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, plat::InvalidHandleValue());
    plat::FILETIME creation{}, access{}, write{};
    EXPECT_TRUE(p.files.GetFileTime(file, &creation, &access, &write));
    p.processes.CloseHandle(file);
    // Wine keeps no creation time of its own; the other two are the stamp exactly.
    EXPECT_EQ(Ticks(write), kStampTime);
    EXPECT_EQ(Ticks(access), kStampTime);
    EXPECT_TRUE(ReadFile(p, expanded) == fixtures::ReadHostFile(sources.at(id)))
        << "differs from " << sources.at(id);

    // The compressed copy is gone; the expanded file is the loop's to delete.
    EXPECT_EQ(p.files.GetFileAttributesW((expanded + u".tmp").c_str()),
              plat::INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(p.files.DeleteFileW(expanded.c_str()));
  }
  EXPECT_TRUE(p.files.RemoveDirectoryW(workspace.c_str())) << "the workspace was left empty";
}

}  // namespace
}  // namespace glimra
