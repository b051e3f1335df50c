// The shipped images and music, read back from the program's resource table: each one is carried
// under its type and id with exactly the committed bytes, and is in the format and size its reader
// expects (decoded for real where a wrong file would otherwise slip through).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <vorbis/vorbisfile.h>

#include "tests/resources/content_util.h"

namespace {

using content_test::Bytes;
using content_test::Carried;
using content_test::ReadSourceFile;

struct Shipped {
    const char* type;
    int id;
    const char* path;
};

const Shipped kShipped[] = {
    {"CustomData", 482, "resources/loading/background.jpg"},
    {"CustomData", 485, "resources/loading/title.tga"},
    {"CustomData", 486, "resources/loading/blank_486.tga"},
    {"CustomData", 487, "resources/loading/blank_487.tga"},
    {"CustomData", 488, "resources/loading/blank_488.tga"},
    {"SOUND", 477, "resources/music/track_a.ogg"},
    {"SOUND", 478, "resources/music/track_b.ogg"},
    {"SOUND", 236, "resources/music/track_c.ogg"},
    {"BITMAP", 432, "resources/pictures/preview.bmp"},
    {"BITMAP", 437, "resources/pictures/about.bmp"},
    {"ICON", 224, "resources/pictures/icon.bmp"},
};

TEST(ShippedContent, EveryFileIsCarriedUnderItsTypeAndId) {
    for (const Shipped& s : kShipped) {
        SCOPED_TRACE(std::string(s.type) + " " + std::to_string(s.id));
        std::vector<std::uint8_t> file = ReadSourceFile(s.path);
        ASSERT_FALSE(file.empty()) << s.path;
        EXPECT_EQ(Carried(s.type, s.id), file);
    }
    // Type names are matched without case, as resource types are.
    EXPECT_EQ(Carried("sound", 477), ReadSourceFile("resources/music/track_a.ogg"));
}

// ---------------------------------------------------------------------------------------- JPEG

struct Decoded {
    int width = 0, height = 0, components = 0;
    bool progressive = true;
    std::vector<std::uint8_t> pixels;
};

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

bool DecodeJpeg(const std::vector<std::uint8_t>& bytes, Decoded& out) {
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); };
    err.mgr.output_message = [](j_common_ptr) {};
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    out.progressive = cinfo.progressive_mode;
    out.components = cinfo.num_components;
    cinfo.out_color_space = JCS_GRAYSCALE;  // brightness is what the overlay uses
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.pixels.data() + static_cast<std::size_t>(cinfo.output_scanline) * out.width;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

TEST(ShippedContent, LoadingBackgroundIsA512SquareBaselineJpeg) {
    Decoded img;
    ASSERT_TRUE(DecodeJpeg(Carried("CustomData", 482), img));
    EXPECT_EQ(img.width, 512);
    EXPECT_EQ(img.height, 512);
    EXPECT_EQ(img.components, 3);
    EXPECT_FALSE(img.progressive);
}

const char* const kGlyphFiles[] = {"digit_0", "digit_1", "digit_2", "digit_3", "digit_4",
                                   "digit_5", "digit_6", "digit_7", "digit_8", "digit_9",
                                   "digit_ddot", "digit_dot", "digit_A", "digit_M", "digit_P"};

// The overlay darkens by the glyph's brightness and then adds it: a glyph must be light ink on a
// black cell, or the clock would draw solid boxes. All glyphs share one cell size and baseline.
TEST(ShippedContent, ClockGlyphsAreLightInkOnBlackWithOneBaseline) {
    int bottom_of_digits = -1;
    for (const char* name : kGlyphFiles) {
        SCOPED_TRACE(name);
        Decoded img;
        ASSERT_TRUE(DecodeJpeg(ReadSourceFile(std::string("resources/digits/Digits/") + name + ".jpg"), img));
        EXPECT_EQ(img.width, 128);
        EXPECT_EQ(img.height, 128);
        EXPECT_FALSE(img.progressive);
        int peak = 0, ink = 0, bottom = 0;
        long edge_sum = 0;
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                int v = img.pixels[static_cast<std::size_t>(y) * img.width + x];
                peak = std::max(peak, v);
                if (v > 128) { ++ink; bottom = std::max(bottom, y); }
                if (x < 4 || y < 4 || x >= img.width - 4 || y >= img.height - 4) edge_sum += v;
            }
        EXPECT_GE(peak, 220);
        EXPECT_LT(edge_sum / (4 * 4 * 124), 8) << "the cell border must be black";
        EXPECT_GT(ink, 40);
        EXPECT_LT(ink, img.width * img.height / 3);
        // Digits and letters sit on one baseline (within a pixel of rounding): the bottom row of
        // the ink is the same for all but the colon, whose lower dot sits above it.
        if (std::strcmp(name, "digit_ddot") != 0) {
            if (bottom_of_digits < 0) bottom_of_digits = bottom;
            EXPECT_NEAR(bottom, bottom_of_digits, 2);
        }
    }
}

// ---------------------------------------------------------------------------------------- TGA

struct Tga {
    int width = 0, height = 0, bits = 0, alpha_bits = 0, type = 0;
    std::size_t pixel_offset = 0;
};

bool ReadTga(const std::vector<std::uint8_t>& b, Tga& t) {
    Bytes r{b};
    t.type = static_cast<int>(r.U8(2));
    t.width = static_cast<int>(r.U16(12));
    t.height = static_cast<int>(r.U16(14));
    t.bits = static_cast<int>(r.U8(16));
    t.alpha_bits = static_cast<int>(r.U8(17) & 0x0F);
    t.pixel_offset = 18 + r.U8(0);
    return r.ok && r.U8(1) == 0;  // no colour map
}

TEST(ShippedContent, LoadingTgasAreUncompressed32BitWithAlpha) {
    struct Want { int id, w, h; };
    for (Want want : {Want{485, 256, 128}, Want{486, 1, 1}, Want{487, 1, 1}, Want{488, 1, 1}}) {
        SCOPED_TRACE(want.id);
        std::vector<std::uint8_t> b = Carried("CustomData", want.id);
        Tga t;
        ASSERT_TRUE(ReadTga(b, t));
        EXPECT_EQ(t.type, 2);  // uncompressed true colour
        EXPECT_EQ(t.bits, 32);
        EXPECT_EQ(t.alpha_bits, 8);
        EXPECT_EQ(t.width, want.w);
        EXPECT_EQ(t.height, want.h);
        ASSERT_EQ(b.size(), t.pixel_offset + static_cast<std::size_t>(t.width) * t.height * 4);
        if (want.w == 1) {
            // Fully transparent white: blue, green, red, alpha.
            EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 18, b.end()),
                      (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x00}));
        } else {
            // The title must let the background show through around its letters.
            int clear = 0, opaque = 0;
            for (std::size_t i = t.pixel_offset + 3; i < b.size(); i += 4) {
                clear += b[i] == 0;
                opaque += b[i] == 255;
            }
            EXPECT_GT(clear, t.width * t.height / 4);
            EXPECT_GT(opaque, 500);
        }
    }
}

// ---------------------------------------------------------------------------------------- BMP

struct Bmp {
    int width = 0, height = 0, bits = 0;
    std::uint32_t compression = 0, header_size = 0, pixel_offset = 0, alpha_mask = 0;
};

bool ReadBmp(const std::vector<std::uint8_t>& b, Bmp& m) {
    Bytes r{b};
    if (r.U8(0) != 'B' || r.U8(1) != 'M' || r.U32(2) != b.size()) return false;
    m.pixel_offset = r.U32(10);
    m.header_size = r.U32(14);
    m.width = static_cast<int>(r.U32(18));
    m.height = static_cast<int>(r.U32(22));
    m.bits = static_cast<int>(r.U16(28));
    m.compression = r.U32(30);
    if (m.header_size >= 56) m.alpha_mask = r.U32(14 + 52);
    if (!r.ok || r.U16(26) != 1) return false;
    std::size_t stride = (static_cast<std::size_t>(m.width) * m.bits / 8 + 3) & ~std::size_t{3};
    return m.pixel_offset + stride * static_cast<std::size_t>(m.height) <= b.size();
}

TEST(ShippedContent, PicturesAreBottomUpBitmapsOfTheirSizes) {
    struct Want { const char* type; int id, w, h, bits; };
    for (Want want : {Want{"BITMAP", 432, 155, 115, 24}, Want{"BITMAP", 437, 70, 70, 24},
                      Want{"ICON", 224, 64, 64, 32}}) {
        SCOPED_TRACE(want.id);
        std::vector<std::uint8_t> b = Carried(want.type, want.id);
        Bmp m;
        ASSERT_TRUE(ReadBmp(b, m));
        EXPECT_EQ(m.width, want.w);
        EXPECT_EQ(m.height, want.h);  // positive: bottom-up rows
        EXPECT_EQ(m.bits, want.bits);
        if (want.bits == 24) {
            EXPECT_EQ(m.compression, 0u);
            EXPECT_EQ(m.header_size, 40u);
        } else {
            // The window icon keeps its transparency only with an explicit alpha mask.
            EXPECT_EQ(m.compression, 3u);
            EXPECT_EQ(m.alpha_mask, 0xFF000000u);
            int clear = 0, opaque = 0;
            for (std::size_t i = m.pixel_offset + 3; i < b.size(); i += 4) {
                clear += b[i] == 0;
                opaque += b[i] == 255;
            }
            EXPECT_GT(clear, 100);
            EXPECT_GT(opaque, 1000);
        }
    }
}

// ---------------------------------------------------------------------------------------- Ogg

struct Memory {
    const std::vector<std::uint8_t>* bytes;
    std::size_t pos = 0;
};

size_t MemRead(void* dst, size_t size, size_t count, void* src) {
    auto* m = static_cast<Memory*>(src);
    std::size_t want = size * count;
    std::size_t n = std::min(want, m->bytes->size() - m->pos);
    std::memcpy(dst, m->bytes->data() + m->pos, n);
    m->pos += n;
    return size ? n / size : 0;
}

struct Track {
    long rate = 0;
    int channels = 0;
    double seconds = 0;
    std::vector<float> samples;  // interleaved, full scale 1.0
};

bool DecodeOgg(const std::vector<std::uint8_t>& bytes, Track& t) {
    Memory mem{&bytes};
    ov_callbacks cb{MemRead, nullptr, nullptr, nullptr};
    OggVorbis_File vf;
    if (ov_open_callbacks(&mem, &vf, nullptr, 0, cb) != 0) return false;
    vorbis_info* info = ov_info(&vf, -1);
    t.rate = info->rate;
    t.channels = info->channels;
    int section = 0;
    for (;;) {
        float** pcm = nullptr;
        long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n < 0) { ov_clear(&vf); return false; }
        if (n == 0) break;
        for (long i = 0; i < n; ++i)
            for (int c = 0; c < t.channels; ++c) t.samples.push_back(pcm[c][i]);
    }
    ov_clear(&vf);
    t.seconds = static_cast<double>(t.samples.size()) / t.channels / t.rate;
    return true;
}

double Peak(const std::vector<float>& s) {
    float p = 0;
    for (float v : s) p = std::max(p, std::fabs(v));
    return p;
}

double Rms(const std::vector<float>& s) {
    double sum = 0;
    for (float v : s) sum += static_cast<double>(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / s.size());
}

// A, then B and C together, then A again: the lengths are whole bars at 84 bpm so each hand-over
// lands on a downbeat, and B with C on top of each other must still stay below full scale.
TEST(ShippedContent, MusicTracksDecodeToTheirLengthsWithoutClipping) {
    const double bar = 4 * 60.0 / 84;
    struct Want { int id; int bars; };
    std::vector<Track> tracks;
    std::size_t total_bytes = 0;
    for (Want want : {Want{477, 32}, Want{478, 14}, Want{236, 26}}) {
        SCOPED_TRACE(want.id);
        std::vector<std::uint8_t> bytes = Carried("SOUND", want.id);
        total_bytes += bytes.size();
        Track t;
        ASSERT_TRUE(DecodeOgg(bytes, t));
        EXPECT_EQ(t.rate, 44100);
        EXPECT_EQ(t.channels, 2);
        EXPECT_NEAR(t.seconds, want.bars * bar, 0.02);
        EXPECT_LT(Peak(t.samples), 0.97);
        EXPECT_GT(Rms(t.samples), 0.03) << "a track must not be (nearly) silent";
        tracks.push_back(std::move(t));
    }
    EXPECT_LT(total_bytes, 4u << 20);
    ASSERT_EQ(tracks.size(), 3u);
    const std::vector<float>& b = tracks[1].samples;
    std::vector<float> mix = tracks[2].samples;
    ASSERT_GE(mix.size(), b.size());
    for (std::size_t i = 0; i < b.size(); ++i) mix[i] += b[i];
    EXPECT_LT(Peak(mix), 0.97);
}

}  // namespace
