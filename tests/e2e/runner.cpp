// Runs a program, answers its message boxes and reports what they showed and how it exited.
//
//   e2e_runner [--timeout SECONDS] [--again] [--with HELPER[=ARGUMENT]]... PROGRAM [ARGUMENT]...
//
// Each helper is started first and must report ready (see e2e_tool.h) before the program starts;
// all are told to stop once the program has exited. A message box of the program is a visible
// top-level dialog (class "#32770") of its process with a text child (id 0xFFFF) and an OK
// button; each one seen is read and closed with IDOK. Printed as UTF-8, one item per line, text
// escaped so that a shell can compare it exactly ("\\", "\r", "\n", "\xNN"):
//   boxes=N            then for each box in order:  title=...  text=...  icon=KIND
//                      (KIND: error, warning, other or no; see IconKind)
//   exit=0x%08x        the program's full 32-bit exit code, or exit=timeout
// With --again, the program is started a second time while its first box is still open; that
// run's report follows on a line "again:" (or "again:" and "not started" without a box).
// The runner's own status is 0 when the program ran, 2 for bad use or a helper that failed, 3 when
// the program had to be killed.
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "e2e_tool.h"

namespace {

constexpr int kTextId = 0xFFFF;
constexpr int kIconId = 0x440;
constexpr DWORD kPollMs = 50;
constexpr DWORD kHelperStartMs = 30000;
constexpr int kIconAttempts = 60;  // 3 s: a loaded machine may paint late.

struct Box {
  HWND hwnd;
  std::wstring title;
  std::wstring text;
  std::wstring icon;
};

struct Scan {
  DWORD processId;
  std::vector<Box>* boxes;
};

std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\\') {
      out += L"\\\\";
    } else if (c == L'\r') {
      out += L"\\r";
    } else if (c == L'\n') {
      out += L"\\n";
    } else if (c < 0x20 || c == 0x7F) {
      wchar_t hex[8];
      std::swprintf(hex, ARRAYSIZE(hex), L"\\x%02x", static_cast<unsigned>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::wstring WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

bool IsClass(HWND hwnd, const wchar_t* name) {
  wchar_t cls[64];
  return GetClassNameW(hwnd, cls, ARRAYSIZE(cls)) > 0 && _wcsicmp(cls, name) == 0;
}

bool IsMessageBox(HWND hwnd) {
  if (!IsClass(hwnd, L"#32770") || !IsWindowVisible(hwnd)) return false;
  HWND text = GetDlgItem(hwnd, kTextId);
  HWND ok = GetDlgItem(hwnd, IDOK);
  // A dialog of the program's own (the progress dialog) may have a 0xFFFF static as well, but no
  // OK button and a progress bar.
  return text != nullptr && ok != nullptr && IsClass(ok, L"Button") &&
         FindWindowExW(hwnd, nullptr, L"msctls_progress32", nullptr) == nullptr;
}

// What the box's icon looks like on the screen, for the handle of another process's icon cannot be
// read: "error" (mostly red), "warning" (mostly yellow), "other" for any other icon, "no" for
// none. Wine's stock icons are a red disc, a yellow triangle and blue ones for the rest.
std::wstring IconKind(HWND box) {
  HWND icon = GetDlgItem(box, kIconId);
  DWORD_PTR handle = 0;
  if (icon == nullptr || !IsWindowVisible(icon) ||
      !SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &handle) || handle == 0)
    return L"no";
  RECT rect{};
  GetWindowRect(icon, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return L"other";
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::wstring kind = L"other";
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    // The box may not have painted yet when it is first seen.
    for (int attempt = 0; attempt < kIconAttempts && kind == L"other"; ++attempt) {
      if (attempt > 0) Sleep(kPollMs);
      BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
      const auto* pixel = static_cast<const unsigned char*>(bits);
      int red = 0;
      int yellow = 0;
      for (int i = 0; i < width * height; ++i, pixel += 4) {
        const int b = pixel[0], g = pixel[1], r = pixel[2];
        if (r >= 160 && g <= 90 && b <= 90) ++red;
        if (r >= 180 && g >= 150 && b <= 100) ++yellow;
      }
      const int enough = width * height / 10;
      if (red >= enough && red > yellow) kind = L"error";
      if (yellow >= enough && yellow > red) kind = L"warning";
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return kind;
}

BOOL CALLBACK ScanWindow(HWND hwnd, LPARAM param) {
  auto* scan = reinterpret_cast<Scan*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != scan->processId || !IsMessageBox(hwnd)) return TRUE;
  for (const Box& seen : *scan->boxes) {
    if (seen.hwnd == hwnd) return TRUE;  // Already answered; it has not gone yet.
  }
  scan->boxes->push_back(
      Box{hwnd, WindowText(hwnd), WindowText(GetDlgItem(hwnd, kTextId)), IconKind(hwnd)});
  return TRUE;
}

// Quotes one argument for a Windows command line.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

bool Start(const std::wstring& commandLine, PROCESS_INFORMATION& info) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring buffer = commandLine;
  return CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info) != FALSE;
}

struct Helper {
  PROCESS_INFORMATION info{};
};

// One run of the program: its boxes in the order seen and how it ended.
struct Run {
  bool started = false;
  bool timedOut = false;
  DWORD exitCode = 0;
  std::vector<Box> boxes;
  std::wstring Report() const;
};

std::wstring Run::Report() const {
  std::wstring report = L"boxes=" + std::to_wstring(boxes.size()) + L"\n";
  for (const Box& box : boxes) {
    report += L"title=" + Escape(box.title) + L"\n";
    report += L"text=" + Escape(box.text) + L"\n";
    report += L"icon=" + box.icon + L"\n";
  }
  wchar_t line[32];
  std::swprintf(line, ARRAYSIZE(line), L"exit=0x%08x\n", static_cast<unsigned>(exitCode));
  return report + (timedOut ? L"exit=timeout\n" : line);
}

// Runs the program to its end, closing each box it shows. With `again`, the first box stays open
// while the same command line runs once more, into `again`, to its end.
Run RunProgram(const std::wstring& commandLine, DWORD timeoutMs, Run* again) {
  Run run;
  PROCESS_INFORMATION program{};
  if (!Start(commandLine, program)) {
    e2e::Err(L"e2e_runner: cannot start " + commandLine + L"\n");
    return run;
  }
  run.started = true;
  Scan scan{program.dwProcessId, &run.boxes};
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (WaitForSingleObject(program.hProcess, kPollMs) == WAIT_TIMEOUT) {
    if (GetTickCount64() > deadline) {
      TerminateProcess(program.hProcess, 0xDEAD);
      WaitForSingleObject(program.hProcess, 5000);
      run.timedOut = true;
      break;
    }
    const size_t seen = run.boxes.size();
    EnumWindows(ScanWindow, reinterpret_cast<LPARAM>(&scan));
    for (size_t i = seen; i < run.boxes.size(); ++i) {
      if (i == 0 && again != nullptr) *again = RunProgram(commandLine, timeoutMs, nullptr);
      PostMessageW(run.boxes[i].hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  }
  GetExitCodeProcess(program.hProcess, &run.exitCode);
  CloseHandle(program.hThread);
  CloseHandle(program.hProcess);
  return run;
}

int Usage() {
  e2e::Err(
      L"usage: e2e_runner [--timeout SECONDS] [--again] [--with HELPER[=ARG]]... PROGRAM "
      L"[ARG]...\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  DWORD timeoutMs = 60000;
  bool startAgain = false;
  std::vector<std::wstring> helperCommands;
  int first = 1;
  for (; first < argc; ++first) {
    const std::wstring arg = argv[first];
    if (arg == L"--timeout" && first + 1 < argc) {
      timeoutMs = static_cast<DWORD>(std::wcstoul(argv[++first], nullptr, 10)) * 1000;
    } else if (arg == L"--again") {
      startAgain = true;
    } else if (arg == L"--with" && first + 1 < argc) {
      const std::wstring spec = argv[++first];
      const size_t eq = spec.find(L'=');
      helperCommands.push_back(eq == std::wstring::npos
                                   ? Quote(spec)
                                   : Quote(spec.substr(0, eq)) + L" " + Quote(spec.substr(eq + 1)));
    } else {
      break;
    }
  }
  if (first >= argc) return Usage();

  const std::wstring tag = std::to_wstring(GetCurrentProcessId());
  const std::wstring stopName = L"Local\\e2e-stop-" + tag;
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, stopName.c_str());
  if (stop == nullptr) return Usage();

  std::vector<Helper> helpers;
  bool helpersReady = true;
  for (size_t i = 0; i < helperCommands.size() && helpersReady; ++i) {
    const std::wstring readyName = L"Local\\e2e-ready-" + tag + L"-" + std::to_wstring(i);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    SetEnvironmentVariableW(e2e::kReadyEventVar, readyName.c_str());
    SetEnvironmentVariableW(e2e::kStopEventVar, stopName.c_str());
    Helper helper;
    if (ready == nullptr || !Start(helperCommands[i], helper.info)) {
      e2e::Err(L"e2e_runner: cannot start " + helperCommands[i] + L"\n");
      helpersReady = false;
    } else {
      helpers.push_back(helper);
      HANDLE waits[2] = {ready, helper.info.hProcess};
      if (WaitForMultipleObjects(2, waits, FALSE, kHelperStartMs) != WAIT_OBJECT_0) {
        e2e::Err(L"e2e_runner: helper did not get ready: " + helperCommands[i] + L"\n");
        helpersReady = false;
      }
    }
    if (ready != nullptr) CloseHandle(ready);
  }
  SetEnvironmentVariableW(e2e::kReadyEventVar, nullptr);
  SetEnvironmentVariableW(e2e::kStopEventVar, nullptr);

  Run run;
  Run again;
  if (helpersReady) {
    std::wstring commandLine;
    for (int i = first; i < argc; ++i) commandLine += (i > first ? L" " : L"") + Quote(argv[i]);
    run = RunProgram(commandLine, timeoutMs, startAgain ? &again : nullptr);
  }

  SetEvent(stop);
  for (Helper& helper : helpers) {
    if (WaitForSingleObject(helper.info.hProcess, 10000) != WAIT_OBJECT_0)
      TerminateProcess(helper.info.hProcess, 1);
    CloseHandle(helper.info.hThread);
    CloseHandle(helper.info.hProcess);
  }
  CloseHandle(stop);

  if (!run.started) return 2;
  std::wstring report = run.Report();
  if (startAgain) {
    // Started again only when the first run showed a box.
    report += L"again:\n" + (again.started ? again.Report() : L"not started\n");
  }
  e2e::Out(report);
  return run.timedOut || again.timedOut ? 3 : 0;
}
