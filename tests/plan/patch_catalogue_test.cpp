#include "plan/patch_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace glimra {
namespace {

std::uint64_t Key(const FileVersion& v) {
  return std::uint64_t{v.major} << 48 | std::uint64_t{v.minor} << 32 |
         std::uint64_t{v.build} << 16 | v.revision;
}

TEST(PatchCatalogue, RowsCarryTheirResourceIdUsableFlagsAndTheFixedTimestamp) {
  const auto& rows = PatchCatalogue();
  ASSERT_EQ(rows.size(), 34u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].resourceId, static_cast<std::int32_t>(401 + i));
    EXPECT_EQ(rows[i].forX86, 1);
    EXPECT_EQ(rows[i].forX64, 1);
    EXPECT_EQ(rows[i].timestamp, (PatchTimestamp{2013, 10, 22, 2, 0, 0, 0}));
    EXPECT_FALSE(rows[i].target.empty());
    EXPECT_EQ(rows[i].target.find(u'\\'), std::u16string::npos) << "a bare file name";
  }
}

TEST(PatchCatalogue, HelpRowsAreExactlyTheUnversionedRowsFrom409To421) {
  for (const PatchEntry& row : PatchCatalogue()) {
    SCOPED_TRACE(row.resourceId);
    const bool help =
        row.resourceId >= kFirstHelpResourceId && row.resourceId <= kLastHelpResourceId;
    EXPECT_EQ(row.checkFileVersion == 0, help);
    EXPECT_EQ(row.target == u"glm.chm", help);
    if (help) {
      EXPECT_EQ(row.folderId, row.resourceId - 405) << "409 is CHS (4), 421 is RUS (16)";
      EXPECT_EQ(row.minVersion, (FileVersion{3, 0, 0, 0}));
      EXPECT_EQ(row.maxVersion, (FileVersion{3, 3, 0, 0}));
      // Below the product version the update records, so a second run finds nothing to do.
      EXPECT_LT(Key(row.maxVersion), Key(FileVersion{3, 3, 0, 10220}));
    } else {
      EXPECT_EQ(row.minVersion, (FileVersion{0, 0, 0, 0}));
    }
  }
}

TEST(PatchCatalogue, EachUpperBoundLiesBelowItsPayloadsVersion) {
  const auto& rows = PatchCatalogue();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].resourceId);
    const auto payload = PayloadVersion(i);
    ASSERT_EQ(payload.has_value(), rows[i].checkFileVersion == 1);
    if (payload) {
      EXPECT_LT(Key(rows[i].maxVersion), Key(*payload));
    }
  }
  EXPECT_FALSE(PayloadVersion(34).has_value());
  // Rows 1 and 6 name the same library in two folders, with one payload.
  EXPECT_EQ(rows[0].target, rows[5].target);
  EXPECT_EQ(PayloadVersion(0), PayloadVersion(5));
  EXPECT_NE(rows[0].folderId, rows[5].folderId);
}

TEST(PatchFolderTable, EveryCatalogueFolderIdNamesOneUsableFolder) {
  const PatchFolderTable folders = MakePatchFolderTable();
  ASSERT_EQ(folders.size(), 16u);
  for (std::size_t i = 0; i < folders.size(); ++i) {
    EXPECT_EQ(folders[i].folderId, static_cast<std::int32_t>(i + 1));
    EXPECT_EQ(folders[i].forX86, 1u);
    EXPECT_EQ(folders[i].forX64, 1u);
  }
  for (const PatchEntry& row : PatchCatalogue()) {
    const auto matches = std::count_if(folders.begin(), folders.end(), [&](const PatchFolder& f) {
      return f.folderId == row.folderId;
    });
    EXPECT_EQ(matches, 1) << row.resourceId;
    EXPECT_NE(row.folderId, kHelpFolderId) << "no row targets the help folder itself";
  }
}

TEST(PatchFolderTable, TailsAreTheLanguageTagsWithTheirOwnSeparator) {
  const PatchFolderTable folders = MakePatchFolderTable();
  const char16_t* const expected[] = {u"",      u"",      u"",      u"\\CHS", u"\\CHT", u"\\DEU",
                                      u"\\ENU", u"\\ESP", u"\\FRA", u"\\ITA", u"\\JPN", u"\\KOR",
                                      u"\\NLD", u"\\PLK", u"\\PTB", u"\\RUS"};
  for (std::size_t i = 0; i < folders.size(); ++i) EXPECT_EQ(folders[i].path, expected[i]) << i;
}

}  // namespace
}  // namespace glimra
