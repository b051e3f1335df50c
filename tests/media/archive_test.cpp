// The block walk, name matching, stored entries and every failure path of the archive reader.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "media/archive.h"
#include "media/resource_blob.h"
#include "media/archive_builder.h"

using namespace media_test;

namespace {

bool Extract(const Bytes& archive, const std::string& name, std::string* text = nullptr,
             const std::string& password = "") {
    media::ResourceBlob blob = media::BlobOverBytes(archive.data(), archive.size());
    media::MemFile file;
    const bool ok = media::ExtractFile(blob, name, file, password);
    if (!ok) {
        EXPECT_EQ(file.data, nullptr);
        EXPECT_EQ(file.size, 0u);
    }
    if (ok && text) text->assign(reinterpret_cast<const char*>(file.data), file.size);
    media::FreeMemFile(file);
    return ok;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

const std::string kData = GRIM_SOURCE_DIR "/tests/media/data/";

Bytes DigitsLike() {
    Entry dir = StoredEntry("Digits", "");
    dir.flags |= media::rar::kFileDirectory;
    return Archive({dir, StoredEntry("Digits\\digit_0.jpg", "zero"), StoredEntry("Meshes\\fire.EMD", "fire!")});
}

}  // namespace

TEST(MediaArchive, NamesMatchInAnyCaseWithEitherSeparator) {
    const Bytes a = DigitsLike();
    std::string text;
    for (const char* name : {"Digits\\digit_0.JPG", "digits/DIGIT_0.jpg", "Digits_digit_0.jpg"}) {
        ASSERT_TRUE(Extract(a, name, &text)) << name;
        EXPECT_EQ(text, "zero");
    }
    for (const char* name : {"Meshes/fire.EMD", "meshes\\FIRE.emd", "Meshes_fire.EMD"}) {
        ASSERT_TRUE(Extract(a, name, &text)) << name;
        EXPECT_EQ(text, "fire!");
    }
    // Only ASCII letters fold; a prefix or a longer name is another name.
    EXPECT_FALSE(Extract(a, "Meshes/fire.EM"));
    EXPECT_FALSE(Extract(a, "Meshes/fire.EMDX"));
    EXPECT_FALSE(Extract(a, "Meshes/missing.EMD"));
}

TEST(MediaArchive, DirectoryEntryGivesEmptySuccess) {
    std::string text = "x";
    ASSERT_TRUE(Extract(DigitsLike(), "digits", &text));
    EXPECT_TRUE(text.empty());
}

TEST(MediaArchive, EmptyOrForeignBlobsFailEveryLookup) {
    media::ResourceBlob empty;
    media::MemFile file;
    EXPECT_FALSE(media::ExtractFile(empty, "Digits", file));
    EXPECT_FALSE(Extract(Bytes{}, "Digits"));
    EXPECT_FALSE(Extract(Bytes{'R', 'a', 'r', '!'}, "Digits"));                // short marker
    Bytes shortMain = DigitsLike();
    shortMain.resize(15);
    EXPECT_FALSE(Extract(shortMain, "Digits"));                                  // short main header
    Bytes old = DigitsLike();
    std::memcpy(old.data(), "RE~^\0\0\0", 7);
    EXPECT_FALSE(Extract(old, "Digits"));                                        // old format
    Bytes unique = DigitsLike();
    std::memcpy(unique.data(), "UniquE!", 7);
    EXPECT_TRUE(Extract(unique, "Digits\\digit_0.jpg"));                         // alternative marker
    const media::ResourceBlob missing = media::OpenMediaBlob(999);
    EXPECT_EQ(missing.data, nullptr);
    EXPECT_EQ(missing.size, 0u);
    EXPECT_EQ(missing.offset, 0u);
}

TEST(MediaArchive, CarriedArchiveOpensAsIndependentViews) {
    media::ResourceBlob a = media::OpenMediaBlob(453), b = media::OpenMediaBlob(453);
    if (a.data == nullptr) GTEST_SKIP() << "this build carries no media archive";
    EXPECT_EQ(a.data, b.data);
    EXPECT_EQ(a.size, b.size);
    a.offset = 100;
    EXPECT_EQ(b.offset, 0u);
}

TEST(MediaArchive, EveryCarriedEntryExtracts) {
    for (int id : {452, 453}) {
        media::ResourceBlob blob = media::OpenMediaBlob(id);
        if (blob.data == nullptr) continue;
        for (const media::ArchiveEntry& e : media::MediaArchive::ListEntries(blob)) {
            media::MemFile file;
            ASSERT_TRUE(media::ExtractFile(blob, e.name, file)) << id << " " << e.name;
            EXPECT_EQ(file.size, e.unpSize) << e.name;
            media::FreeMemFile(file);
        }
    }
}

TEST(MediaArchive, BadContentsFail) {
    Entry bad = StoredEntry("a.txt", "hello");
    bad.crc ^= 1;
    EXPECT_FALSE(Extract(Archive({bad}), "a.txt"));

    Entry shortData = StoredEntry("a.txt", "hello");
    shortData.unpSize = 6;  // more than the data area holds
    EXPECT_FALSE(Extract(Archive({shortData}), "a.txt"));

    for (std::uint8_t ver : {12, 21}) {
        Entry e = StoredEntry("a.txt", "hello");
        e.unpVer = ver;
        EXPECT_FALSE(Extract(Archive({e}), "a.txt")) << int(ver);
    }
    Entry e13 = StoredEntry("a.txt", "hello");
    e13.unpVer = 13;
    EXPECT_TRUE(Extract(Archive({e13}), "a.txt"));

    // Data area cut off by the end of the blob.
    Bytes cut = Archive({StoredEntry("a.txt", "hello")}, false, false);
    cut.pop_back();
    EXPECT_FALSE(Extract(cut, "a.txt"));

    // Encrypted without a password.
    Entry enc = StoredEntry("a.txt", "hello");
    enc.flags |= media::rar::kFileEncrypted;
    EXPECT_FALSE(Extract(Archive({enc}), "a.txt"));

    EXPECT_FALSE(Extract(DigitsLike(), std::string(260, 'a')));
}

TEST(MediaArchive, WalkSkipsOtherBlocksAndStopsAtSubBlocksAndBadSizes) {
    // A comment-type block with a data area before the entry is skipped whole.
    Bytes a = Archive({});
    a.resize(a.size() - 7);
    Bytes other;
    Put16(other, 0);
    other.push_back(media::rar::kHeadComment);
    Put16(other, media::rar::kBlockHasData);
    Put16(other, 32);
    Put32(other, 40);
    other.resize(32 + 40, 0x74);  // data that looks like headers
    a.insert(a.end(), other.begin(), other.end());
    Bytes entry;
    PutFileBlock(entry, StoredEntry("b.txt", "bee"));
    a.insert(a.end(), entry.begin(), entry.end());
    std::string text;
    ASSERT_TRUE(Extract(a, "B.TXT", &text));
    EXPECT_EQ(text, "bee");

    // A sub-block ends the search even when the entry follows it.
    Bytes s = Archive({StoredEntry("a.txt", "a")}, false, false);
    Bytes sub;
    Put16(sub, 0);
    sub.push_back(media::rar::kHeadSub);
    Put16(sub, 0);
    Put16(sub, 32);
    sub.resize(32, 0);
    s.insert(s.end(), sub.begin(), sub.end());
    s.insert(s.end(), entry.begin(), entry.end());
    EXPECT_TRUE(Extract(s, "a.txt"));
    EXPECT_FALSE(Extract(s, "b.txt"));
    ASSERT_EQ(media::MediaArchive::ListEntries(media::BlobOverBytes(s.data(), s.size())).size(), 1u);

    // HeadSize below 7, a size that would wrap the walk, and a file header too small for its name.
    for (int variant = 0; variant < 3; ++variant) {
        Bytes v = Archive({}, false, false);
        Bytes blk;
        Put16(blk, 0);
        blk.push_back(variant == 2 ? media::rar::kHeadFile : media::rar::kHeadComment);
        Put16(blk, media::rar::kBlockHasData);
        Put16(blk, variant == 0 ? 6 : (variant == 1 ? 32 : 33));
        Put32(blk, variant == 1 ? 0xFFFFFFF0u : 0);
        blk.resize(26, 0);
        Put16(blk, 8);  // NameSize 8 > HeadSize − 32
        blk.resize(64, 0);
        v.insert(v.end(), blk.begin(), blk.end());
        v.insert(v.end(), entry.begin(), entry.end());
        EXPECT_FALSE(Extract(v, "b.txt")) << variant;
    }
}

// Archives written by another tool.
TEST(MediaArchivePeer, RegularArchiveReadsBothEntries) {
    const Bytes a = ReadFile(kData + "BoatModernEnglish-regular-unpack20.rar");
    ASSERT_FALSE(a.empty());
    std::string wav, license;
    ASSERT_TRUE(Extract(a, "BoatModernEnglish.wav", &wav));
    EXPECT_EQ(wav.size(), 56464u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    ASSERT_TRUE(Extract(a, "license.TXT", &license));
    EXPECT_EQ(license.size(), 107u);
}

TEST(MediaArchivePeer, EncryptedEntriesNeedTheirPassword) {
    for (const char* file : {"rar20-password-stored.rar", "rar20-password-compressed.rar"}) {
        const Bytes a = ReadFile(kData + file);
        ASSERT_FALSE(a.empty()) << file;
        std::string text;
        ASSERT_TRUE(Extract(a, "secret.txt", &text, "password")) << file;
        EXPECT_EQ(text.size(), 87u);
        EXPECT_EQ(text.rfind("RAR 1.5 and 2.0 legacy cipher fixture payload.", 0), 0u) << text;
        EXPECT_FALSE(Extract(a, "secret.txt", nullptr, "")) << file;
        EXPECT_FALSE(Extract(a, "secret.txt", nullptr, "Password")) << file;
        EXPECT_FALSE(Extract(a, "secret.txt", nullptr, std::string(256, 'p'))) << file;
    }
}

TEST(MediaArchivePeer, HostileArchivesFailCleanly) {
    const Bytes solid = ReadFile(kData + "v20-solid-negative-backref.rar");
    ASSERT_FALSE(solid.empty());
    EXPECT_EQ(media::MediaArchive::ListEntries(media::BlobOverBytes(solid.data(), solid.size())).size(), 2u);
    EXPECT_FALSE(Extract(solid, "f0"));
    EXPECT_FALSE(Extract(solid, "f1"));
    const Bytes voidDist = ReadFile(kData + "void-dist-v20.rar");
    ASSERT_FALSE(voidDist.empty());
    EXPECT_FALSE(Extract(voidDist, "void20"));
}
