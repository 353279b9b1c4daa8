// The contract suite's environment under Wine: the Win32 implementation in this win64 test
// program, whose own module carries contract_strings.rc.
#include <string>

#include "platform/contract_env.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>

namespace contract {
namespace {

class Win32Environment final : public Environment {
 public:
  plat::Platform& platform() override { return win32::SystemPlatform(); }
  plat::HMODULE TestModule() override { return platform().processes.GetModuleHandleW(nullptr); }
  // The display language comes from LANG / LC_ALL when Wine starts the program.
  bool SetUserUILanguage(plat::LANGID language) override {
    return platform().system.GetUserDefaultUILanguage() == language;
  }
  std::u16string UniqueName() override {
    if (unique_.empty()) {
      const std::string text = "run-" + std::to_string(platform().processes.GetCurrentProcessId()) +
                               "-" + std::to_string(platform().clock.GetTickCount());
      unique_.assign(text.begin(), text.end());
    }
    return unique_;
  }

  bool IsWine() override {
    auto& processes = platform().processes;
    plat::HMODULE ntdll = processes.GetModuleHandleW(u"ntdll");
    return ntdll && processes.GetProcAddress(ntdll, "wine_get_version");
  }

 private:
  bool WriteTestFile(const std::u16string& path, const std::vector<unsigned char>& bytes) override {
    HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_WRITE, 0,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
  }

  std::u16string unique_;
};

}  // namespace

Environment& Env() {
  static Win32Environment environment;
  return environment;
}

}  // namespace contract
