// The file-system contract: paths, folders, the temporary folder, SHCreateDirectory by ordinal
// and the version information of the stand-in PE files, on the sim and on Wine alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/contract_env.h"
#include "standins/standin_pe.h"

namespace {

using plat::DWORD;

class FilesContract : public ::testing::Test {
 protected:
  plat::Platform& p() { return contract::Env().platform(); }
  plat::Files& files() { return p().files; }

  std::u16string TempPath() {
    const DWORD needed = files().GetTempPathW(0, nullptr);
    std::vector<plat::WCHAR> buffer(needed + 1);
    const DWORD length = files().GetTempPathW(needed + 1, buffer.data());
    return std::u16string(buffer.data(), length);
  }
  // A fresh folder of this run below the temporary folder, ending in a backslash.
  std::u16string Folder(const std::u16string& name) {
    const std::u16string path =
        TempPath() + u"glimra-files-" + contract::Env().UniqueName() + u"\\" + name + u"\\";
    EXPECT_EQ(CreateDirectory(path), 0);
    return path;
  }
  int CreateDirectory(const std::u16string& path) {
    plat::HMODULE shell32 = files().LoadLibraryW(u"shell32.dll");
    EXPECT_NE(shell32, nullptr);
    const plat::FARPROC proc = p().processes.GetProcAddress(shell32, plat::MakeIntResourceA(165));
    EXPECT_NE(proc, nullptr);
    const int result = proc ? files().InvokeSHCreateDirectory(proc, nullptr, path.c_str()) : -1;
    files().FreeLibrary(shell32);
    return result;
  }
  DWORD Attributes(const std::u16string& path, DWORD* error) {
    p().processes.SetLastError(0);
    const DWORD attributes = files().GetFileAttributesW(path.c_str());
    *error = p().processes.GetLastError();
    return attributes;
  }
};

TEST_F(FilesContract, TempPathReportsItsSizeThenItsTextWithATrailingBackslash) {
  const DWORD needed = files().GetTempPathW(0, nullptr);
  ASSERT_GT(needed, 3u);
  std::vector<plat::WCHAR> buffer(needed);
  EXPECT_EQ(files().GetTempPathW(needed, buffer.data()), needed - 1);
  EXPECT_EQ(buffer[needed - 2], u'\\');
  EXPECT_EQ(buffer[needed - 1], u'\0');
  EXPECT_EQ(files().GetTempPathW(needed - 1, buffer.data()), needed) << "too small: the size";
}

TEST_F(FilesContract, ShCreateDirectoryMakesNestedFoldersAndRemoveDirectoryOnlyEmptyOnes) {
  const std::u16string base = Folder(u"dirs");
  const std::u16string deep = base + u"a\\b\\c";
  EXPECT_EQ(CreateDirectory(deep), 0);
  EXPECT_EQ(CreateDirectory(deep), static_cast<int>(plat::ERROR_ALREADY_EXISTS));
  DWORD error = 0;
  EXPECT_EQ(Attributes(base + u"A\\B\\C", &error) & plat::FILE_ATTRIBUTE_DIRECTORY,
            plat::FILE_ATTRIBUTE_DIRECTORY)
      << "names ignore case";
  EXPECT_EQ(CreateDirectory(u"relative\\dir"), static_cast<int>(plat::ERROR_BAD_PATHNAME));

  ASSERT_TRUE(contract::Env().WriteTestFile(base + u"a\\file.txt", {'x'}));
  p().processes.SetLastError(0);
  EXPECT_FALSE(files().RemoveDirectoryW((base + u"a").c_str()));
  EXPECT_EQ(p().processes.GetLastError(), plat::ERROR_DIR_NOT_EMPTY);
  EXPECT_FALSE(files().RemoveDirectoryW((base + u"a\\file.txt").c_str()));
  EXPECT_EQ(p().processes.GetLastError(), plat::ERROR_DIRECTORY);
  EXPECT_TRUE(files().RemoveDirectoryW((base + u"a\\b\\c\\").c_str()));
  EXPECT_FALSE(files().RemoveDirectoryW((base + u"a\\b\\c").c_str()));
  EXPECT_EQ(p().processes.GetLastError(), plat::ERROR_FILE_NOT_FOUND);
}

TEST_F(FilesContract, AttributesTellFilesFoldersAndWhatIsMissing) {
  const std::u16string base = Folder(u"attributes");
  ASSERT_TRUE(contract::Env().WriteTestFile(base + u"File.DLL", {'x'}));
  DWORD error = 0;
  const DWORD file = Attributes(base + u"file.dll", &error);
  EXPECT_NE(file, plat::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(file & plat::FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(Attributes(base + u"missing.dll", &error), plat::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(error, plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Attributes(base + u"missing\\file.dll", &error), plat::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(error, plat::ERROR_PATH_NOT_FOUND);
  // Doubled separators inside a plain path count as one.
  EXPECT_NE(Attributes(base + u"\\file.dll", &error), plat::INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesContract, PathsOf260CharactersAndMoreNeedTheExtendedForm) {
  std::u16string folder = Folder(u"long");
  while (folder.size() < 250) folder += u"Glimra Studio Archive\\";
  ASSERT_EQ(CreateDirectory(uR"(\\?\)" + folder), 0);
  const std::u16string file = folder + u"GlmStudio.exe";
  ASSERT_GE(file.size(), 260u);
  ASSERT_TRUE(contract::Env().WriteTestFile(uR"(\\?\)" + file, {'x'}));
  DWORD error = 0;
  EXPECT_NE(Attributes(uR"(\\?\)" + file, &error), plat::INVALID_FILE_ATTRIBUTES);
  const DWORD plain = Attributes(file, &error);
  if (contract::Env().IsWine()) {
    // Wine accepts the plain long path; Windows refuses it.
    EXPECT_NE(plain, plat::INVALID_FILE_ATTRIBUTES);
  } else {
    EXPECT_EQ(plain, plat::INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(error, plat::ERROR_FILENAME_EXCED_RANGE);
  }
}

TEST_F(FilesContract, VersionInformationGivesTheStandInsFixedFileInfo) {
  const std::u16string base = Folder(u"versions");
  for (const bool is64 : {false, true}) {
    standins::PeOptions options;
    options.is64Bit = is64;
    options.dll = !is64;
    options.fileVersion = {3, 1, 0, 5190};
    options.productVersion = {3, 3, 0, 10220};
    const std::u16string path = base + (is64 ? u"GlmStudio.exe" : u"GpuProbe.dll");
    const auto bytes = standins::MakePeFile(options);
    ASSERT_TRUE(contract::Env().WriteTestFile(path, {bytes.begin(), bytes.end()}));
    DWORD handle = 7;
    const DWORD size = files().GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(handle, 0u);
    std::vector<unsigned char> block(size);
    ASSERT_TRUE(files().GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    void* fixed = nullptr;
    plat::UINT length = 0;
    ASSERT_TRUE(files().VerQueryValueW(block.data(), u"\\", &fixed, &length));
    ASSERT_EQ(length, sizeof(plat::VS_FIXEDFILEINFO));
    const auto* info = static_cast<const plat::VS_FIXEDFILEINFO*>(fixed);
    EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info->dwFileVersionMS, 0x00030001u);
    EXPECT_EQ(info->dwFileVersionLS, 5190u);
    EXPECT_EQ(info->dwProductVersionLS, 10220u);
  }
  // The help file stand-in and a folder have no version information.
  const auto help = standins::MakeHelpFile(0, 1);
  ASSERT_TRUE(contract::Env().WriteTestFile(base + u"glm.chm", {help.begin(), help.end()}));
  EXPECT_EQ(files().GetFileVersionInfoSizeW((base + u"glm.chm").c_str(), nullptr), 0u);
  EXPECT_NE(p().processes.GetLastError(), 0u);
  EXPECT_EQ(files().GetFileVersionInfoSizeW(base.c_str(), nullptr), 0u);
}

TEST_F(FilesContract, PathFindFileNameFindsThePartAfterTheLastSeparator) {
  struct Case {
    const char16_t* path;
    std::size_t offset;
  };
  for (const Case& c : {Case{uR"(C:\Downloads\Update.exe)", 13}, Case{u"Update.exe", 0},
                        Case{u"C:Update.exe", 2}, Case{uR"(\\srv\share\x.exe)", 12},
                        Case{u"C:/dir/x.exe", 7}, Case{uR"(C:\dir\)", 3}, Case{u"", 0}}) {
    SCOPED_TRACE(std::string(c.path, c.path + std::char_traits<char16_t>::length(c.path)));
    EXPECT_EQ(files().PathFindFileNameW(c.path) - c.path, static_cast<std::ptrdiff_t>(c.offset));
  }
}

}  // namespace
