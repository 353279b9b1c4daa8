// The message catalogue as the host build carries it, and the strictness of its source reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "message_source.h"
#include "resources/string_block.h"
#include "resources/string_tables.h"

namespace {

using glimra::resources::MessageCatalogue;
using glimra::resources::ProgramStringTables;
using glimra::testing::DecodeStringBlock;
using glimra::testing::kExpectedLanguages;
using glimra::testing::kExpectedMessages;

std::string LineBreaks(std::u16string_view text) {
  std::string breaks;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') breaks.push_back(text[i] == u'\r' ? 'R' : 'L');
  }
  return breaks;
}

std::size_t Count(std::u16string_view text, std::u16string_view part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != text.npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::map<std::pair<std::uint16_t, std::uint16_t>, std::u16string_view> CatalogueByKey() {
  std::map<std::pair<std::uint16_t, std::uint16_t>, std::u16string_view> texts;
  for (const auto& m : MessageCatalogue()) {
    EXPECT_TRUE(texts.emplace(std::make_pair(m.language, m.id), m.text).second)
        << "language " << m.language << " message " << m.id << " appears twice";
  }
  return texts;
}

TEST(MessageCatalogue, EveryLanguageHasEveryMessageWithTheEnglishLineBreaks) {
  const auto texts = CatalogueByKey();
  EXPECT_EQ(texts.size(), kExpectedLanguages.size() * kExpectedMessages.size());
  for (std::uint16_t language : kExpectedLanguages) {
    for (const auto& expected : kExpectedMessages) {
      SCOPED_TRACE("language " + std::to_string(language) + " message " +
                   std::to_string(expected.id));
      const auto it = texts.find({language, expected.id});
      ASSERT_NE(it, texts.end());
      EXPECT_FALSE(it->second.empty());
      EXPECT_EQ(LineBreaks(it->second), LineBreaks(expected.english));
      EXPECT_EQ(Count(it->second, u"\r\n"), Count(expected.english, u"\r\n"));
      if (language == 1033) {
        EXPECT_TRUE(it->second == expected.english);
      }
      if (expected.id == 1213) {
        // One conversion, after "0x", and no other '%' that printf would read.
        EXPECT_EQ(Count(it->second, u"0x%08x"), 1u);
        EXPECT_EQ(Count(it->second, u"%"), 1u);
      }
      // The product name is not translated.
      EXPECT_EQ(Count(it->second, u"Glimra"), Count(expected.english, u"Glimra"));
    }
  }
}

TEST(MessageCatalogue, TranslationsDifferFromEnglish) {
  const auto texts = CatalogueByKey();
  for (std::uint16_t language : kExpectedLanguages) {
    if (language == 1033) continue;
    for (const auto& expected : kExpectedMessages) {
      const auto it = texts.find({language, expected.id});
      ASSERT_NE(it, texts.end());
      EXPECT_FALSE(it->second == expected.english)
          << "language " << language << " message " << expected.id << " is left in English";
    }
  }
}

TEST(ProgramStringTables, BlocksHoldExactlyTheCatalogue) {
  const auto texts = CatalogueByKey();
  std::set<std::pair<std::uint16_t, std::uint16_t>> seen;
  std::size_t found = 0;
  for (const auto& block : ProgramStringTables()) {
    SCOPED_TRACE("language " + std::to_string(block.language) + " block " +
                 std::to_string(block.blockId));
    EXPECT_TRUE(seen.insert({block.language, block.blockId}).second);
    const auto entries = DecodeStringBlock({block.data, block.size});
    ASSERT_TRUE(entries.has_value());
    for (std::size_t i = 0; i < entries->size(); ++i) {
      const auto id =
          static_cast<std::uint16_t>(static_cast<std::size_t>(block.blockId - 1) * 16 + i);
      const auto it = texts.find({block.language, id});
      if (it == texts.end()) {
        EXPECT_TRUE((*entries)[i].empty()) << "id " << id;
      } else {
        EXPECT_TRUE((*entries)[i] == it->second) << "id " << id;
        ++found;
      }
    }
  }
  EXPECT_EQ(found, texts.size());
  // 200 is in block 13; 1201 to 1215 in 76; 1216 to 1230 in 77.
  EXPECT_EQ(seen.size(), kExpectedLanguages.size() * 3);
}

// --- The source reader -------------------------------------------------------------------------

// A complete, valid source: English as expected, every other language a marked copy.
std::string ValidSource() {
  std::string source = "# test\n";
  for (const auto& language : glimra::messages::ProgramLanguages()) {
    source += "[" + std::to_string(language.id) + " " + language.tag + "]\n";
    for (const auto& m : kExpectedMessages) {
      std::string text;
      for (char16_t c : m.english) {
        if (c == u'\r')
          text += "\\r";
        else if (c == u'\n')
          text += "\\n";
        else
          text.push_back(static_cast<char>(c));
      }
      if (language.id != 1033) text = std::string(language.tag) + " " + text;
      source += std::to_string(m.id) + " \"" + text + "\"\n";
    }
  }
  return source;
}

std::string Replace(std::string s, std::string_view from, std::string_view to) {
  const std::size_t at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) s.replace(at, from.size(), to);
  return s;
}

TEST(MessageSource, ReadsAValidSourceWithEscapesAndUtf8) {
  std::string source = Replace(ValidSource(), "de-DE There is no need", "de-DE \\\"Ä\\\\€𝄞\\\"");
  glimra::messages::Catalogue catalogue;
  std::string error;
  ASSERT_TRUE(glimra::messages::ParseCatalogue(source, catalogue, error)) << error;
  EXPECT_EQ(catalogue.messages.size(), 13u * 12u);
  const auto* m = catalogue.Find(1031, 1203);
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->text == u"de-DE \"Ä\\€𝄞\" to update the program.");
  EXPECT_EQ(glimra::messages::ToUtf8(m->text), "de-DE \"Ä\\€𝄞\" to update the program.");
  const auto* failure = catalogue.Find(1033, 1213);
  ASSERT_NE(failure, nullptr);
  EXPECT_TRUE(failure->text == u"Package Update Failed.\r\n(code = 0x%08x)");
}

TEST(MessageSource, RejectsDamagedSources) {
  struct Case {
    const char* name;
    std::string source;
    const char* error;  // a part of the expected message
  };
  const std::string valid = ValidSource();
  const Case cases[] = {
      {"unknown language", Replace(valid, "[1031 de-DE]", "[1032 de-DE]"), "unknown language 1032"},
      {"wrong tag", Replace(valid, "[1031 de-DE]", "[1031 de-AT]"), "de-DE"},
      {"language twice", valid + "[1031 de-DE]\n", "appears twice"},
      {"message missing", Replace(valid, "1202 \"fr-FR", "#"), "lacks message 1202"},
      {"unknown message", Replace(valid, "1202 \"fr-FR", "1204 \"fr-FR"), "unknown message id"},
      {"message twice", Replace(valid, "1202 \"fr-FR", "1201 \"fr-FR"), "appears twice"},
      {"message before a language", "200 \"x\"\n" + valid, "before the first language"},
      {"empty message",
       Replace(valid, "1210 \"it-IT Update completed successfully.\"", "1210 \"\""), "empty"},
      {"1213 without %08x",
       Replace(valid, "ja-JP Package Update Failed.\\r\\n(code = 0x%08x)",
               "ja-JP Package Update Failed.\\r\\n(code = 0x%8x)"),
       "1213"},
      {"1213 with two %08x",
       Replace(valid, "ja-JP Package Update Failed.", "ja-JP Package %08x Update Failed."), "1213"},
      {"1213 with another %",
       Replace(valid, "ja-JP Package Update Failed.", "ja-JP Package Update 100% Failed."), "1213"},
      {"line break lost",
       Replace(valid, "ko-KR Now processing...\\nPlease", "ko-KR Now processing... Please"),
       "breaks its lines"},
      {"CR LF made LF",
       Replace(valid, "nl-NL Package Update Failed.\\r\\n", "nl-NL Package Update Failed.\\n"),
       "breaks its lines"},
      {"truncated UTF-8", Replace(valid, "pl-PL Update", "pl-PL \xC4 Update"), "invalid UTF-8"},
      {"overlong UTF-8", Replace(valid, "pl-PL Update", "pl-PL \xC0\xAF Update"), "invalid UTF-8"},
      {"UTF-8 surrogate", Replace(valid, "pl-PL Update", "pl-PL \xED\xA0\x80 Update"),
       "invalid UTF-8"},
      {"stray continuation byte", Replace(valid, "pl-PL Update", "pl-PL \x80 Update"),
       "invalid UTF-8"},
      {"unknown escape", Replace(valid, "ru-RU Update", "ru-RU \\t Update"), "unknown escape"},
      {"raw control character", Replace(valid, "ru-RU Update", "ru-RU \t Update"), "control"},
      {"unquoted text", Replace(valid, "200 \"zh-CN Glimra Update Program\"", "200 zh-CN"),
       "double quotes"},
      {"inner quote", Replace(valid, "200 \"zh-CN Glimra", "200 \"zh-CN \"Glimra"), "double quote"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    glimra::messages::Catalogue catalogue;
    std::string error;
    EXPECT_FALSE(glimra::messages::ParseCatalogue(c.source, catalogue, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(MessageSource, ReportsAMissingLanguage) {
  std::string source = ValidSource();
  source.erase(source.find("[3082 es-ES]"));
  glimra::messages::Catalogue catalogue;
  std::string error;
  EXPECT_FALSE(glimra::messages::ParseCatalogue(source, catalogue, error));
  EXPECT_NE(error.find("language 3082 is missing"), std::string::npos) << error;
}

}  // namespace
