// Expected message texts, straight from the message source, and string blocks built by hand.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "resources/string_tables.h"

namespace glimra::testing {

inline std::u16string CatalogueText(std::uint16_t language, std::uint16_t id) {
  for (const auto& message : glimra::resources::MessageCatalogue()) {
    if (message.language == language && message.id == id) return std::u16string(message.text);
  }
  ADD_FAILURE() << "no catalogue text for language " << language << ", id " << id;
  return {};
}

// An RT_STRING block: 16 entries, each a 16-bit length and that many units, little-endian.
inline std::vector<std::uint8_t> MakeStringBlock(const std::array<std::u16string, 16>& entries) {
  std::vector<std::uint8_t> block;
  const auto put = [&block](std::uint16_t unit) {
    block.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    block.push_back(static_cast<std::uint8_t>(unit >> 8));
  };
  for (const std::u16string& entry : entries) {
    put(static_cast<std::uint16_t>(entry.size()));
    for (char16_t unit : entry) put(static_cast<std::uint16_t>(unit));
  }
  return block;
}

}  // namespace glimra::testing
