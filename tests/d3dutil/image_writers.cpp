#include "d3dutil/image_writers.h"

#include <png.h>
#include <squish.h>
#include <turbojpeg.h>

#include <cstring>
#include <map>

namespace d3dutil::test_files {
namespace {

void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(static_cast<std::uint8_t>(x));
  v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

std::vector<std::uint8_t> BmpHeaders(std::uint32_t w, std::int32_t h, int bpp, std::uint32_t compression,
                                     std::uint32_t paletteBytes, std::uint32_t pixelBytes, bool masks) {
  std::vector<std::uint8_t> v;
  const std::uint32_t infoSize = masks ? 56 : 40;
  const std::uint32_t offset = 14 + infoSize + paletteBytes;
  v.push_back('B');
  v.push_back('M');
  Put32(v, offset + pixelBytes);
  Put32(v, 0);
  Put32(v, offset);
  Put32(v, infoSize);
  Put32(v, w);
  Put32(v, static_cast<std::uint32_t>(h));
  Put16(v, 1);
  Put16(v, static_cast<std::uint32_t>(bpp));
  Put32(v, compression);
  Put32(v, pixelBytes);
  Put32(v, 2835);
  Put32(v, 2835);
  Put32(v, paletteBytes / 4);
  Put32(v, 0);
  if (masks) {
    Put32(v, 0x00FF0000);
    Put32(v, 0x0000FF00);
    Put32(v, 0x000000FF);
    Put32(v, 0xFF000000);
  }
  return v;
}

}  // namespace

Image Pattern(std::uint32_t width, std::uint32_t height) {
  Image img;
  AllocateImage(width, height, img, nullptr);
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* p = img.Pixel(x, y);
      p[0] = static_cast<std::uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
      p[1] = static_cast<std::uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
      p[2] = static_cast<std::uint8_t>((x * 7 + y * 13) & 0xFF);
      p[3] = static_cast<std::uint8_t>(255 - ((x + y) * 16 & 0xFF));
    }
  return img;
}

std::vector<std::uint8_t> WriteBmp24(const Image& img) {
  const std::uint32_t stride = (img.width * 3 + 3) & ~3u;
  auto v = BmpHeaders(img.width, static_cast<std::int32_t>(img.height), 24, 0, 0, stride * img.height, false);
  for (std::uint32_t y = img.height; y-- > 0;) {
    for (std::uint32_t x = 0; x < img.width; ++x) {
      const std::uint8_t* p = img.Pixel(x, y);
      v.insert(v.end(), {p[2], p[1], p[0]});
    }
    v.resize(v.size() + (stride - img.width * 3), 0);
  }
  return v;
}

std::vector<std::uint8_t> WriteBmp32Alpha(const Image& img) {
  auto v = BmpHeaders(img.width, -static_cast<std::int32_t>(img.height), 32, 3, 0, img.width * img.height * 4, true);
  for (std::uint32_t y = 0; y < img.height; ++y)
    for (std::uint32_t x = 0; x < img.width; ++x) {
      const std::uint8_t* p = img.Pixel(x, y);
      v.insert(v.end(), {p[2], p[1], p[0], p[3]});
    }
  return v;
}

std::vector<std::uint8_t> WriteBmp8(const Image& img) {
  std::map<std::uint32_t, std::uint8_t> index;
  std::vector<std::uint8_t> palette;
  const std::uint32_t stride = (img.width + 3) & ~3u;
  std::vector<std::uint8_t> pixels;
  for (std::uint32_t y = img.height; y-- > 0;) {
    for (std::uint32_t x = 0; x < img.width; ++x) {
      const std::uint8_t* p = img.Pixel(x, y);
      std::uint32_t key = p[0] << 16 | p[1] << 8 | p[2];
      auto it = index.find(key);
      if (it == index.end()) {
        it = index.emplace(key, static_cast<std::uint8_t>(index.size())).first;
        palette.insert(palette.end(), {p[2], p[1], p[0], 0});
      }
      pixels.push_back(it->second);
    }
    pixels.resize(pixels.size() + stride - img.width, 0);
  }
  auto v = BmpHeaders(img.width, static_cast<std::int32_t>(img.height), 8, 0, static_cast<std::uint32_t>(palette.size()),
                      static_cast<std::uint32_t>(pixels.size()), false);
  v.insert(v.end(), palette.begin(), palette.end());
  v.insert(v.end(), pixels.begin(), pixels.end());
  return v;
}

std::vector<std::uint8_t> WriteTga(const Image& img, int bits, bool rle, bool topOrigin) {
  std::vector<std::uint8_t> v = {0, 0, static_cast<std::uint8_t>(rle ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put16(v, img.width);
  Put16(v, img.height);
  v.push_back(static_cast<std::uint8_t>(bits));
  v.push_back(static_cast<std::uint8_t>((topOrigin ? 0x20 : 0) | (bits == 32 ? 8 : 0)));
  std::vector<std::vector<std::uint8_t>> px;
  for (std::uint32_t i = 0; i < img.height; ++i) {
    std::uint32_t y = topOrigin ? i : img.height - 1 - i;
    for (std::uint32_t x = 0; x < img.width; ++x) {
      const std::uint8_t* p = img.Pixel(x, y);
      if (bits == 32) px.push_back({p[2], p[1], p[0], p[3]});
      else px.push_back({p[2], p[1], p[0]});
    }
  }
  if (!rle) {
    for (auto& p : px) v.insert(v.end(), p.begin(), p.end());
    return v;
  }
  // Runs of equal pixels as repeat packets, everything else as one-pixel raw packets; packets
  // cross scan lines, as the format allows.
  for (std::size_t i = 0; i < px.size();) {
    std::size_t n = 1;
    while (i + n < px.size() && n < 128 && px[i + n] == px[i]) ++n;
    if (n > 1) {
      v.push_back(static_cast<std::uint8_t>(0x80 | (n - 1)));
      v.insert(v.end(), px[i].begin(), px[i].end());
    } else {
      v.push_back(0);
      v.insert(v.end(), px[i].begin(), px[i].end());
    }
    i += n;
  }
  return v;
}

namespace {
std::vector<std::uint8_t> DdsHeader(const Image& img, std::uint32_t pfFlags, std::uint32_t fourCC, std::uint32_t bits,
                                    std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
  std::vector<std::uint8_t> v = {'D', 'D', 'S', ' '};
  Put32(v, 124);
  Put32(v, 0x1007);
  Put32(v, img.height);
  Put32(v, img.width);
  Put32(v, 0);
  Put32(v, 0);
  Put32(v, 1);
  v.resize(v.size() + 44, 0);
  Put32(v, 32);
  Put32(v, pfFlags);
  Put32(v, fourCC);
  Put32(v, bits);
  Put32(v, r);
  Put32(v, g);
  Put32(v, b);
  Put32(v, a);
  Put32(v, 0x1000);
  v.resize(v.size() + 16, 0);
  return v;
}
}  // namespace

std::vector<std::uint8_t> WriteDds32(const Image& img) {
  auto v = DdsHeader(img, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
  for (std::size_t i = 0; i < img.rgba.size(); i += 4)
    v.insert(v.end(), {img.rgba[i + 2], img.rgba[i + 1], img.rgba[i], img.rgba[i + 3]});
  return v;
}

std::vector<std::uint8_t> WriteDdsDxt5(const Image& img) {
  auto v = DdsHeader(img, 0x4, FourCC('D', 'X', 'T', '5'), 0, 0, 0, 0, 0);
  std::size_t at = v.size();
  v.resize(at + squish::GetStorageRequirements(static_cast<int>(img.width), static_cast<int>(img.height), squish::kDxt5));
  squish::CompressImage(img.rgba.data(), static_cast<int>(img.width), static_cast<int>(img.height), &v[at], squish::kDxt5);
  return v;
}

std::vector<std::uint8_t> WritePng(const Image& img) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = img.width;
  png.height = img.height;
  png.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&png, nullptr, &size, 0, img.rgba.data(), 0, nullptr);
  std::vector<std::uint8_t> v(size);
  png_image_write_to_memory(&png, v.data(), &size, 0, img.rgba.data(), 0, nullptr);
  v.resize(size);
  return v;
}

std::vector<std::uint8_t> WriteJpeg(const Image& img, int quality) {
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  tjCompress2(tj, img.rgba.data(), static_cast<int>(img.width), 0, static_cast<int>(img.height), TJPF_RGBA, &out, &size,
              TJSAMP_444, quality, 0);
  std::vector<std::uint8_t> v(out, out + size);
  tjFree(out);
  tjDestroy(tj);
  return v;
}

}  // namespace d3dutil::test_files
