// Small writers of the image file formats, so the decoders can be tested on files made here.
#pragma once

#include <cstdint>
#include <vector>

#include "d3dutil/image.h"

namespace d3dutil::test_files {

// A deterministic test picture with varied colours and alpha.
Image Pattern(std::uint32_t width, std::uint32_t height);

std::vector<std::uint8_t> WriteBmp24(const Image& image);
std::vector<std::uint8_t> WriteBmp32Alpha(const Image& image);  // bit fields with an alpha mask, top-down
std::vector<std::uint8_t> WriteBmp8(const Image& image);        // palette of the image's first 256 colours
std::vector<std::uint8_t> WriteTga(const Image& image, int bits, bool rle, bool topOrigin);
std::vector<std::uint8_t> WriteDds32(const Image& image);
std::vector<std::uint8_t> WriteDdsDxt5(const Image& image);
std::vector<std::uint8_t> WritePng(const Image& image);
std::vector<std::uint8_t> WriteJpeg(const Image& image, int quality);

}  // namespace d3dutil::test_files
