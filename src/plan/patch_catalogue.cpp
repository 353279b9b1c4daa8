#include "plan/patch_catalogue.h"

namespace glimra {
namespace {

// One line per row: the row's own fields, then the version its payload carries.
struct CatalogueLine {
  std::int32_t resourceId;
  const char16_t* target;
  std::int32_t folderId;
  plat::BYTE checkFileVersion;
  FileVersion minVersion;
  FileVersion maxVersion;
  std::optional<FileVersion> payloadVersion;
};

constexpr FileVersion kZero{0, 0, 0, 0};
constexpr FileVersion kProduct300{3, 0, 0, 0};
constexpr FileVersion kProduct330{3, 3, 0, 0};
constexpr FileVersion kLanguageLibrary{3, 3, 0, 10080};
constexpr std::nullopt_t kHelpFile = std::nullopt;  // compiled help, no version information

// clang-format off
constexpr std::array<CatalogueLine, kPatchCatalogueSize> kLines{{
  {401, u"GpuProbe.dll",        1, 1, kZero,       {4, 1, 0, 14000}, FileVersion{4, 1, 0, 14180}},
  {402, u"LumeoUpdate.dll",     1, 1, kZero,       kProduct330,      FileVersion{3, 3, 0, 10220}},
  {403, u"GlmStudio.exe",       1, 1, kZero,       kProduct330,      FileVersion{3, 3, 0, 10220}},
  {404, u"GLMTask.exe",         1, 1, kZero,       kProduct330,      FileVersion{3, 3, 0, 10220}},
  {405, u"MRLVideoCore.dll",    1, 1, kZero,       {3, 2, 0, 0},     FileVersion{3, 2, 0, 7040}},
  {406, u"GpuProbe.dll",        2, 1, kZero,       {4, 1, 0, 14100}, FileVersion{4, 1, 0, 14180}},
  {407, u"corvanevdec.dll",     2, 1, kZero,       {5, 0, 2, 16100}, FileVersion{5, 0, 2, 16170}},
  {408, u"corvaneplay.dll",     2, 1, kZero,       {5, 2, 2, 1152},  FileVersion{5, 2, 2, 2210}},
  {409, u"glm.chm",             4, 0, kProduct300, kProduct330,      kHelpFile},
  {410, u"glm.chm",             5, 0, kProduct300, kProduct330,      kHelpFile},
  {411, u"glm.chm",             6, 0, kProduct300, kProduct330,      kHelpFile},
  {412, u"glm.chm",             7, 0, kProduct300, kProduct330,      kHelpFile},
  {413, u"glm.chm",             8, 0, kProduct300, kProduct330,      kHelpFile},
  {414, u"glm.chm",             9, 0, kProduct300, kProduct330,      kHelpFile},
  {415, u"glm.chm",            10, 0, kProduct300, kProduct330,      kHelpFile},
  {416, u"glm.chm",            11, 0, kProduct300, kProduct330,      kHelpFile},
  {417, u"glm.chm",            12, 0, kProduct300, kProduct330,      kHelpFile},
  {418, u"glm.chm",            13, 0, kProduct300, kProduct330,      kHelpFile},
  {419, u"glm.chm",            14, 0, kProduct300, kProduct330,      kHelpFile},
  {420, u"glm.chm",            15, 0, kProduct300, kProduct330,      kHelpFile},
  {421, u"glm.chm",            16, 0, kProduct300, kProduct330,      kHelpFile},
  {422, u"MrlBrazil.dll",       1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {423, u"MrlEnglish.dll",      1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {424, u"MrlFrench.dll",       1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {425, u"MrlGerman.dll",       1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {426, u"MrlItaly.dll",        1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {427, u"MrlJapan.dll",        1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {428, u"MrlKorea.dll",        1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {429, u"MrlNetherlands.dll",  1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {430, u"MrlPoland.dll",       1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {431, u"MrlRussian.dll",      1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {432, u"MrlSChinese.dll",     1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {433, u"MrlSpain.dll",        1, 1, kZero,       kProduct330,      kLanguageLibrary},
  {434, u"MrlTChinese.dll",     1, 1, kZero,       kProduct330,      kLanguageLibrary},
}};

// Help folder sub-folders: the 13 languages of the message catalogue, by three-letter tag.
constexpr std::array<const char16_t*, kPatchFolderCount> kFolderTails{{
  u"", u"", u"",
  u"\\CHS", u"\\CHT", u"\\DEU", u"\\ENU", u"\\ESP", u"\\FRA", u"\\ITA",
  u"\\JPN", u"\\KOR", u"\\NLD", u"\\PLK", u"\\PTB", u"\\RUS",
}};
// clang-format on

PatchCatalogueTable BuildCatalogue() {
  PatchCatalogueTable table;
  for (std::size_t i = 0; i < kLines.size(); ++i) {
    const CatalogueLine& line = kLines[i];
    PatchEntry& entry = table[i];
    entry.forX86 = 1;
    entry.forX64 = 1;
    entry.checkFileVersion = line.checkFileVersion;
    entry.folderId = line.folderId;
    entry.resourceId = line.resourceId;
    entry.target = line.target;
    entry.timestamp = kPatchTimestamp;
    entry.minVersion = line.minVersion;
    entry.maxVersion = line.maxVersion;
  }
  return table;
}

}  // namespace

const PatchCatalogueTable& PatchCatalogue() {
  static const PatchCatalogueTable table = BuildCatalogue();
  return table;
}

std::optional<FileVersion> PayloadVersion(std::size_t index) {
  if (index >= kLines.size()) return std::nullopt;
  return kLines[index].payloadVersion;
}

PatchFolderTable MakePatchFolderTable() {
  PatchFolderTable table;
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i].forX86 = 1;
    table[i].forX64 = 1;
    table[i].folderId = static_cast<std::int32_t>(i + 1);
    table[i].path = kFolderTails[i];
  }
  return table;
}

}  // namespace glimra
