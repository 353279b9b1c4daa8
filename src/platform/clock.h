// Time.
#pragma once

#include "platform/types.h"

namespace plat {

class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds since Windows started, wrapping at 2^32.
  virtual DWORD GetTickCount() = 0;
};

}  // namespace plat
