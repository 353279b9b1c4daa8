// The message source: a UTF-8 text file with every message of the program in every language,
// read strictly, and the RT_STRING blocks built from it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace glimra::messages {

struct Language {
  std::uint16_t id;      // the platform's language identifier, 1033 for en-US
  const char* tag;       // "en-US"
  std::uint8_t primary;  // PRIMARYLANGID
  std::uint8_t sub;      // SUBLANGID
};

// The languages the program ships, in the order the outputs list them.
std::span<const Language> ProgramLanguages();
// The message ids every language must have.
std::span<const std::uint16_t> ProgramMessageIds();

inline constexpr std::uint16_t kEnglish = 1033;
inline constexpr std::uint16_t kFailureFormatId = 1213;

struct Message {
  std::uint16_t language;
  std::uint16_t id;
  std::u16string text;
};

// Messages ordered by language (as ProgramLanguages) and then by id.
struct Catalogue {
  std::vector<Message> messages;

  const Message* Find(std::uint16_t language, std::uint16_t id) const;
};

// Parses and checks a whole source. On failure returns false and sets `error` to
// "line N: what is wrong"; `out` is then unspecified.
bool ParseCatalogue(std::string_view source, Catalogue& out, std::string& error);

struct StringBlock {
  std::uint16_t language;
  std::uint16_t blockId;           // id / 16 + 1
  std::vector<std::uint8_t> data;  // 16 entries: 16-bit length, then UTF-16LE code units
};

// One block per language and block id in use, ordered by language and then block id.
std::vector<StringBlock> BuildStringBlocks(const Catalogue& catalogue);

std::string ToUtf8(std::u16string_view text);

}  // namespace glimra::messages
