#include "driver/message_catalogue.h"

#include <cstddef>
#include <cstring>
#include <span>

namespace glimra {
namespace {

// Where an entry's text lies in its block, in UTF-16 units from the block's start.
struct EntryPlace {
  std::size_t offset;
  std::size_t length;
};

struct Block {
  const void* data = nullptr;
  std::size_t units = 0;

  char16_t Unit(std::size_t index) const {
    char16_t unit;  // resource data need not be aligned for char16_t
    std::memcpy(&unit, static_cast<const unsigned char*>(data) + index * 2, sizeof(unit));
    return unit;
  }
};

const plat::WCHAR* BlockName(plat::UINT id) {
  return plat::MakeIntResourceW(static_cast<plat::WORD>(id / 16 + 1));
}

// Steps over id mod 16 entries; none when a step would start at or past the block's end or the
// entry reached runs past it.
std::optional<EntryPlace> WalkBlock(const Block& block, plat::UINT id) {
  std::size_t pos = 0;
  for (plat::UINT i = 0; i < id % 16; ++i) {
    if (pos >= block.units) return std::nullopt;
    pos += 1 + std::size_t{block.Unit(pos)};
  }
  if (pos >= block.units) return std::nullopt;
  const std::size_t length = block.Unit(pos);
  if (length > block.units - pos - 1) return std::nullopt;
  return EntryPlace{pos + 1, length};
}

std::optional<Block> LoadBlock(plat::Resources& resources, plat::HMODULE module,
                               plat::HRSRC found) {
  if (found == nullptr) return std::nullopt;
  const plat::HGLOBAL loaded = resources.LoadResource(module, found);
  if (loaded == nullptr) return std::nullopt;
  const void* data = resources.LockResource(loaded);
  if (data == nullptr) return std::nullopt;
  return Block{data, resources.SizeofResource(module, found) / 2u};
}

}  // namespace

std::optional<plat::HMODULE> FindMessageModule(plat::Resources& resources,
                                               plat::HMODULE programModule, plat::UINT id) {
  const plat::HMODULE modules[] = {programModule};
  for (const plat::HMODULE module : modules) {
    const std::optional<Block> block = LoadBlock(
        resources, module,
        resources.FindResourceExW(module, plat::MakeIntResourceW(plat::RT_STRING), BlockName(id),
                                  plat::MAKELANGID(plat::LANG_NEUTRAL, plat::SUBLANG_NEUTRAL)));
    if (!block) continue;
    const std::optional<EntryPlace> entry = WalkBlock(*block, id);
    if (entry && entry->length != 0) return module;
  }
  return std::nullopt;
}

std::u16string LoadMessage(plat::Resources& resources, plat::HMODULE programModule, plat::UINT id) {
  std::u16string text;
  const std::optional<plat::HMODULE> module = FindMessageModule(resources, programModule, id);
  if (!module) return text;
  const std::optional<Block> block = LoadBlock(
      resources, *module,
      resources.FindResourceW(*module, BlockName(id), plat::MakeIntResourceW(plat::RT_STRING)));
  if (!block) return text;
  const std::optional<EntryPlace> entry = WalkBlock(*block, id);
  if (!entry) return text;
  text.resize(entry->length);
  for (std::size_t i = 0; i < entry->length; ++i) text[i] = block->Unit(entry->offset + i);
  return text;
}

std::u16string FormatMessageFromId(plat::Resources& resources, plat::HMODULE programModule,
                                   plat::UINT id, std::initializer_list<FormatArg> args) {
  const std::u16string format = LoadMessage(resources, programModule, id);
  const std::span<const FormatArg> argSpan(args.begin(), args.size());
  // Measure, grow, format, set the length.
  std::u16string result;
  result.resize(FormatWideInto(format, argSpan, nullptr, 0));
  result.resize(FormatWideInto(format, argSpan, result.data(), result.size()));
  return result;
}

}  // namespace glimra
