#include <gtest/gtest.h>
#include <squish.h>

#include <cstdlib>
#include <cstring>

#include "d3dutil/image.h"
#include "d3dutil/image_ops.h"
#include "d3dutil/image_writers.h"

namespace {

using namespace d3dutil;
using d3dutil::test_files::Pattern;
namespace files = d3dutil::test_files;

int MaxDiff(const Image& a, const Image& b, bool withAlpha = true) {
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.height, b.height);
  int worst = 0;
  for (std::size_t i = 0; i < a.rgba.size() && i < b.rgba.size(); ++i) {
    if (!withAlpha && i % 4 == 3) continue;
    worst = std::max(worst, std::abs(a.rgba[i] - b.rgba[i]));
  }
  return worst;
}

Image Opaque(Image img) {
  for (std::size_t i = 3; i < img.rgba.size(); i += 4) img.rgba[i] = 255;
  return img;
}

bool Decode(const std::vector<std::uint8_t>& file, Image& out, ImageFileDescription& info) {
  std::string error;
  bool ok = DecodeImage(file.data(), file.size(), out, info, &error);
  EXPECT_TRUE(ok) << error;
  return ok;
}

TEST(ImageDecode, LosslessFormatsRoundTripExactly) {
  const Image src = Pattern(13, 7);  // odd sizes exercise row padding
  struct Case {
    const char* name;
    std::vector<std::uint8_t> file;
    ImageFileType type;
    PixelFormat format;
    bool alpha;
  } cases[] = {
      {"bmp24", files::WriteBmp24(src), ImageFileType::Bmp, PixelFormat::R8G8B8, false},
      {"bmp32", files::WriteBmp32Alpha(src), ImageFileType::Bmp, PixelFormat::A8R8G8B8, true},
      {"bmp8", files::WriteBmp8(src), ImageFileType::Bmp, PixelFormat::X8R8G8B8, false},
      {"tga24", files::WriteTga(src, 24, false, false), ImageFileType::Tga, PixelFormat::R8G8B8, false},
      {"tga32top", files::WriteTga(src, 32, false, true), ImageFileType::Tga, PixelFormat::A8R8G8B8, true},
      {"tga32rle", files::WriteTga(src, 32, true, false), ImageFileType::Tga, PixelFormat::A8R8G8B8, true},
      {"dds32", files::WriteDds32(src), ImageFileType::Dds, PixelFormat::A8R8G8B8, true},
      {"png", files::WritePng(src), ImageFileType::Png, PixelFormat::A8R8G8B8, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Image out;
    ImageFileDescription info;
    ASSERT_TRUE(Decode(c.file, out, info));
    EXPECT_EQ(info.fileType, c.type);
    EXPECT_EQ(info.format, c.format);
    EXPECT_EQ(info.width, 13u);
    EXPECT_EQ(info.height, 7u);
    EXPECT_EQ(MaxDiff(out, c.alpha ? src : Opaque(src)), 0);
  }
}

TEST(ImageDecode, RleRunsAcrossRowsAndSolidImages) {
  Image solid;
  AllocateImage(300, 3, solid, nullptr);
  for (std::size_t i = 0; i < solid.rgba.size(); i += 4) std::memcpy(&solid.rgba[i], "\x10\x20\x30\xFF", 4);
  auto file = files::WriteTga(solid, 24, true, false);
  EXPECT_LT(file.size(), 100u);  // really run-length coded
  Image out;
  ImageFileDescription info;
  ASSERT_TRUE(Decode(file, out, info));
  EXPECT_EQ(MaxDiff(out, solid), 0);
}

TEST(ImageDecode, LossyFormatsDecodeClosely) {
  const Image src = Opaque(Pattern(64, 48));
  Image out;
  ImageFileDescription info;
  ASSERT_TRUE(Decode(files::WriteJpeg(src, 95), out, info));
  EXPECT_EQ(info.fileType, ImageFileType::Jpg);
  EXPECT_EQ(info.format, PixelFormat::X8R8G8B8);
  EXPECT_LE(MaxDiff(out, src), 24);

  const Image withAlpha = Pattern(64, 48);
  ASSERT_TRUE(Decode(files::WriteDdsDxt5(withAlpha), out, info));
  EXPECT_EQ(info.format, PixelFormat::DXT5);
  EXPECT_LE(MaxDiff(out, withAlpha), 40);
}

TEST(ImageDecode, TruncatedAndHostileInputFailsCleanly) {
  const Image src = Pattern(16, 16);
  const std::vector<std::vector<std::uint8_t>> files = {
      files::WriteBmp24(src),       files::WriteBmp8(src),  files::WriteTga(src, 32, true, false),
      files::WriteTga(src, 24, false, true), files::WriteDds32(src), files::WriteDdsDxt5(src),
      files::WritePng(src),         files::WriteJpeg(src, 80)};
  for (const auto& file : files) {
    // Every proper prefix must be refused (JPEG may pad a cut scan, but must not crash).
    // A PNG cut inside its closing 12-byte IEND chunk still holds every pixel.
    const bool png = file[0] == 0x89;
    const std::size_t end = png ? file.size() - 12 : file.size();
    for (std::size_t cut = 0; cut < end; cut += std::max<std::size_t>(1, file.size() / 97)) {
      Image out;
      ImageFileDescription info;
      bool ok = DecodeImage(file.data(), cut, out, info, nullptr);
      if (file[0] != 0xFF) {
        EXPECT_FALSE(ok) << "prefix " << cut << " of " << file.size();
      }
    }
  }
  // Sizes beyond the limits are refused before any allocation.
  auto bmp = files::WriteBmp24(src);
  const std::uint32_t huge = 0x7FFFFFFF;
  std::memcpy(&bmp[18], &huge, 4);
  Image out;
  ImageFileDescription info;
  std::string error;
  EXPECT_FALSE(DecodeImage(bmp.data(), bmp.size(), out, info, &error));
  EXPECT_FALSE(error.empty());
  // A palette index beyond the colour map.
  std::vector<std::uint8_t> tga = {0, 1, 1, 0, 0, 2, 0, 24, 0, 0, 0, 0, 1, 0, 1, 0, 8, 0, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_FALSE(DecodeImage(tga.data(), tga.size(), out, info, &error));
  const std::uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_FALSE(DecodeImage(junk, sizeof junk, out, info, &error));
  EXPECT_FALSE(DecodeImage(nullptr, 0, out, info, &error));
}

TEST(PixelConversion, PackedFormatsUseExpectedValues) {
  Image px;
  AllocateImage(3, 1, px, nullptr);
  const std::uint8_t colours[] = {255, 128, 0, 200, /**/ 0, 255, 255, 100, /**/ 10, 20, 30, 0};
  std::memcpy(px.rgba.data(), colours, sizeof colours);
  std::uint8_t out[12] = {};
  auto u16 = [&](int i) { return static_cast<unsigned>(out[i * 2] | (out[i * 2 + 1] << 8)); };

  ASSERT_TRUE(EncodePixels(px, PixelFormat::R5G6B5, out, sizeof out));
  EXPECT_EQ(u16(0), (31u << 11) | (32u << 5) | 0u);
  EXPECT_EQ(u16(1), (0u << 11) | (63u << 5) | 31u);
  ASSERT_TRUE(EncodePixels(px, PixelFormat::A1R5G5B5, out, sizeof out));
  EXPECT_EQ(u16(0), 0x8000u | (31u << 10) | (16u << 5));
  EXPECT_EQ(u16(1) & 0x8000u, 0u);  // alpha 100 is below half
  ASSERT_TRUE(EncodePixels(px, PixelFormat::X1R5G5B5, out, sizeof out));
  EXPECT_EQ(u16(1) & 0x8000u, 0x8000u);
  ASSERT_TRUE(EncodePixels(px, PixelFormat::L8, out, sizeof out));
  EXPECT_EQ(out[0], 146);  // 0.2125·255 + 0.7154·128
  EXPECT_EQ(out[1], 201);  // 0.7154·255 + 0.0721·255
  EXPECT_EQ(out[2], 19);
  ASSERT_TRUE(EncodePixels(px, PixelFormat::A8R8G8B8, out, sizeof out));
  EXPECT_EQ(std::memcmp(out, "\x00\x80\xFF\xC8", 4), 0);
  ASSERT_TRUE(EncodePixels(px, PixelFormat::X8R8G8B8, out, sizeof out));
  EXPECT_EQ(out[11], 0xFF);

  // Unpacking inverts packing up to precision.
  for (PixelFormat f : {PixelFormat::R5G6B5, PixelFormat::A4R4G4B4, PixelFormat::A8R8G8B8, PixelFormat::A8L8}) {
    Image back;
    ASSERT_TRUE(EncodePixels(px, f, out, sizeof out));
    ASSERT_TRUE(DecodePixels(out, sizeof out, f, 3, 1, back));
    EXPECT_LE(MaxDiff(back, px, false), f == PixelFormat::A8L8 ? 255 : 9);
  }
  EXPECT_FALSE(EncodePixels(px, PixelFormat::Unknown, out, sizeof out));
}

TEST(PixelConversion, Dxt5RoundTripStaysWithinTolerance) {
  const Image src = Pattern(64, 64);
  const std::size_t pitch = RowBytes(PixelFormat::DXT5, 64) + 16;  // a pitch wider than the row
  std::vector<std::uint8_t> blocks(pitch * RowCount(PixelFormat::DXT5, 64), 0xAB);
  ASSERT_TRUE(EncodePixels(src, PixelFormat::DXT5, blocks.data(), pitch));
  Image back;
  ASSERT_TRUE(DecodePixels(blocks.data(), pitch, PixelFormat::DXT5, 64, 64, back));
  EXPECT_LE(MaxDiff(back, src), 48);
  double sum = 0;
  for (std::size_t i = 0; i < src.rgba.size(); ++i) sum += std::abs(src.rgba[i] - back.rgba[i]);
  EXPECT_LT(sum / src.rgba.size(), 6.0);
  // No worse than libsquish's quickest mode on the same picture (within a quarter).
  std::vector<std::uint8_t> ref(RowBytes(PixelFormat::DXT5, 64) * 16);
  squish::CompressImage(src.rgba.data(), 64, 64, ref.data(), squish::kDxt5 | squish::kColourRangeFit);
  Image refBack;
  ASSERT_TRUE(DecodePixels(ref.data(), RowBytes(PixelFormat::DXT5, 64), PixelFormat::DXT5, 64, 64, refBack));
  double refSum = 0;
  for (std::size_t i = 0; i < src.rgba.size(); ++i) refSum += std::abs(src.rgba[i] - refBack.rgba[i]);
  EXPECT_LE(sum, refSum * 1.25);
  // Tiny levels still produce one whole block.
  Image one = Pattern(1, 1);
  std::uint8_t block[16];
  ASSERT_TRUE(EncodePixels(one, PixelFormat::DXT1, block, 8));
  ASSERT_TRUE(DecodePixels(block, 8, PixelFormat::DXT1, 1, 1, back));
  EXPECT_LE(MaxDiff(back, Opaque(one), false), 8);
}

TEST(Resampling, ScalesMipsAndKeys) {
  Image checker;
  AllocateImage(4, 4, checker, nullptr);
  for (std::uint32_t y = 0; y < 4; ++y)
    for (std::uint32_t x = 0; x < 4; ++x) std::memset(checker.Pixel(x, y), ((x + y) & 1) ? 255 : 0, 4);
  Image level;
  ASSERT_TRUE(NextMipLevel(checker, ResampleFilter::Box, level));
  EXPECT_EQ(level.width, 2u);
  EXPECT_EQ(level.Pixel(1, 1)[0], 128);
  // Down to 1 × 1 through a non-square chain.
  Image wide = Pattern(8, 2), cur = wide;
  int steps = 0;
  while (cur.width > 1 || cur.height > 1) {
    Image next;
    ASSERT_TRUE(NextMipLevel(cur, ResampleFilter::Box, next));
    cur = std::move(next);
    ++steps;
  }
  EXPECT_EQ(steps, 3);

  Image up;
  ASSERT_TRUE(Resample(checker, 8, 8, ResampleFilter::Point, up));
  EXPECT_EQ(up.Pixel(2, 0)[0], 255);
  EXPECT_EQ(up.Pixel(3, 0)[0], 255);
  EXPECT_EQ(up.Pixel(4, 0)[0], 0);
  ASSERT_TRUE(Resample(checker, 2, 2, ResampleFilter::Linear, up));
  EXPECT_EQ(up.Pixel(0, 0)[0], 128);
  ASSERT_TRUE(Resample(checker, 6, 6, ResampleFilter::None, up));
  EXPECT_EQ(up.Pixel(5, 5)[3], 0);  // outside the source: transparent black
  EXPECT_EQ(up.Pixel(1, 0)[3], 255);
  Image odd = Pattern(5, 3);
  ASSERT_TRUE(NextMipLevel(odd, ResampleFilter::Box, level));
  EXPECT_EQ(level.width, 2u);
  EXPECT_EQ(level.height, 1u);

  Image keyed = checker;
  ApplyColourKey(keyed, 0xFF000000u);  // opaque black
  EXPECT_EQ(keyed.Pixel(0, 0)[3], 0);
  EXPECT_EQ(keyed.Pixel(1, 0)[3], 255);
}

}  // namespace
