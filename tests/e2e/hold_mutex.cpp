// Creates the named mutex given as its argument and keeps it until the runner says stop, so that
// a program started meanwhile finds it already there.
#include "e2e_tool.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    e2e::Err(L"usage: e2e_hold_mutex NAME\n");
    return 2;
  }
  HANDLE mutex = CreateMutexW(nullptr, FALSE, argv[1]);
  if (mutex == nullptr) {
    e2e::Err(L"e2e_hold_mutex: CreateMutexW failed\n");
    return 1;
  }
  e2e::SignalReadyAndWait();
  CloseHandle(mutex);
  return 0;
}
