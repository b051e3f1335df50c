// The digits archive the build packs from resources/digits/: one directory entry and the fifteen
// clock glyphs, stored, each found under the name the overlay asks for and proved by its CRC.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "media/archive.h"
#include "tests/resources/content_util.h"

namespace {

using content_test::Carried;
using content_test::ReadSourceFile;

const char* const kGlyphs[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
                               "ddot", "dot", "A", "M", "P"};

TEST(DigitsArchive, ListsTheDirectoryAndFifteenStoredGlyphs) {
    std::vector<std::uint8_t> bytes = Carried("MediaData", 452);
    ASSERT_FALSE(bytes.empty()) << "the build must pack resources/digits/ into MediaData 452";
    std::vector<media::ArchiveEntry> entries =
        media::MediaArchive::ListEntries(media::BlobOverBytes(bytes.data(), bytes.size()));
    ASSERT_EQ(entries.size(), 16u);
    std::vector<std::string> names;
    for (const media::ArchiveEntry& e : entries) {
        names.push_back(e.name);
        if (e.name != "Digits") {
            EXPECT_EQ(e.method, 0x30) << e.name << " must be stored";
        }
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "Digits"), names.end());
    for (const char* g : kGlyphs) {
        std::string stored = std::string("Digits\\digit_") + g + ".jpg";
        EXPECT_NE(std::find(names.begin(), names.end(), stored), names.end()) << stored;
    }
}

TEST(DigitsArchive, EveryGlyphExtractsUnderTheOverlaysNameWithItsCommittedBytes) {
    std::vector<std::uint8_t> bytes = Carried("MediaData", 452);
    ASSERT_FALSE(bytes.empty()) << "the build must pack resources/digits/ into MediaData 452";
    for (const char* g : kGlyphs) {
        // The overlay asks with an upper-case extension; the lookup ignores case and proves the CRC.
        std::string asked = std::string("Digits\\digit_") + g + ".JPG";
        SCOPED_TRACE(asked);
        media::ResourceBlob blob = media::BlobOverBytes(bytes.data(), bytes.size());
        media::MemFile file;
        ASSERT_TRUE(media::ExtractFile(blob, asked, file));
        std::vector<std::uint8_t> got(file.data, file.data + file.size);
        media::FreeMemFile(file);
        EXPECT_EQ(got, ReadSourceFile(std::string("resources/digits/Digits/digit_") + g + ".jpg"));
    }
}

}  // namespace
