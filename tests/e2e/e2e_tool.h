// Small pieces shared by the Wine test helpers: UTF-8 output and the start-up handshake with the
// runner. These are test tools: they use the Win32 API directly.
#pragma once

#include <windows.h>

#include <string>

namespace e2e {

// Environment variables through which the runner hands each helper two event names: the helper
// sets the first once it is ready and exits when the second is set.
inline constexpr wchar_t kReadyEventVar[] = L"E2E_READY_EVENT";
inline constexpr wchar_t kStopEventVar[] = L"E2E_STOP_EVENT";

// Longest a helper waits for the runner to tell it to stop, so that none outlives a broken run.
inline constexpr DWORD kHelperLifetimeMs = 120000;

inline std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

// Writes bytes unchanged to a standard handle (no code-page conversion by the C runtime).
inline void Write(DWORD stdHandle, const std::string& bytes) {
  HANDLE out = GetStdHandle(stdHandle);
  DWORD written = 0;
  if (out != nullptr && out != INVALID_HANDLE_VALUE && !bytes.empty())
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

inline void Out(const std::wstring& text) {
  Write(STD_OUTPUT_HANDLE, ToUtf8(text));
}
inline void Err(const std::wstring& text) {
  Write(STD_ERROR_HANDLE, ToUtf8(text));
}

inline std::wstring GetEnv(const wchar_t* name) {
  wchar_t buffer[512];
  const DWORD length = GetEnvironmentVariableW(name, buffer, ARRAYSIZE(buffer));
  if (length == 0 || length >= ARRAYSIZE(buffer)) return {};
  return std::wstring(buffer, length);
}

// Tells the runner that the helper is ready, then waits until the runner says stop (or the
// lifetime ends). Without a runner, the helper just lives its lifetime.
inline void SignalReadyAndWait() {
  const std::wstring readyName = GetEnv(kReadyEventVar);
  const std::wstring stopName = GetEnv(kStopEventVar);
  HANDLE stop = stopName.empty() ? nullptr : OpenEventW(SYNCHRONIZE, FALSE, stopName.c_str());
  if (!readyName.empty()) {
    if (HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName.c_str())) {
      SetEvent(ready);
      CloseHandle(ready);
    }
  }
  if (stop != nullptr) {
    WaitForSingleObject(stop, kHelperLifetimeMs);
    CloseHandle(stop);
  } else {
    Sleep(kHelperLifetimeMs);
  }
}

}  // namespace e2e
