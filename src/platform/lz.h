// LZ expansion (lz32.dll): copying a file that may be an SZDD container, expanding it on the way.
#pragma once

#include "platform/types.h"

namespace plat {

inline constexpr int OFS_MAXPATHNAME = 128;

// OpenFile's record. The caller zeroes it and sets cBytes to sizeof(OFSTRUCT); a failed open
// leaves the Win32 error in nErrCode.
struct OFSTRUCT {
  BYTE cBytes;
  BYTE fFixedDisk;
  WORD nErrCode;
  WORD Reserved1;
  WORD Reserved2;
  char szPathName[OFS_MAXPATHNAME];
};
static_assert(sizeof(OFSTRUCT) == 136);

// LZOpenFileW styles.
inline constexpr WORD OF_READ = 0x0000;
inline constexpr WORD OF_WRITE = 0x0001;
inline constexpr WORD OF_READWRITE = 0x0002;
inline constexpr WORD OF_SHARE_EXCLUSIVE = 0x0010;
inline constexpr WORD OF_SHARE_DENY_WRITE = 0x0020;
inline constexpr WORD OF_SHARE_DENY_NONE = 0x0040;
inline constexpr WORD OF_CREATE = 0x1000;

// Negative results of the LZ functions.
inline constexpr LONG LZERROR_BADINHANDLE = -1;
inline constexpr LONG LZERROR_BADOUTHANDLE = -2;
inline constexpr LONG LZERROR_READ = -3;
inline constexpr LONG LZERROR_WRITE = -4;
inline constexpr LONG LZERROR_GLOBALLOC = -5;
inline constexpr LONG LZERROR_GLOBLOCK = -6;
inline constexpr LONG LZERROR_BADVALUE = -7;
inline constexpr LONG LZERROR_UNKNOWNALG = -8;

class Lz {
 public:
  virtual ~Lz() = default;

  // Opens a file as OpenFile does with style (OF_READ: an existing file for reading; OF_CREATE |
  // OF_WRITE: a new or truncated file for writing; OF_SHARE_EXCLUSIVE: no sharing) and returns a
  // handle for LZCopy and LZClose, 0 or more. A negative value (LZERROR_BADINHANDLE) when the file
  // cannot be opened, with the Win32 error in ofStruct->nErrCode (2, 3, 5, 32).
  virtual int LZOpenFileW(const WCHAR* fileName, OFSTRUCT* ofStruct, WORD style) = 0;

  // Copies source to destination from their beginnings. A source that is an SZDD container of
  // mode 'A' is expanded; any other file (no SZDD magic, or fewer bytes than a header) is copied
  // as it is. Returns the number of bytes written, or a negative LZERROR_ code: BADINHANDLE or
  // BADOUTHANDLE for a handle that is not open, UNKNOWNALG for an SZDD container of another mode,
  // WRITE when the destination cannot take the bytes (a full disk). A container whose data ends
  // before its declared length is not an error: the bytes expanded so far are written and counted
  // (so is Wine's LZ32; callers that need the whole file compare the count with the length).
  // Data past the declared length is not written.
  virtual LONG LZCopy(int source, int destination) = 0;

  // Closes a handle from LZOpenFileW; a handle that is not open is ignored.
  virtual void LZClose(int file) = 0;
};

}  // namespace plat
