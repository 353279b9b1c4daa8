// SZDD containers, the compressed-file format the Windows LZ expansion functions read: a 14-byte
// header (magic, mode 'A', the missing last character of the file name, the expanded length) and
// LZSS data over a 4096-byte ring of spaces. Bytes in, bytes out: no files and no platform calls,
// so the simulated machine, the packer and the benchmarks share this one implementation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace szdd {

inline constexpr std::size_t kHeaderSize = 14;
inline constexpr std::uint8_t kMagic[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};
inline constexpr std::uint8_t kModeA = 0x41;

inline constexpr std::size_t kRingSize = 4096;
// Ring position of the first byte written; the ring starts filled with spaces.
inline constexpr std::size_t kRingStart = kRingSize - 16;
inline constexpr std::size_t kMinMatch = 3;
// The format can carry 18; the packer stays at 16 (see PackOptions).
inline constexpr std::size_t kMaxFormatMatch = 18;

enum class ExpandStatus {
  kComplete,         // exactly the declared length, and the data ended there
  kShortData,        // the data ended before the declared length was reached
  kTrailingData,     // the declared length was reached with data left over, or inside a match
  kBadMagic,         // not an SZDD container
  kBadMode,          // an SZDD container of a mode other than 'A'
  kTruncatedHeader,  // fewer than 14 bytes, all matching the magic so far
};

// Stable English name of a status, for tools and test messages.
const char* StatusName(ExpandStatus status);

struct Header {
  std::uint8_t mode = kModeA;
  std::uint8_t missingChar = 0;
  std::uint32_t expandedLength = 0;
};

struct ExpandResult {
  ExpandStatus status = ExpandStatus::kTruncatedHeader;
  // The header as read; meaningful for kComplete, kShortData, kTrailingData and kBadMode.
  Header header;
  // Every byte produced, never more than the declared length: on kShortData the bytes expanded
  // before the data ended, on kTrailingData the declared length's worth. Empty when the header
  // was rejected.
  std::vector<std::uint8_t> data;

  bool ok() const { return status == ExpandStatus::kComplete; }
};

// Expands one container. Safe on any input: it never reads outside `container`, and the memory
// it reserves up front is bounded by what the data can encode, not by the declared length.
ExpandResult Expand(std::span<const std::uint8_t> container);

struct PackOptions {
  // Longest match emitted. Microsoft's compressor never writes more than 16 and some decoders
  // reject 17 and 18, so 16 keeps the output readable everywhere. Clamped to 3..18.
  std::size_t maxMatch = 16;
  // Matches may reach into the ring's initial spaces before the first byte.
  bool useInitialSpaces = true;
  // Stored in header byte 9.
  std::uint8_t missingChar = 0;
};

// Packs `data` (at most 4 GiB - 1 bytes) into a mode 'A' container. The parse is optimal for the
// format's costs (a literal 9 bits, a match 17) over the longest match found at each position,
// so the output never exceeds 14 + ceil(9n/8) bytes.
std::vector<std::uint8_t> Pack(std::span<const std::uint8_t> data, const PackOptions& options = {});

}  // namespace szdd
