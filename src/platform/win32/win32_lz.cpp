// Thin Win32 implementation of plat::Lz: lz32's functions of the same names.
#include "platform/win32/win32_lz.h"

#include <cstddef>

#include <windows.h>

// Needs <windows.h> first.
#include <lzexpand.h>

namespace win32 {
namespace {

static_assert(sizeof(plat::OFSTRUCT) == sizeof(::OFSTRUCT));
static_assert(offsetof(plat::OFSTRUCT, nErrCode) == offsetof(::OFSTRUCT, nErrCode));
static_assert(offsetof(plat::OFSTRUCT, szPathName) == offsetof(::OFSTRUCT, szPathName));

class Win32Lz final : public plat::Lz {
 public:
  int LZOpenFileW(const plat::WCHAR* fileName, plat::OFSTRUCT* ofStruct,
                  plat::WORD style) override {
    // The SDK declares the name non-const; lz32 does not write it.
    return ::LZOpenFileW(const_cast<LPWSTR>(reinterpret_cast<const wchar_t*>(fileName)),
                         reinterpret_cast<::OFSTRUCT*>(ofStruct), style);
  }
  plat::LONG LZCopy(int source, int destination) override { return ::LZCopy(source, destination); }
  void LZClose(int file) override { ::LZClose(file); }
};

}  // namespace

plat::Lz& SystemLz() {
  static Win32Lz lz;
  return lz;
}

}  // namespace win32
