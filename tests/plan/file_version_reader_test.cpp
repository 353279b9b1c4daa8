// ReadFixedFileVersion over the simulated machine's version reader, with damaged files.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <random>

#include "common/machine_fixture.h"
#include "plan/plan_builder.h"
#include "standins/standin_pe.h"

namespace glimra {
namespace {

constexpr const char16_t* kPath = uR"(C:\Product\Sample.dll)";

standins::PeOptions Options(bool is64 = false, bool dll = true) {
  standins::PeOptions options;
  options.is64Bit = is64;
  options.dll = dll;
  options.fileVersion = {3, 1, 0, 5190};
  options.productVersion = {7, 2, 0, 1};
  return options;
}

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, static_cast<std::uint16_t>(v));
  Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

class FileVersionReaderTest : public testing::MachineTest {
 protected:
  bool Read(const std::vector<std::uint8_t>& bytes, FileVersion& version) {
    machine.AddFile(kPath, bytes);
    return ReadFixedFileVersion(platform().files, kPath, version);
  }
};

TEST_F(FileVersionReaderTest, ReadsTheFileVersionOfEveryKindOfImage) {
  for (const bool is64 : {false, true}) {
    for (const bool dll : {false, true}) {
      SCOPED_TRACE(std::to_string(is64) + std::to_string(dll));
      FileVersion version;
      ASSERT_TRUE(Read(standins::MakePeFile(Options(is64, dll)), version));
      EXPECT_EQ(version, (FileVersion{3, 1, 0, 5190})) << "the file version, not 7.2.0.1";
    }
  }
}

TEST_F(FileVersionReaderTest, FailsWithoutTouchingTheVersionForWhatIsNoVersionedFile) {
  machine.AddDirectory(uR"(C:\Product\Folder.dll)");
  FileVersion untouched{9, 9, 9, 9};
  EXPECT_FALSE(ReadFixedFileVersion(platform().files, u"", untouched));
  EXPECT_FALSE(ReadFixedFileVersion(platform().files, uR"(C:\Product\Missing.dll)", untouched));
  EXPECT_FALSE(ReadFixedFileVersion(platform().files, uR"(C:\Product\Folder.dll)", untouched));
  EXPECT_EQ(untouched, (FileVersion{9, 9, 9, 9}));
}

TEST_F(FileVersionReaderTest, DamagedOrForeignFilesFailCleanly) {
  standins::PeLayout layout;
  const std::vector<std::uint8_t> good = standins::MakePeFile(Options(), &layout);
  const std::size_t rsrc = layout.resourceDirectoryOffset;
  const std::size_t block = layout.versionDataOffset;
  struct Case {
    const char* what;
    std::function<std::vector<std::uint8_t>()> make;
  };
  const std::vector<Case> cases = {
      {"empty file", [] { return std::vector<std::uint8_t>{}; }},
      {"help file", [] { return standins::MakeHelpFile(4096, 3); }},
      {"16 MB of text", [] { return std::vector<std::uint8_t>(16u << 20, 'x'); }},
      {"cut inside the headers", [&] { return std::vector(good.begin(), good.begin() + 0x100); }},
      {"cut inside the resource directory",
       [&] { return std::vector(good.begin(), good.begin() + static_cast<long>(rsrc) + 0x20); }},
      {"cut inside the version block",
       [&] { return std::vector(good.begin(), good.begin() + static_cast<long>(block) + 30); }},
      {"subdirectory offset outside the section",
       [&] {
         auto b = good;
         Put32(b, rsrc + 20, 0x80000000u | 0x7FFFFF00u);
         return b;
       }},
      {"resource directory that points at itself",
       [&] {
         auto b = good;
         Put32(b, rsrc + 0x18 + 20, 0x80000000u | 0x18);
         return b;
       }},
      {"data entry far outside the file",
       [&] {
         auto b = good;
         Put32(b, rsrc + 0x48, 0x7FFF0000u);
         return b;
       }},
      {"data entry of absurd size",
       [&] {
         auto b = good;
         Put32(b, rsrc + 0x4C, 0xFFFFFFF0u);
         return b;
       }},
      {"version resource of another name",
       [&] {
         auto b = good;
         Put32(b, rsrc + 0x18 + 16, 2);
         return b;
       }},
      {"no version resource type",
       [&] {
         auto b = good;
         Put32(b, rsrc + 16, 6);  // RT_STRING
         return b;
       }},
      {"fixed part longer than the block",
       [&] {
         auto b = good;
         Put16(b, block + 2, 0xFFFF);
         return b;
       }},
      {"fixed part shorter than VS_FIXEDFILEINFO",
       [&] {
         auto b = good;
         Put16(b, block + 2, 20);
         return b;
       }},
      {"no fixed part",
       [&] {
         auto b = good;
         Put16(b, block + 2, 0);
         return b;
       }},
      {"block length below its own header",
       [&] {
         auto b = good;
         Put16(b, block, 8);
         return b;
       }},
      {"wrong root key",
       [&] {
         auto b = good;
         b[block + 6] = 'W';
         return b;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileVersion version{1, 2, 3, 4};
    EXPECT_FALSE(Read(c.make(), version));
    EXPECT_EQ(version, (FileVersion{1, 2, 3, 4}));
  }
}

// Random damage to the headers, the resource directory and the version block: the reader either
// fails or reads a version, and never reads outside a buffer (ASan and UBSan watch).
TEST_F(FileVersionReaderTest, FuzzedImagesNeverReadOutsideTheirBuffers) {
  standins::PeLayout layout;
  const std::vector<std::uint8_t> good = standins::MakePeFile(Options(true), &layout);
  std::mt19937 rng(20131022);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int rounds = 0;
  int readable = 0;
  while (std::chrono::steady_clock::now() < deadline && rounds < 20000) {
    auto bytes = good;
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      // Mostly inside the structures a reader walks: the headers and the whole .rsrc.
      std::size_t at = 0;
      switch (rng() % 3) {
        case 0:
          at = rng() % 0x200;
          break;
        case 1:
          at = layout.resourceDirectoryOffset + rng() % layout.resourceDirectorySize;
          break;
        default:
          at = layout.versionDataOffset + rng() % layout.versionDataSize;
          break;
      }
      bytes[at] = static_cast<std::uint8_t>(rng());
    }
    if (rng() % 10 == 0) bytes.resize(rng() % bytes.size());
    FileVersion version;
    if (Read(bytes, version)) ++readable;
    ++rounds;
  }
  EXPECT_GT(rounds, 100);
  EXPECT_GT(readable, 0) << "some damage leaves the version readable";
  EXPECT_LT(readable, rounds);
}

}  // namespace
}  // namespace glimra
