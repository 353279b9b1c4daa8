// Decoding of RT_STRING blocks for the resource tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace glimra::testing {

// The 16 entries of a block, or nothing when the block is cut short or has bytes past its 16th
// entry.
inline std::optional<std::array<std::u16string, 16>> DecodeStringBlock(
    std::span<const std::uint8_t> block) {
  std::array<std::u16string, 16> entries;
  std::size_t pos = 0;
  const auto read16 = [&](std::uint16_t& v) {
    if (block.size() - pos < 2) return false;
    v = static_cast<std::uint16_t>(block[pos] | (block[pos + 1] << 8));
    pos += 2;
    return true;
  };
  for (std::u16string& entry : entries) {
    std::uint16_t length = 0;
    if (!read16(length)) return std::nullopt;
    for (std::uint16_t i = 0; i < length; ++i) {
      std::uint16_t unit = 0;
      if (!read16(unit)) return std::nullopt;
      entry.push_back(static_cast<char16_t>(unit));
    }
  }
  if (pos != block.size()) return std::nullopt;
  return entries;
}

// The ids and English texts the program's catalogue must hold, written out here on their own so
// that a slip in the message source shows.
struct ExpectedMessage {
  std::uint16_t id;
  std::u16string_view english;
};
inline constexpr std::array<ExpectedMessage, 12> kExpectedMessages{{
    {200, u"Glimra Update Program"},
    {1201, u"Another instance of this update program is already running."},
    {1202, u"There is no target model for this program."},
    {1203, u"There is no need to update the program."},
    {1210, u"Update completed successfully."},
    {1213, u"Package Update Failed.\r\n(code = 0x%08x)"},
    {1215,
     u"Cannot install because related programs are running.\nExit all programs, and try again."},
    {1216, u"The operating system is not adequate for running Glimra."},
    {1217,
     u"No software version applicable to this update is installed. The update will be "
     u"cancelled."},
    {1218,
     u"The version of Glimra already installed on the computer is the same version.\nThe program "
     u"will quit."},
    {1219, u"You must be logged on with a computer administrator account to run this program."},
    {1230, u"Now processing...\nPlease wait for a while."},
}};

inline constexpr std::array<std::uint16_t, 13> kExpectedLanguages{
    1028, 1031, 1033, 1036, 1040, 1041, 1042, 1043, 1045, 1046, 1049, 2052, 3082};

}  // namespace glimra::testing
