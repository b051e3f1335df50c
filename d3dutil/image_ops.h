// Operations on decoded RGBA8 images: resampling, mip-level reduction, colour keying and
// conversion to and from the texture pixel formats (DXT through libsquish).
#pragma once

#include <cstddef>
#include <cstdint>

#include "d3dutil/image.h"

namespace d3dutil {

enum class ResampleFilter {
  None,    // no scaling: the source is copied to the top left, the rest is transparent black
  Point,   // nearest texel
  Linear,  // bilinear when enlarging, area average when reducing
  Box,     // area average (2 × 2 for mip levels)
};

bool IsBlockCompressed(PixelFormat format);
bool HasAlphaChannel(PixelFormat format);
// Bytes per pixel for the uncompressed formats, 0 for the block-compressed and unknown ones.
std::uint32_t BytesPerPixel(PixelFormat format);
// Whether EncodePixels can write this format.
bool IsWritableFormat(PixelFormat format);
// Bytes of one row (of 4-pixel block rows for DXT) at this width; 0 for formats it cannot write.
std::size_t RowBytes(PixelFormat format, std::uint32_t width);
// Rows (or block rows) of a level of this height.
std::uint32_t RowCount(PixelFormat format, std::uint32_t height);

// Scales src to width × height into out. Returns false on a bad size.
bool Resample(const Image& src, std::uint32_t width, std::uint32_t height, ResampleFilter filter, Image& out);

// The next smaller mip level: each side halved, never below 1.
bool NextMipLevel(const Image& src, ResampleFilter filter, Image& out);

// Replaces every pixel whose ARGB equals key (as 0xAARRGGBB) by transparent black. A key of 0
// means no colour key.
void ApplyColourKey(Image& image, std::uint32_t keyArgb);

// Writes the image in format to dst; pitch is the distance between rows (block rows for DXT).
// dst must hold RowCount(height) rows of at least RowBytes(width). Returns false for a format it
// cannot write.
bool EncodePixels(const Image& image, PixelFormat format, std::uint8_t* dst, std::size_t pitch);

// Reads pixels of format back into an RGBA8 image (the inverse of EncodePixels, up to precision).
bool DecodePixels(const std::uint8_t* src, std::size_t pitch, PixelFormat format, std::uint32_t width,
                  std::uint32_t height, Image& out);

// One colour from four floats in [0, 1] (clamped) into RGBA8.
void FloatToRgba8(float r, float g, float b, float a, std::uint8_t* dst);

}  // namespace d3dutil
