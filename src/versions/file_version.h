// Four-part version numbers: parsing version texts, comparing them with stored versions, and the
// program's own path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/processes.h"
#include "platform/types.h"

namespace glimra {

// A version as stored: catalogue bounds and a file's fixed version information, 16 bits a part.
struct FileVersion {
  plat::WORD major = 0;
  plat::WORD minor = 0;
  plat::WORD build = 0;
  plat::WORD revision = 0;
  friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

// A version parsed from a text: signed 32 bits a part, so "-1" and 70000 keep their values.
struct ParsedVersion {
  std::int32_t major = 0;
  std::int32_t minor = 0;
  std::int32_t build = 0;
  std::int32_t revision = 0;
  friend bool operator==(const ParsedVersion&, const ParsedVersion&) = default;
};

// Major, minor and build are each the number before the next "." (the rest then continuing after
// it); when no "." is left, that part and all later ones take the number of the whole rest, and
// the revision is always the number of the whole rest. A number is read as a C long would be: white
// space skipped, an optional sign, decimal digits up to the first other character, 0 without
// digits, clamped to the 32-bit range. So 3.3 gives 3,3,3,3 and 3..1.2 gives 3,0,1,2. Never fails.
ParsedVersion ParseVersionText(std::u16string_view text);

// Whether the text's version is >= (AtLeast) or <= (AtMost) the bound; both inclusive. An empty
// text is false without parsing.
bool IsVersionAtLeast(std::u16string_view text, const FileVersion& bound);
bool IsVersionAtMost(std::u16string_view text, const FileVersion& bound);

// Whether both texts are non-empty and parse to equal versions ("3.3.00.10220" and 3.3.0.10220).
bool IsSameVersion(std::u16string_view a, std::u16string_view b);

// The full path of the program's own executable, asking with 260 units and growing the buffer by
// half while the answer is cut. True when the path is not empty. path is replaced in every case
// (empty when GetModuleFileNameW fails).
bool GetOwnModulePath(plat::Processes& processes, std::u16string& path);

}  // namespace glimra
