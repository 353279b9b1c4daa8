// The process's entry point: builds the Win32 platform and hands over to the program.
#include "driver/update_driver.h"
#include "platform/win32/win32_platform.h"

#include <new>

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int showCommand) {
  try {
    return glimra::wWinMain(win32::SystemPlatform(), reinterpret_cast<plat::HINSTANCE>(instance),
                            reinterpret_cast<plat::HINSTANCE>(previous),
                            reinterpret_cast<const plat::WCHAR*>(commandLine), showCommand);
  } catch (const std::bad_alloc&) {
    // Growth of a string or container failed: the program ends with the out-of-memory code.
    return E_OUTOFMEMORY;
  }
}
