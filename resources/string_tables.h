// The program's string tables as data, for the host build: the same blocks the Windows builds
// link into the executable, generated from the same message source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace glimra::resources {

// One RT_STRING block in one language: 16 entries, each a 16-bit length in UTF-16 code units
// followed by that many code units, no terminating zero.
struct StringTableBlock {
  std::uint16_t language;
  std::uint16_t blockId;  // id / 16 + 1
  const std::uint8_t* data;
  std::size_t size;
};

// Every string block of the program, in every language.
std::span<const StringTableBlock> ProgramStringTables();

// The message source itself: one entry per language and message id.
struct CatalogueMessage {
  std::uint16_t language;
  std::uint16_t id;
  std::u16string_view text;
};
std::span<const CatalogueMessage> MessageCatalogue();

}  // namespace glimra::resources
