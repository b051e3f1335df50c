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


// ------------------------------------------------------------------------------ block compression
// A fast DXT encoder: end points from the block's colour bounding box (inset a little, with the
// diagonal's direction chosen by the sign of the colour covariance), each texel given the nearest
// of the four palette colours. Several times faster than libsquish's quickest mode at similar
// error, which matters because every image texture is compressed at start-up.

std::uint16_t Pack565(const int c[3]) {
  return static_cast<std::uint16_t>(((c[0] * 31 + 127) / 255) << 11 | ((c[1] * 63 + 127) / 255) << 5 |
                                    ((c[2] * 31 + 127) / 255));
}

void Unpack565(std::uint16_t v, int c[3]) {
  c[0] = Expand(v >> 11, 31);
  c[1] = Expand((v >> 5) & 63, 63);
  c[2] = Expand(v & 31, 31);
}

void EncodeColourBlock(const std::uint8_t* px, std::uint8_t* out) {
  int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0}, mean[3] = {0, 0, 0};
  for (int i = 0; i < 16; ++i)
    for (int c = 0; c < 3; ++c) {
      lo[c] = std::min<int>(lo[c], px[i * 4 + c]);
      hi[c] = std::max<int>(hi[c], px[i * 4 + c]);
      mean[c] += px[i * 4 + c];
    }
  for (int c = 0; c < 3; ++c) mean[c] = (mean[c] + 8) / 16;
  // Flip red or blue ends when they fall while green rises along the block.
  int covRG = 0, covBG = 0;
  for (int i = 0; i < 16; ++i) {
    const int g = px[i * 4 + 1] - mean[1];
    covRG += (px[i * 4] - mean[0]) * g;
    covBG += (px[i * 4 + 2] - mean[2]) * g;
  }
  for (int c = 0; c < 3; ++c) {
    const int inset = (hi[c] - lo[c]) / 16;
    lo[c] += inset;
    hi[c] -= inset;
  }
  if (covRG < 0) std::swap(lo[0], hi[0]);
  if (covBG < 0) std::swap(lo[2], hi[2]);
  std::uint16_t c0 = Pack565(hi), c1 = Pack565(lo);
  if (c0 < c1) std::swap(c0, c1);
  std::uint32_t indices = 0;
  if (c0 != c1) {
    int pal[4][3];
    Unpack565(c0, pal[0]);
    Unpack565(c1, pal[1]);
    for (int c = 0; c < 3; ++c) {
      pal[2][c] = (2 * pal[0][c] + pal[1][c]) / 3;
      pal[3][c] = (pal[0][c] + 2 * pal[1][c]) / 3;
    }
    for (int i = 0; i < 16; ++i) {
      int best = 0, bestDist = 1 << 30;
      for (int k = 0; k < 4; ++k) {
        int d = 0;
        for (int c = 0; c < 3; ++c) {
          const int e = px[i * 4 + c] - pal[k][c];
          d += e * e;
        }
        if (d < bestDist) bestDist = d, best = k;
      }
      indices |= static_cast<std::uint32_t>(best) << (2 * i);
    }
  }
  out[0] = static_cast<std::uint8_t>(c0);
  out[1] = static_cast<std::uint8_t>(c0 >> 8);
  out[2] = static_cast<std::uint8_t>(c1);
  out[3] = static_cast<std::uint8_t>(c1 >> 8);
  for (int b = 0; b < 4; ++b) out[4 + b] = static_cast<std::uint8_t>(indices >> (8 * b));
}

void EncodeAlphaBlock5(const std::uint8_t* px, std::uint8_t* out) {
  int lo = 255, hi = 0;
  for (int i = 0; i < 16; ++i) lo = std::min<int>(lo, px[i * 4 + 3]), hi = std::max<int>(hi, px[i * 4 + 3]);
  out[0] = static_cast<std::uint8_t>(hi);
  out[1] = static_cast<std::uint8_t>(lo);
  std::uint64_t bits = 0;
  if (hi != lo) {
    int pal[8] = {hi, lo};
    for (int k = 1; k <= 6; ++k) pal[k + 1] = ((7 - k) * hi + k * lo) / 7;
    for (int i = 0; i < 16; ++i) {
      int best = 0, bestDist = 256;
      for (int k = 0; k < 8; ++k) {
        const int d = std::abs(px[i * 4 + 3] - pal[k]);
        if (d < bestDist) bestDist = d, best = k;
      }
      bits |= static_cast<std::uint64_t>(best) << (3 * i);
    }
  }
  for (int b = 0; b < 6; ++b) out[2 + b] = static_cast<std::uint8_t>(bits >> (8 * b));
}

void EncodeAlphaBlock3(const std::uint8_t* px, std::uint8_t* out) {
  for (int i = 0; i < 8; ++i) {
    const int a0 = (px[(2 * i) * 4 + 3] * 15 + 127) / 255, a1 = (px[(2 * i + 1) * 4 + 3] * 15 + 127) / 255;
    out[i] = static_cast<std::uint8_t>(a0 | (a1 << 4));
  }
}

void CompressBlocks(const std::uint8_t* rgba, std::uint32_t w, std::uint32_t h, PixelFormat format, std::uint8_t* dst,
                    std::size_t pitch) {
  const std::size_t blockBytes = format == PixelFormat::DXT1 ? 8 : 16;
  std::uint8_t block[64];
  for (std::uint32_t by = 0; by < (h + 3) / 4; ++by) {
    std::uint8_t* row = dst + by * pitch;
    for (std::uint32_t bx = 0; bx < (w + 3) / 4; ++bx) {
      // Edge blocks repeat the last row and column.
      for (int y = 0; y < 4; ++y) {
        const std::uint32_t sy = std::min(by * 4 + y, h - 1);
        for (int x = 0; x < 4; ++x) {
          const std::uint32_t sx = std::min(bx * 4 + x, w - 1);
          std::memcpy(&block[(y * 4 + x) * 4], rgba + (std::size_t{sy} * w + sx) * 4, 4);
        }
      }
      std::uint8_t* out = row + bx * blockBytes;
      if (format == PixelFormat::DXT1) {
        EncodeColourBlock(block, out);
      } else {
        if (format == PixelFormat::DXT2 || format == PixelFormat::DXT3) EncodeAlphaBlock3(block, out);
        else EncodeAlphaBlock5(block, out);
        EncodeColourBlock(block, out + 8);
      }
    }
  }
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
    // DXT1 with transparent texels needs the three-colour mode, which libsquish handles.
    bool punchThrough = false;
    if (format == PixelFormat::DXT1)
      for (std::size_t i = 3; i < image.rgba.size() && !punchThrough; i += 4) punchThrough = image.rgba[i] < 128;
    if (!punchThrough) {
      CompressBlocks(rgba, w, h, format, dst, pitch);
      return true;
    }
    const int flags = squish::kDxt1 | squish::kColourRangeFit;
    const std::size_t rowBytes = RowBytes(format, w);
    const std::uint32_t blockRows = RowCount(format, h);
    std::vector<std::uint8_t> blocks(rowBytes * blockRows);
    squish::CompressImage(rgba, static_cast<int>(w), static_cast<int>(h), blocks.data(), flags);
    for (std::uint32_t r = 0; r < blockRows; ++r) std::memcpy(dst + r * pitch, &blocks[r * rowBytes], rowBytes);
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
