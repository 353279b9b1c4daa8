#include "versions/file_version.h"

#include <array>
#include <limits>
#include <vector>

namespace glimra {
namespace {

bool IsSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// The decimal value at the start of text, as a C long of 32 bits reads it.
std::int32_t DecimalValue(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  // Accumulate the magnitude, stopping at the first value beyond the 32-bit range.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    magnitude = std::min(kLimit, magnitude * 10 + (text[i] - u'0'));
  }
  if (negative) return static_cast<std::int32_t>(-magnitude);
  return static_cast<std::int32_t>(std::min(magnitude, kLimit - 1));
}

std::array<std::int32_t, 4> Parts(const ParsedVersion& v) {
  return {v.major, v.minor, v.build, v.revision};
}
std::array<std::int32_t, 4> Parts(const FileVersion& v) {
  return {v.major, v.minor, v.build, v.revision};
}

// <0, 0 or >0 as the text's version is below, equal to or above the bound.
int Compare(std::u16string_view text, const FileVersion& bound) {
  const auto left = Parts(ParseVersionText(text));
  const auto right = Parts(bound);
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace

ParsedVersion ParseVersionText(std::u16string_view text) {
  std::u16string_view rest = text;
  std::array<std::int32_t, 3> leading{};
  for (std::int32_t& part : leading) {
    const std::size_t dot = rest.find(u'.');
    if (dot == std::u16string_view::npos) {
      part = DecimalValue(rest);
    } else {
      part = DecimalValue(rest.substr(0, dot));
      rest = rest.substr(dot + 1);
    }
  }
  return ParsedVersion{leading[0], leading[1], leading[2], DecimalValue(rest)};
}

bool IsVersionAtLeast(std::u16string_view text, const FileVersion& bound) {
  return !text.empty() && Compare(text, bound) >= 0;
}

bool IsVersionAtMost(std::u16string_view text, const FileVersion& bound) {
  return !text.empty() && Compare(text, bound) <= 0;
}

bool IsSameVersion(std::u16string_view a, std::u16string_view b) {
  return !a.empty() && !b.empty() && ParseVersionText(a) == ParseVersionText(b);
}

bool GetOwnModulePath(plat::Processes& processes, std::u16string& path) {
  // Windows paths end at 32767 units; a platform that keeps cutting beyond that is not growing
  // into it forever.
  constexpr plat::DWORD kMaxSize = 0x10000;
  std::vector<plat::WCHAR> buffer;
  for (plat::DWORD size = plat::MAX_PATH; size <= kMaxSize; size += size / 2) {
    buffer.assign(size, u'\0');
    const plat::DWORD count = processes.GetModuleFileNameW(nullptr, buffer.data(), size);
    if (count < size) {
      const std::u16string_view got(buffer.data(), count);
      path.assign(got.substr(0, got.find(u'\0')));
      return !path.empty();
    }
  }
  path.clear();
  return false;
}

}  // namespace glimra
