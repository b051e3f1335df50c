// The writer stores files that would not shrink (in compressed, non-solid archives) and still
// compresses everything else; either way every entry reads back exact.
#include <gtest/gtest.h>

#include <map>

#include "media/archive.h"
#include "media/rar_format.h"
#include "media/writer/archive_writer.h"
#include "test_data.h"

namespace {

using namespace media_writer_test;
using media::writer::ArchiveOptions;
using media::writer::ArchiveWriter;

struct Packed {
    Bytes archive;
    std::map<std::string, std::uint8_t> methods;
    std::size_t stored_by_choice = 0;
};

Packed Pack(const std::vector<NamedFile>& files, const ArchiveOptions& options) {
    ArchiveWriter writer(options);
    for (const NamedFile& f : files) writer.AddFile(f.name, f.data);
    Packed p;
    p.stored_by_choice = writer.StoredByChoice();
    p.archive = writer.Finish();
    media::ResourceBlob blob = media::BlobOverBytes(p.archive.data(), p.archive.size());
    for (const media::ArchiveEntry& e : media::MediaArchive::ListEntries(blob)) p.methods[e.name] = e.method;
    for (const NamedFile& f : files) {
        media::MemFile out;
        EXPECT_TRUE(media::ExtractFile(blob, f.name, out)) << f.name;
        EXPECT_TRUE(out.size == f.data.size() && std::equal(f.data.begin(), f.data.end(), out.data)) << f.name;
        media::FreeMemFile(out);
    }
    return p;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<NamedFile> Files() {
    return {
        {"big_random.jpg", RandomBytes(150000, 1)},                              // probe: store
        {"small_random.ogg", RandomBytes(20000, 2)},                             // packed whole, no gain: store
        {"text.txt", Text(100000, 3)},                                           // compress
        {"image.tga", Image(128, 128, 4)},                                       // compress
        {"half.bin", Concat(Text(70000, 5), RandomBytes(70000, 6))},           // half shrinks: compress
        {"header_then_noise.jpg", Concat(Text(2000, 7), RandomBytes(150000, 8))}, // store
    };
}

TEST(StoreChoice, IncompressibleFilesAreStoredTheRestCompressed) {
    const Packed p = Pack(Files(), ArchiveOptions{});
    using media::rar::kMethodNormal;
    using media::rar::kMethodStore;
    EXPECT_EQ(p.methods.at("big_random.jpg"), kMethodStore);
    EXPECT_EQ(p.methods.at("small_random.ogg"), kMethodStore);
    EXPECT_EQ(p.methods.at("header_then_noise.jpg"), kMethodStore);
    EXPECT_EQ(p.methods.at("text.txt"), kMethodNormal);
    EXPECT_EQ(p.methods.at("image.tga"), kMethodNormal);
    EXPECT_EQ(p.methods.at("half.bin"), kMethodNormal);
    EXPECT_EQ(p.stored_by_choice, 3u);
    EXPECT_EQ(p.archive, Pack(Files(), ArchiveOptions{}).archive) << "not deterministic";
}

TEST(StoreChoice, OffOrSolidCompressesEverything) {
    ArchiveOptions all;
    all.store_incompressible = false;
    ArchiveOptions solid;
    solid.solid = true;
    for (const ArchiveOptions& o : {all, solid}) {
        const Packed p = Pack(Files(), o);
        EXPECT_EQ(p.stored_by_choice, 0u);
        for (const auto& [name, method] : p.methods) EXPECT_EQ(method, media::rar::kMethodNormal) << name;
    }
}

TEST(StoreChoice, ProbeLooksPastTheStartOfTheFile) {
    // A compressible header (a JPEG's tables) does not make the noise after it worth packing.
    EXPECT_FALSE(media::writer::ProbeSaysCompress(Concat(Text(1000, 9), RandomBytes(500000, 10)), {}));
    // Compressible only at the end.
    EXPECT_TRUE(media::writer::ProbeSaysCompress(Concat(RandomBytes(300000, 11), Text(300000, 12)), {}));
    EXPECT_TRUE(media::writer::ProbeSaysCompress(RandomBytes(1000, 13), {})) << "small files are packed whole";
}

}  // namespace
