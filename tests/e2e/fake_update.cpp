// Stand-in with a known behaviour, for checking the runner itself: shows one message box with the
// given style, text and title (unless the style is "none") and exits with the given code.
// Usage: e2e_fake_update STYLE EXITCODE TEXT TITLE; STYLE and EXITCODE in hexadecimal; "\r" and
// "\n" in TEXT stand for a carriage return and a line feed.
#include <cwchar>
#include <string>

#include "e2e_tool.h"

static std::wstring Unescape(const wchar_t* text) {
  std::wstring out;
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    if (p[0] == L'\\' && (p[1] == L'r' || p[1] == L'n')) {
      out += p[1] == L'r' ? L'\r' : L'\n';
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    e2e::Err(L"usage: e2e_fake_update STYLE|none EXITCODE TEXT TITLE\n");
    return 2;
  }
  if (std::wcscmp(argv[1], L"none") != 0) {
    const auto style = static_cast<UINT>(std::wcstoul(argv[1], nullptr, 16));
    MessageBoxW(nullptr, Unescape(argv[3]).c_str(), argv[4], style);
  }
  ExitProcess(static_cast<UINT>(std::wcstoul(argv[2], nullptr, 16)));
}
