#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "szdd/sample_data.h"
#include "szdd/sha256.h"

namespace {

std::string Hex(const szdd::Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : digest) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::span<const std::uint8_t> AsBytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(Sha256, MatchesPublishedVectors) {
  struct Case {
    std::string input;
    const char* hex;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.substr(0, 20));
    EXPECT_EQ(Hex(szdd::ComputeSha256(AsBytes(c.input))), c.hex);
  }
}

// Padding is decided by how many bytes are left over; every split must give the one-shot hash.
TEST(Sha256, IncrementalUpdatesMatchOneShot) {
  const std::vector<std::uint8_t> data = szdd_test::RandomBytes(300, 5);
  for (std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 300u}) {
    const std::span<const std::uint8_t> whole(data.data(), length);
    const szdd::Sha256Digest expected = szdd::ComputeSha256(whole);
    for (std::size_t split :
         {std::size_t{0}, std::size_t{1}, std::min<std::size_t>(63, length), length / 2, length}) {
      SCOPED_TRACE(std::to_string(length) + " split at " + std::to_string(split));
      szdd::Sha256 hash;
      hash.Update(whole.first(split));
      hash.Update(whole.subspan(split));
      EXPECT_EQ(hash.Final(), expected);
    }
  }
}

TEST(Sha256, DigestCheckNeedsLengthAndHash) {
  const std::vector<std::uint8_t> data = szdd_test::CodeLike(5000);
  szdd::PayloadDigest digest{401, 5000, szdd::ComputeSha256(data)};
  EXPECT_TRUE(szdd::MatchesDigest(data, digest));
  std::vector<std::uint8_t> damaged = data;
  damaged[2500] ^= 1;
  EXPECT_FALSE(szdd::MatchesDigest(damaged, digest));
  EXPECT_FALSE(szdd::MatchesDigest(std::span(data).first(4999), digest));
  digest.expandedLength = 4999;
  EXPECT_FALSE(szdd::MatchesDigest(std::span(data).first(4999), digest));
}

}  // namespace
