// Texture creation throughput for a 512 × 512 JPEG: decode, full mip chain, DXT5 compression of
// every level, each step on its own and all together. The same decode through TurboJPEG's own
// API runs as the peer in the same process.
#include <benchmark/benchmark.h>
#include <squish.h>
#include <turbojpeg.h>

#include <cstdint>
#include <vector>

#include "d3dutil/image.h"
#include "d3dutil/image_ops.h"

namespace {

using namespace d3dutil;

// A photo-like 512 × 512 picture (gradients plus noise), encoded once at quality 90.
const std::vector<std::uint8_t>& Jpeg512() {
  static const std::vector<std::uint8_t> file = [] {
    std::vector<std::uint8_t> rgb(512 * 512 * 3);
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < 512 * 512; ++i) {
      seed = seed * 1664525u + 1013904223u;
      const std::uint32_t x = i % 512, y = i / 512, noise = (seed >> 24) & 31;
      rgb[i * 3] = static_cast<std::uint8_t>((x / 2 + noise) & 0xFF);
      rgb[i * 3 + 1] = static_cast<std::uint8_t>((y / 2 + noise) & 0xFF);
      rgb[i * 3 + 2] = static_cast<std::uint8_t>(((x ^ y) / 4 + noise) & 0xFF);
    }
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, rgb.data(), 512, 0, 512, TJPF_RGB, &out, &size, TJSAMP_420, 90, 0);
    std::vector<std::uint8_t> v(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return v;
  }();
  return file;
}

Image Decoded() {
  Image img;
  ImageFileDescription info;
  DecodeImage(Jpeg512().data(), Jpeg512().size(), img, info, nullptr);
  return img;
}

std::vector<Image> MipChain(const Image& top) {
  std::vector<Image> levels;
  levels.push_back(top);
  while (levels.back().width > 1 || levels.back().height > 1) {
    Image next;
    NextMipLevel(levels.back(), ResampleFilter::Box, next);
    levels.push_back(std::move(next));
  }
  return levels;
}

std::size_t CompressAll(const std::vector<Image>& levels, std::vector<std::uint8_t>& out) {
  std::size_t total = 0;
  for (const Image& l : levels) total += RowBytes(PixelFormat::DXT5, l.width) * RowCount(PixelFormat::DXT5, l.height);
  out.resize(total);
  std::size_t at = 0;
  for (const Image& l : levels) {
    const std::size_t pitch = RowBytes(PixelFormat::DXT5, l.width);
    EncodePixels(l, PixelFormat::DXT5, out.data() + at, pitch);
    at += pitch * RowCount(PixelFormat::DXT5, l.height);
  }
  return total;
}

void BM_Decode_d3dutil(benchmark::State& state) {
  const auto& file = Jpeg512();
  for (auto _ : state) {
    Image img;
    ImageFileDescription info;
    DecodeImage(file.data(), file.size(), img, info, nullptr);
    benchmark::DoNotOptimize(img.rgba.data());
  }
}

void BM_Decode_TurboJPEG_peer(benchmark::State& state) {
  const auto& file = Jpeg512();
  tjhandle tj = tjInitDecompress();
  std::vector<std::uint8_t> rgba(512 * 512 * 4);
  for (auto _ : state) {
    tjDecompress2(tj, file.data(), file.size(), rgba.data(), 512, 0, 512, TJPF_RGBA, 0);
    benchmark::DoNotOptimize(rgba.data());
  }
  tjDestroy(tj);
}

void BM_MipChain(benchmark::State& state) {
  const Image top = Decoded();
  for (auto _ : state) benchmark::DoNotOptimize(MipChain(top).size());
}

void BM_CompressDxt5AllLevels(benchmark::State& state) {
  const auto levels = MipChain(Decoded());
  std::vector<std::uint8_t> out;
  for (auto _ : state) benchmark::DoNotOptimize(CompressAll(levels, out));
}

// libsquish's quickest mode on the same levels, the encoder this library used before its own.
void BM_CompressDxt5_squish_peer(benchmark::State& state) {
  const auto levels = MipChain(Decoded());
  std::vector<std::uint8_t> out(512 * 512 * 2);
  for (auto _ : state)
    for (const Image& l : levels)
      squish::CompressImage(l.rgba.data(), static_cast<int>(l.width), static_cast<int>(l.height), out.data(),
                            squish::kDxt5 | squish::kColourRangeFit);
  benchmark::DoNotOptimize(out.data());
}

void BM_WholeTexture(benchmark::State& state) {
  const auto& file = Jpeg512();
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    Image img;
    ImageFileDescription info;
    DecodeImage(file.data(), file.size(), img, info, nullptr);
    benchmark::DoNotOptimize(CompressAll(MipChain(img), out));
  }
}

BENCHMARK(BM_Decode_d3dutil)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_TurboJPEG_peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MipChain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompressDxt5AllLevels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompressDxt5_squish_peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeTexture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
