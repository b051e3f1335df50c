// Software decoding of DXT1..DXT5 blocks, for drivers without S3TC texture compression.
// Limits: width and height up to 16384; the source must hold ceil(w/4) * ceil(h/4) blocks
// (8 bytes each for DXT1, 16 for the others), else nothing is decoded.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gl {

// Decodes into B, G, R, A bytes per pixel (the memory order of D3DFMT_A8R8G8B8), rows of
// width * 4 bytes. fourcc is the D3DFORMAT value. Returns false on bad sizes or format.
bool DecodeDxt(std::uint32_t fourcc, const std::uint8_t* src, std::size_t srcSize, int width, int height,
               std::uint8_t* dst);

}  // namespace gl
