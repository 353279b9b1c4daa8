// Cross-checks with independent SZDD implementations: libmspack's decoder, and the msexpand and
// mscompress programs of Debian's mscompress package.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/host_files.h"
#include "szdd/mspack_memory.h"
#include "szdd/sample_data.h"
#include "szdd/szdd.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const char* const kMsexpand = "/usr/bin/msexpand";
const char* const kMscompress = "/usr/bin/mscompress";

struct Input {
  std::string name;
  Bytes data;
};

std::vector<Input> Inputs() {
  const Bytes code = szdd_test::CodeLike(150 * 1024, 5);
  auto prefix = [&](std::size_t n) {
    return Bytes(code.begin(), code.begin() + static_cast<std::ptrdiff_t>(n));
  };
  Bytes spacesFirst(300, ' ');
  spacesFirst.insert(spacesFirst.end(), code.begin(), code.begin() + 5000);
  Bytes textLike;
  for (int i = 0; i < 4000; ++i) {
    const std::string line = "line " + std::to_string(i % 97) + " of the history file\r\n";
    textLike.insert(textLike.end(), line.begin(), line.end());
  }
  return {
      {"empty", {}},
      {"1 byte", prefix(1)},
      {"15 bytes", prefix(15)},
      {"16 bytes", prefix(16)},
      {"17 bytes", prefix(17)},
      {"4095 bytes", prefix(4095)},
      {"4096 bytes", prefix(4096)},
      {"4097 bytes", prefix(4097)},
      {"run of zeros", Bytes(70000, 0)},
      {"spaces first", spacesFirst},
      {"text", textLike},
      {"incompressible", szdd_test::RandomBytes(40000, 11)},
      {"code-like, 150 KB", code},
  };
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "szdd-peer-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

using fixtures::ReadHostFile;
using fixtures::WriteHostFile;

int RunShell(const std::string& command) {
  return std::system(command.c_str());
}

TEST(SzddPeers, LibmspackExpandsOurContainers) {
  szdd_test::MspackExpander mspack;
  ASSERT_TRUE(mspack.ready());
  for (const Input& input : Inputs()) {
    SCOPED_TRACE(input.name);
    Bytes expanded;
    ASSERT_TRUE(mspack.Expand(szdd::Pack(input.data), expanded));
    EXPECT_TRUE(expanded == input.data);
  }
}

TEST(SzddPeers, MsexpandExpandsOurContainers) {
  ASSERT_TRUE(fs::exists(kMsexpand)) << "install Debian's mscompress package";
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  for (const Input& input : Inputs()) {
    SCOPED_TRACE(input.name);
    const fs::path packed = dir.path() / "in.sz";
    const fs::path expanded = dir.path() / "out.bin";
    WriteHostFile(packed, szdd::Pack(input.data));
    ASSERT_EQ(RunShell(std::string(kMsexpand) + " < '" + packed.string() + "' > '" +
                       expanded.string() + "'"),
              0);
    EXPECT_TRUE(ReadHostFile(expanded) == input.data);
  }
}

// mscompress mangles inputs shorter than 16 bytes, so those are left out here.
TEST(SzddPeers, WeExpandMscompressOutputAndPackNoLarger) {
  ASSERT_TRUE(fs::exists(kMscompress)) << "install Debian's mscompress package";
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  for (const Input& input : Inputs()) {
    if (input.data.size() < 16) continue;
    SCOPED_TRACE(input.name);
    const fs::path original = dir.path() / "file.bin";
    WriteHostFile(original, input.data);
    fs::remove(dir.path() / "file.bin_");  // mscompress will not overwrite
    ASSERT_EQ(RunShell(std::string(kMscompress) + " '" + original.string() + "'"), 0);
    const Bytes theirs = ReadHostFile(dir.path() / "file.bin_");
    const szdd::ExpandResult result = szdd::Expand(theirs);
    EXPECT_EQ(result.status, szdd::ExpandStatus::kComplete);
    EXPECT_TRUE(result.data == input.data);
    EXPECT_LE(szdd::Pack(input.data).size(), theirs.size());
  }
}

}  // namespace
