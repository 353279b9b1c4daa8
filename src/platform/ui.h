// The user interface.
#pragma once

#include "platform/types.h"

namespace plat {

class Ui {
 public:
  virtual ~Ui() = default;

  // Shows a modal message box and returns the button that closed it (IDOK for an OK box), or 0
  // when no box could be shown.
  virtual int MessageBoxW(HWND owner, const WCHAR* text, const WCHAR* caption, UINT type) = 0;
};

}  // namespace plat
