// Decoders for BMP, TGA and DDS files held in memory, plus the file-type recognition that routes
// every image to its decoder. Limits: no side above kMaxImageSide, no decoded image above
// kMaxImageBytes, palettes of at most 256 entries, BMP only uncompressed or bit-field pixels,
// DDS only the first face or slice of its top level (the texture layer rebuilds the mip chain).
// Every field comes through ByteReader; the pixel data a header claims is checked against the
// bytes left before any pixel memory is allocated.
#include "d3dutil/image.h"

#include <squish.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "d3dutil/byte_reader.h"

namespace d3dutil {
namespace {

bool Fail(std::string* error, const char* why) {
  if (error) *error = why;
  return false;
}

// Extracts the channel under mask from a packed pixel and widens it to 8 bits.
struct MaskChannel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t maxValue = 0;

  explicit MaskChannel(std::uint32_t m = 0) : mask(m) {
    if (m) {
      shift = std::countr_zero(m);
      maxValue = m >> shift;
    }
  }
  std::uint8_t Get(std::uint32_t pixel, std::uint8_t absent) const {
    if (!maxValue) return absent;
    std::uint32_t v = (pixel & mask) >> shift;
    return static_cast<std::uint8_t>((static_cast<std::uint64_t>(v) * 255 + maxValue / 2) / maxValue);
  }
};

std::uint32_t ReadPacked(const std::uint8_t* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
  return v;
}

std::uint8_t Expand5(std::uint32_t v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); }

// ---------------------------------------------------------------------------------------------- BMP

bool DecodeBmpImpl(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info,
                   std::string* error) {
  ByteReader r(data, size);
  if (r.u8() != 'B' || r.u8() != 'M') return Fail(error, "not a BMP file");
  r.u32();
  r.u32();
  std::uint32_t pixelOffset = r.u32();
  std::size_t infoStart = r.offset();
  std::uint32_t headerSize = r.u32();
  if (!r.ok()) return Fail(error, "truncated BMP header");

  std::int64_t width = 0, height = 0;
  std::uint32_t bpp = 0, compression = 0, colorsUsed = 0;
  std::uint32_t masks[4] = {0, 0, 0, 0};
  bool haveMasks = false;
  int paletteEntrySize = 4;
  if (headerSize == 12) {
    width = r.u16();
    height = r.u16();
    r.u16();
    bpp = r.u16();
    paletteEntrySize = 3;
  } else if (headerSize >= 40 && headerSize <= 1024) {
    width = r.i32();
    height = r.i32();
    r.u16();
    bpp = r.u16();
    compression = r.u32();
    r.u32();
    r.u32();
    r.u32();
    colorsUsed = r.u32();
    r.u32();
    if (compression == 3 || compression == 6) {
      // Bit fields: inside the larger headers, or right after the 40-byte one.
      masks[0] = r.u32();
      masks[1] = r.u32();
      masks[2] = r.u32();
      if (compression == 6 || headerSize >= 56) masks[3] = r.u32();
      haveMasks = true;
    }
    if (headerSize > 40 && !r.seek(infoStart + headerSize)) return Fail(error, "truncated BMP header");
  } else {
    return Fail(error, "unsupported BMP header");
  }
  if (!r.ok()) return Fail(error, "truncated BMP header");
  if (compression != 0 && compression != 3 && compression != 6) return Fail(error, "unsupported BMP compression");
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide)
    return Fail(error, "BMP size out of range");
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return Fail(error, "unsupported BMP depth");

  std::uint8_t palette[256][4] = {};
  if (bpp <= 8) {
    std::uint32_t count = colorsUsed ? colorsUsed : (1u << bpp);
    if (count > 256) return Fail(error, "BMP palette too large");
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint8_t* e = r.bytes(paletteEntrySize);
      if (!e) return Fail(error, "truncated BMP palette");
      palette[i][0] = e[2];
      palette[i][1] = e[1];
      palette[i][2] = e[0];
      palette[i][3] = 255;
    }
  }

  std::uint32_t w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
  std::size_t stride = ((std::size_t{w} * bpp + 31) / 32) * 4;
  std::size_t dataBytes = 0;
  if (!CheckedMul(stride, h, dataBytes)) return Fail(error, "BMP too large");
  if (pixelOffset > size || dataBytes > size - pixelOffset) return Fail(error, "truncated BMP pixels");
  if (!AllocateImage(w, h, out, error)) return false;

  if (!haveMasks) {
    if (bpp == 16) {
      masks[0] = 0x7C00;
      masks[1] = 0x03E0;
      masks[2] = 0x001F;
    } else {
      masks[0] = 0xFF0000;
      masks[1] = 0xFF00;
      masks[2] = 0xFF;
    }
  }
  MaskChannel ch[4] = {MaskChannel(masks[0]), MaskChannel(masks[1]), MaskChannel(masks[2]), MaskChannel(masks[3])};

  const std::uint8_t* pixels = data + pixelOffset;
  for (std::uint32_t y = 0; y < h; ++y) {
    const std::uint8_t* row = pixels + stride * (topDown ? y : h - 1 - y);
    std::uint8_t* dst = out.Pixel(0, y);
    for (std::uint32_t x = 0; x < w; ++x, dst += 4) {
      if (bpp <= 8) {
        std::size_t bit = std::size_t{x} * bpp;
        std::uint32_t index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        std::memcpy(dst, palette[index], 4);
      } else if (bpp == 24) {
        dst[0] = row[x * 3 + 2];
        dst[1] = row[x * 3 + 1];
        dst[2] = row[x * 3];
        dst[3] = 255;
      } else {
        std::uint32_t px = ReadPacked(row + std::size_t{x} * (bpp / 8), bpp / 8);
        dst[0] = ch[0].Get(px, 0);
        dst[1] = ch[1].Get(px, 0);
        dst[2] = ch[2].Get(px, 0);
        dst[3] = ch[3].Get(px, 255);
      }
    }
  }

  info.width = w;
  info.height = h;
  info.fileType = ImageFileType::Bmp;
  if (bpp == 24) {
    info.format = PixelFormat::R8G8B8;
  } else if (bpp == 16) {
    info.format = masks[1] == 0x07E0 ? PixelFormat::R5G6B5 : (masks[3] ? PixelFormat::A1R5G5B5 : PixelFormat::X1R5G5B5);
  } else if (bpp == 32) {
    info.format = masks[3] ? PixelFormat::A8R8G8B8 : PixelFormat::X8R8G8B8;
  } else {
    info.format = PixelFormat::X8R8G8B8;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------- TGA

struct TgaHeader {
  std::uint8_t idLength, colorMapType, imageType;
  std::uint16_t mapFirst, mapLength;
  std::uint8_t mapEntryBits;
  std::uint16_t width, height;
  std::uint8_t bpp, descriptor;
};

bool ReadTgaHeader(ByteReader& r, TgaHeader& h) {
  h.idLength = r.u8();
  h.colorMapType = r.u8();
  h.imageType = r.u8();
  h.mapFirst = r.u16();
  h.mapLength = r.u16();
  h.mapEntryBits = r.u8();
  r.u16();
  r.u16();
  h.width = r.u16();
  h.height = r.u16();
  h.bpp = r.u8();
  h.descriptor = r.u8();
  if (!r.ok() || h.colorMapType > 1 || h.width == 0 || h.height == 0) return false;
  int base = h.imageType & ~8;
  if ((h.imageType & ~0xB) != 0 || base < 1 || base > 3) return false;
  if (base == 1 && (h.colorMapType != 1 || (h.bpp != 8 && h.bpp != 16))) return false;
  if (base == 2 && h.bpp != 15 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32) return false;
  if (base == 3 && h.bpp != 8 && h.bpp != 16) return false;
  if (h.colorMapType == 1 && h.mapEntryBits != 15 && h.mapEntryBits != 16 && h.mapEntryBits != 24 &&
      h.mapEntryBits != 32)
    return false;
  return true;
}

// Unpacks one stored true-colour value of `bits` bits into RGBA.
void TgaColour(const std::uint8_t* p, int bits, bool useAlpha16, std::uint8_t* dst) {
  if (bits == 15 || bits == 16) {
    std::uint32_t v = p[0] | (p[1] << 8);
    dst[0] = Expand5((v >> 10) & 31);
    dst[1] = Expand5((v >> 5) & 31);
    dst[2] = Expand5(v & 31);
    dst[3] = (bits == 16 && useAlpha16) ? ((v & 0x8000) ? 255 : 0) : 255;
  } else {
    dst[0] = p[2];
    dst[1] = p[1];
    dst[2] = p[0];
    dst[3] = bits == 32 ? p[3] : 255;
  }
}

bool DecodeTgaImpl(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info,
                   std::string* error) {
  ByteReader r(data, size);
  TgaHeader h;
  if (!ReadTgaHeader(r, h)) return Fail(error, "not a TGA file");
  if (h.width > kMaxImageSide || h.height > kMaxImageSide) return Fail(error, "TGA size out of range");
  if (!r.skip(h.idLength)) return Fail(error, "truncated TGA");
  int attributeBits = h.descriptor & 15;
  int base = h.imageType & ~8;

  std::vector<std::uint8_t> map;
  if (h.colorMapType == 1) {
    int entryBytes = (h.mapEntryBits + 7) / 8;
    const std::uint8_t* entries = r.bytes(std::size_t{h.mapLength} * entryBytes);
    if (!entries) return Fail(error, "truncated TGA colour map");
    if (base == 1) {
      map.resize(std::size_t{h.mapLength} * 4);
      for (std::size_t i = 0; i < h.mapLength; ++i)
        TgaColour(entries + i * entryBytes, h.mapEntryBits, attributeBits > 0, &map[i * 4]);
    }
  }

  const int pixelBytes = (h.bpp + 7) / 8;
  const std::size_t total = std::size_t{h.width} * h.height;
  const bool rle = (h.imageType & 8) != 0;
  // One packet of 1 + pixelBytes bytes yields at most 128 pixels: refuse sizes the bytes left
  // cannot hold before allocating for them.
  const std::size_t minBytes = rle ? (total + 127) / 128 * (1 + pixelBytes) : total * pixelBytes;
  if (minBytes > r.remaining()) return Fail(error, "truncated TGA pixels");
  if (!AllocateImage(h.width, h.height, out, error)) return false;

  // Pixels in file order; placed by the orientation bits afterwards.
  std::vector<std::uint8_t> ordered(total * 4);
  auto convert = [&](const std::uint8_t* p, std::uint8_t* dst) -> bool {
    if (base == 1) {
      std::uint32_t index = pixelBytes == 1 ? p[0] : (p[0] | (p[1] << 8));
      if (index < h.mapFirst || index - h.mapFirst >= h.mapLength) return false;
      std::memcpy(dst, &map[(index - h.mapFirst) * 4], 4);
    } else if (base == 3) {
      dst[0] = dst[1] = dst[2] = p[0];
      dst[3] = pixelBytes == 2 ? p[1] : 255;
    } else {
      TgaColour(p, h.bpp, attributeBits > 0, dst);
    }
    return true;
  };

  std::size_t done = 0;
  if (!rle) {
    std::size_t bytes = 0;
    if (!CheckedMul(total, pixelBytes, bytes)) return Fail(error, "TGA too large");
    const std::uint8_t* p = r.bytes(bytes);
    if (!p) return Fail(error, "truncated TGA pixels");
    for (; done < total; ++done)
      if (!convert(p + done * pixelBytes, &ordered[done * 4])) return Fail(error, "TGA colour index out of range");
  } else {
    while (done < total) {
      std::uint8_t packet = r.u8();
      if (!r.ok()) return Fail(error, "truncated TGA run");
      std::size_t count = std::min<std::size_t>((packet & 0x7F) + 1, total - done);
      if (packet & 0x80) {
        const std::uint8_t* p = r.bytes(pixelBytes);
        if (!p) return Fail(error, "truncated TGA run");
        std::uint8_t px[4];
        if (!convert(p, px)) return Fail(error, "TGA colour index out of range");
        for (std::size_t i = 0; i < count; ++i) std::memcpy(&ordered[(done + i) * 4], px, 4);
      } else {
        const std::uint8_t* p = r.bytes(count * pixelBytes);
        if (!p) return Fail(error, "truncated TGA run");
        for (std::size_t i = 0; i < count; ++i)
          if (!convert(p + i * pixelBytes, &ordered[(done + i) * 4])) return Fail(error, "TGA colour index out of range");
      }
      done += count;
    }
  }

  const bool topOrigin = (h.descriptor & 0x20) != 0;
  const bool rightToLeft = (h.descriptor & 0x10) != 0;
  for (std::uint32_t y = 0; y < h.height; ++y) {
    std::uint32_t srcY = topOrigin ? y : h.height - 1 - y;
    for (std::uint32_t x = 0; x < h.width; ++x) {
      std::uint32_t srcX = rightToLeft ? h.width - 1 - x : x;
      std::memcpy(out.Pixel(x, y), &ordered[(std::size_t{srcY} * h.width + srcX) * 4], 4);
    }
  }

  info.width = h.width;
  info.height = h.height;
  info.fileType = ImageFileType::Tga;
  if (base == 3) {
    info.format = pixelBytes == 2 ? PixelFormat::A8L8 : PixelFormat::L8;
  } else {
    int bits = base == 1 ? h.mapEntryBits : h.bpp;
    if (bits == 32) info.format = PixelFormat::A8R8G8B8;
    else if (bits == 24) info.format = PixelFormat::R8G8B8;
    else if (bits == 16 && attributeBits > 0) info.format = PixelFormat::A1R5G5B5;
    else info.format = PixelFormat::X1R5G5B5;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------- DDS

constexpr std::uint32_t kDdpfAlphaPixels = 0x1, kDdpfAlpha = 0x2, kDdpfFourCC = 0x4, kDdpfRgb = 0x40,
                        kDdpfLuminance = 0x20000;
constexpr std::uint32_t kDdsdMipMapCount = 0x20000;
constexpr std::uint32_t kDdsCaps2Volume = 0x200000;

PixelFormat FormatFromMasks(std::uint32_t bits, std::uint32_t rm, std::uint32_t gm, std::uint32_t bm, std::uint32_t am,
                            bool luminance) {
  if (luminance) return am ? PixelFormat::A8L8 : PixelFormat::L8;
  if (bits == 8 && !rm && !gm && !bm) return PixelFormat::A8;
  if (bits == 16) {
    if (gm == 0x07E0) return PixelFormat::R5G6B5;
    if (gm == 0x03E0) return am ? PixelFormat::A1R5G5B5 : PixelFormat::X1R5G5B5;
    if (gm == 0x00F0) return am ? PixelFormat::A4R4G4B4 : PixelFormat::X4R4G4B4;
  }
  if (bits == 24) return PixelFormat::R8G8B8;
  return am ? PixelFormat::A8R8G8B8 : PixelFormat::X8R8G8B8;
}

bool DecodeDdsImpl(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info,
                   std::string* error) {
  ByteReader r(data, size);
  if (r.u32() != FourCC('D', 'D', 'S', ' ')) return Fail(error, "not a DDS file");
  std::uint32_t headerSize = r.u32();
  std::uint32_t flags = r.u32();
  std::uint32_t height = r.u32();
  std::uint32_t width = r.u32();
  r.u32();
  std::uint32_t depth = r.u32();
  std::uint32_t mipCount = r.u32();
  r.skip(44);
  r.u32();
  std::uint32_t pfFlags = r.u32();
  std::uint32_t fourCC = r.u32();
  std::uint32_t bitCount = r.u32();
  std::uint32_t rm = r.u32(), gm = r.u32(), bm = r.u32(), am = r.u32();
  r.u32();
  std::uint32_t caps2 = r.u32();
  r.skip(12);
  if (!r.ok() || headerSize != 124) return Fail(error, "truncated DDS header");
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) return Fail(error, "DDS size out of range");

  info.width = width;
  info.height = height;
  info.depth = (caps2 & kDdsCaps2Volume) && depth ? depth : 1;
  info.mipLevels = (flags & kDdsdMipMapCount) && mipCount ? mipCount : 1;
  info.fileType = ImageFileType::Dds;

  if (pfFlags & kDdpfFourCC) {
    int squishFlags = 0;
    switch (fourCC) {
      case FourCC('D', 'X', 'T', '1'): squishFlags = squish::kDxt1; info.format = PixelFormat::DXT1; break;
      case FourCC('D', 'X', 'T', '2'): squishFlags = squish::kDxt3; info.format = PixelFormat::DXT2; break;
      case FourCC('D', 'X', 'T', '3'): squishFlags = squish::kDxt3; info.format = PixelFormat::DXT3; break;
      case FourCC('D', 'X', 'T', '4'): squishFlags = squish::kDxt5; info.format = PixelFormat::DXT4; break;
      case FourCC('D', 'X', 'T', '5'): squishFlags = squish::kDxt5; info.format = PixelFormat::DXT5; break;
      default: return Fail(error, "unsupported DDS compression");
    }
    std::size_t blocks = std::size_t{(width + 3) / 4} * ((height + 3) / 4);
    std::size_t bytes = blocks * (squishFlags == squish::kDxt1 ? 8 : 16);
    const std::uint8_t* p = r.bytes(bytes);
    if (!p) return Fail(error, "truncated DDS pixels");
    if (!AllocateImage(width, height, out, error)) return false;
    squish::DecompressImage(out.rgba.data(), static_cast<int>(width), static_cast<int>(height), p, squishFlags);
    return true;
  }

  if (!(pfFlags & (kDdpfRgb | kDdpfLuminance | kDdpfAlpha)) || (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32))
    return Fail(error, "unsupported DDS pixel format");
  if (!(pfFlags & (kDdpfAlphaPixels | kDdpfAlpha))) am = 0;
  const bool luminance = (pfFlags & kDdpfLuminance) != 0;
  info.format = FormatFromMasks(bitCount, rm, gm, bm, am, luminance);
  if (pfFlags & kDdpfAlpha && !(pfFlags & (kDdpfRgb | kDdpfLuminance))) {
    rm = gm = bm = 0;
    if (!am) am = (bitCount == 32) ? 0xFFFFFFFFu : ((1u << bitCount) - 1);
  }
  const int pixelBytes = static_cast<int>(bitCount / 8);
  std::size_t rowBytes = std::size_t{width} * pixelBytes, bytes = 0;
  if (!CheckedMul(rowBytes, height, bytes)) return Fail(error, "DDS too large");
  const std::uint8_t* p = r.bytes(bytes);
  if (!p) return Fail(error, "truncated DDS pixels");
  if (!AllocateImage(width, height, out, error)) return false;
  MaskChannel cr(luminance ? rm : rm), cg(luminance ? rm : gm), cb(luminance ? rm : bm), ca(am);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint32_t px = ReadPacked(p + y * rowBytes + std::size_t{x} * pixelBytes, pixelBytes);
      std::uint8_t* dst = out.Pixel(x, y);
      dst[0] = cr.Get(px, 0);
      dst[1] = cg.Get(px, 0);
      dst[2] = cb.Get(px, 0);
      dst[3] = ca.Get(px, 255);
    }
  }
  return true;
}

bool LooksLikeTga(const std::uint8_t* data, std::size_t size) {
  ByteReader r(data, size);
  TgaHeader h;
  return ReadTgaHeader(r, h);
}

}  // namespace

bool AllocateImage(std::uint32_t width, std::uint32_t height, Image& out, std::string* error) {
  std::size_t pixels = 0, bytes = 0;
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide || !CheckedMul(width, height, pixels) ||
      !CheckedMul(pixels, 4, bytes) || bytes > kMaxImageBytes)
    return Fail(error, "image size out of range");
  out.width = width;
  out.height = height;
  out.rgba.assign(bytes, 0);
  return true;
}

bool DecodeBmp(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info, std::string* error) {
  info = {};
  return DecodeBmpImpl(data, size, out, info, error);
}
bool DecodeTga(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info, std::string* error) {
  info = {};
  return DecodeTgaImpl(data, size, out, info, error);
}
bool DecodeDds(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info, std::string* error) {
  info = {};
  return DecodeDdsImpl(data, size, out, info, error);
}

bool DecodeImage(const std::uint8_t* data, std::size_t size, Image& out, ImageFileDescription& info, std::string* error) {
  if (!data || size == 0) return Fail(error, "empty image");
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return DecodeJpeg(data, size, out, info, error);
  if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) return DecodePng(data, size, out, info, error);
  if (size >= 4 && std::memcmp(data, "DDS ", 4) == 0) return DecodeDds(data, size, out, info, error);
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return DecodeBmp(data, size, out, info, error);
  // TGA has no signature: accept it last, and only with a self-consistent header.
  if (LooksLikeTga(data, size)) return DecodeTga(data, size, out, info, error);
  return Fail(error, "unrecognised image format");
}

}  // namespace d3dutil
