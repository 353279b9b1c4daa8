// An in-memory Windows machine: every platform interface, over state a test sets up in a few
// lines, with any operation made to fail on demand.
//
//   sim::Machine m;                       // 64-bit Windows 7, elevated administrator, English
//   m.SetString(sim::View::k64, uR"(Software\Vendor\App)", u"Version", u"1.0");
//   m.StartProcess(u"GlmStudio.exe");
//   m.FailOperation("GetTokenInformation", plat::ERROR_ACCESS_DENIED);
//   RunSomething(m.platform());
//   EXPECT_EQ(m.MessageBoxes().size(), 1u);
//
// The program under test runs as a 32-bit process by default, as the shipped program does.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

using plat::DWORD;
using plat::LANGID;
using plat::LONG;
using plat::WORD;

enum class View { k32, k64 };

struct RegistryValue {
  DWORD type = plat::REG_NONE;
  std::vector<std::uint8_t> data;
};

struct MessageBoxRecord {
  std::u16string text;
  std::u16string caption;
  plat::UINT style = 0;
  plat::HWND owner = nullptr;
};

struct TokenGroup {
  std::string sid;  // "S-1-5-32-544"
  DWORD attributes = 0;
};

class Machine : public plat::Registry,
                public plat::Processes,
                public plat::System,
                public plat::Resources,
                public plat::Ui,
                public plat::Clock,
                public plat::Files,
                public plat::Lz {
 public:
  // 64-bit Windows 7 (6.1, NT) on an AMD64 processor, the program a 32-bit process under WOW64,
  // the user an elevated administrator with display language 1033, the program's own resources
  // (the message catalogue) loaded from the build's resource data, no processes besides the
  // program, an empty registry.
  Machine();
  ~Machine() override;
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  plat::Platform& platform() { return platform_; }
  // The program's own module, as wWinMain receives it.
  plat::HMODULE ProgramModule() const;

  // --- Set-up ------------------------------------------------------------------------------
  // Processor type as GetNativeSystemInfo reports it (dwProcessorType and the matching
  // architecture). A 32-bit processor type also makes Windows 32-bit: one registry view, no WOW64.
  void SetProcessorType(DWORD processorType);
  void SetWindowsVersion(DWORD major, DWORD minor, DWORD build, DWORD platformId);
  // Whether the program is a 32-bit process on 64-bit Windows (true by default on 64-bit Windows).
  // false on 64-bit Windows makes it a 64-bit process: unflagged registry calls see the 64-bit
  // view.
  void SetProgramIs32Bit(bool is32Bit);
  // Removes IsWow64Process from kernel32's exports (as on Windows XP before SP2).
  void RemoveExport(const std::string& module, const std::string& procName);
  // The groups of the program's token, in order. SIDs are written as "S-1-5-32-544"; a malformed
  // one throws std::invalid_argument.
  void SetTokenGroups(std::vector<TokenGroup> groups);
  // The groups of an elevated administrator (the default), and of the same user with the token
  // that user account control filters: Administrators for deny checks only, medium integrity.
  static std::vector<TokenGroup> DefaultAdministratorGroups();
  static std::vector<TokenGroup> FilteredAdministratorGroups();
  void SetUserUILanguage(LANGID language);
  // The program's full path (GetModuleFileNameW); its file name is its name in the process list.
  void SetProgramPath(std::u16string path);
  // Another process; returns its id. A full path is reduced to its file name, as the process list
  // shows it.
  DWORD StartProcess(std::u16string exeName);
  void EndProcess(DWORD processId);
  // A named kernel object that exists before the program starts (held by another process).
  void AddNamedObject(std::u16string name);
  void RemoveNamedObject(const std::u16string& name);
  // Whether a kernel object of that name exists now (held by the program or by another process).
  bool NamedObjectExists(const std::u16string& name) const;
  void SetTickCount(DWORD ticks);

  // Files and folders. Drive C: and the temporary folder exist from the start; set-up makes any
  // other volume ("D:", "\\srv\share") and the folders above a path as needed, at any length
  // without the "\\?\" prefix. A path that is not a full Windows path, or a file where a folder
  // is wanted, throws std::invalid_argument.
  void AddDirectory(const std::u16string& path, DWORD attributes = 0);
  void AddFile(const std::u16string& path, std::vector<std::uint8_t> bytes,
               DWORD attributes = plat::FILE_ATTRIBUTE_ARCHIVE);
  // What GetTempPathW reports, exactly as given (no backslash is added); empty: it fails.
  void SetTempPath(std::u16string path);
  // A file held open by another running process (see StartProcess), with that open's access
  // and sharing mode: FILE_SHARE_READ | FILE_SHARE_DELETE lets the file be renamed but not
  // written or deleted, FILE_SHARE_READ alone neither. Ends with EndProcess.
  void HoldFile(DWORD processId, const std::u16string& path, DWORD access, DWORD shareMode);
  // A program running from its image: a process named after the file, holding it as Windows holds
  // a loaded image: it may be read and renamed, but not written (ERROR_SHARING_VIOLATION) nor
  // deleted (ERROR_ACCESS_DENIED). Returns its id.
  DWORD StartProgramFromImage(const std::u16string& imagePath);
  // Free space for all volumes together from now on (files may grow or be added by this many
  // bytes); a write that needs more fails with ERROR_DISK_FULL.
  void SetDiskFreeSpace(std::uint64_t bytes);
  // The next WriteFile takes at most `bytes` bytes and reports success with that count.
  void ShortenNextWrite(DWORD bytes);
  // A file's times, as FILETIME values (set-up gives new files FileTimeNow()).
  void SetFileTimes(const std::u16string& path, std::uint64_t creation, std::uint64_t lastAccess,
                    std::uint64_t lastWrite);
  // The time stamp the file system gives new and written files: 2026-01-05 09:30 UTC.
  std::uint64_t FileTimeNow() const;

  // Registry, in HKEY_LOCAL_MACHINE. Keys under SOFTWARE exist once per view on 64-bit Windows;
  // other keys, and every key on 32-bit Windows, are shared by both views.
  void CreateKey(View view, const std::u16string& key);
  void SetValue(View view, const std::u16string& key, const std::u16string& name,
                RegistryValue value);
  void SetString(View view, const std::u16string& key, const std::u16string& name,
                 const std::u16string& text, DWORD type = plat::REG_SZ);
  void SetDword(View view, const std::u16string& key, const std::u16string& name, DWORD value);
  std::optional<RegistryValue> GetValue(View view, const std::u16string& key,
                                        const std::u16string& name) const;
  // A REG_SZ or REG_EXPAND_SZ value without its terminating NUL; nullopt for anything else.
  std::optional<std::u16string> GetString(View view, const std::u16string& key,
                                          const std::u16string& name) const;
  bool KeyExists(View view, const std::u16string& key) const;
  // Removes a key with its sub-keys, or a value; nothing happens when it does not exist. Handles
  // still open on a removed key fail with ERROR_KEY_DELETED.
  void DeleteKey(View view, const std::u16string& key);
  void DeleteValue(View view, const std::u16string& key, const std::u16string& name);

  // Resources of the program's module. A string block of the message catalogue can be replaced or
  // removed per language to test the loader's choice.
  void SetResource(const std::u16string& type, WORD name, LANGID language,
                   std::vector<std::uint8_t> data);
  void SetResource(WORD type, WORD name, LANGID language, std::vector<std::uint8_t> data);
  void RemoveResource(WORD type, WORD name, LANGID language);
  // The languages a neutral request tries, in order, for a display language; when the module
  // holds none of them the loader takes the resource's lowest language.
  static std::vector<LANGID> NeutralLanguageOrder(LANGID uiLanguage);

  // The folder kernel32 is loaded from, as the program sees it.
  std::u16string SystemFolder() const;

  // --- Observation -------------------------------------------------------------------------
  // A file's or folder's attributes (FILE_ATTRIBUTE_DIRECTORY for a folder) and a file's bytes.
  std::optional<DWORD> PathAttributes(const std::u16string& path) const;
  std::optional<std::vector<std::uint8_t>> FileBytes(const std::u16string& path) const;
  // References to shell32 taken by LoadLibraryW and not yet released.
  int Shell32References() const;
  struct FileTimes {
    std::uint64_t creation = 0, lastAccess = 0, lastWrite = 0;
  };
  std::optional<FileTimes> PathTimes(const std::u16string& path) const;
  // The files MoveFileExW scheduled for deletion at the next restart, in order, as given (without
  // the "\??\" prefix the registry value carries).
  std::vector<std::u16string> PendingDeletions() const;
  // Files and folders below a folder (names only, in folded order); empty when none or missing.
  std::vector<std::u16string> FolderEntries(const std::u16string& path) const;
  const std::vector<MessageBoxRecord>& MessageBoxes() const;
  // Handles the program holds open now (keys, snapshots, tokens, mutexes, memory, SIDs).
  std::size_t OpenHandleCount() const;

  // --- Faults ------------------------------------------------------------------------------
  // Makes the named operation (its Win32 name, "RegOpenKeyExW") fail with error: it returns the
  // operation's failure value and sets the last error (registry operations return the error).
  // skip: calls that still succeed first; times: failing calls, then it works again (0: forever).
  void FailOperation(const std::string& operation, DWORD error, int times = 0, int skip = 0);
  void ClearFaults();

  // --- The platform interfaces -------------------------------------------------------------
  LONG RegOpenKeyExW(plat::HKEY root, const plat::WCHAR* subKey, DWORD options, plat::REGSAM sam,
                     plat::HKEY* result) override;
  LONG RegCreateKeyExW(plat::HKEY root, const plat::WCHAR* subKey, DWORD reserved,
                       plat::WCHAR* keyClass, DWORD options, plat::REGSAM sam,
                       const void* securityAttributes, plat::HKEY* result,
                       DWORD* disposition) override;
  LONG RegQueryValueExW(plat::HKEY key, const plat::WCHAR* valueName, DWORD* reserved, DWORD* type,
                        plat::BYTE* data, DWORD* dataSize) override;
  LONG RegSetValueExW(plat::HKEY key, const plat::WCHAR* valueName, DWORD reserved, DWORD type,
                      const plat::BYTE* data, DWORD dataSize) override;
  LONG RegCloseKey(plat::HKEY key) override;

  DWORD GetLastError() override;
  void SetLastError(DWORD error) override;
  plat::BOOL CloseHandle(plat::HANDLE handle) override;
  plat::HANDLE CreateMutexW(const void* securityAttributes, plat::BOOL initialOwner,
                            const plat::WCHAR* name) override;
  plat::HANDLE GetCurrentProcess() override;
  DWORD GetCurrentProcessId() override;
  DWORD GetModuleFileNameW(plat::HMODULE module, plat::WCHAR* buffer, DWORD size) override;
  plat::HMODULE GetModuleHandleW(const plat::WCHAR* moduleName) override;
  plat::FARPROC GetProcAddress(plat::HMODULE module, const char* procName) override;
  plat::HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) override;
  plat::BOOL Process32FirstW(plat::HANDLE snapshot, plat::PROCESSENTRY32W* entry) override;
  plat::BOOL Process32NextW(plat::HANDLE snapshot, plat::PROCESSENTRY32W* entry) override;

  void GetNativeSystemInfo(plat::SYSTEM_INFO* info) override;
  plat::BOOL GetVersionExW(plat::OSVERSIONINFOW* info) override;
  plat::BOOL InvokeIsWow64Process(plat::FARPROC isWow64Process, plat::HANDLE process,
                                  plat::BOOL* result) override;
  LANGID GetUserDefaultUILanguage() override;
  plat::BOOL OpenProcessToken(plat::HANDLE process, DWORD desiredAccess,
                              plat::HANDLE* token) override;
  plat::BOOL GetTokenInformation(plat::HANDLE token, plat::TOKEN_INFORMATION_CLASS infoClass,
                                 void* info, DWORD infoLength, DWORD* returnLength) override;
  plat::BOOL AllocateAndInitializeSid(const plat::SID_IDENTIFIER_AUTHORITY* authority,
                                      plat::BYTE count, DWORD sub0, DWORD sub1, DWORD sub2,
                                      DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                                      plat::PSID* sid) override;
  plat::BOOL EqualSid(plat::PSID a, plat::PSID b) override;
  void* FreeSid(plat::PSID sid) override;
  plat::HGLOBAL GlobalAlloc(plat::UINT flags, plat::SIZE_T bytes) override;
  void* GlobalLock(plat::HGLOBAL memory) override;
  plat::BOOL GlobalUnlock(plat::HGLOBAL memory) override;
  plat::HGLOBAL GlobalFree(plat::HGLOBAL memory) override;

  plat::HRSRC FindResourceExW(plat::HMODULE module, const plat::WCHAR* type,
                              const plat::WCHAR* name, WORD language) override;
  plat::HRSRC FindResourceW(plat::HMODULE module, const plat::WCHAR* name,
                            const plat::WCHAR* type) override;
  DWORD SizeofResource(plat::HMODULE module, plat::HRSRC resource) override;
  plat::HGLOBAL LoadResource(plat::HMODULE module, plat::HRSRC resource) override;
  const void* LockResource(plat::HGLOBAL loaded) override;

  int MessageBoxW(plat::HWND owner, const plat::WCHAR* text, const plat::WCHAR* caption,
                  plat::UINT type) override;

  DWORD GetTickCount() override;

  DWORD GetFileAttributesW(const plat::WCHAR* path) override;
  DWORD GetTempPathW(DWORD size, plat::WCHAR* buffer) override;
  plat::BOOL RemoveDirectoryW(const plat::WCHAR* path) override;
  const plat::WCHAR* PathFindFileNameW(const plat::WCHAR* path) override;
  int InvokeSHCreateDirectory(plat::FARPROC shCreateDirectory, plat::HWND owner,
                              const plat::WCHAR* path) override;
  plat::HMODULE LoadLibraryW(const plat::WCHAR* fileName) override;
  plat::BOOL FreeLibrary(plat::HMODULE module) override;
  DWORD GetFileVersionInfoSizeW(const plat::WCHAR* path, DWORD* handle) override;
  plat::BOOL GetFileVersionInfoW(const plat::WCHAR* path, DWORD handle, DWORD size,
                                 void* data) override;
  plat::BOOL VerQueryValueW(const void* block, const plat::WCHAR* subBlock, void** buffer,
                            plat::UINT* length) override;

  plat::HANDLE CreateFileW(const plat::WCHAR* path, DWORD desiredAccess, DWORD shareMode,
                           const void* securityAttributes, DWORD disposition,
                           DWORD flagsAndAttributes, plat::HANDLE templateFile) override;
  DWORD SetFilePointer(plat::HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) override;
  plat::BOOL SetEndOfFile(plat::HANDLE file) override;
  plat::BOOL WriteFile(plat::HANDLE file, const void* buffer, DWORD size, DWORD* written,
                       void* overlapped) override;
  plat::BOOL ReadFile(plat::HANDLE file, void* buffer, DWORD size, DWORD* read,
                      void* overlapped) override;
  plat::BOOL SetFileTime(plat::HANDLE file, const plat::FILETIME* creation,
                         const plat::FILETIME* lastAccess,
                         const plat::FILETIME* lastWrite) override;
  plat::BOOL GetFileTime(plat::HANDLE file, plat::FILETIME* creation, plat::FILETIME* lastAccess,
                         plat::FILETIME* lastWrite) override;
  plat::BOOL InvokeGetFileInformationByHandleEx(plat::FARPROC function, plat::HANDLE file,
                                                int infoClass, void* info, DWORD size) override;
  plat::BOOL InvokeSetFileInformationByHandle(plat::FARPROC function, plat::HANDLE file,
                                              int infoClass, void* info, DWORD size) override;
  plat::BOOL CopyFileW(const plat::WCHAR* source, const plat::WCHAR* destination,
                       plat::BOOL failIfExists) override;
  plat::BOOL DeleteFileW(const plat::WCHAR* path) override;
  plat::BOOL MoveFileW(const plat::WCHAR* existingPath, const plat::WCHAR* newPath) override;
  plat::BOOL MoveFileExW(const plat::WCHAR* existingPath, const plat::WCHAR* newPath,
                         DWORD flags) override;
  plat::BOOL SetFileAttributesW(const plat::WCHAR* path, DWORD attributes) override;

  plat::BOOL SystemTimeToFileTime(const plat::SYSTEMTIME* systemTime,
                                  plat::FILETIME* fileTime) override;

  int LZOpenFileW(const plat::WCHAR* fileName, plat::OFSTRUCT* ofStruct, WORD style) override;
  LONG LZCopy(int source, int destination) override;
  void LZClose(int file) override;

  // The machine's state, shared by its source files (state.h); not for tests.
  struct State;

 private:
  void AddSystemProcesses();
  void LoadProgramResources();
  plat::HRSRC FindProgramResource(const plat::WCHAR* type, const plat::WCHAR* name, WORD language);
  plat::FARPROC ExportAddress(const std::string& module, const std::string& procName) const;

  std::unique_ptr<State> state_;
  plat::Platform platform_;
};

}  // namespace sim
