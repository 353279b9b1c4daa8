#include "driver/message_catalogue.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "common/catalogue_text.h"
#include "common/machine_fixture.h"
#include "common/wide_string.h"
#include "resources/string_tables.h"

namespace glimra {
namespace {

using testing::CatalogueText;
using testing::MachineTest;
using testing::MakeStringBlock;

constexpr plat::WORD kBlock76 = 1213 / 16 + 1;  // ids 1200 to 1215
constexpr plat::LANGID kJapanese = 1041;
constexpr plat::LANGID kEnglish = 1033;

using MessageCatalogueTest = MachineTest;

TEST_F(MessageCatalogueTest, EveryLanguageGetsItsOwnTexts) {
  for (const auto& message : resources::MessageCatalogue()) {
    sim::Machine m;
    m.SetUserUILanguage(message.language);
    EXPECT_EQ(LoadMessage(m.platform().resources, m.ProgramModule(), message.id), message.text)
        << "language " << message.language << ", id " << message.id;
  }
}

TEST_F(MessageCatalogueTest, UnknownIdsLoadAsEmpty) {
  for (plat::UINT id : {0u, 201u, 1204u, 1231u, 4000u, 65535u}) {
    EXPECT_EQ(LoadMessage(platform().resources, machine.ProgramModule(), id), u"") << id;
    EXPECT_FALSE(FindMessageModule(platform().resources, machine.ProgramModule(), id)) << id;
  }
  const auto module = FindMessageModule(platform().resources, machine.ProgramModule(), 1213);
  ASSERT_TRUE(module.has_value());
  EXPECT_EQ(*module, machine.ProgramModule());
}

TEST_F(MessageCatalogueTest, FormatsTheFailureCodeAsLowercaseHex) {
  for (plat::LANGID language : {kEnglish, kJapanese}) {
    sim::Machine m;
    m.SetUserUILanguage(language);
    const std::u16string text =
        FormatMessageFromId(m.platform().resources, m.ProgramModule(), kMessageUpdateFailed,
                            {static_cast<std::uint32_t>(plat::E_OUTOFMEMORY)});
    EXPECT_EQ(text, ReplaceSubstrings(CatalogueText(language, 1213), u"%08x", u"8007000e"))
        << language;
  }
  EXPECT_EQ(FormatMessageFromId(platform().resources, machine.ProgramModule(), kMessageUpdateFailed,
                                {std::uint32_t{0x80070020u}}),
            u"Package Update Failed.\r\n(code = 0x80070020)");
}

TEST_F(MessageCatalogueTest, LanguageIsChosenPerBlockNotPerMessage) {
  // The Japanese block 76 with entry 13 (id 1213) left empty.
  std::array<std::u16string, 16> entries;
  entries[1] = u"\u65e5\u672c\u8a9e 1201";
  machine.SetResource(plat::RT_STRING, kBlock76, kJapanese, MakeStringBlock(entries));
  machine.SetUserUILanguage(kJapanese);

  EXPECT_EQ(LoadMessage(platform().resources, machine.ProgramModule(), 1201), entries[1]);
  EXPECT_EQ(LoadMessage(platform().resources, machine.ProgramModule(), 1213), u"");
  EXPECT_FALSE(FindMessageModule(platform().resources, machine.ProgramModule(), 1213));
  // Other blocks are still Japanese.
  EXPECT_EQ(LoadMessage(platform().resources, machine.ProgramModule(), 200),
            CatalogueText(kJapanese, 200));
}

TEST_F(MessageCatalogueTest, LanguageMissingFromTheModuleFallsBack) {
  machine.RemoveResource(plat::RT_STRING, kBlock76, kJapanese);
  machine.SetUserUILanguage(kJapanese);
  EXPECT_EQ(LoadMessage(platform().resources, machine.ProgramModule(), 1201),
            CatalogueText(kEnglish, 1201));
  EXPECT_EQ(LoadMessage(platform().resources, machine.ProgramModule(), 200),
            CatalogueText(kJapanese, 200));

  sim::Machine swedish;
  swedish.SetUserUILanguage(1053);
  EXPECT_EQ(LoadMessage(swedish.platform().resources, swedish.ProgramModule(), 1219),
            CatalogueText(kEnglish, 1219));
}

TEST_F(MessageCatalogueTest, MalformedBlocksYieldNoText) {
  const struct {
    const char* name;
    std::vector<std::uint8_t> block;
  } cases[] = {
      {"empty block", {}},
      {"cut before the entry", {2, 0, 'a', 0, 'b', 0}},
      {"entry longer than the block", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   0, 0,   0,
                                       0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200, 0, 'x', 0}},
      {"odd size", {0}},
  };
  for (const auto& c : cases) {
    sim::Machine m;
    m.SetResource(plat::RT_STRING, kBlock76, kEnglish, c.block);
    // Entry 13 of the block is id 1213.
    EXPECT_EQ(LoadMessage(m.platform().resources, m.ProgramModule(), 1213), u"") << c.name;
  }
}

TEST_F(MessageCatalogueTest, ResourceFailuresYieldNoText) {
  for (const char* operation :
       {"FindResourceExW", "FindResourceW", "LoadResource", "LockResource"}) {
    sim::Machine m;
    m.FailOperation(operation, plat::ERROR_RESOURCE_DATA_NOT_FOUND);
    EXPECT_EQ(LoadMessage(m.platform().resources, m.ProgramModule(), 1210), u"") << operation;
  }
}

}  // namespace
}  // namespace glimra
