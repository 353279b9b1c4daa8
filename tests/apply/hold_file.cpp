// Keeps a file open in a process of its own, as a running program keeps its files, until told to
// stop. Usage:
//   hold_file read-delete PATH   open PATH for reading, sharing read and delete
//   hold_file read PATH          open PATH for reading, sharing read only
//   hold_file image              open nothing: the process's own image is what is held (start a
//                                copy of this program from the path to hold)
// Once the file is open it writes "held\n" to stdout; it closes the file and exits 0 when stdin
// reaches its end (the starter closes its end of the pipe, or dies). When the open fails it
// writes "failed <error>\n" and exits 2. A test tool: it calls Windows directly.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

namespace {

void Say(const std::string& line) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  FlushFileBuffers(out);
}

// Returns once stdin is at its end or broken.
void WaitForEndOfInput() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[64];
  DWORD got = 0;
  while (ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcscmp(argv[1], L"image") == 0) {
    Say("held\n");
    WaitForEndOfInput();
    return 0;
  }
  if (argc != 3) {
    Say("usage: hold_file read-delete|read PATH | hold_file image\n");
    return 2;
  }
  DWORD share = 0;
  if (std::wcscmp(argv[1], L"read-delete") == 0) {
    share = FILE_SHARE_READ | FILE_SHARE_DELETE;
  } else if (std::wcscmp(argv[1], L"read") == 0) {
    share = FILE_SHARE_READ;
  } else {
    Say("unknown mode\n");
    return 2;
  }
  HANDLE file = CreateFileW(argv[2], GENERIC_READ, share, /*security=*/nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Say("failed " + std::to_string(GetLastError()) + "\n");
    return 2;
  }
  Say("held\n");
  WaitForEndOfInput();
  CloseHandle(file);
  return 0;
}
