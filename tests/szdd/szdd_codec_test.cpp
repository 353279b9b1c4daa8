#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "szdd/sample_data.h"
#include "szdd/szdd.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using szdd::ExpandStatus;

Bytes Text(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

// One LZSS item for hand-built streams: a literal byte, or a reference to a ring position.
struct Item {
  bool literal;
  std::uint8_t byte = 0;
  unsigned position = 0;
  unsigned length = 0;
};
Item Lit(char c) {
  return {true, static_cast<std::uint8_t>(c)};
}
Item Ref(unsigned position, unsigned length) {
  return {false, 0, position, length};
}

// Flag bytes and items as the format lays them out; unused bits of the last flag byte stay 0.
Bytes Stream(const std::vector<Item>& items) {
  Bytes out;
  std::size_t flagAt = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i % 8 == 0) {
      flagAt = out.size();
      out.push_back(0);
    }
    const Item& item = items[i];
    if (item.literal) {
      out[flagAt] = static_cast<std::uint8_t>(out[flagAt] | 1u << (i % 8));
      out.push_back(item.byte);
    } else {
      out.push_back(static_cast<std::uint8_t>(item.position & 0xFF));
      out.push_back(static_cast<std::uint8_t>((item.position >> 4 & 0xF0) | (item.length - 3)));
    }
  }
  return out;
}

Bytes Container(std::uint32_t declared, const Bytes& data, std::uint8_t mode = 'A') {
  Bytes out(std::begin(szdd::kMagic), std::end(szdd::kMagic));
  out.push_back(mode);
  out.push_back(0);
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(declared >> shift));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Prefix(const Bytes& b, std::size_t n) {
  return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

struct DecodeCase {
  const char* name;
  Bytes container;
  ExpandStatus status;
  Bytes data;  // the bytes the decoder must hand back
};

// Literals 'A'..'T' sit at ring positions 4080..4095 and 0..3.
std::vector<Item> WrapItems() {
  std::vector<Item> items;
  for (char c = 'A'; c <= 'T'; ++c) items.push_back(Lit(c));
  items.push_back(Ref(4094, 6));
  return items;
}

std::vector<DecodeCase> DecodeCases() {
  const Bytes threeLits = Stream({Lit('a'), Lit('b'), Lit('c')});
  const Bytes withMatch = Stream({Lit('x'), Ref(4080, 7), Lit('y')});
  return {
      {"empty container", Container(0, {}), ExpandStatus::kComplete, {}},
      {"literals", Container(3, threeLits), ExpandStatus::kComplete, Text("abc")},
      {"match overlapping its own output", Container(9, withMatch), ExpandStatus::kComplete,
       Text("xxxxxxxxy")},
      {"match into the initial spaces", Container(16, Stream({Ref(0, 16)})),
       ExpandStatus::kComplete, Bytes(16, ' ')},
      {"length nibble 14 gives 17 bytes",
       Container(19, Stream({Lit('a'), Lit('b'), Ref(4080, 17)})), ExpandStatus::kComplete,
       Text("abababababababababa")},
      {"length nibble 15 gives 18 bytes",
       Container(20, Stream({Lit('a'), Lit('b'), Ref(4080, 18)})), ExpandStatus::kComplete,
       Text("abababababababababab")},
      {"match across the ring's wrap", Container(26, Stream(WrapItems())), ExpandStatus::kComplete,
       Text("ABCDEFGHIJKLMNOPQRSTOPQRST")},
      {"more groups than one flag byte", Container(20, Stream(std::vector<Item>(20, Lit('q')))),
       ExpandStatus::kComplete, Bytes(20, 'q')},
      {"declared length larger than the data", Container(5, threeLits), ExpandStatus::kShortData,
       Text("abc")},
      {"declared length far beyond what the data encodes", Container(0xFFFFFFFF, threeLits),
       ExpandStatus::kShortData, Text("abc")},
      {"declared length smaller than the data", Container(2, threeLits),
       ExpandStatus::kTrailingData, Text("ab")},
      {"declared length ends inside a match", Container(4, withMatch), ExpandStatus::kTrailingData,
       Text("xxxx")},
      // The clear bits after the last literal mean "match": bytes after the data would be
      // expanded by a decoder that ignored the declared length.
      {"bytes after the last item", Container(3, Concat(threeLits, {0x00, 0x00})),
       ExpandStatus::kTrailingData, Text("abc")},
      {"a whole flag byte after the data", Container(0, {0xFF}), ExpandStatus::kTrailingData, {}},
      {"truncated right after a flag byte", Container(3, {0x07}), ExpandStatus::kShortData, {}},
      {"truncated after the flag byte of a second group",
       Container(9, Concat(Stream(std::vector<Item>(8, Lit('q'))), {0xFF})),
       ExpandStatus::kShortData, Bytes(8, 'q')},
      {"truncated between the two bytes of a match", Container(9, Prefix(withMatch, 3)),
       ExpandStatus::kShortData, Text("x")},
      {"truncated header", Prefix(Container(3, threeLits), 13), ExpandStatus::kTruncatedHeader, {}},
      {"only part of the magic",
       Prefix(Container(3, threeLits), 5),
       ExpandStatus::kTruncatedHeader,
       {}},
      {"no bytes at all", {}, ExpandStatus::kTruncatedHeader, {}},
      {"wrong magic",
       [] {
         Bytes c = Container(3, {0x07, 'a', 'b', 'c'});
         c[7] = 0x34;
         return c;
       }(),
       ExpandStatus::kBadMagic,
       {}},
      {"short input with a wrong magic", Text("MZ\x90"), ExpandStatus::kBadMagic, {}},
      {"mode other than A", Container(3, threeLits, 'B'), ExpandStatus::kBadMode, {}},
  };
}

TEST(SzddExpand, DecodesHandBuiltContainers) {
  for (const DecodeCase& c : DecodeCases()) {
    SCOPED_TRACE(c.name);
    const szdd::ExpandResult result = szdd::Expand(c.container);
    EXPECT_EQ(szdd::StatusName(result.status), std::string(szdd::StatusName(c.status)));
    EXPECT_EQ(result.data, c.data);
    EXPECT_EQ(result.ok(), c.status == ExpandStatus::kComplete);
  }
}

TEST(SzddExpand, ReadsTheHeaderFields) {
  Bytes c = Container(3, Stream({Lit('a'), Lit('b'), Lit('c')}));
  c[9] = '_';
  const szdd::ExpandResult result = szdd::Expand(c);
  EXPECT_EQ(result.header.mode, 'A');
  EXPECT_EQ(result.header.missingChar, '_');
  EXPECT_EQ(result.header.expandedLength, 3u);
}

// Walks a container's items: the longest match and whether any reaches the initial spaces.
struct StreamStats {
  std::size_t longestMatch = 0;
  std::size_t matches = 0;
};
StreamStats Scan(const Bytes& container) {
  StreamStats stats;
  std::size_t pos = szdd::kHeaderSize;
  while (pos < container.size()) {
    const unsigned flags = container[pos++];
    for (int bit = 0; bit < 8 && pos < container.size(); ++bit) {
      if (flags >> bit & 1u) {
        ++pos;
      } else {
        const std::size_t len = (container[pos + 1] & 0x0Fu) + 3;
        stats.longestMatch = std::max(stats.longestMatch, len);
        ++stats.matches;
        pos += 2;
      }
    }
  }
  return stats;
}

struct PackCase {
  const char* name;
  Bytes input;
};

std::vector<PackCase> PackCases() {
  const Bytes code = szdd_test::CodeLike(300 * 1024);
  auto codePrefix = [&](std::size_t n) { return Prefix(code, n); };
  Bytes spacesFirst(40, ' ');
  spacesFirst.insert(spacesFirst.end(), code.begin(), code.begin() + 2000);
  Bytes periodic;
  for (int i = 0; i < 20000; ++i)
    periodic.push_back(static_cast<std::uint8_t>("0123456789abcdefXYZ"[i % 19]));
  return {
      {"empty", {}},
      {"1 byte", codePrefix(1)},
      {"15 bytes", codePrefix(15)},
      {"16 bytes", codePrefix(16)},
      {"17 bytes", codePrefix(17)},
      {"4095 bytes", codePrefix(4095)},
      {"4096 bytes", codePrefix(4096)},
      {"4097 bytes", codePrefix(4097)},
      {"a long run of zeros", Bytes(100000, 0)},
      {"a long run of spaces", Bytes(5000, ' ')},
      {"a short period repeated", periodic},
      {"spaces first, then code", spacesFirst},
      {"incompressible", szdd_test::RandomBytes(70000, 7)},
      {"code-like, 300 KB", code},
  };
}

TEST(SzddPack, RoundTripsWithinTheSizeBoundAndMatchLimit) {
  for (const PackCase& c : PackCases()) {
    SCOPED_TRACE(c.name);
    const Bytes packed = szdd::Pack(c.input);
    const std::size_t n = c.input.size();
    EXPECT_LE(packed.size(), szdd::kHeaderSize + (9 * n + 7) / 8);
    EXPECT_LE(Scan(packed).longestMatch, 16u);
    const szdd::ExpandResult result = szdd::Expand(packed);
    EXPECT_EQ(result.status, ExpandStatus::kComplete);
    EXPECT_EQ(result.header.expandedLength, n);
    EXPECT_EQ(result.header.missingChar, 0);
    EXPECT_TRUE(result.data == c.input);
  }
}

// Few distinct bytes make many equal strings: the match finder replaces and removes window
// entries all the time.
TEST(SzddPack, RoundTripsLowEntropyInputs) {
  szdd_test::Prng rng(17);
  for (int round = 0; round < 60; ++round) {
    const std::uint32_t alphabet = 1 + rng.Below(4);
    Bytes input(1 + rng.Below(12000));
    for (auto& b : input) b = static_cast<std::uint8_t>(0x1E + rng.Below(alphabet));
    szdd::PackOptions options;
    options.maxMatch = 3 + rng.Below(16);
    options.useInitialSpaces = rng.Below(2) == 0;
    const szdd::ExpandResult result = szdd::Expand(szdd::Pack(input, options));
    ASSERT_EQ(result.status, ExpandStatus::kComplete) << "round " << round;
    ASSERT_TRUE(result.data == input) << "round " << round;
  }
}

TEST(SzddPack, EmptyInputIsTheBareHeader) {
  EXPECT_EQ(szdd::Pack({}), Container(0, {}));
}

// Every 16 bytes of a run cost one 17-bit match, so anything near n * 17 / 128 means the parse
// used the longest matches it may.
TEST(SzddPack, CompressesRunsWithFullLengthMatches) {
  const Bytes zeros(100000, 0);
  EXPECT_LE(szdd::Pack(zeros).size(), szdd::kHeaderSize + 100000 * 17 / 128 + 8);
}

TEST(SzddPack, LeadingSpacesComeFromTheRing) {
  const Bytes spaces(16, ' ');
  // One flag byte and one match, against a literal and a match without the ring's spaces.
  EXPECT_EQ(szdd::Pack(spaces).size(), szdd::kHeaderSize + 3);
  szdd::PackOptions options;
  options.useInitialSpaces = false;
  const Bytes packed = szdd::Pack(spaces, options);
  EXPECT_EQ(packed.size(), szdd::kHeaderSize + 4);
  EXPECT_EQ(szdd::Expand(packed).data, spaces);
}

TEST(SzddPack, HonoursTheMatchLengthOption) {
  const Bytes run(3000, 'z');
  szdd::PackOptions options;
  options.maxMatch = 18;
  const Bytes longest = szdd::Pack(run, options);
  EXPECT_EQ(Scan(longest).longestMatch, 18u);
  EXPECT_EQ(szdd::Expand(longest).data, run);
  options.maxMatch = 3;
  const Bytes shortest = szdd::Pack(run, options);
  EXPECT_EQ(Scan(shortest).longestMatch, 3u);
  EXPECT_EQ(szdd::Expand(shortest).data, run);
  options.missingChar = 'L';
  EXPECT_EQ(szdd::Pack(run, options)[9], 'L');
}

// Mutated containers: the decoder stays inside its buffers (ASan watches) and keeps its promise
// about what it hands back.
TEST(SzddExpand, SurvivesMutatedContainers) {
  const std::vector<Bytes> seeds = {
      szdd::Pack(szdd_test::CodeLike(6000, 3)),
      szdd::Pack(Bytes(3000, 'a')),
      szdd::Pack(szdd_test::RandomBytes(500, 9)),
      Container(26, Stream(WrapItems())),
  };
  szdd_test::Prng rng(42);
  for (int round = 0; round < 4000; ++round) {
    Bytes c = seeds[static_cast<std::size_t>(round) % seeds.size()];
    const std::uint32_t edits = 1 + rng.Below(8);
    for (std::uint32_t e = 0; e < edits; ++e) {
      const std::size_t at = rng.Below(static_cast<std::uint32_t>(c.size()));
      switch (rng.Below(4)) {
        case 0:
          c[at] = rng.Byte();
          break;
        case 1:
          c[at] = static_cast<std::uint8_t>(c[at] ^ (1u << rng.Below(8)));
          break;
        case 2:
          c.resize(at + 1);
          break;
        default:
          c.insert(c.begin() + static_cast<std::ptrdiff_t>(at), rng.Byte());
          break;
      }
      if (c.empty()) break;
    }
    // Keep most mutations past the header check.
    if (rng.Below(4) != 0 && c.size() >= szdd::kHeaderSize) {
      std::copy(std::begin(szdd::kMagic), std::end(szdd::kMagic), c.begin());
      c[8] = 'A';
    }
    const szdd::ExpandResult result = szdd::Expand(c);
    ASSERT_LE(result.data.size(), result.header.expandedLength) << "round " << round;
    if (result.status == ExpandStatus::kComplete || result.status == ExpandStatus::kTrailingData) {
      ASSERT_EQ(result.data.size(), result.header.expandedLength) << "round " << round;
    }
    if (result.status == ExpandStatus::kShortData) {
      ASSERT_LT(result.data.size(), result.header.expandedLength) << "round " << round;
    }
  }
}

}  // namespace
