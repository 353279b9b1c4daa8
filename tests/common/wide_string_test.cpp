#include "common/wide_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glimra {
namespace {

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

struct FormatCase {
  const char* name;
  std::u16string_view format;
  std::vector<FormatArg> args;
  std::u16string_view expected;
};

TEST(FormatWideTest, FormatsEachConversion) {
  const std::vector<FormatCase> cases = {
      {"plain text", u"no conversions", {}, u"no conversions"},
      {"signed", u"%d", {std::int32_t{-42}}, u"-42"},
      {"signed minimum", u"%d", {std::int32_t{INT32_MIN}}, u"-2147483648"},
      {"zero-padded two digits", u"%02d:%02d", {std::int32_t{7}, std::int32_t{30}}, u"07:30"},
      {"width smaller than number", u"%02d", {std::int32_t{2024}}, u"2024"},
      {"zero padding after sign", u"%05d", {std::int32_t{-12}}, u"-0012"},
      {"left-justified", u"[%-4d]", {std::int32_t{5}}, u"[5   ]"},
      {"space padded", u"[%4d]", {std::int32_t{5}}, u"[   5]"},
      {"unsigned", u"%u", {std::uint32_t{4000000000u}}, u"4000000000"},
      {"hex lower", u"%x", {std::uint32_t{0xBEEFu}}, u"beef"},
      {"hex upper", u"%X", {std::uint32_t{0xBEEFu}}, u"BEEF"},
      {"result code as 8 hex digits", u"0x%08x", {std::uint32_t{0x8007000Eu}}, u"0x8007000e"},
      {"negative code as its bit pattern", u"%08x", {std::int32_t{-2147024882}}, u"8007000e"},
      {"small value padded", u"%08x", {std::uint32_t{0x20u}}, u"00000020"},
      {"text", u"<%s>", {u"Glimra"}, u"<Glimra>"},
      {"null text", u"%s", {static_cast<const char16_t*>(nullptr)}, u"(null)"},
      {"text keeps non-ASCII", u"%s!", {u"\u65e5\u672c"}, u"\u65e5\u672c!"},
      {"long size ignored", u"%ld %ls", {std::int32_t{3}, u"x"}, u"3 x"},
      {"percent sign", u"100%%", {}, u"100%"},
      {"missing argument copied", u"a %d b", {}, u"a %d b"},
      {"unknown conversion copied", u"%q%d", {std::int32_t{1}}, u"%q1"},
      {"text for a number copied", u"%d", {u"x"}, u"%d"},
      {"number for a text copied", u"%s", {std::int32_t{1}}, u"%s"},
      {"lone percent at end", u"50%", {}, u"50%"},
      {"mixed",
       u"%s is %d (%08x)",
       {u"n", std::int32_t{10}, std::uint32_t{10}},
       u"n is 10 (0000000a)"},
  };
  for (const FormatCase& c : cases) {
    const std::u16string actual = FormatWide(c.format, c.args);
    EXPECT_EQ(actual, c.expected) << c.name << ": got \"" << Narrow(actual) << "\"";
  }
}

TEST(FormatWideTest, MeasuresWithoutWritingPastCapacity) {
  const std::vector<FormatArg> args = {std::uint32_t{0x80070005u}};
  EXPECT_EQ(FormatWideInto(u"code %08x", args, nullptr, 0), 13u);
  std::u16string buffer(6, u'#');
  buffer.push_back(u'!');  // guard
  EXPECT_EQ(FormatWideInto(u"code %08x", args, buffer.data(), 6), 13u);
  EXPECT_EQ(buffer, u"code 8!");
}

TEST(FormatWideTest, HugeWidthIsCapped) {
  const std::u16string out = FormatWide(u"%999999999d", {std::int32_t{1}});
  EXPECT_LE(out.size(), 1024u);
  EXPECT_EQ(out.back(), u'1');
}

TEST(ReplaceSubstringsTest, ReplacesLeftToRightWithoutOverlap) {
  struct Case {
    std::u16string_view text, from, to, expected;
  };
  const Case cases[] = {
      {uR"(D:\Product\RerIvor)", u"RerIvor", u"Help", uR"(D:\Product\Help)"},
      {u"RerIvorRerIvor\\x", u"RerIvor", u"Help", u"HelpHelp\\x"},
      {u"rerivor", u"RerIvor", u"Help", u"rerivor"},  // case matters
      {u"aaa", u"aa", u"b", u"ba"},                   // no overlap
      {u"abc", u"", u"x", u"abc"},                    // empty pattern changes nothing
      {u"abc", u"b", u"", u"ac"},
      {u"", u"a", u"b", u""},
      {u"no match", u"zz", u"y", u"no match"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceSubstrings(c.text, c.from, c.to), c.expected) << Narrow(c.text);
  }
}

}  // namespace
}  // namespace glimra
