// The archive writer against the program's own reader: everything packed comes back byte-exact.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "media/archive.h"
#include "media/crc32.h"
#include "media/rar_format.h"
#include "media/writer/archive_writer.h"
#include "media/writer/compressor.h"
#include "test_data.h"

namespace {

using namespace media_writer_test;
using media::writer::ArchiveOptions;
using media::writer::ArchiveWriter;

Bytes Pack(const std::vector<NamedFile>& files, const ArchiveOptions& options) {
    ArchiveWriter writer(options);
    for (const NamedFile& f : files) writer.AddFile(f.name, f.data);
    return writer.Finish();
}

void ExpectRoundTrip(const Bytes& archive, const std::vector<NamedFile>& files) {
    for (const NamedFile& f : files) {
        media::ResourceBlob blob = media::BlobOverBytes(archive.data(), archive.size());
        media::MemFile out;
        ASSERT_TRUE(media::ExtractFile(blob, f.name, out)) << f.name;
        ASSERT_EQ(out.size, f.data.size()) << f.name;
        EXPECT_TRUE(f.data.empty() || std::equal(f.data.begin(), f.data.end(), out.data)) << f.name;
        media::FreeMemFile(out);
    }
}

struct Mode {
    const char* name;
    bool store, solid;
};

class RoundTrip : public ::testing::TestWithParam<Mode> {};

TEST_P(RoundTrip, MixedSetComesBackExact) {
    const auto files = MixedSet();
    ArchiveOptions options;
    options.store = GetParam().store;
    options.solid = GetParam().solid;
    const Bytes archive = Pack(files, options);
    ExpectRoundTrip(archive, files);
    // Looked up in reverse too: in a solid archive every lookup decodes the chain from the start.
    std::vector<NamedFile> reversed(files.rbegin(), files.rend());
    ExpectRoundTrip(archive, reversed);
}

TEST_P(RoundTrip, ManySmallFiles) {
    std::vector<NamedFile> files;
    for (int i = 0; i < 150; ++i)
        files.push_back({"Many/file_" + std::to_string(i) + ".txt", Text(20 + (i * 37) % 900, 100 + i)});
    ArchiveOptions options;
    options.store = GetParam().store;
    options.solid = GetParam().solid;
    ExpectRoundTrip(Pack(files, options), files);
}

INSTANTIATE_TEST_SUITE_P(Modes, RoundTrip,
                         ::testing::Values(Mode{"stored", true, false}, Mode{"compressed", false, false},
                                           Mode{"solid", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Checks every header of an archive: CRCs, fields, the block chain up to the end block.
struct Walked {
    std::vector<std::string> names;
    std::vector<std::uint16_t> flags;
    std::vector<std::uint8_t> methods;
    std::uint16_t main_flags = 0;
};

std::uint32_t U16(const Bytes& b, std::size_t o) { return b[o] | b[o + 1] << 8; }
std::uint32_t U32(const Bytes& b, std::size_t o) { return U16(b, o) | U16(b, o + 2) << 16; }

Walked WalkHeaders(const Bytes& a) {
    Walked w;
    EXPECT_TRUE(std::equal(media::rar::kMarker.begin(), media::rar::kMarker.end(), a.begin()));
    std::size_t pos = 7;
    EXPECT_EQ(U16(a, pos), media::FileCrc32(&a[pos + 2], 11) & 0xFFFF) << "main header CRC";
    w.main_flags = static_cast<std::uint16_t>(U16(a, pos + 3));
    pos += U16(a, pos + 5);
    for (;;) {
        const std::uint32_t head_size = U16(a, pos + 5);
        EXPECT_EQ(U16(a, pos), media::FileCrc32(&a[pos + 2], head_size - 2) & 0xFFFF) << "header CRC at " << pos;
        if (a[pos + 2] == media::rar::kHeadEnd) {
            EXPECT_EQ(pos + 7, a.size());
            break;
        }
        EXPECT_EQ(a[pos + 2], media::rar::kHeadFile);
        EXPECT_EQ(a[pos + 15], media::rar::kHostWin32);
        EXPECT_EQ(a[pos + 24], 20);
        const std::uint32_t name_size = U16(a, pos + 26);
        EXPECT_EQ(head_size, 32 + name_size);
        w.names.emplace_back(reinterpret_cast<const char*>(&a[pos + 32]), name_size);
        w.flags.push_back(static_cast<std::uint16_t>(U16(a, pos + 3)));
        w.methods.push_back(a[pos + 25]);
        pos += head_size + U32(a, pos + 7);
        if (pos >= a.size()) {
            ADD_FAILURE() << "no end block";
            break;
        }
    }
    return w;
}

TEST(ArchiveWriter, HeadersAreValidAndMethodsFollowTheOptions) {
    const std::vector<NamedFile> files = {{"a/b.txt", Text(3000, 1)}, {"c.bin", {}}, {"d.txt", Text(100, 2)}};
    ArchiveOptions stored;
    stored.store = true;
    Walked w = WalkHeaders(Pack(files, stored));
    EXPECT_EQ(w.names, (std::vector<std::string>{"a\\b.txt", "c.bin", "d.txt"}));
    EXPECT_EQ(w.methods, (std::vector<std::uint8_t>{0x30, 0x30, 0x30}));
    EXPECT_EQ(w.main_flags & media::rar::kMainSolid, 0);

    ArchiveOptions solid;
    solid.solid = true;
    w = WalkHeaders(Pack(files, solid));
    EXPECT_NE(w.main_flags & media::rar::kMainSolid, 0);
    // The empty file is stored; the first compressed entry starts the stream, later ones continue it.
    EXPECT_EQ(w.methods, (std::vector<std::uint8_t>{0x33, 0x30, 0x33}));
    EXPECT_EQ(w.flags[0] & media::rar::kFileSolid, 0);
    EXPECT_NE(w.flags[2] & media::rar::kFileSolid, 0);
}

TEST(ArchiveWriter, SameInputSameBytes) {
    const auto files = MixedSet();
    ArchiveOptions options;
    options.solid = true;
    EXPECT_EQ(Pack(files, options), Pack(files, options));
}

TEST(ArchiveWriter, BadNamesAreRefused) {
    ArchiveWriter writer;
    EXPECT_THROW(writer.AddFile("", Bytes{1}), std::invalid_argument);
    EXPECT_THROW(writer.AddFile(std::string(260, 'x'), Bytes{1}), std::invalid_argument);
    EXPECT_NO_THROW(writer.AddFile(std::string(259, 'x'), Bytes{1}));
}

TEST(PackDirectory, TreeWithDirectoriesAndEmptyFolderGivesEmptyArchive) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("media_writer_tree_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "Meshes" / "Sub");
    fs::create_directories(root / "Texture");
    const Bytes mesh = Text(5000, 9);
    std::ofstream(root / "Meshes" / "Sub" / "orc.EMD", std::ios::binary)
        .write(reinterpret_cast<const char*>(mesh.data()), static_cast<std::streamsize>(mesh.size()));
    std::ofstream(root / "Meshes" / "a.txt") << "x";
    std::ofstream(root / "Texture" / "empty.jpg");

    for (bool solid : {false, true}) {
        ArchiveOptions options;
        options.solid = solid;
        const Bytes archive = media::writer::PackDirectory(root, options);
        const Walked w = WalkHeaders(archive);
        if (!solid) {
            EXPECT_EQ(w.names, (std::vector<std::string>{"Meshes", "Meshes\\Sub", "Meshes\\Sub\\orc.EMD",
                                                         "Meshes\\a.txt", "Texture", "Texture\\empty.jpg"}));
        }
        ExpectRoundTrip(archive, {{"meshes/sub/ORC.emd", mesh}, {"Meshes\\a.txt", {'x'}}, {"Texture/empty.jpg", {}},
                                  {"Meshes", {}}});
    }

    // Missing and empty folders: marker, main header and end block only; every lookup fails.
    fs::create_directories(root / "Nothing");
    for (const fs::path& dir : {root / "Nothing", root / "Missing"}) {
        const Bytes archive = media::writer::PackDirectory(dir, {});
        EXPECT_EQ(archive.size(), 7u + 13u + 7u);
        media::ResourceBlob blob = media::BlobOverBytes(archive.data(), archive.size());
        media::MemFile out;
        EXPECT_FALSE(media::ExtractFile(blob, "anything", out));
    }
    fs::remove_all(root);
}

TEST(Compressor, AudioModeIsChosenForSamplesAndPays) {
    media::writer::Compressor with_audio;
    const Bytes pcm = Pcm(30000, 16, 2, 3);
    const auto a = with_audio.CompressEntry(pcm, false);
    EXPECT_GT(with_audio.LastStats().audio_tables, 0u);
    media::writer::CompressorOptions no_audio_options;
    no_audio_options.audio = false;
    media::writer::Compressor no_audio(no_audio_options);
    const auto b = no_audio.CompressEntry(pcm, false);
    EXPECT_EQ(no_audio.LastStats().audio_tables, 0u);
    EXPECT_LT(a.size(), b.size());

    media::writer::Compressor text;
    text.CompressEntry(Text(50000, 4), false);
    EXPECT_EQ(text.LastStats().audio_tables, 0u);
}

TEST(Compressor, RedundantDataShrinksAndRandomDataBarelyGrows) {
    media::writer::Compressor c;
    EXPECT_LT(c.CompressEntry(Bytes(200000, 7), false).size(), 1000u);
    EXPECT_LT(c.CompressEntry(Text(100000, 5), false).size(), 40000u);
    EXPECT_LT(c.CompressEntry(RandomBytes(100000, 6), false).size(), 100000u * 101 / 100);
}

}  // namespace
