// The contract of file handles, sharing, copying, renaming, deletions at restart, file times and
// the LZ functions, on the sim and on Wine alike. Where Wine differs from Windows the test says
// so and checks the one that applies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/contract_env.h"
#include "szdd/szdd.h"

namespace {

using plat::DWORD;
using plat::HANDLE;

class FileHandlesContract : public ::testing::Test {
 protected:
  plat::Platform& p() { return contract::Env().platform(); }
  plat::Files& files() { return p().files; }
  DWORD LastError() { return p().processes.GetLastError(); }

  void SetUp() override {
    const DWORD needed = files().GetTempPathW(0, nullptr);
    std::vector<plat::WCHAR> buffer(needed + 1);
    const DWORD length = files().GetTempPathW(needed + 1, buffer.data());
    // A short folder per test: the LZ functions refuse paths of OFS_MAXPATHNAME characters, so a
    // folder named after the test would put some cases over that limit.
    static int serial = 0;
    const std::string test = std::to_string(++serial);
    folder_ = std::u16string(buffer.data(), length) + u"glimra-handles-" +
              contract::Env().UniqueName() + u"-" + std::u16string(test.begin(), test.end()) +
              u"\\";
    plat::HMODULE shell32 = files().LoadLibraryW(u"shell32.dll");
    const plat::FARPROC create = p().processes.GetProcAddress(shell32, plat::MakeIntResourceA(165));
    ASSERT_NE(create, nullptr);
    files().InvokeSHCreateDirectory(create, nullptr, folder_.c_str());
    files().FreeLibrary(shell32);
  }

  std::u16string Path(const std::u16string& name) { return folder_ + name; }

  void Write(const std::u16string& path, const std::vector<unsigned char>& bytes) {
    ASSERT_TRUE(contract::Env().WriteTestFile(path, bytes));
  }
  HANDLE Open(const std::u16string& path, DWORD access, DWORD share,
              DWORD disposition = plat::OPEN_EXISTING) {
    p().processes.SetLastError(0);
    return files().CreateFileW(path.c_str(), access, share, nullptr, disposition,
                               plat::FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  std::vector<unsigned char> Read(const std::u16string& path) {
    HANDLE file = Open(path, plat::GENERIC_READ, plat::FILE_SHARE_READ);
    std::vector<unsigned char> bytes;
    if (file == plat::InvalidHandleValue()) return bytes;
    unsigned char chunk[4096];
    DWORD got = 0;
    while (files().ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
    p().processes.CloseHandle(file);
    return bytes;
  }
  std::u16string folder_;
};

constexpr DWORD kRead = plat::GENERIC_READ;
constexpr DWORD kWrite = plat::GENERIC_WRITE;
constexpr DWORD kShareRead = plat::FILE_SHARE_READ;
constexpr DWORD kShareReadDelete = plat::FILE_SHARE_READ | plat::FILE_SHARE_DELETE;

TEST_F(FileHandlesContract, DispositionsCreateOpenTruncateAndReportWhatWasThere) {
  const std::u16string path = Path(u"a.bin");
  HANDLE file = Open(path, kRead | kWrite, 0, plat::CREATE_NEW);
  ASSERT_NE(file, plat::InvalidHandleValue());
  const char text[] = "hello world";
  DWORD written = 0;
  EXPECT_TRUE(files().WriteFile(file, text, 11, &written, nullptr));
  EXPECT_EQ(written, 11u);
  EXPECT_EQ(files().SetFilePointer(file, 5, nullptr, plat::FILE_BEGIN), 5u);
  EXPECT_TRUE(files().SetEndOfFile(file));
  EXPECT_EQ(files().SetFilePointer(file, -6, nullptr, plat::FILE_BEGIN),
            plat::INVALID_SET_FILE_POINTER);
  EXPECT_EQ(LastError(), plat::ERROR_NEGATIVE_SEEK);
  EXPECT_TRUE(p().processes.CloseHandle(file));
  EXPECT_FALSE(p().processes.CloseHandle(file)) << "a closed file handle is gone";
  EXPECT_EQ(LastError(), plat::ERROR_INVALID_HANDLE);
  EXPECT_EQ(Read(path), (std::vector<unsigned char>{'h', 'e', 'l', 'l', 'o'}));

  EXPECT_EQ(Open(path, kWrite, 0, plat::CREATE_NEW), plat::InvalidHandleValue());
  EXPECT_EQ(LastError(), plat::ERROR_FILE_EXISTS);
  file = Open(path, kWrite, 0, plat::CREATE_ALWAYS);
  ASSERT_NE(file, plat::InvalidHandleValue());
  EXPECT_EQ(LastError(), plat::ERROR_ALREADY_EXISTS) << "existed, now truncated";
  p().processes.CloseHandle(file);
  EXPECT_TRUE(Read(path).empty());

  EXPECT_EQ(Open(Path(u"missing.bin"), kRead, 0), plat::InvalidHandleValue());
  EXPECT_EQ(LastError(), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(Path(u"no\\such.bin"), kRead, 0, plat::CREATE_ALWAYS), plat::InvalidHandleValue());
  EXPECT_EQ(LastError(), plat::ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Open(Path(u"missing.bin"), kRead, 0), plat::InvalidHandleValue());

  // Without read access ReadFile fails; without write access WriteFile does.
  file = Open(path, kWrite, 0);
  char byte = 0;
  DWORD got = 5;
  EXPECT_FALSE(files().ReadFile(file, &byte, 1, &got, nullptr));
  EXPECT_EQ(LastError(), plat::ERROR_ACCESS_DENIED);
  p().processes.CloseHandle(file);
  file = Open(path, kRead, 0);
  EXPECT_FALSE(files().WriteFile(file, "x", 1, &written, nullptr));
  EXPECT_EQ(LastError(), plat::ERROR_ACCESS_DENIED);
  p().processes.CloseHandle(file);
}

TEST_F(FileHandlesContract, SharingModesDecideWhatOtherOpensCopiesRenamesAndDeletesMayDo) {
  const std::u16string path = Path(u"held.dll");
  const std::u16string side = Path(u"held.dll.side");
  const std::u16string source = Path(u"new.dll");
  Write(path, {'o', 'l', 'd'});
  Write(source, {'n', 'e', 'w'});

  // Held for reading, sharing read only: readers may join, nothing may write, move or delete.
  HANDLE held = Open(path, kRead, kShareRead);
  ASSERT_NE(held, plat::InvalidHandleValue());
  HANDLE reader = Open(path, kRead, kShareRead | plat::FILE_SHARE_WRITE);
  EXPECT_NE(reader, plat::InvalidHandleValue());
  p().processes.CloseHandle(reader);
  EXPECT_EQ(Open(path, kWrite, kShareRead | plat::FILE_SHARE_WRITE), plat::InvalidHandleValue());
  EXPECT_EQ(LastError(), plat::ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Open(path, kRead, 0), plat::InvalidHandleValue()) << "would deny the holder";
  EXPECT_EQ(LastError(), plat::ERROR_SHARING_VIOLATION);
  HANDLE attributes = Open(path, plat::FILE_READ_ATTRIBUTES, 0);
  EXPECT_NE(attributes, plat::InvalidHandleValue()) << "attribute access conflicts with nothing";
  p().processes.CloseHandle(attributes);
  EXPECT_FALSE(files().CopyFileW(source.c_str(), path.c_str(), plat::FALSE));
  EXPECT_EQ(LastError(), plat::ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(files().MoveFileW(path.c_str(), side.c_str()));
  EXPECT_EQ(LastError(), plat::ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(files().DeleteFileW(path.c_str()));
  EXPECT_EQ(LastError(), plat::ERROR_SHARING_VIOLATION);
  p().processes.CloseHandle(held);

  // Held sharing read and delete: still no copy over it, but it may be renamed, holder and all.
  held = Open(path, kRead, kShareReadDelete);
  ASSERT_NE(held, plat::InvalidHandleValue());
  EXPECT_FALSE(files().CopyFileW(source.c_str(), path.c_str(), plat::FALSE));
  EXPECT_EQ(LastError(), plat::ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(files().MoveFileW(path.c_str(), side.c_str()));
  EXPECT_TRUE(files().CopyFileW(source.c_str(), path.c_str(), plat::FALSE)) << "the name is free";
  char bytes[8] = {};
  DWORD got = 0;
  EXPECT_TRUE(files().ReadFile(held, bytes, sizeof bytes, &got, nullptr));
  EXPECT_EQ(std::string(bytes, got), "old") << "the holder keeps the moved file";
  p().processes.CloseHandle(held);
  EXPECT_EQ(Read(path), (std::vector<unsigned char>{'n', 'e', 'w'}));
  EXPECT_EQ(Read(side), (std::vector<unsigned char>{'o', 'l', 'd'}));

  // Renaming onto an existing name, and a missing source.
  EXPECT_FALSE(files().MoveFileW(side.c_str(), path.c_str()));
  EXPECT_EQ(LastError(), plat::ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(files().MoveFileW(Path(u"gone").c_str(), Path(u"gone2").c_str()));
  EXPECT_EQ(LastError(), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(files().DeleteFileW(Path(u"gone").c_str()));
  EXPECT_EQ(LastError(), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(files().CopyFileW(Path(u"gone").c_str(), path.c_str(), plat::FALSE));
  EXPECT_EQ(LastError(), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(files().CopyFileW(source.c_str(), path.c_str(), plat::TRUE));
  EXPECT_EQ(LastError(), plat::ERROR_FILE_EXISTS);
  EXPECT_TRUE(files().DeleteFileW(side.c_str()));
  EXPECT_EQ(files().GetFileAttributesW(side.c_str()), plat::INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileHandlesContract, ReadOnlyFilesRefuseDeletionAndOnWindowsOverwriting) {
  const std::u16string path = Path(u"ro.dll");
  const std::u16string source = Path(u"src.dll");
  Write(path, {'o'});
  Write(source, {'n'});
  ASSERT_TRUE(files().SetFileAttributesW(
      path.c_str(), plat::FILE_ATTRIBUTE_READONLY | plat::FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(files().GetFileAttributesW(path.c_str()) & plat::FILE_ATTRIBUTE_READONLY,
            plat::FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(files().DeleteFileW(path.c_str()));
  EXPECT_EQ(LastError(), plat::ERROR_ACCESS_DENIED);
  const bool copied = files().CopyFileW(source.c_str(), path.c_str(), plat::FALSE) != 0;
  if (contract::Env().IsWine()) {
    // Wine keeps read-only as the Unix write bit, which root does not need.
    EXPECT_TRUE(copied) << "Wine as root overwrites a read-only file";
  } else {
    EXPECT_FALSE(copied) << "Windows refuses to overwrite a read-only file";
    EXPECT_EQ(LastError(), plat::ERROR_ACCESS_DENIED);
  }
  EXPECT_TRUE(files().SetFileAttributesW(path.c_str(), plat::FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(files().GetFileAttributesW(path.c_str()) & plat::FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(files().DeleteFileW(path.c_str()));
  EXPECT_FALSE(files().SetFileAttributesW(path.c_str(), plat::FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(LastError(), plat::ERROR_FILE_NOT_FOUND);
}

TEST_F(FileHandlesContract, CopyPassesAttributesAndLastWriteTimeOn) {
  const std::u16string source = Path(u"src.chm");
  const std::u16string target = Path(u"dst.chm");
  Write(source, {'1', '2', '3'});
  HANDLE file = Open(source, plat::FILE_WRITE_ATTRIBUTES, kShareRead);
  const plat::FILETIME stamp{0x12345678u, 0x01CECEE5u};
  ASSERT_TRUE(files().SetFileTime(file, nullptr, nullptr, &stamp));
  p().processes.CloseHandle(file);
  ASSERT_TRUE(files().SetFileAttributesW(source.c_str(), plat::FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(files().CopyFileW(source.c_str(), target.c_str(), plat::TRUE));
  EXPECT_EQ(files().GetFileAttributesW(target.c_str()) & plat::FILE_ATTRIBUTE_HIDDEN,
            plat::FILE_ATTRIBUTE_HIDDEN);
  file = Open(target, kRead, kShareRead);
  plat::FILETIME written{};
  EXPECT_TRUE(files().GetFileTime(file, nullptr, nullptr, &written));
  p().processes.CloseHandle(file);
  EXPECT_EQ(written.dwLowDateTime, stamp.dwLowDateTime);
  EXPECT_EQ(written.dwHighDateTime, stamp.dwHighDateTime);
  EXPECT_EQ(Read(target), (std::vector<unsigned char>{'1', '2', '3'}));
}

TEST_F(FileHandlesContract, FileTimesAreSetPerItemAndCalendarTimesConvertAsUtc) {
  // 2013-10-22 02:00:00.000 UTC: 130268808000000000 hundred-nanosecond units after 1601.
  const plat::SYSTEMTIME stamp{2013, 10, 0, 22, 2, 0, 0, 0};
  plat::FILETIME converted{};
  ASSERT_TRUE(p().clock.SystemTimeToFileTime(&stamp, &converted));
  const std::uint64_t value =
      (static_cast<std::uint64_t>(converted.dwHighDateTime) << 32) | converted.dwLowDateTime;
  EXPECT_EQ(value, 130268808000000000ull);
  const plat::SYSTEMTIME leapDay{2012, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_TRUE(p().clock.SystemTimeToFileTime(&leapDay, &converted));
  // Windows also refuses a day past the month's end (2013-02-29); Wine 8 accepts it.
  if (!contract::Env().IsWine()) {
    const plat::SYSTEMTIME pastEnd{2013, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_FALSE(p().clock.SystemTimeToFileTime(&pastEnd, &converted));
  }
  for (const plat::SYSTEMTIME bad :
       {plat::SYSTEMTIME{2013, 13, 0, 1, 0, 0, 0, 0}, plat::SYSTEMTIME{2013, 1, 0, 1, 24, 0, 0, 0},
        plat::SYSTEMTIME{1600, 1, 0, 1, 0, 0, 0, 0}}) {
    EXPECT_FALSE(p().clock.SystemTimeToFileTime(&bad, &converted))
        << bad.wYear << "-" << bad.wMonth << "-" << bad.wDay << " " << bad.wHour;
  }

  const std::u16string path = Path(u"t.bin");
  Write(path, {'x'});
  HANDLE file = Open(path, kRead | kWrite, 0);
  const plat::FILETIME one{1000u, 0x01C00000u}, two{2000u, 0x01C00000u}, three{3000u, 0x01C00000u};
  ASSERT_TRUE(files().SetFileTime(file, &one, &two, &three));
  plat::FILETIME c{}, a{}, w{};
  ASSERT_TRUE(files().GetFileTime(file, &c, &a, &w));
  // Wine keeps no creation time of its own (Unix files have none).
  if (!contract::Env().IsWine()) {
    EXPECT_EQ(c.dwLowDateTime, 1000u);
  }
  EXPECT_EQ(a.dwLowDateTime, 2000u);
  EXPECT_EQ(w.dwLowDateTime, 3000u);
  p().processes.CloseHandle(file);
  // Windows refuses to set times through a handle without write access; Wine 8 does not check.
  if (!contract::Env().IsWine()) {
    file = Open(path, kRead, kShareRead);
    EXPECT_FALSE(files().SetFileTime(file, &one, &one, &one));
    EXPECT_EQ(LastError(), plat::ERROR_ACCESS_DENIED);
    p().processes.CloseHandle(file);
  }
}

TEST_F(FileHandlesContract, BasicInformationByHandleThroughKernel32sExports) {
  plat::HMODULE kernel32 = p().processes.GetModuleHandleW(u"kernel32.dll");
  ASSERT_NE(kernel32, nullptr);
  const plat::FARPROC get = p().processes.GetProcAddress(kernel32, "GetFileInformationByHandleEx");
  const plat::FARPROC set = p().processes.GetProcAddress(kernel32, "SetFileInformationByHandle");
  ASSERT_NE(get, nullptr);
  ASSERT_NE(set, nullptr);
  const std::u16string path = Path(u"basic.bin");
  Write(path, {'x'});
  HANDLE file = Open(path, kRead | plat::FILE_WRITE_ATTRIBUTES, kShareRead);
  ASSERT_NE(file, plat::InvalidHandleValue());
  plat::FILE_BASIC_INFO info{};
  ASSERT_TRUE(files().InvokeGetFileInformationByHandleEx(get, file, plat::FileBasicInfo, &info,
                                                         sizeof info));
  EXPECT_EQ(info.FileAttributes & plat::FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_NE(info.LastWriteTime, 0);
  info.FileAttributes = plat::FILE_ATTRIBUTE_HIDDEN | plat::FILE_ATTRIBUTE_READONLY;
  info.CreationTime = 130268808000000000;
  ASSERT_TRUE(
      files().InvokeSetFileInformationByHandle(set, file, plat::FileBasicInfo, &info, sizeof info));
  plat::FILE_BASIC_INFO again{};
  ASSERT_TRUE(files().InvokeGetFileInformationByHandleEx(get, file, plat::FileBasicInfo, &again,
                                                         sizeof again));
  EXPECT_EQ(again.FileAttributes & 0x3u, 0x3u);
  if (!contract::Env().IsWine()) {
    EXPECT_EQ(again.CreationTime, 130268808000000000);
  }
  EXPECT_FALSE(files().InvokeGetFileInformationByHandleEx(get, file, plat::FileBasicInfo, &again,
                                                          sizeof again - 8));
  EXPECT_EQ(LastError(), plat::ERROR_BAD_LENGTH);
  p().processes.CloseHandle(file);
  EXPECT_EQ(files().GetFileAttributesW(path.c_str()) & 0x3u, 0x3u);
  EXPECT_TRUE(files().SetFileAttributesW(path.c_str(), plat::FILE_ATTRIBUTE_NORMAL));
}

// The REG_MULTI_SZ list of renames at the next restart, as strings.
std::vector<std::u16string> PendingOperations(plat::Platform& p) {
  std::vector<std::u16string> strings;
  plat::HKEY key = nullptr;
  if (p.registry.RegOpenKeyExW(plat::HkeyLocalMachine(),
                               uR"(System\CurrentControlSet\Control\Session Manager)", 0,
                               plat::KEY_QUERY_VALUE, &key) != 0) {
    return strings;
  }
  DWORD type = 0, size = 0;
  if (p.registry.RegQueryValueExW(key, u"PendingFileRenameOperations", nullptr, &type, nullptr,
                                  &size) == 0 &&
      type == plat::REG_MULTI_SZ) {
    std::vector<plat::BYTE> data(size + 2);
    if (p.registry.RegQueryValueExW(key, u"PendingFileRenameOperations", nullptr, &type,
                                    data.data(), &size) == 0) {
      std::u16string current;
      for (DWORD i = 0; i + 1 < size; i += 2) {
        const auto c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (c == u'\0') {
          strings.push_back(current);
          current.clear();
        } else {
          current += c;
        }
      }
    }
  }
  p.registry.RegCloseKey(key);
  return strings;
}

TEST_F(FileHandlesContract, DelayedDeletionIsRecordedForTheNextRestartAndTheFileStays) {
  const std::u16string path = Path(u"GlmStudio.exe.tmp.812--5");
  Write(path, {'x'});
  ASSERT_TRUE(files().MoveFileExW(path.c_str(), nullptr, plat::MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_NE(files().GetFileAttributesW(path.c_str()), plat::INVALID_FILE_ATTRIBUTES);
  const std::vector<std::u16string> pending = PendingOperations(p());
  bool found = false;
  for (std::size_t i = 0; i + 1 < pending.size(); ++i) {
    if (pending[i] == uR"(\??\)" + path && pending[i + 1].empty()) found = true;
  }
  EXPECT_TRUE(found) << "\\??\\<path> followed by an empty target";
  EXPECT_TRUE(files().DeleteFileW(path.c_str()));
}

// --- LZ ------------------------------------------------------------------------------------------

class LzContract : public FileHandlesContract {
 protected:
  // Copies source to destination through the LZ functions; the copy's result, or the open's.
  plat::LONG LzCopy(const std::u16string& source, const std::u16string& destination) {
    plat::OFSTRUCT in{}, out{};
    in.cBytes = out.cBytes = sizeof(plat::OFSTRUCT);
    const int from =
        p().lz.LZOpenFileW(source.c_str(), &in, plat::OF_READ | plat::OF_SHARE_EXCLUSIVE);
    if (from < 0) return from;
    const int to = p().lz.LZOpenFileW(destination.c_str(), &out,
                                      plat::OF_CREATE | plat::OF_WRITE | plat::OF_SHARE_EXCLUSIVE);
    if (to < 0) {
      p().lz.LZClose(from);
      return to;
    }
    const plat::LONG copied = p().lz.LZCopy(from, to);
    p().lz.LZClose(from);
    p().lz.LZClose(to);
    return copied;
  }
};

std::vector<unsigned char> CodeLike(std::size_t size) {
  std::vector<unsigned char> bytes(size);
  std::uint32_t x = 7;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = (i % 64 < 40) ? static_cast<unsigned char>("MOV EAX, [EBP+8]; CALL "[i % 23])
                             : static_cast<unsigned char>(x >> 24);
  }
  return bytes;
}

TEST_F(LzContract, ExpandsContainersCopiesPlainFilesAndReportsAShortContainerAsShortCount) {
  const std::vector<unsigned char> original = CodeLike(20000);
  const std::vector<std::uint8_t> packed = szdd::Pack(original);
  struct Case {
    const char* name;
    std::vector<unsigned char> input;
    std::vector<unsigned char> expected;  // what the destination must hold
  };
  const std::vector<Case> cases = {
      {"container", {packed.begin(), packed.end()}, original},
      {"plain file copied as it is", original, original},
      {"empty container",
       {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33, 0x41, 0, 0, 0, 0, 0},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(Path(u"in.bin"), c.input);
    EXPECT_EQ(LzCopy(Path(u"in.bin"), Path(u"out.bin")),
              static_cast<plat::LONG>(c.expected.size()));
    EXPECT_EQ(Read(Path(u"out.bin")), c.expected);
  }

  // Cut in half: the copy ends where the data does and reports the short count as success, so
  // callers must compare it with the declared length.
  Write(Path(u"half.bin"), {packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2)});
  const plat::LONG half = LzCopy(Path(u"half.bin"), Path(u"out.bin"));
  EXPECT_GT(half, 0);
  EXPECT_LT(half, static_cast<plat::LONG>(original.size()));
  EXPECT_EQ(Read(Path(u"out.bin")).size(), static_cast<std::size_t>(half));

  // A source that is not there fails at its open.
  EXPECT_LT(LzCopy(Path(u"missing.bin"), Path(u"out.bin")), 0);
}

TEST_F(LzContract, OpensRefusePathsOfOpenFilesLimit) {
  // OpenFile, under LZOpenFileW, keeps the path in OFSTRUCT::szPathName: a path of
  // OFS_MAXPATHNAME characters or more does not fit, also for a file that exists.
  const std::vector<unsigned char> original = CodeLike(3000);
  const std::vector<std::uint8_t> packed = szdd::Pack(original);
  for (const std::size_t length : {std::size_t{127}, std::size_t{128}, std::size_t{300}}) {
    SCOPED_TRACE(length);
    ASSERT_LT(folder_.size() + 4, 127u);
    const std::u16string source =
        folder_ + std::u16string(length - folder_.size() - 4, u's') + u".bin";
    ASSERT_EQ(source.size(), length);
    Write(source, {packed.begin(), packed.end()});
    plat::OFSTRUCT record{};
    record.cBytes = sizeof record;
    p().processes.SetLastError(0);
    const int opened =
        p().lz.LZOpenFileW(source.c_str(), &record, plat::OF_READ | plat::OF_SHARE_EXCLUSIVE);
    if (length < plat::OFS_MAXPATHNAME) {
      EXPECT_GE(opened, 0);
    } else {
      // Wine gives 13 up to MAX_PATH and 206 beyond; the contract is the failure and its code.
      EXPECT_LT(opened, 0);
      EXPECT_NE(record.nErrCode, 0);
      EXPECT_EQ(LastError(), record.nErrCode);
    }
    if (opened >= 0) p().lz.LZClose(opened);
  }
}

TEST_F(LzContract, ExclusiveOpensKeepOthersOut) {
  Write(Path(u"in.bin"), {'a'});
  plat::OFSTRUCT record{};
  record.cBytes = sizeof record;
  const int held = p().lz.LZOpenFileW(Path(u"in.bin").c_str(), &record,
                                      plat::OF_READ | plat::OF_SHARE_EXCLUSIVE);
  ASSERT_GE(held, 0);
  EXPECT_EQ(Open(Path(u"in.bin"), kRead, kShareRead | plat::FILE_SHARE_WRITE),
            plat::InvalidHandleValue());
  EXPECT_EQ(LastError(), plat::ERROR_SHARING_VIOLATION);
  plat::OFSTRUCT second{};
  second.cBytes = sizeof second;
  EXPECT_LT(p().lz.LZOpenFileW(Path(u"in.bin").c_str(), &second,
                               plat::OF_READ | plat::OF_SHARE_EXCLUSIVE),
            0);
  // The sim reports the sharing violation in nErrCode; Wine 8 reports 2 there.
  if (!contract::Env().IsWine()) {
    EXPECT_EQ(second.nErrCode, plat::ERROR_SHARING_VIOLATION);
  }
  p().lz.LZClose(held);
  HANDLE again = Open(Path(u"in.bin"), kRead, kShareRead);
  EXPECT_NE(again, plat::InvalidHandleValue()) << "closed: free again";
  p().processes.CloseHandle(again);
}

}  // namespace
