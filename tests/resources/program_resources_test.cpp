// The resources of the shipped 32-bit program, read back out of the built executable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fixtures/host_files.h"
#include "fixtures/payload_sources.h"
#include "plan/patch_catalogue.h"
#include "platform/sim/pe_image.h"
#include "resources/string_block.h"
#include "resources/string_tables.h"
#include "szdd/szdd.h"

namespace {

constexpr std::uint16_t kRtIcon = 3;
constexpr std::uint16_t kRtString = 6;
constexpr std::uint16_t kRtGroupIcon = 14;
constexpr std::uint16_t kRtVersion = 16;
constexpr std::uint16_t kRtManifest = 24;

class ProgramResources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::ifstream in(GLIMRA_WIN32_EXE, std::ios::binary);
    if (!in) {
      problem_ = std::string("cannot open ") + GLIMRA_WIN32_EXE +
                 ": build the win32 preset first (or set GLIMRA_WIN32_EXE)";
      return;
    }
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
    std::string error;
    image_ = sim::PeImage::Parse(bytes_, &error);
    if (!image_) {
      problem_ = std::string(GLIMRA_WIN32_EXE) + " is not a PE image: " + error;
      return;
    }
    auto resources = image_->Resources(&error);
    if (!resources) {
      problem_ = std::string(GLIMRA_WIN32_EXE) + ": damaged resources: " + error;
      return;
    }
    resources_ = std::move(*resources);
  }

  void SetUp() override {
    if (!problem_.empty()) FAIL() << problem_;
  }

  static std::vector<const sim::PeResource*> OfType(std::uint16_t type) {
    std::vector<const sim::PeResource*> found;
    for (const auto& r : resources_) {
      if (r.type == sim::PeResourceKey::Id(type)) found.push_back(&r);
    }
    return found;
  }
  static const sim::PeResource* Find(std::uint16_t type, std::uint16_t name) {
    for (const auto& r : resources_) {
      if (r.type == sim::PeResourceKey::Id(type) && r.name == sim::PeResourceKey::Id(name)) {
        return &r;
      }
    }
    return nullptr;
  }

  static inline std::string problem_;
  static inline std::vector<std::uint8_t> bytes_;
  static inline std::optional<sim::PeImage> image_;
  static inline std::vector<sim::PeResource> resources_;
};

TEST_F(ProgramResources, IsA32BitGuiExecutable) {
  EXPECT_EQ(image_->optionalHeaderMagic(), sim::kPeMagic32);
  EXPECT_EQ(image_->machine(), sim::kPeMachineI386);
  EXPECT_EQ(image_->subsystem(), sim::kPeSubsystemGui);
}

TEST_F(ProgramResources, StringTablesHoldTheCatalogueInEveryLanguage) {
  std::map<std::pair<std::uint16_t, std::uint16_t>, std::u16string_view> catalogue;
  for (const auto& m : glimra::resources::MessageCatalogue()) {
    catalogue[{m.language, m.id}] = m.text;
  }
  std::set<std::uint16_t> languages;
  std::size_t matched = 0;
  for (const sim::PeResource* r : OfType(kRtString)) {
    ASSERT_TRUE(r->name.isId);
    SCOPED_TRACE("language " + std::to_string(r->language) + " block " +
                 std::to_string(r->name.id));
    languages.insert(r->language);
    const auto entries = glimra::testing::DecodeStringBlock(r->data);
    ASSERT_TRUE(entries.has_value());
    for (std::size_t i = 0; i < entries->size(); ++i) {
      const auto id = static_cast<std::uint16_t>(static_cast<std::size_t>(r->name.id - 1) * 16 + i);
      const auto it = catalogue.find({r->language, id});
      if (it == catalogue.end()) {
        EXPECT_TRUE((*entries)[i].empty()) << "id " << id;
      } else {
        EXPECT_TRUE((*entries)[i] == it->second) << "id " << id;
        ++matched;
      }
    }
  }
  EXPECT_EQ(languages, std::set<std::uint16_t>(glimra::testing::kExpectedLanguages.begin(),
                                               glimra::testing::kExpectedLanguages.end()));
  EXPECT_EQ(matched,
            glimra::testing::kExpectedLanguages.size() * glimra::testing::kExpectedMessages.size());
  EXPECT_EQ(matched, catalogue.size());
}

TEST_F(ProgramResources, ManifestRequestsAdministratorCommonControlsAndDpiAwareness) {
  const sim::PeResource* manifest = Find(kRtManifest, 1);
  ASSERT_NE(manifest, nullptr);
  const std::string xml(manifest->data.begin(), manifest->data.end());
  // The attributes of one element, in any order.
  const auto element = [&](std::string_view name, std::initializer_list<std::string_view> attrs) {
    for (std::size_t at = xml.find("<" + std::string(name)); at != std::string::npos;
         at = xml.find("<" + std::string(name), at + 1)) {
      const std::string tag = xml.substr(at, xml.find('>', at) - at);
      if (std::all_of(attrs.begin(), attrs.end(),
                      [&](std::string_view a) { return tag.find(a) != std::string::npos; })) {
        return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(
      element("requestedExecutionLevel", {"level=\"requireAdministrator\"", "uiAccess=\"false\""}));
  EXPECT_TRUE(element(
      "assemblyIdentity",
      {"name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
       "processorArchitecture=\"*\"", "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\""}));
  EXPECT_NE(xml.find(">true</dpiAware>"), std::string::npos);
  for (const char* os :
       {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"}) {
    EXPECT_TRUE(element("supportedOS", {std::string("Id=\"") + os + "\""})) << os;
  }
}

std::uint32_t Le32(std::span<const std::uint8_t> d, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 4; i-- > 0;) v = v << 8 | d[at + i];
  return v;
}
std::uint16_t Le16(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}
std::uint32_t Be32(std::span<const std::uint8_t> d, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = v << 8 | d[at + i];
  return v;
}

TEST_F(ProgramResources, IconGroup100HoldsFourSizesAtEightAndThirtyTwoBits) {
  const sim::PeResource* group = Find(kRtGroupIcon, 100);
  ASSERT_NE(group, nullptr);
  const auto d = group->data;
  ASSERT_GE(d.size(), 6u);
  EXPECT_EQ(Le16(d, 0), 0);
  EXPECT_EQ(Le16(d, 2), 1);  // icons, not cursors
  const std::uint16_t count = Le16(d, 4);
  ASSERT_EQ(d.size(), 6u + count * 14u);
  std::set<std::pair<std::uint32_t, std::uint16_t>> images;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 6 + i * 14;
    const std::uint32_t width = d[at] == 0 ? 256u : std::uint32_t{d[at]};
    const std::uint32_t height = d[at + 1] == 0 ? 256u : std::uint32_t{d[at + 1]};
    const std::uint16_t bits = Le16(d, at + 6);
    const std::uint32_t bytes = Le32(d, at + 8);
    const std::uint16_t id = Le16(d, at + 12);
    SCOPED_TRACE(std::to_string(width) + " px, " + std::to_string(bits) + " bpp, icon " +
                 std::to_string(id));
    EXPECT_EQ(width, height);
    EXPECT_TRUE(images.insert({width, bits}).second);
    const sim::PeResource* icon = Find(kRtIcon, id);
    ASSERT_NE(icon, nullptr);
    ASSERT_EQ(icon->data.size(), bytes);
    // The image itself says the same size and depth: a PNG's IHDR, or a DIB header.
    const auto img = icon->data;
    ASSERT_GE(img.size(), 40u);
    if (img[0] == 0x89 && img[1] == 'P') {
      EXPECT_EQ(Be32(img, 16), width);
      EXPECT_EQ(Be32(img, 20), height);
      EXPECT_EQ(img[24] * (img[25] == 6 ? 4u : 1u), bits);  // 8 bits per channel of RGBA
    } else {
      EXPECT_EQ(Le32(img, 0), 40u);
      EXPECT_EQ(Le32(img, 4), width);
      EXPECT_EQ(Le32(img, 8), height * 2);
      EXPECT_EQ(Le16(img, 14), bits);
    }
  }
  std::set<std::pair<std::uint32_t, std::uint16_t>> expected;
  for (std::uint32_t size : {256u, 48u, 32u, 16u}) {
    for (std::uint16_t bits : {std::uint16_t{8}, std::uint16_t{32}}) expected.insert({size, bits});
  }
  EXPECT_EQ(images, expected);
}

TEST_F(ProgramResources, VersionInformationNamesTheProgram) {
  const auto versions = OfType(kRtVersion);
  ASSERT_EQ(versions.size(), 1u);
  std::string error;
  const auto info = sim::ParseVersionInfo(versions[0]->data, &error);
  ASSERT_TRUE(info.has_value()) << error;
  ASSERT_TRUE(info->fixed.has_value());
  EXPECT_EQ(info->fixed->fileVersionMS, (3u << 16) | 3u);
  EXPECT_EQ(info->fixed->fileVersionLS, (0u << 16) | 10220u);
  EXPECT_EQ(info->fixed->productVersionMS, (3u << 16) | 3u);
  EXPECT_EQ(info->fixed->productVersionLS, 10220u);
  std::map<std::u16string, std::u16string> strings;
  for (const auto& s : info->strings) {
    if (s.table == u"040904b0") strings[s.key] = s.value;
  }
  const std::pair<std::u16string, std::u16string> expected[] = {
      {u"CompanyName", u"Corvane"},
      {u"FileDescription", u"Glimra Update Program"},
      {u"FileVersion", u"3.3.0.10220"},
      {u"InternalName", u"GlimraUpdate"},
      {u"OriginalFilename", u"GlimraUpdate.exe"},
      {u"ProductName", u"Glimra"},
      {u"ProductVersion", u"3.3.0.10220"},
  };
  for (const auto& [key, value] : expected) {
    EXPECT_TRUE(strings[key] == value) << std::string(key.begin(), key.end());
  }
  EXPECT_NE(strings[u"LegalCopyright"].find(u"Corvane"), std::u16string::npos);
  EXPECT_EQ(info->translations, std::vector<std::uint32_t>{0x04B00409u});
}

TEST_F(ProgramResources, PayloadsAreChineseSimplifiedPatchResourcesThatExpandToTheirSources) {
  const std::map<int, std::string> sources =
      fixtures::ReadPayloadSources(GLIMRA_WIN32_PAYLOAD_SOURCES);
  ASSERT_EQ(sources.size(), glimra::kPatchCatalogueSize) << GLIMRA_WIN32_PAYLOAD_SOURCES;
  const sim::PeResourceKey patch = sim::PeResourceKey::Name(u"PATCH");
  std::size_t patchResources = 0;
  for (const auto& r : resources_) {
    if (r.type == patch) ++patchResources;
  }
  EXPECT_EQ(patchResources, glimra::kPatchCatalogueSize) << "one resource a payload, no others";

  std::map<int, std::vector<std::uint8_t>> expanded;
  for (std::size_t i = 0; i < glimra::kPatchCatalogueSize; ++i) {
    const glimra::PatchEntry& row = glimra::PatchCatalogue()[i];
    const int id = std::abs(row.resourceId);
    SCOPED_TRACE(id);
    const sim::PeResource* found = nullptr;
    for (const auto& r : resources_) {
      if (r.type == patch && r.name == sim::PeResourceKey::Id(static_cast<std::uint16_t>(id))) {
        found = &r;
      }
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->language, 2052);
    szdd::ExpandResult result = szdd::Expand(found->data);
    ASSERT_TRUE(result.ok()) << szdd::StatusName(result.status);
    ASSERT_TRUE(sources.count(id));
    EXPECT_TRUE(result.data == fixtures::ReadHostFile(sources.at(id)))
        << "differs from " << sources.at(id);

    // The packed file carries the version the catalogue expects of it; the help file none.
    const auto version = glimra::PayloadVersion(i);
    std::string error;
    const auto payload = sim::PeImage::Parse(result.data, &error);
    if (!version) {
      EXPECT_FALSE(payload.has_value());
      EXPECT_TRUE(result.data.size() > 4 &&
                  std::equal(result.data.begin(), result.data.begin() + 4, "ITSF"));
    } else {
      ASSERT_TRUE(payload.has_value()) << error;
      const auto tree = payload->Resources(&error);
      ASSERT_TRUE(tree.has_value()) << error;
      const auto info = std::find_if(tree->begin(), tree->end(), [](const sim::PeResource& r) {
        return r.type == sim::PeResourceKey::Id(kRtVersion);
      });
      ASSERT_NE(info, tree->end());
      const auto parsed = sim::ParseVersionInfo(info->data, &error);
      ASSERT_TRUE(parsed && parsed->fixed) << error;
      EXPECT_EQ(parsed->fixed->fileVersionMS, std::uint32_t{version->major} << 16 | version->minor);
      EXPECT_EQ(parsed->fixed->fileVersionLS,
                std::uint32_t{version->build} << 16 | version->revision);
    }
    expanded[id] = std::move(result.data);
  }
  // The same library goes into the application folder and the video-editing folder.
  EXPECT_TRUE(expanded[401] == expanded[406]);
  EXPECT_FALSE(expanded[409] == expanded[410]) << "each language has its own help file";
}

TEST_F(ProgramResources, ImportsSystemDllsOnly) {
  std::string error;
  const auto dlls = image_->ImportedDlls(&error);
  ASSERT_TRUE(dlls.has_value()) << error;
  EXPECT_FALSE(dlls->empty());
  const std::set<std::string> system{
      "kernel32.dll", "user32.dll",   "advapi32.dll", "shell32.dll",  "shlwapi.dll",  "version.dll",
      "lz32.dll",     "comctl32.dll", "gdi32.dll",    "ole32.dll",    "oleaut32.dll", "msvcrt.dll",
      "ntdll.dll",    "uxtheme.dll",  "ucrtbase.dll", "rstrtmgr.dll", "userenv.dll"};
  for (std::string name : *dlls) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool apiSet = name.starts_with("api-ms-win-crt-") || name.starts_with("api-ms-win-core-");
    EXPECT_TRUE(system.contains(name) || apiSet) << name << " is not a system DLL";
  }
}

}  // namespace
