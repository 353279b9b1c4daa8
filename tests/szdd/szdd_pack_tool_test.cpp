// The packer tool: its commands, exit codes and the manifest line compiled into a table.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/host_files.h"
#include "szdd/sample_data.h"
#include "szdd/sha256.h"
#include "szdd/szdd.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// Generated at build time by `szdd_pack pack MANIFEST_INPUT ... --manifest-line 401`.
constexpr szdd::PayloadDigest kManifest[] = {
#include "szdd_manifest_fixture.inc"
};

using fixtures::ReadHostFile;
using fixtures::WriteHostFile;

class SzddPackTool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "szdd-tool-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Runs the tool with `args`; returns its exit code, and its standard output in `out`.
  int Tool(const std::string& args, std::string* out = nullptr) {
    const fs::path captured = dir_ / "stdout.txt";
    const std::string command =
        std::string(SZDD_PACK_PATH) + " " + args + " > '" + captured.string() + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    if (out) {
      const Bytes bytes = ReadHostFile(captured);
      out->assign(bytes.begin(), bytes.end());
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Path(const char* name) const { return "'" + (dir_ / name).string() + "'"; }

  fs::path dir_;
};

TEST_F(SzddPackTool, PackVerifiesAndWritesTheContainer) {
  const Bytes input = szdd_test::CodeLike(50000, 2);
  WriteHostFile(dir_ / "in.bin", input);
  std::string out;
  ASSERT_EQ(Tool("pack " + Path("in.bin") + " " + Path("in.sz") + " --verify", &out), 0);
  EXPECT_EQ(out, "");
  const szdd::ExpandResult result = szdd::Expand(ReadHostFile(dir_ / "in.sz"));
  EXPECT_EQ(result.status, szdd::ExpandStatus::kComplete);
  EXPECT_TRUE(result.data == input);
  EXPECT_EQ(Tool("verify " + Path("in.sz") + " " + Path("in.bin")), 0);
  ASSERT_EQ(Tool("expand " + Path("in.sz") + " " + Path("back.bin")), 0);
  EXPECT_TRUE(ReadHostFile(dir_ / "back.bin") == input);
}

TEST_F(SzddPackTool, ChecksFailWithExitCodeOne) {
  const Bytes input = szdd_test::CodeLike(20000, 4);
  WriteHostFile(dir_ / "in.bin", input);
  ASSERT_EQ(Tool("pack " + Path("in.bin") + " " + Path("in.sz")), 0);
  Bytes other = input;
  other[10000] ^= 0x40;
  WriteHostFile(dir_ / "other.bin", other);
  EXPECT_EQ(Tool("verify " + Path("in.sz") + " " + Path("other.bin")), 1);

  // A container cut short expands to less than it declares: a failure, and no output file.
  Bytes cut = ReadHostFile(dir_ / "in.sz");
  cut.resize(cut.size() - 100);
  WriteHostFile(dir_ / "cut.sz", cut);
  EXPECT_EQ(Tool("verify " + Path("cut.sz") + " " + Path("in.bin")), 1);
  EXPECT_EQ(Tool("expand " + Path("cut.sz") + " " + Path("cut.bin")), 1);
  EXPECT_FALSE(fs::exists(dir_ / "cut.bin"));
}

TEST_F(SzddPackTool, RejectsWrongUsageWithExitCodeTwo) {
  WriteHostFile(dir_ / "in.bin", Bytes(100, 'x'));
  const std::string pack = "pack " + Path("in.bin") + " " + Path("in.sz");
  for (const std::string& args :
       {std::string(""), std::string("unpack a b"), std::string("pack ") + Path("in.bin"),
        pack + " --manifest-line 0", pack + " --manifest-line 65536", pack + " --manifest-line x1",
        pack + " --manifest-line", pack + " --fast",
        "pack " + Path("missing.bin") + " " + Path("out.sz")}) {
    SCOPED_TRACE(args);
    EXPECT_EQ(Tool(args), 2);
  }
  EXPECT_FALSE(fs::exists(dir_ / "out.sz"));
}

TEST_F(SzddPackTool, ManifestLineRecordsLengthAndHash) {
  const Bytes input = szdd_test::CodeLike(3000, 8);
  WriteHostFile(dir_ / "in.bin", input);
  std::string line;
  ASSERT_EQ(Tool("pack " + Path("in.bin") + " " + Path("in.sz") + " --manifest-line 434", &line),
            0);
  EXPECT_EQ(line.rfind("{434, 3000u, {{", 0), 0u) << line;
  // The hash printed must be the one sha256sum computes.
  std::string sums;
  const std::string command = "sha256sum " + Path("in.bin") + " > " + Path("sum.txt");
  ASSERT_EQ(std::system(command.c_str()), 0);
  const Bytes sum = ReadHostFile(dir_ / "sum.txt");
  std::string hex(sum.begin(), sum.begin() + 64), printed;
  for (std::size_t at = line.find("0x"); at != std::string::npos; at = line.find("0x", at + 2)) {
    printed += line.substr(at + 2, 2);
  }
  EXPECT_EQ(printed, hex);
}

// The line compiles as a table row and matches the file it was made from.
TEST_F(SzddPackTool, ManifestLineCompilesIntoATable) {
  const Bytes fixture = ReadHostFile(MANIFEST_INPUT);
  ASSERT_FALSE(fixture.empty());
  EXPECT_EQ(kManifest[0].resourceId, 401);
  EXPECT_TRUE(szdd::MatchesDigest(fixture, kManifest[0]));
}

}  // namespace
