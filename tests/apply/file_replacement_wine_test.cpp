// ReplaceTargetFile and RemoveTargetFile over the real Win32 file functions under Wine, with the
// target held open by another process (glimra_hold_file): moved aside and scheduled for deletion
// at restart when its holder shares delete access, refused when it does not, and read-only hidden
// targets handled by both attribute ways.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "apply/file_replacement.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>

namespace glimra {
namespace {

using Bytes = std::vector<unsigned char>;

const wchar_t* W(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
std::u16string U(const std::wstring& text) {
  return std::u16string(text.begin(), text.end());
}

constexpr DWORD kProtective = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
constexpr wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";

std::optional<Bytes> ReadAll(const std::u16string& path) {
  HANDLE file =
      CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  Bytes bytes;
  unsigned char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  CloseHandle(file);
  return bytes;
}

bool WriteAll(const std::u16string& path, const Bytes& bytes) {
  HANDLE file = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool SameText(const std::u16string& a, const std::u16string& b) {
  return CompareStringOrdinal(W(a), static_cast<int>(a.size()), W(b), static_cast<int>(b.size()),
                              /*bIgnoreCase=*/TRUE) == CSTR_EQUAL;
}
bool StartsWithText(const std::u16string& text, const std::u16string& prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

// --- The list of renames and deletions at the next restart --------------------------------------

// The strings of PendingFileRenameOperations, in order (pairs: source, then target or "" for a
// deletion), without the list's final empty string; empty when the value is missing.
std::vector<std::u16string> PendingOperations() {
  std::vector<std::u16string> strings;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != 0) {
    return strings;
  }
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, kPendingValue, nullptr, &type, nullptr, &size) == 0 &&
      type == REG_MULTI_SZ) {
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) == 0) {
      const std::size_t length = size / sizeof(wchar_t);
      std::u16string current;
      for (std::size_t i = 0; i < length; ++i) {
        if (data[i] == L'\0') {
          strings.push_back(current);
          current.clear();
        } else {
          current += static_cast<char16_t>(data[i]);
        }
      }
      if (!current.empty()) strings.push_back(current);  // a last string without its NUL
      const bool terminated = length >= 2 && data[length - 1] == L'\0' && data[length - 2] == L'\0';
      if (terminated && !strings.empty() && strings.back().empty()) strings.pop_back();
    }
  }
  RegCloseKey(key);
  return strings;
}

// Whether strings[i] is the source of an entry of ours: a path under folder.
bool OursAt(const std::vector<std::u16string>& strings, std::size_t i,
            const std::u16string& folder) {
  return StartsWithText(strings[i], u"\\??\\" + folder);
}

// The paths under folder scheduled for deletion (source followed by an empty target).
std::vector<std::u16string> ScheduledDeletionsUnder(const std::u16string& folder) {
  const std::vector<std::u16string> strings = PendingOperations();
  std::vector<std::u16string> paths;
  for (std::size_t i = 0; i < strings.size(); ++i) {
    if (OursAt(strings, i, folder) && (i + 1 == strings.size() || strings[i + 1].empty())) {
      paths.push_back(strings[i].substr(4));
    }
  }
  return paths;
}

// Takes the entries whose source lies under folder out of the list again, leaving every other
// string as it was, so that no later test (and no restart of the prefix) sees them. True when
// the list no longer holds any.
bool ForgetPendingOperationsUnder(const std::u16string& folder) {
  const std::vector<std::u16string> strings = PendingOperations();
  std::vector<wchar_t> kept;
  bool changed = false;
  bool keptAny = false;
  for (std::size_t i = 0; i < strings.size(); ++i) {
    if (OursAt(strings, i, folder)) {
      changed = true;
      if (i + 1 < strings.size() && strings[i + 1].empty()) ++i;  // its empty target
      continue;
    }
    kept.insert(kept.end(), strings[i].begin(), strings[i].end());
    kept.push_back(L'\0');
    keptAny = true;
  }
  if (!changed) return true;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != 0) return false;
  LONG error = 0;
  if (!keptAny) {
    error = RegDeleteValueW(key, kPendingValue);
  } else {
    kept.push_back(L'\0');
    error = RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ,
                           reinterpret_cast<const BYTE*>(kept.data()),
                           static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
  }
  RegCloseKey(key);
  return error == 0 && ScheduledDeletionsUnder(folder).empty();
}

// --- Another process holding the target ------------------------------------------------------

std::wstring ThisProgramsFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path, length);
  return text.substr(0, text.rfind(L'\\') + 1);
}

// glimra_hold_file, started with its stdin and stdout on pipes. It says "held" once it holds the
// file and lets go when its stdin ends.
class Holder {
 public:
  Holder() = default;
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  ~Holder() { Stop(); }

  // Starts program with the arguments and waits for its first line; the line, or why there is
  // none.
  std::string Start(const std::wstring& program, const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &input_, &inheritable, 0)) return "CreatePipe failed";
    if (!CreatePipe(&output_, &childOut, &inheritable, 0)) {
      CloseHandle(childIn);
      return "CreatePipe failed";
    }
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(),
                                        /*processAttributes=*/nullptr,
                                        /*threadAttributes=*/nullptr, /*inheritHandles=*/TRUE,
                                        /*creationFlags=*/0, /*environment=*/nullptr,
                                        /*currentDirectory=*/nullptr, &startup, &info);
    const DWORD startError = GetLastError();
    // Only the child keeps these ends, so its exit ends the pipe for our read below.
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (!started) return "CreateProcessW failed: " + std::to_string(startError);
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    std::string line;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(output_, &c, 1, &got, nullptr) && got == 1 && c != '\n') line += c;
    return line;
  }

  // Ends its stdin and waits for it to exit; its exit code, or none when it had to be killed.
  std::optional<DWORD> Stop() {
    if (process_ == nullptr) return 0;
    CloseHandle(input_);
    input_ = nullptr;
    std::optional<DWORD> code;
    if (WaitForSingleObject(process_, 30000) == WAIT_OBJECT_0) {
      DWORD exitCode = 0;
      if (GetExitCodeProcess(process_, &exitCode)) code = exitCode;
    } else {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 30000);
    }
    CloseHandle(process_);
    CloseHandle(output_);
    process_ = output_ = nullptr;
    return code;
  }

 private:
  HANDLE process_ = nullptr;
  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
};

// --- A system whose kernel32 lacks the by-handle information functions ---------------------------

// The real Win32 services, except that GetProcAddress can be made to miss the two by-handle
// information functions (as on Windows before Vista) and DeleteFileW to refuse one deletion as a
// sharing conflict. Wine's kernel32 has both functions, and Wine refuses a deletion exactly when
// it refuses a rename, so neither path is reached otherwise.
class TestProcesses final : public plat::Processes {
 public:
  explicit TestProcesses(plat::Processes& real) : real_(real) {}
  bool hideBasicInfoFunctions = false;

  plat::DWORD GetLastError() override { return real_.GetLastError(); }
  void SetLastError(plat::DWORD error) override { real_.SetLastError(error); }
  plat::BOOL CloseHandle(plat::HANDLE handle) override { return real_.CloseHandle(handle); }
  plat::HANDLE CreateMutexW(const void* security, plat::BOOL owner,
                            const plat::WCHAR* name) override {
    return real_.CreateMutexW(security, owner, name);
  }
  plat::HANDLE GetCurrentProcess() override { return real_.GetCurrentProcess(); }
  plat::DWORD GetCurrentProcessId() override { return real_.GetCurrentProcessId(); }
  plat::DWORD GetModuleFileNameW(plat::HMODULE module, plat::WCHAR* buffer,
                                 plat::DWORD size) override {
    return real_.GetModuleFileNameW(module, buffer, size);
  }
  plat::HMODULE GetModuleHandleW(const plat::WCHAR* name) override {
    return real_.GetModuleHandleW(name);
  }
  plat::FARPROC GetProcAddress(plat::HMODULE module, const char* name) override {
    const bool byName = reinterpret_cast<std::uintptr_t>(name) > 0xFFFF;
    if (hideBasicInfoFunctions && byName &&
        (std::string_view(name) == "GetFileInformationByHandleEx" ||
         std::string_view(name) == "SetFileInformationByHandle")) {
      real_.SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
    return real_.GetProcAddress(module, name);
  }
  plat::HANDLE CreateToolhelp32Snapshot(plat::DWORD flags, plat::DWORD processId) override {
    return real_.CreateToolhelp32Snapshot(flags, processId);
  }
  plat::BOOL Process32FirstW(plat::HANDLE snapshot, plat::PROCESSENTRY32W* entry) override {
    return real_.Process32FirstW(snapshot, entry);
  }
  plat::BOOL Process32NextW(plat::HANDLE snapshot, plat::PROCESSENTRY32W* entry) override {
    return real_.Process32NextW(snapshot, entry);
  }

 private:
  plat::Processes& real_;
};

class TestFiles final : public plat::Files {
 public:
  TestFiles(plat::Files& real, plat::Processes& processes) : real_(real), processes_(processes) {}
  bool refuseNextDeleteAsInUse = false;

  plat::BOOL DeleteFileW(const plat::WCHAR* path) override {
    if (refuseNextDeleteAsInUse) {
      refuseNextDeleteAsInUse = false;
      processes_.SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
    return real_.DeleteFileW(path);
  }

  plat::DWORD GetFileAttributesW(const plat::WCHAR* path) override {
    return real_.GetFileAttributesW(path);
  }
  plat::DWORD GetTempPathW(plat::DWORD size, plat::WCHAR* buffer) override {
    return real_.GetTempPathW(size, buffer);
  }
  plat::BOOL RemoveDirectoryW(const plat::WCHAR* path) override {
    return real_.RemoveDirectoryW(path);
  }
  const plat::WCHAR* PathFindFileNameW(const plat::WCHAR* path) override {
    return real_.PathFindFileNameW(path);
  }
  int InvokeSHCreateDirectory(plat::FARPROC function, plat::HWND owner,
                              const plat::WCHAR* path) override {
    return real_.InvokeSHCreateDirectory(function, owner, path);
  }
  plat::HMODULE LoadLibraryW(const plat::WCHAR* name) override { return real_.LoadLibraryW(name); }
  plat::BOOL FreeLibrary(plat::HMODULE module) override { return real_.FreeLibrary(module); }
  plat::DWORD GetFileVersionInfoSizeW(const plat::WCHAR* path, plat::DWORD* handle) override {
    return real_.GetFileVersionInfoSizeW(path, handle);
  }
  plat::BOOL GetFileVersionInfoW(const plat::WCHAR* path, plat::DWORD handle, plat::DWORD size,
                                 void* data) override {
    return real_.GetFileVersionInfoW(path, handle, size, data);
  }
  plat::BOOL VerQueryValueW(const void* block, const plat::WCHAR* subBlock, void** buffer,
                            plat::UINT* length) override {
    return real_.VerQueryValueW(block, subBlock, buffer, length);
  }
  plat::HANDLE CreateFileW(const plat::WCHAR* path, plat::DWORD access, plat::DWORD share,
                           const void* security, plat::DWORD disposition, plat::DWORD flags,
                           plat::HANDLE templateFile) override {
    return real_.CreateFileW(path, access, share, security, disposition, flags, templateFile);
  }
  plat::DWORD SetFilePointer(plat::HANDLE file, plat::LONG distance, plat::LONG* high,
                             plat::DWORD method) override {
    return real_.SetFilePointer(file, distance, high, method);
  }
  plat::BOOL SetEndOfFile(plat::HANDLE file) override { return real_.SetEndOfFile(file); }
  plat::BOOL WriteFile(plat::HANDLE file, const void* buffer, plat::DWORD size,
                       plat::DWORD* written, void* overlapped) override {
    return real_.WriteFile(file, buffer, size, written, overlapped);
  }
  plat::BOOL ReadFile(plat::HANDLE file, void* buffer, plat::DWORD size, plat::DWORD* read,
                      void* overlapped) override {
    return real_.ReadFile(file, buffer, size, read, overlapped);
  }
  plat::BOOL SetFileTime(plat::HANDLE file, const plat::FILETIME* creation,
                         const plat::FILETIME* lastAccess,
                         const plat::FILETIME* lastWrite) override {
    return real_.SetFileTime(file, creation, lastAccess, lastWrite);
  }
  plat::BOOL GetFileTime(plat::HANDLE file, plat::FILETIME* creation, plat::FILETIME* lastAccess,
                         plat::FILETIME* lastWrite) override {
    return real_.GetFileTime(file, creation, lastAccess, lastWrite);
  }
  plat::BOOL InvokeGetFileInformationByHandleEx(plat::FARPROC function, plat::HANDLE file,
                                                int infoClass, void* info,
                                                plat::DWORD size) override {
    return real_.InvokeGetFileInformationByHandleEx(function, file, infoClass, info, size);
  }
  plat::BOOL InvokeSetFileInformationByHandle(plat::FARPROC function, plat::HANDLE file,
                                              int infoClass, void* info,
                                              plat::DWORD size) override {
    return real_.InvokeSetFileInformationByHandle(function, file, infoClass, info, size);
  }
  plat::BOOL CopyFileW(const plat::WCHAR* source, const plat::WCHAR* destination,
                       plat::BOOL failIfExists) override {
    return real_.CopyFileW(source, destination, failIfExists);
  }
  plat::BOOL MoveFileW(const plat::WCHAR* from, const plat::WCHAR* to) override {
    return real_.MoveFileW(from, to);
  }
  plat::BOOL MoveFileExW(const plat::WCHAR* from, const plat::WCHAR* to,
                         plat::DWORD flags) override {
    return real_.MoveFileExW(from, to, flags);
  }
  plat::BOOL SetFileAttributesW(const plat::WCHAR* path, plat::DWORD attributes) override {
    return real_.SetFileAttributesW(path, attributes);
  }

 private:
  plat::Files& real_;
  plat::Processes& processes_;
};

// --- The cases --------------------------------------------------------------------------------

enum class Op { kReplace, kRemove };
enum class Hold {
  kNone,
  kReadDelete,  // open for reading, sharing read and delete: may be renamed, not written
  kRead,        // open for reading, sharing read only: may be neither
  kImage,       // the target is the holder's own running image
};
enum class After { kNew, kOld, kGone };

struct Case {
  const char* name;
  Op op;
  Hold hold;
  std::optional<DWORD> attributes;  // of the target beforehand; none: there is no target
  plat::HRESULT result;
  After after;  // the target once the holder has let go
  // Its read-only and hidden bits on Windows, when it exists.
  std::optional<DWORD> protectiveAfter = std::nullopt;
  bool movedAside = false;            // the old file under the side name, deleted at restart
  bool pathBasedAttributes = false;   // kernel32 made to lack the by-handle functions
  bool deleteRefusedAsInUse = false;  // the first DeleteFileW reports a sharing conflict
};

constexpr plat::HRESULT kInUse = static_cast<plat::HRESULT>(0x80070020);
constexpr plat::HRESULT kAccessDenied = static_cast<plat::HRESULT>(0x80070005);
constexpr plat::HRESULT kNotFound = static_cast<plat::HRESULT>(0x80070002);
constexpr DWORD kNormal = FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kRoHidden =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;

// Names the case in test output.
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

bool IsWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      // Sharing delete access: the copy over it is refused, the rename is not.
      {.name = "replace: held sharing delete: moved aside, new copy in place",
       .op = Op::kReplace,
       .hold = Hold::kReadDelete,
       .attributes = kNormal,
       .result = 0,
       .after = After::kNew,
       .protectiveAfter = 0,
       .movedAside = true},
      // A running program's image: writing it is refused as in use, renaming it is not.
      {.name = "replace: running image: moved aside, new copy in place",
       .op = Op::kReplace,
       .hold = Hold::kImage,
       .attributes = kNormal,
       .result = 0,
       .after = After::kNew,
       .protectiveAfter = 0,
       .movedAside = true},
      {.name = "replace: held sharing read only: refused as in use, unchanged",
       .op = Op::kReplace,
       .hold = Hold::kRead,
       .attributes = kNormal,
       .result = kInUse,
       .after = After::kOld,
       .protectiveAfter = 0},
      {.name = "replace: read-only hidden target: bits handed to the new file",
       .op = Op::kReplace,
       .hold = Hold::kNone,
       .attributes = kRoHidden,
       .result = 0,
       .after = After::kNew,
       .protectiveAfter = kProtective},
      {.name = "replace: read-only hidden target: bits handed to the new file by path",
       .op = Op::kReplace,
       .hold = Hold::kNone,
       .attributes = kRoHidden,
       .result = 0,
       .after = After::kNew,
       .protectiveAfter = kProtective,
       .pathBasedAttributes = true},
      {.name = "replace: read-only hidden target in use: moved aside, bits kept",
       .op = Op::kReplace,
       .hold = Hold::kReadDelete,
       .attributes = kRoHidden,
       .result = 0,
       .after = After::kNew,
       .protectiveAfter = kProtective,
       .movedAside = true},
      {.name = "replace: missing target is created",
       .op = Op::kReplace,
       .hold = Hold::kNone,
       .attributes = std::nullopt,
       .result = 0,
       .after = After::kNew,
       .protectiveAfter = 0},

      // Deleting needs the same sharing as renaming, so a holder sharing delete access lets the
      // plain deletion through. The name goes with the holder's last handle: Wine (and Windows
      // without POSIX deletion semantics) keeps it until then.
      {.name = "remove: held sharing delete: deleted once the holder lets go",
       .op = Op::kRemove,
       .hold = Hold::kReadDelete,
       .attributes = kNormal,
       .result = 0,
       .after = After::kGone},
      {.name = "remove: deletion refused as in use: moved aside, name free at once",
       .op = Op::kRemove,
       .hold = Hold::kReadDelete,
       .attributes = kNormal,
       .result = 0,
       .after = After::kGone,
       .movedAside = true,
       .deleteRefusedAsInUse = true},
      {.name = "remove: held sharing read only: refused as in use, unchanged",
       .op = Op::kRemove,
       .hold = Hold::kRead,
       .attributes = kNormal,
       .result = kInUse,
       .after = After::kOld,
       .protectiveAfter = 0},
      // Deleting a running image is refused as access denied, not as a sharing conflict, so it
      // is not moved aside; the file stays as it was.
      {.name = "remove: running image: refused as access denied, unchanged",
       .op = Op::kRemove,
       .hold = Hold::kImage,
       .attributes = kNormal,
       .result = kAccessDenied,
       .after = After::kOld},
      {.name = "remove: read-only hidden target",
       .op = Op::kRemove,
       .hold = Hold::kNone,
       .attributes = kRoHidden,
       .result = 0,
       .after = After::kGone},
      {.name = "remove: read-only hidden target by path",
       .op = Op::kRemove,
       .hold = Hold::kNone,
       .attributes = kRoHidden,
       .result = 0,
       .after = After::kGone,
       .pathBasedAttributes = true},
      {.name = "remove: missing target",
       .op = Op::kRemove,
       .hold = Hold::kNone,
       .attributes = std::nullopt,
       .result = kNotFound,
       .after = After::kGone},
  };
  return cases;
}

class FileReplacementOnWine : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    ASSERT_GT(length, 0u);
    static int serial = 0;
    folder_ = U(std::wstring(temp, length)) + u"glimra-replace-" +
              U(std::to_wstring(GetCurrentProcessId())) + u"-" + U(std::to_wstring(++serial)) +
              u"\\";
    ASSERT_TRUE(CreateDirectoryW(W(folder_), nullptr)) << GetLastError();
    ASSERT_TRUE(CreateDirectoryW(W(folder_ + u"payload"), nullptr)) << GetLastError();
    target_ = folder_ + u"GlmStudio.exe";
    source_ = folder_ + u"payload\\GlmStudio.exe";
    holdFile_ = ThisProgramsFolder() + L"glimra_hold_file.exe";
  }

  void TearDown() override {
    EXPECT_EQ(holder_.Stop(), std::optional<DWORD>(0)) << "the holder ended on its own";
    EXPECT_TRUE(ForgetPendingOperationsUnder(folder_));
    EXPECT_TRUE(RemoveFolder(folder_)) << "everything the case made is gone";
  }

  static bool RemoveFolder(const std::u16string& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(W(folder + u"*"), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::u16string name = U(found.cFileName);
        if (name == u"." || name == u"..") continue;
        const std::u16string path = folder + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveFolder(path + u"\\");
        } else {
          SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL);
          DeleteFileW(W(path));
        }
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    return RemoveDirectoryW(W(folder.substr(0, folder.size() - 1)));
  }

  // Files next to the target whose names start as its side names do.
  std::vector<std::u16string> SideFiles() {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(W(target_ + u".tmp.*"), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      names.push_back(folder_ + U(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
  }

  std::u16string folder_, target_, source_;
  std::wstring holdFile_;
  Holder holder_;
};

const Bytes kOldContent = {'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'};
const Bytes kNewContent = {'n', 'e', 'w', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't', '!'};

TEST_P(FileReplacementOnWine, LeavesTargetSideFileAndRestartListAsExpected) {
  const Case& c = GetParam();
  ASSERT_TRUE(WriteAll(source_, kNewContent));
  Bytes old;
  if (c.attributes) {
    if (c.hold == Hold::kImage) {
      ASSERT_TRUE(CopyFileW(holdFile_.c_str(), W(target_), TRUE)) << GetLastError();
    } else {
      ASSERT_TRUE(WriteAll(target_, kOldContent));
    }
    ASSERT_TRUE(SetFileAttributesW(W(target_), *c.attributes)) << GetLastError();
    ASSERT_EQ(GetFileAttributesW(W(target_)) & kProtective, *c.attributes & kProtective)
        << "Wine keeps both bits";
    const std::optional<Bytes> before = ReadAll(target_);
    ASSERT_TRUE(before);
    old = *before;
  }
  switch (c.hold) {
    case Hold::kNone:
      break;
    case Hold::kReadDelete:
      ASSERT_EQ(holder_.Start(holdFile_, L"read-delete \"" + std::wstring(W(target_)) + L"\""),
                "held");
      break;
    case Hold::kRead:
      ASSERT_EQ(holder_.Start(holdFile_, L"read \"" + std::wstring(W(target_)) + L"\""), "held");
      break;
    case Hold::kImage:
      ASSERT_EQ(holder_.Start(std::wstring(W(target_)), L"image"), "held");
      break;
  }

  plat::Platform& real = win32::SystemPlatform();
  TestProcesses processes(real.processes);
  TestFiles files(real.files, real.processes);
  processes.hideBasicInfoFunctions = c.pathBasedAttributes;
  files.refuseNextDeleteAsInUse = c.deleteRefusedAsInUse;
  plat::Platform platform{real.registry, processes,  real.system, real.resources,
                          real.ui,       real.clock, files,       real.lz};

  const DWORD ticksBefore = GetTickCount();
  const plat::HRESULT result = c.op == Op::kReplace ? ReplaceTargetFile(platform, target_, source_)
                                                    : RemoveTargetFile(platform, target_);
  const DWORD ticksAfter = GetTickCount();
  EXPECT_EQ(static_cast<std::uint32_t>(result), static_cast<std::uint32_t>(c.result));

  // The side file: "<target>.tmp.<our process id>-<tick count during the call>", holding the old
  // content, and the only entry of this folder in the restart list, as a deletion.
  const std::vector<std::u16string> sides = SideFiles();
  if (c.movedAside) {
    ASSERT_EQ(sides.size(), 1u);
    const std::u16string prefix =
        target_ + u".tmp." + U(std::to_wstring(GetCurrentProcessId())) + u"-";
    ASSERT_TRUE(StartsWithText(sides[0], prefix));
    const std::string number(sides[0].begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                             sides[0].end());
    const auto ticks = static_cast<DWORD>(std::stoll(number));
    EXPECT_GE(ticks, ticksBefore);
    EXPECT_LE(ticks, ticksAfter);
    EXPECT_EQ(sides[0], MakeSideName(target_, GetCurrentProcessId(), ticks));
    EXPECT_EQ(ReadAll(sides[0]), old);
    const std::vector<std::u16string> scheduled = ScheduledDeletionsUnder(folder_);
    ASSERT_EQ(scheduled.size(), 1u);
    EXPECT_TRUE(SameText(scheduled[0], sides[0]));
  } else {
    EXPECT_TRUE(sides.empty());
    EXPECT_TRUE(ScheduledDeletionsUnder(folder_).empty());
  }

  // While the holder still holds the old file, the name already holds the new one; a name freed
  // by moving aside is free at once.
  if (c.after == After::kNew) {
    EXPECT_EQ(ReadAll(target_), kNewContent);
  } else if (c.after == After::kOld) {
    EXPECT_EQ(ReadAll(target_), old);
  }
  if (c.after == After::kGone && c.movedAside) {
    EXPECT_EQ(GetFileAttributesW(W(target_)), INVALID_FILE_ATTRIBUTES);
  }

  EXPECT_EQ(holder_.Stop(), std::optional<DWORD>(0));
  if (c.after == After::kGone) {
    EXPECT_EQ(GetFileAttributesW(W(target_)), INVALID_FILE_ATTRIBUTES);
  } else {
    EXPECT_EQ(ReadAll(target_), c.after == After::kNew ? kNewContent : old);
  }
  if (c.protectiveAfter) {
    DWORD expected = *c.protectiveAfter;
    // Windows gives a file that CopyFileW overwrites the source's attributes; Wine 8 keeps the
    // destination's own, which the attribute step has just cleared.
    if (IsWine() && c.op == Op::kReplace && c.attributes && !c.movedAside) expected = 0;
    EXPECT_EQ(GetFileAttributesW(W(target_)) & kProtective, expected);
  }
  if (c.op == Op::kReplace && c.attributes) {
    EXPECT_EQ(GetFileAttributesW(W(source_)) & kProtective, *c.attributes & kProtective)
        << "the source was given the target's former attributes";
  }
  if (c.op == Op::kReplace) {
    EXPECT_EQ(ReadAll(source_), kNewContent) << "the source stays for the caller to delete";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, FileReplacementOnWine, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& param) {
                           std::string name;
                           for (const char* p = param.param.name; *p; ++p) {
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace glimra
