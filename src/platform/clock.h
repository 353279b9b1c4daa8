// Time.
#pragma once

#include "platform/types.h"

namespace plat {

// A point in time as 100-nanosecond intervals since 1601-01-01 00:00 UTC, in two halves.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// A calendar time. wDayOfWeek is ignored by SystemTimeToFileTime.
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds since Windows started, wrapping at 2^32.
  virtual DWORD GetTickCount() = 0;

  // Converts a calendar time to a FILETIME without any time-zone conversion: the result names the
  // same moment only when the calendar time is UTC. Years 1601 to 30827; FALSE with
  // ERROR_INVALID_PARAMETER for a month, day (past the month's end included), hour, minute, second
  // or millisecond out of range, *fileTime untouched.
  virtual BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime) = 0;
};

}  // namespace plat
