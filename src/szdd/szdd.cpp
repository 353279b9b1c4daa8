#include "szdd/szdd.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

namespace szdd {

namespace {

constexpr std::size_t kRingMask = kRingSize - 1;
// Farthest back a match reaches. A distance of 4096 would name the slot about to be written,
// which decoders that copy through the ring do not all read alike.
constexpr std::size_t kMaxDistance = kRingSize - 1;

std::uint32_t ReadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The positions of the window in binary search trees ordered by the maxMatch bytes that start
// there, one tree per first byte. Inserting a position walks from the root past its nearest
// neighbours in that order, which is where the longest match lies; an equal string takes the
// older one's place, so runs keep the trees shallow. Nodes live in the slot pos & 4095.
class MatchTree {
 public:
  struct Match {
    std::size_t length = 0;
    std::size_t source = 0;
  };

  // `text` must hold maxMatch readable bytes past every position inserted.
  MatchTree(const std::vector<std::uint8_t>& text, std::size_t maxMatch)
      : text_(text),
        maxMatch_(maxMatch),
        left_(kEntries, kNil),
        right_(kEntries, kNil),
        parent_(kEntries, kNil),
        position_(kRingSize, 0) {}

  Match Insert(std::size_t pos) {
    const std::uint32_t node = Slot(pos);
    position_[node] = pos;
    left_[node] = kNil;
    right_[node] = kNil;
    const std::uint8_t* key = text_.data() + pos;
    std::uint32_t p = kRoots + key[0];
    int cmp = 1;
    Match best;
    // Every node below the last turn right (left) shares lenLow (lenHigh) bytes with the key, so
    // the comparison may start at the smaller of the two.
    std::size_t lenLow = 1;
    std::size_t lenHigh = 1;
    for (;;) {
      std::uint32_t& next = cmp >= 0 ? right_[p] : left_[p];
      if (next == kNil) {
        next = node;
        parent_[node] = p;
        return best;
      }
      p = next;
      const std::uint8_t* other = text_.data() + position_[p];
      std::size_t i = std::min(lenLow, lenHigh);
      cmp = 0;
      for (; i < maxMatch_; ++i) {
        cmp = key[i] - other[i];
        if (cmp != 0) break;
      }
      if (i > best.length) {
        best = {i, position_[p]};
        if (i >= maxMatch_) break;
      }
      (cmp > 0 ? lenLow : lenHigh) = i;
    }
    // The same string as p: the new position replaces it.
    parent_[node] = parent_[p];
    left_[node] = left_[p];
    right_[node] = right_[p];
    parent_[left_[p]] = node;
    parent_[right_[p]] = node;
    Relink(p, node);
    parent_[p] = kNil;
    return best;
  }

  // Takes `pos` out, if it is still in a tree.
  void Remove(std::size_t pos) {
    const std::uint32_t p = Slot(pos);
    if (parent_[p] == kNil || position_[p] != pos) return;
    std::uint32_t q;
    if (right_[p] == kNil) {
      q = left_[p];
    } else if (left_[p] == kNil) {
      q = right_[p];
    } else {
      // The rightmost node of the left subtree takes p's place.
      q = left_[p];
      if (right_[q] != kNil) {
        do q = right_[q];
        while (right_[q] != kNil);
        right_[parent_[q]] = left_[q];
        parent_[left_[q]] = parent_[q];
        left_[q] = left_[p];
        parent_[left_[p]] = q;
      }
      right_[q] = right_[p];
      parent_[right_[p]] = q;
    }
    parent_[q] = parent_[p];
    Relink(p, q);
    parent_[p] = kNil;
  }

 private:
  static constexpr std::uint32_t kRoots = kRingSize;      // 256 roots after the slots
  static constexpr std::uint32_t kNil = kRingSize + 256;  // a scratch entry, never read
  static constexpr std::size_t kEntries = kRingSize + 256 + 1;

  static std::uint32_t Slot(std::size_t pos) { return static_cast<std::uint32_t>(pos & kRingMask); }

  // Points p's parent at q instead of p.
  void Relink(std::uint32_t p, std::uint32_t q) {
    const std::uint32_t up = parent_[p];
    if (right_[up] == p) {
      right_[up] = q;
    } else {
      left_[up] = q;
    }
  }

  const std::vector<std::uint8_t>& text_;
  const std::size_t maxMatch_;
  // On the heap: together some 85 KB.
  std::vector<std::uint32_t> left_;
  std::vector<std::uint32_t> right_;
  std::vector<std::uint32_t> parent_;
  std::vector<std::size_t> position_;
};

}  // namespace

const char* StatusName(ExpandStatus status) {
  switch (status) {
    case ExpandStatus::kComplete:
      return "complete";
    case ExpandStatus::kShortData:
      return "data ended before the declared length";
    case ExpandStatus::kTrailingData:
      return "data continues past the declared length";
    case ExpandStatus::kBadMagic:
      return "not an SZDD container";
    case ExpandStatus::kBadMode:
      return "compression mode other than 'A'";
    case ExpandStatus::kTruncatedHeader:
      return "header truncated";
  }
  return "unknown";
}

ExpandResult Expand(std::span<const std::uint8_t> container) {
  ExpandResult result;
  const std::uint8_t* in = container.data();
  const std::size_t size = container.size();

  if (!std::equal(in, in + std::min(size, sizeof kMagic), kMagic)) {
    result.status = ExpandStatus::kBadMagic;
    return result;
  }
  if (size < kHeaderSize) {
    result.status = ExpandStatus::kTruncatedHeader;
    return result;
  }
  result.header.mode = in[8];
  result.header.missingChar = in[9];
  result.header.expandedLength = ReadLe32(in + 10);
  if (result.header.mode != kModeA) {
    result.status = ExpandStatus::kBadMode;
    return result;
  }

  // Two input bytes yield at most 18 output bytes, so 9 per input byte bounds the output; a
  // declared length beyond that cannot be met and must not drive the allocation.
  const std::uint64_t encodable = static_cast<std::uint64_t>(size - kHeaderSize) * 9;
  const std::size_t limit =
      static_cast<std::size_t>(std::min<std::uint64_t>(result.header.expandedLength, encodable));
  const std::size_t declared = result.header.expandedLength;
  std::vector<std::uint8_t>& out = result.data;
  out.resize(limit);
  std::uint8_t* o = out.data();
  std::size_t produced = 0;

  std::array<std::uint8_t, kRingSize> ring;
  ring.fill(0x20);
  std::size_t w = kRingStart;
  std::size_t pos = kHeaderSize;
  bool overshoot = false;
  bool ended = false;

  while (produced < declared && !ended) {
    if (pos >= size) {
      ended = true;
      break;
    }
    unsigned flags = in[pos++];
    for (int bit = 0; bit < 8 && produced < declared; ++bit, flags >>= 1) {
      if (flags & 1u) {
        if (pos >= size) {
          ended = true;
          break;
        }
        const std::uint8_t c = in[pos++];
        o[produced++] = c;
        ring[w] = c;
        w = (w + 1) & kRingMask;
      } else {
        if (size - pos < 2) {
          ended = true;
          break;
        }
        std::size_t p =
            static_cast<std::size_t>(in[pos]) | static_cast<std::size_t>(in[pos + 1] & 0xF0u) << 4;
        std::size_t length = (in[pos + 1] & 0x0Fu) + kMinMatch;
        pos += 2;
        if (length > declared - produced) {
          length = declared - produced;
          overshoot = true;
        }
        // produced + length <= declared, and produced <= limit was kept by the bound above.
        for (std::size_t k = 0; k < length; ++k) {
          const std::uint8_t c = ring[p];
          p = (p + 1) & kRingMask;
          o[produced++] = c;
          ring[w] = c;
          w = (w + 1) & kRingMask;
        }
      }
    }
  }

  out.resize(produced);
  if (produced < declared) {
    result.status = ExpandStatus::kShortData;
  } else if (overshoot || pos < size) {
    result.status = ExpandStatus::kTrailingData;
  } else {
    result.status = ExpandStatus::kComplete;
  }
  return result;
}

std::vector<std::uint8_t> Pack(std::span<const std::uint8_t> data, const PackOptions& options) {
  if (data.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("szdd::Pack: input longer than the header can declare");
  }
  const std::size_t maxMatch = std::clamp(options.maxMatch, kMinMatch, kMaxFormatMatch);
  const std::size_t n = data.size();

  // The history the decoder sees: the ring's spaces, then the data itself. Matches are found in
  // `buf`; byte i of the data sits at buf[pre + i].
  const std::size_t pre = options.useInitialSpaces ? kRingSize : 0;
  std::vector<std::uint8_t> buf(pre + data.size() + kMaxFormatMatch, 0x20);
  std::copy(data.begin(), data.end(), buf.begin() + static_cast<std::ptrdiff_t>(pre));

  // Longest match at every position, and the ring position it starts at.
  MatchTree tree(buf, maxMatch);
  // Only the last kMaxDistance spaces can be reached.
  for (std::size_t b = pre > kMaxDistance ? pre - kMaxDistance : 0; b < pre; ++b) tree.Insert(b);
  std::vector<std::uint8_t> matchLen(n, 0);
  std::vector<std::uint16_t> matchPos(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t cur = pre + i;
    // The slot cur takes held cur - 4096, one beyond the farthest distance.
    if (cur >= kRingSize) tree.Remove(cur - kRingSize);
    const MatchTree::Match match = tree.Insert(cur);
    // The tree also compares the padding past the end; a match never counts beyond the data.
    const std::size_t best = std::min(match.length, n - i);
    if (best >= kMinMatch) {
      matchLen[i] = static_cast<std::uint8_t>(best);
      // Output offset source - pre lives at ring position kRingStart + offset (mod 4096); the
      // unsigned wrap is harmless under the mask.
      matchPos[i] = static_cast<std::uint16_t>((match.source + kRingStart - pre) & kRingMask);
    }
  }

  // Cheapest parse from each position to the end: a literal costs 9 bits, a match 17.
  std::vector<std::uint64_t> cost(n + 1, 0);
  std::vector<std::uint8_t> choice(n, 1);
  for (std::size_t i = n; i-- > 0;) {
    std::uint64_t best = 9 + cost[i + 1];
    std::uint8_t pick = 1;
    for (std::size_t len = kMinMatch; len <= matchLen[i]; ++len) {
      const std::uint64_t c = 17 + cost[i + len];
      if (c < best) {
        best = c;
        pick = static_cast<std::uint8_t>(len);
      }
    }
    cost[i] = best;
    choice[i] = pick;
  }

  std::vector<std::uint8_t> out;
  out.reserve(kHeaderSize + n + n / 8 + 1);
  out.insert(out.end(), std::begin(kMagic), std::end(kMagic));
  out.push_back(kModeA);
  out.push_back(options.missingChar);
  const auto length = static_cast<std::uint32_t>(n);
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<std::uint8_t>(length >> shift));
  }

  std::size_t flagAt = 0;
  unsigned bit = 8;
  for (std::size_t i = 0; i < n;) {
    if (bit == 8) {
      flagAt = out.size();
      out.push_back(0);
      bit = 0;
    }
    if (choice[i] == 1) {
      out[flagAt] = static_cast<std::uint8_t>(out[flagAt] | 1u << bit);
      out.push_back(data[i]);
      ++i;
    } else {
      const std::size_t len = choice[i];
      const std::uint16_t p = matchPos[i];
      out.push_back(static_cast<std::uint8_t>(p & 0xFF));
      out.push_back(static_cast<std::uint8_t>(((p >> 4) & 0xF0) | (len - kMinMatch)));
      i += len;
    }
    ++bit;
  }
  return out;
}

}  // namespace szdd
