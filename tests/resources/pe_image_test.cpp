// The PE reader over small hand-made images, intact and damaged.
#include "platform/sim/pe_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v), b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF), Put16(b, at + 2, v >> 16);
}
void PutText(Bytes& b, std::size_t at, const char* text) {
  std::memcpy(&b[at], text, std::strlen(text));
}

constexpr std::size_t kNt = 0x40;
constexpr std::size_t kOptional = kNt + 24;
constexpr std::size_t kRsrc = 0x200;   // file offset of .rsrc, RVA 0x1000
constexpr std::size_t kIdata = 0x400;  // file offset of .idata, RVA 0x2000

// An image with two sections: .rsrc holding a resource tree with a named type "PATCH" (401,
// 1033, "hello") and RT_STRING (13, 1041, "abc"); .idata importing KERNEL32.dll and USER32.dll.
Bytes MakeImage(bool is64 = false) {
  Bytes b(0x600, 0);
  b[0] = 'M', b[1] = 'Z';
  Put32(b, 0x3C, kNt);
  PutText(b, kNt, "PE");
  const std::uint32_t optionalSize = is64 ? 240 : 224;
  Put16(b, kNt + 4, is64 ? 0x8664 : 0x14C);
  Put16(b, kNt + 6, 2);
  Put16(b, kNt + 20, optionalSize);
  Put16(b, kOptional, is64 ? 0x20B : 0x10B);
  Put32(b, kOptional + 60, 0x200);  // SizeOfHeaders
  Put16(b, kOptional + 68, 2);      // GUI
  const std::size_t count = kOptional + (is64 ? 108 : 92);
  Put32(b, count, 16);
  const std::size_t dirs = count + 4;
  Put32(b, dirs + 8, 0x2000), Put32(b, dirs + 12, 60);      // imports
  Put32(b, dirs + 16, 0x1000), Put32(b, dirs + 20, 0x100);  // resources
  const std::size_t sections = kOptional + optionalSize;
  PutText(b, sections, ".rsrc");
  Put32(b, sections + 8, 0x100), Put32(b, sections + 12, 0x1000);
  Put32(b, sections + 16, 0x200), Put32(b, sections + 20, kRsrc);
  PutText(b, sections + 40, ".idata");
  Put32(b, sections + 48, 0x100), Put32(b, sections + 52, 0x2000);
  Put32(b, sections + 56, 0x200), Put32(b, sections + 60, kIdata);

  const auto dir = [&](std::size_t at, std::uint16_t named, std::uint16_t ids) {
    Put16(b, kRsrc + at + 12, named), Put16(b, kRsrc + at + 14, ids);
  };
  const auto entry = [&](std::size_t at, std::uint32_t name, std::uint32_t target) {
    Put32(b, kRsrc + at, name), Put32(b, kRsrc + at + 4, target);
  };
  constexpr std::uint32_t kDir = 0x80000000u;
  dir(0x00, 1, 1);
  entry(0x10, kDir | 0xA0, kDir | 0x20);
  entry(0x18, 6, kDir | 0x38);
  dir(0x20, 0, 1);
  entry(0x30, 401, kDir | 0x50);
  dir(0x38, 0, 1);
  entry(0x48, 13, kDir | 0x68);
  dir(0x50, 0, 1);
  entry(0x60, 1033, 0x80);
  dir(0x68, 0, 1);
  entry(0x78, 1041, 0x90);
  Put32(b, kRsrc + 0x80, 0x10C0), Put32(b, kRsrc + 0x84, 5);
  Put32(b, kRsrc + 0x90, 0x10C8), Put32(b, kRsrc + 0x94, 3);
  Put16(b, kRsrc + 0xA0, 5);
  for (std::size_t i = 0; i < 5; ++i)
    Put16(b, kRsrc + 0xA2 + i * 2, static_cast<std::uint8_t>("PATCH"[i]));
  PutText(b, kRsrc + 0xC0, "hello");
  PutText(b, kRsrc + 0xC8, "abc");

  Put32(b, kIdata + 12, 0x2040);
  Put32(b, kIdata + 16, 0x2060);
  Put32(b, kIdata + 20 + 12, 0x2050);
  Put32(b, kIdata + 20 + 16, 0x2070);
  PutText(b, kIdata + 0x40, "KERNEL32.dll");
  PutText(b, kIdata + 0x50, "USER32.dll");
  return b;
}

std::string AsText(std::span<const std::uint8_t> data) {
  return {data.begin(), data.end()};
}

TEST(PeImage, ReadsHeadersResourcesAndImportsOfPe32AndPe32Plus) {
  for (bool is64 : {false, true}) {
    SCOPED_TRACE(is64 ? "PE32+" : "PE32");
    const Bytes bytes = MakeImage(is64);
    std::string error;
    const auto image = sim::PeImage::Parse(bytes, &error);
    ASSERT_TRUE(image.has_value()) << error;
    EXPECT_EQ(image->machine(), is64 ? sim::kPeMachineAmd64 : sim::kPeMachineI386);
    EXPECT_EQ(image->is64Bit(), is64);
    EXPECT_EQ(image->subsystem(), sim::kPeSubsystemGui);
    ASSERT_EQ(image->sections().size(), 2u);
    EXPECT_EQ(image->sections()[1].name, ".idata");
    EXPECT_EQ(image->RvaToOffset(0x1010, 4), kRsrc + 0x10);
    EXPECT_EQ(image->RvaToOffset(0x10FE, 2), kRsrc + 0xFE);
    EXPECT_FALSE(image->RvaToOffset(0x10FE, 4));  // runs past the section's virtual size
    EXPECT_FALSE(image->RvaToOffset(0x3000, 1));  // in no section

    const auto resources = image->Resources(&error);
    ASSERT_TRUE(resources.has_value()) << error;
    ASSERT_EQ(resources->size(), 2u);
    EXPECT_EQ((*resources)[0].type, sim::PeResourceKey::Name(u"PATCH"));
    EXPECT_EQ((*resources)[0].name, sim::PeResourceKey::Id(401));
    EXPECT_EQ((*resources)[0].language, 1033);
    EXPECT_EQ(AsText((*resources)[0].data), "hello");
    EXPECT_EQ((*resources)[1].type, sim::PeResourceKey::Id(6));
    EXPECT_EQ((*resources)[1].name, sim::PeResourceKey::Id(13));
    EXPECT_EQ((*resources)[1].language, 1041);
    EXPECT_EQ(AsText((*resources)[1].data), "abc");

    const auto dlls = image->ImportedDlls(&error);
    ASSERT_TRUE(dlls.has_value()) << error;
    EXPECT_EQ(*dlls, (std::vector<std::string>{"KERNEL32.dll", "USER32.dll"}));
  }
}

TEST(PeImage, DamagedHeadersFailCleanly) {
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
  };
  const Case cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }},
      {"cut inside the DOS header", [](Bytes& b) { b.resize(0x3E); }},
      {"no MZ", [](Bytes& b) { b[0] = 'X'; }},
      {"NT headers past the end", [](Bytes& b) { Put32(b, 0x3C, 0xFFFFFFF0u); }},
      {"no PE signature", [](Bytes& b) { b[kNt + 1] = 'X'; }},
      {"cut inside the optional header", [](Bytes& b) { b.resize(kOptional + 100); }},
      {"unknown magic", [](Bytes& b) { Put16(b, kOptional, 0x107); }},
      {"optional header too small", [](Bytes& b) { Put16(b, kNt + 20, 64); }},
      {"optional header past the end", [](Bytes& b) { Put16(b, kNt + 20, 0xFFFF); }},
      {"section table past the end", [](Bytes& b) { Put16(b, kNt + 6, 0xFFFF); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = MakeImage();
    c.damage(bytes);
    std::string error;
    EXPECT_FALSE(sim::PeImage::Parse(bytes, &error).has_value());
    EXPECT_FALSE(error.empty());
  }
}

TEST(PeImage, DamagedDirectoriesFailCleanly) {
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
    bool resourcesFail;
    bool importsFail;
  };
  const std::size_t dirs = kOptional + 96;
  const Case cases[] = {
      {"resource tree outside every section", [&](Bytes& b) { Put32(b, dirs + 16, 0x5000); }, true,
       false},
      {"resource tree larger than its section", [&](Bytes& b) { Put32(b, dirs + 20, 0x400); }, true,
       false},
      {"too many entries", [](Bytes& b) { Put16(b, kRsrc + 0x38 + 14, 0xFFFF); }, true, false},
      {"subdirectory outside the tree",
       [](Bytes& b) { Put32(b, kRsrc + 0x18 + 4, 0x80000000u | 0xFFF0); }, true, false},
      {"language entry is a directory",
       [](Bytes& b) { Put32(b, kRsrc + 0x60 + 4, 0x80000000u | 0x68); }, true, false},
      {"type entry is data", [](Bytes& b) { Put32(b, kRsrc + 0x18 + 4, 0x80); }, true, false},
      {"data entry outside the tree", [](Bytes& b) { Put32(b, kRsrc + 0x60 + 4, 0xFFFC); }, true,
       false},
      {"data outside the file", [](Bytes& b) { Put32(b, kRsrc + 0x84, 0x7FFFFFFF); }, true, false},
      {"data RVA wraps around", [](Bytes& b) { Put32(b, kRsrc + 0x80, 0xFFFFFFFE); }, true, false},
      {"name longer than the tree", [](Bytes& b) { Put16(b, kRsrc + 0xA0, 0xFFFF); }, true, false},
      {"import section cut from the file", [](Bytes& b) { b.resize(kIdata + 0x30); }, false, true},
      {"imported name without an end", [](Bytes& b) { std::memset(&b[kIdata + 0x40], 'A', 0x1C0); },
       false, true},
      {"import table without an end", [](Bytes& b) { std::memset(&b[kIdata], 0x11, 0x200); }, false,
       true},
      {"import table outside every section", [&](Bytes& b) { Put32(b, dirs + 8, 0x9000); }, false,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = MakeImage();
    c.damage(bytes);
    const auto image = sim::PeImage::Parse(bytes);
    ASSERT_TRUE(image.has_value());
    std::string error;
    EXPECT_EQ(image->Resources(&error).has_value(), !c.resourcesFail) << error;
    EXPECT_EQ(image->ImportedDlls(&error).has_value(), !c.importsFail) << error;
  }
}

TEST(PeImage, ResourceDirectoryLoopEndsTheWalk) {
  Bytes bytes = MakeImage();
  Put32(bytes, kRsrc + 0x18 + 4, 0x80000000u);  // RT_STRING's names are the root again
  const auto image = sim::PeImage::Parse(bytes);
  ASSERT_TRUE(image.has_value());
  std::string error;
  EXPECT_FALSE(image->Resources(&error).has_value());
  EXPECT_NE(error.find("loops"), std::string::npos) << error;
}

// A VS_VERSIONINFO node: length, value length, type, key, value, children, 4-byte aligned.
Bytes VersionNode(const std::u16string& key, const Bytes& value, std::uint16_t type,
                  std::uint16_t valueLength, const std::vector<Bytes>& children) {
  Bytes b(6, 0);
  for (char16_t c : key)
    b.push_back(static_cast<std::uint8_t>(c)), b.push_back(static_cast<std::uint8_t>(c >> 8));
  b.push_back(0), b.push_back(0);
  b.resize((b.size() + 3) & ~std::size_t{3}, 0);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    b.resize((b.size() + 3) & ~std::size_t{3}, 0);
    b.insert(b.end(), child.begin(), child.end());
  }
  Put16(b, 0, static_cast<std::uint32_t>(b.size()));
  Put16(b, 2, valueLength);
  Put16(b, 4, type);
  return b;
}

Bytes Utf16z(const std::u16string& text) {
  Bytes b;
  for (char16_t c : text)
    b.push_back(static_cast<std::uint8_t>(c)), b.push_back(static_cast<std::uint8_t>(c >> 8));
  b.push_back(0), b.push_back(0);
  return b;
}

Bytes MakeVersionInfo() {
  Bytes fixed(52, 0);
  Put32(fixed, 0, 0xFEEF04BDu);
  Put32(fixed, 8, 0x00030003u), Put32(fixed, 12, 10220);
  Put32(fixed, 16, 0x00030003u), Put32(fixed, 20, 10220);
  const Bytes company = VersionNode(u"CompanyName", Utf16z(u"Corvane"), 1, 8, {});
  const Bytes table = VersionNode(u"040904b0", {}, 1, 0, {company});
  const Bytes strings = VersionNode(u"StringFileInfo", {}, 1, 0, {table});
  Bytes translation(4, 0);
  Put32(translation, 0, 0x04B00409u);
  const Bytes var =
      VersionNode(u"VarFileInfo", {}, 1, 0, {VersionNode(u"Translation", translation, 0, 4, {})});
  return VersionNode(u"VS_VERSION_INFO", fixed, 0, 52, {strings, var});
}

TEST(PeVersionInfo, ReadsFixedInfoStringsAndTranslations) {
  std::string error;
  const auto info = sim::ParseVersionInfo(MakeVersionInfo(), &error);
  ASSERT_TRUE(info.has_value()) << error;
  ASSERT_TRUE(info->fixed.has_value());
  EXPECT_EQ(info->fixed->fileVersionMS, 0x00030003u);
  EXPECT_EQ(info->fixed->fileVersionLS, 10220u);
  ASSERT_EQ(info->strings.size(), 1u);
  EXPECT_TRUE(info->strings[0].table == u"040904b0");
  EXPECT_TRUE(info->strings[0].key == u"CompanyName");
  EXPECT_TRUE(info->strings[0].value == u"Corvane");
  EXPECT_EQ(info->translations, std::vector<std::uint32_t>{0x04B00409u});
}

TEST(PeVersionInfo, DamagedTreesFailCleanly) {
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
  };
  const Case cases[] = {
      {"cut short", [](Bytes& b) { b.resize(40); }},
      {"length past the end",
       [](Bytes& b) { Put16(b, 0, static_cast<std::uint32_t>(b.size() + 8)); }},
      {"child of length zero", [](Bytes& b) { Put16(b, 40 + 52, 0); }},
      {"bad signature", [](Bytes& b) { Put32(b, 40, 0x12345678u); }},
      {"other key", [](Bytes& b) { b[6] = 'X'; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = MakeVersionInfo();
    c.damage(bytes);
    EXPECT_FALSE(sim::ParseVersionInfo(bytes).has_value());
  }
}

}  // namespace
