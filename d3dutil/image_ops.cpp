#include "d3dutil/image_ops.h"

#include <squish.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace d3dutil {
namespace {

struct Tap {
  std::uint32_t index;
  float weight;
};

// For each destination index, the source indices and weights along one axis.
std::vector<std::vector<Tap>> AxisWeights(std::uint32_t srcSize, std::uint32_t dstSize, ResampleFilter filter) {
  std::vector<std::vector<Tap>> taps(dstSize);
  const double ratio = static_cast<double>(srcSize) / dstSize;
  for (std::uint32_t d = 0; d < dstSize; ++d) {
    auto& t = taps[d];
    if (filter == ResampleFilter::Point) {
      auto s = static_cast<std::uint32_t>((d + 0.5) * ratio);
      t.push_back({std::min(s, srcSize - 1), 1.0f});
    } else if (ratio <= 1.0 && filter == ResampleFilter::Linear) {
      double centre = (d + 0.5) * ratio - 0.5;
      centre = std::clamp(centre, 0.0, static_cast<double>(srcSize - 1));
      auto i0 = static_cast<std::uint32_t>(centre);
      std::uint32_t i1 = std::min(i0 + 1, srcSize - 1);
      float f = static_cast<float>(centre - i0);
      t.push_back({i0, 1.0f - f});
      if (f > 0 && i1 != i0) t.push_back({i1, f});
    } else {
      // Area average over the footprint [d, d + 1) × ratio (nearest when enlarging with Box).
      double lo = d * ratio, hi = (d + 1) * ratio;
      if (ratio < 1.0) {
        auto s = static_cast<std::uint32_t>((d + 0.5) * ratio);
        t.push_back({std::min(s, srcSize - 1), 1.0f});
        continue;
      }
      auto first = static_cast<std::uint32_t>(lo);
      auto last = std::min(static_cast<std::uint32_t>(std::ceil(hi)), srcSize);
      for (std::uint32_t s = first; s < last; ++s) {
        double w = std::min<double>(s + 1, hi) - std::max<double>(s, lo);
        if (w > 1e-9) t.push_back({s, static_cast<float>(w / ratio)});
      }
    }
  }
  return taps;
}

std::uint8_t ToByte(float v) { return static_cast<std::uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f)); }

std::uint32_t Scale(std::uint32_t v, std::uint32_t maxValue) { return (v * maxValue + 127) / 255; }

std::uint8_t Luminance(const std::uint8_t* p) {
  // Rec. 709 weights, scaled to sum to 10000.
  return static_cast<std::uint8_t>((p[0] * 2125u + p[1] * 7154u + p[2] * 721u + 5000u) / 10000u);
}

int SquishFlags(PixelFormat format) {
  switch (format) {
    case PixelFormat::DXT1: return squish::kDxt1;
    case PixelFormat::DXT2:
    case PixelFormat::DXT3: return squish::kDxt3;
    default: return squish::kDxt5;
  }
}

std::uint8_t Expand(std::uint32_t v, std::uint32_t maxValue) {
  return static_cast<std::uint8_t>((v * 255 + maxValue / 2) / maxValue);
}

}  // namespace

bool IsBlockCompressed(PixelFormat f) {
  return f == PixelFormat::DXT1 || f == PixelFormat::DXT2 || f == PixelFormat::DXT3 || f == PixelFormat::DXT4 ||
         f == PixelFormat::DXT5;
}

bool HasAlphaChannel(PixelFormat f) {
  switch (f) {
    case PixelFormat::A8R8G8B8:
    case PixelFormat::A1R5G5B5:
    case PixelFormat::A4R4G4B4:
    case PixelFormat::A8:
    case PixelFormat::A8L8:
    case PixelFormat::DXT2:
    case PixelFormat::DXT3:
    case PixelFormat::DXT4:
    case PixelFormat::DXT5: return true;
    default: return false;
  }
}

std::uint32_t BytesPerPixel(PixelFormat f) {
  switch (f) {
    case PixelFormat::A8R8G8B8:
    case PixelFormat::X8R8G8B8: return 4;
    case PixelFormat::R8G8B8: return 3;
    case PixelFormat::R5G6B5:
    case PixelFormat::X1R5G5B5:
    case PixelFormat::A1R5G5B5:
    case PixelFormat::A4R4G4B4:
    case PixelFormat::X4R4G4B4:
    case PixelFormat::A8L8: return 2;
    case PixelFormat::A8:
    case PixelFormat::L8: return 1;
    default: return 0;
  }
}

bool IsWritableFormat(PixelFormat f) { return BytesPerPixel(f) != 0 || IsBlockCompressed(f); }

std::size_t RowBytes(PixelFormat f, std::uint32_t width) {
  if (IsBlockCompressed(f)) return std::size_t{(width + 3) / 4} * (f == PixelFormat::DXT1 ? 8 : 16);
  return std::size_t{width} * BytesPerPixel(f);
}

std::uint32_t RowCount(PixelFormat f, std::uint32_t height) { return IsBlockCompressed(f) ? (height + 3) / 4 : height; }

bool Resample(const Image& src, std::uint32_t width, std::uint32_t height, ResampleFilter filter, Image& out) {
  if (src.width == 0 || src.height == 0) return false;
  Image result;
  if (!AllocateImage(width, height, result, nullptr)) return false;
  if (filter == ResampleFilter::None) {
    std::uint32_t w = std::min(width, src.width), h = std::min(height, src.height);
    for (std::uint32_t y = 0; y < h; ++y) std::memcpy(result.Pixel(0, y), src.Pixel(0, y), std::size_t{w} * 4);
    out = std::move(result);
    return true;
  }
  if (width == src.width && height == src.height) {
    out = src;
    return true;
  }
  const auto xTaps = AxisWeights(src.width, width, filter);
  const auto yTaps = AxisWeights(src.height, height, filter);
  // Horizontal pass into floats, then vertical.
  std::vector<float> rows(std::size_t{src.height} * width * 4);
  for (std::uint32_t y = 0; y < src.height; ++y) {
    const std::uint8_t* s = src.Pixel(0, y);
    float* d = &rows[std::size_t{y} * width * 4];
    for (std::uint32_t x = 0; x < width; ++x, d += 4) {
      float acc[4] = {0, 0, 0, 0};
      for (const Tap& t : xTaps[x])
        for (int c = 0; c < 4; ++c) acc[c] += s[t.index * 4 + c] * t.weight;
      std::memcpy(d, acc, sizeof acc);
    }
  }
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t* d = result.Pixel(0, y);
    for (std::uint32_t x = 0; x < width; ++x, d += 4) {
      float acc[4] = {0, 0, 0, 0};
      for (const Tap& t : yTaps[y]) {
        const float* s = &rows[(std::size_t{t.index} * width + x) * 4];
        for (int c = 0; c < 4; ++c) acc[c] += s[c] * t.weight;
      }
      for (int c = 0; c < 4; ++c) d[c] = ToByte(acc[c]);
    }
  }
  out = std::move(result);
  return true;
}

bool NextMipLevel(const Image& src, ResampleFilter filter, Image& out) {
  if (src.width == 0 || src.height == 0) return false;
  std::uint32_t w = std::max(1u, src.width / 2), h = std::max(1u, src.height / 2);
  const bool evenX = src.width % 2 == 0 || src.width == 1;
  const bool evenY = src.height % 2 == 0 || src.height == 1;
  if (filter == ResampleFilter::Point || filter == ResampleFilter::None || !evenX || !evenY)
    return Resample(src, w, h, filter == ResampleFilter::None ? ResampleFilter::Point : filter, out);
  // The common power-of-two case: a plain 2 × 2 (or 2 × 1) average with rounding.
  Image result;
  if (!AllocateImage(w, h, result, nullptr)) return false;
  const std::uint32_t dx = src.width > 1 ? 1 : 0, dy = src.height > 1 ? 1 : 0;
  const std::uint32_t count = (1 + dx) * (1 + dy);
  for (std::uint32_t y = 0; y < h; ++y) {
    const std::uint8_t* r0 = src.Pixel(0, y * (1 + dy));
    const std::uint8_t* r1 = src.Pixel(0, y * (1 + dy) + dy);
    std::uint8_t* d = result.Pixel(0, y);
    for (std::uint32_t x = 0; x < w; ++x, d += 4) {
      const std::size_t a = std::size_t{x} * (1 + dx) * 4, b = a + dx * 4;
      for (int c = 0; c < 4; ++c) {
        std::uint32_t sum = r0[a + c] + r1[a + c];
        if (dx) sum += r0[b + c] + r1[b + c];
        if (!dy) sum = dx ? r0[a + c] + r0[b + c] : r0[a + c];
        d[c] = static_cast<std::uint8_t>((sum + count / 2) / count);
      }
    }
  }
  out = std::move(result);
  return true;
}

void ApplyColourKey(Image& image, std::uint32_t key) {
  if (key == 0) return;
  const std::uint8_t k[4] = {static_cast<std::uint8_t>(key >> 16), static_cast<std::uint8_t>(key >> 8),
                             static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 24)};
  for (std::size_t i = 0; i + 4 <= image.rgba.size(); i += 4)
    if (std::memcmp(&image.rgba[i], k, 4) == 0) std::memset(&image.rgba[i], 0, 4);
}

bool EncodePixels(const Image& image, PixelFormat format, std::uint8_t* dst, std::size_t pitch) {
  if (!IsWritableFormat(format) || !dst) return false;
  const std::uint32_t w = image.width, h = image.height;
  if (IsBlockCompressed(format)) {
    const std::uint8_t* rgba = image.rgba.data();
    std::vector<std::uint8_t> premultiplied;
    if (format == PixelFormat::DXT2 || format == PixelFormat::DXT4) {
      premultiplied = image.rgba;
      for (std::size_t i = 0; i < premultiplied.size(); i += 4)
        for (int c = 0; c < 3; ++c)
          premultiplied[i + c] = static_cast<std::uint8_t>((premultiplied[i + c] * premultiplied[i + 3] + 127) / 255);
      rgba = premultiplied.data();
    }
    // Range fit: far faster than cluster fit and close enough for textures loaded at start-up.
    const int flags = SquishFlags(format) | squish::kColourRangeFit;
    const std::size_t rowBytes = RowBytes(format, w);
    const std::uint32_t blockRows = RowCount(format, h);
    if (pitch == rowBytes) {
      squish::CompressImage(rgba, static_cast<int>(w), static_cast<int>(h), dst, flags);
    } else {
      std::vector<std::uint8_t> blocks(rowBytes * blockRows);
      squish::CompressImage(rgba, static_cast<int>(w), static_cast<int>(h), blocks.data(), flags);
      for (std::uint32_t r = 0; r < blockRows; ++r) std::memcpy(dst + r * pitch, &blocks[r * rowBytes], rowBytes);
    }
    return true;
  }
  for (std::uint32_t y = 0; y < h; ++y) {
    const std::uint8_t* s = image.Pixel(0, y);
    std::uint8_t* d = dst + y * pitch;
    for (std::uint32_t x = 0; x < w; ++x, s += 4) {
      const std::uint32_t r = s[0], g = s[1], b = s[2], a = s[3];
      std::uint32_t v = 0;
      switch (format) {
        case PixelFormat::A8R8G8B8:
        case PixelFormat::X8R8G8B8:
          d[0] = static_cast<std::uint8_t>(b);
          d[1] = static_cast<std::uint8_t>(g);
          d[2] = static_cast<std::uint8_t>(r);
          d[3] = format == PixelFormat::A8R8G8B8 ? static_cast<std::uint8_t>(a) : 0xFF;
          d += 4;
          continue;
        case PixelFormat::R8G8B8:
          d[0] = static_cast<std::uint8_t>(b);
          d[1] = static_cast<std::uint8_t>(g);
          d[2] = static_cast<std::uint8_t>(r);
          d += 3;
          continue;
        case PixelFormat::A8: *d++ = static_cast<std::uint8_t>(a); continue;
        case PixelFormat::L8: *d++ = Luminance(s); continue;
        case PixelFormat::A8L8:
          d[0] = Luminance(s);
          d[1] = static_cast<std::uint8_t>(a);
          d += 2;
          continue;
        case PixelFormat::R5G6B5: v = (Scale(r, 31) << 11) | (Scale(g, 63) << 5) | Scale(b, 31); break;
        case PixelFormat::X1R5G5B5:
        case PixelFormat::A1R5G5B5:
          v = (Scale(r, 31) << 10) | (Scale(g, 31) << 5) | Scale(b, 31);
          if (format == PixelFormat::X1R5G5B5 || a >= 128) v |= 0x8000;
          break;
        case PixelFormat::A4R4G4B4:
        case PixelFormat::X4R4G4B4:
          v = (Scale(r, 15) << 8) | (Scale(g, 15) << 4) | Scale(b, 15);
          v |= (format == PixelFormat::A4R4G4B4 ? Scale(a, 15) : 15) << 12;
          break;
        default: return false;
      }
      d[0] = static_cast<std::uint8_t>(v);
      d[1] = static_cast<std::uint8_t>(v >> 8);
      d += 2;
    }
  }
  return true;
}

bool DecodePixels(const std::uint8_t* src, std::size_t pitch, PixelFormat format, std::uint32_t width,
                  std::uint32_t height, Image& out) {
  if (!IsWritableFormat(format) || !src || !AllocateImage(width, height, out, nullptr)) return false;
  if (IsBlockCompressed(format)) {
    const std::size_t rowBytes = RowBytes(format, width);
    const std::uint32_t blockRows = RowCount(format, height);
    std::vector<std::uint8_t> blocks(rowBytes * blockRows);
    for (std::uint32_t r = 0; r < blockRows; ++r) std::memcpy(&blocks[r * rowBytes], src + r * pitch, rowBytes);
    squish::DecompressImage(out.rgba.data(), static_cast<int>(width), static_cast<int>(height), blocks.data(),
                            SquishFlags(format));
    return true;
  }
  const std::uint32_t bpp = BytesPerPixel(format);
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* s = src + y * pitch;
    std::uint8_t* d = out.Pixel(0, y);
    for (std::uint32_t x = 0; x < width; ++x, s += bpp, d += 4) {
      const std::uint32_t v = bpp == 1 ? s[0] : bpp == 2 ? (s[0] | (s[1] << 8)) : 0;
      switch (format) {
        case PixelFormat::A8R8G8B8:
        case PixelFormat::X8R8G8B8:
          d[0] = s[2];
          d[1] = s[1];
          d[2] = s[0];
          d[3] = format == PixelFormat::A8R8G8B8 ? s[3] : 0xFF;
          break;
        case PixelFormat::R8G8B8:
          d[0] = s[2];
          d[1] = s[1];
          d[2] = s[0];
          d[3] = 0xFF;
          break;
        case PixelFormat::A8: d[0] = d[1] = d[2] = 0, d[3] = s[0]; break;
        case PixelFormat::L8: d[0] = d[1] = d[2] = s[0], d[3] = 0xFF; break;
        case PixelFormat::A8L8: d[0] = d[1] = d[2] = s[0], d[3] = s[1]; break;
        case PixelFormat::R5G6B5:
          d[0] = Expand(v >> 11, 31), d[1] = Expand((v >> 5) & 63, 63), d[2] = Expand(v & 31, 31), d[3] = 0xFF;
          break;
        case PixelFormat::X1R5G5B5:
        case PixelFormat::A1R5G5B5:
          d[0] = Expand((v >> 10) & 31, 31), d[1] = Expand((v >> 5) & 31, 31), d[2] = Expand(v & 31, 31);
          d[3] = (format == PixelFormat::X1R5G5B5 || (v & 0x8000)) ? 0xFF : 0;
          break;
        case PixelFormat::A4R4G4B4:
        case PixelFormat::X4R4G4B4:
          d[0] = Expand((v >> 8) & 15, 15), d[1] = Expand((v >> 4) & 15, 15), d[2] = Expand(v & 15, 15);
          d[3] = format == PixelFormat::A4R4G4B4 ? Expand(v >> 12, 15) : 0xFF;
          break;
        default: return false;
      }
    }
  }
  return true;
}

void FloatToRgba8(float r, float g, float b, float a, std::uint8_t* dst) {
  const float c[4] = {r, g, b, a};
  for (int i = 0; i < 4; ++i) {
    float v = std::isnan(c[i]) ? 0.0f : std::clamp(c[i], 0.0f, 1.0f);
    dst[i] = static_cast<std::uint8_t>(v * 255.0f + 0.5f);
  }
}

}  // namespace d3dutil
