#include "standins/payload_standins.h"

#include <array>
#include <string_view>

#include "plan/patch_catalogue.h"
#include "standins/standin_pe.h"

namespace standins {
namespace {

struct SizeLine {
  std::u16string_view fileName;
  std::size_t size;
};

// Sizes in the range of the product's own files.
constexpr std::array<SizeLine, 8> kSizes{{
    {u"GlmStudio.exe", 1'540'000},
    {u"GLMTask.exe", 618'000},
    {u"MRLVideoCore.dll", 1'310'000},
    {u"corvanevdec.dll", 905'000},
    {u"corvaneplay.dll", 764'000},
    {u"LumeoUpdate.dll", 412'000},
    {u"GpuProbe.dll", 322'000},
    {u"glm.chm", 452'000},
}};
constexpr std::size_t kLanguageLibrarySize = 268'000;

std::size_t BaseSize(std::u16string_view fileName) {
  for (const SizeLine& line : kSizes) {
    if (line.fileName == fileName) return line.size;
  }
  return kLanguageLibrarySize;
}

std::string Narrow(std::u16string_view text) {
  return std::string(text.begin(), text.end());
}

}  // namespace

std::string PayloadSourceName(std::size_t index) {
  const glimra::PatchEntry& row = glimra::PatchCatalogue().at(index);
  return std::to_string(row.resourceId) + "-" + Narrow(row.target);
}

std::vector<std::uint8_t> MakePayloadStandIn(std::size_t index) {
  const glimra::PatchEntry& row = glimra::PatchCatalogue().at(index);
  const std::u16string_view name = row.target;
  const auto version = glimra::PayloadVersion(index);
  if (!version) {
    // One help file per language folder, each a little different in size and text.
    const auto language = static_cast<std::size_t>(row.folderId - glimra::kHelpFolderId);
    return MakeHelpFile(BaseSize(name) + language * 23'000,
                        static_cast<std::uint32_t>(row.folderId));
  }
  PeOptions options;
  options.dll = !name.ends_with(u".exe");
  options.fileVersion = {version->major, version->minor, version->build, version->revision};
  options.productVersion = DefaultProductVersion(options.fileVersion);
  options.originalFilename = std::u16string(name);
  // Language libraries differ in size by their name, as translations do.
  options.minimumSize =
      BaseSize(name) + (BaseSize(name) == kLanguageLibrarySize ? (name.size() % 7) * 21'000 : 0);
  return MakePeFile(options);
}

}  // namespace standins
