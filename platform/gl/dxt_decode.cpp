#include "platform/gl/dxt_decode.h"

#include "platform/d3d8/d3d8types.h"

namespace gl {
namespace {

void DecodeColourBlock(const std::uint8_t* b, bool allowTransparent, std::uint8_t out[16][4]) {
    const unsigned c0 = b[0] | (b[1] << 8);
    const unsigned c1 = b[2] | (b[3] << 8);
    std::uint8_t pal[4][4];
    auto expand = [](unsigned c, std::uint8_t* p) {
        const unsigned r = (c >> 11) & 31, g = (c >> 5) & 63, bl = c & 31;
        p[0] = static_cast<std::uint8_t>((bl << 3) | (bl >> 2));
        p[1] = static_cast<std::uint8_t>((g << 2) | (g >> 4));
        p[2] = static_cast<std::uint8_t>((r << 3) | (r >> 2));
        p[3] = 255;
    };
    expand(c0, pal[0]);
    expand(c1, pal[1]);
    for (int k = 0; k < 3; ++k) {
        if (c0 > c1 || !allowTransparent) {
            pal[2][k] = static_cast<std::uint8_t>((2 * pal[0][k] + pal[1][k] + 1) / 3);
            pal[3][k] = static_cast<std::uint8_t>((pal[0][k] + 2 * pal[1][k] + 1) / 3);
        } else {
            pal[2][k] = static_cast<std::uint8_t>((pal[0][k] + pal[1][k]) / 2);
            pal[3][k] = 0;
        }
    }
    pal[2][3] = 255;
    pal[3][3] = (c0 > c1 || !allowTransparent) ? 255 : 0;
    const std::uint32_t bits = b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<std::uint32_t>(b[7]) << 24);
    for (int i = 0; i < 16; ++i) {
        const unsigned idx = (bits >> (2 * i)) & 3;
        for (int k = 0; k < 4; ++k) out[i][k] = pal[idx][k];
    }
}

void DecodeExplicitAlpha(const std::uint8_t* b, std::uint8_t out[16][4]) {
    for (int i = 0; i < 16; ++i) {
        const unsigned nibble = (b[i / 2] >> ((i & 1) * 4)) & 15;
        out[i][3] = static_cast<std::uint8_t>(nibble * 17);
    }
}

void DecodeInterpolatedAlpha(const std::uint8_t* b, std::uint8_t out[16][4]) {
    unsigned a[8];
    a[0] = b[0];
    a[1] = b[1];
    if (a[0] > a[1]) {
        for (int i = 1; i < 7; ++i) a[1 + i] = ((7 - i) * a[0] + i * a[1] + 3) / 7;
    } else {
        for (int i = 1; i < 5; ++i) a[1 + i] = ((5 - i) * a[0] + i * a[1] + 2) / 5;
        a[6] = 0;
        a[7] = 255;
    }
    std::uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<std::uint64_t>(b[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) out[i][3] = static_cast<std::uint8_t>(a[(bits >> (3 * i)) & 7]);
}

}  // namespace

bool DecodeDxt(std::uint32_t fourcc, const std::uint8_t* src, std::size_t srcSize, int width, int height,
               std::uint8_t* dst) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384 || src == nullptr || dst == nullptr)
        return false;
    std::size_t blockBytes = 16;
    if (fourcc == static_cast<std::uint32_t>(D3DFMT_DXT1)) {
        blockBytes = 8;
    } else if (fourcc != static_cast<std::uint32_t>(D3DFMT_DXT2) && fourcc != static_cast<std::uint32_t>(D3DFMT_DXT3) &&
               fourcc != static_cast<std::uint32_t>(D3DFMT_DXT4) && fourcc != static_cast<std::uint32_t>(D3DFMT_DXT5)) {
        return false;
    }
    const std::size_t bw = (static_cast<std::size_t>(width) + 3) / 4, bh = (static_cast<std::size_t>(height) + 3) / 4;
    if (srcSize / blockBytes < bw * bh) return false;
    const bool explicitAlpha =
        fourcc == static_cast<std::uint32_t>(D3DFMT_DXT2) || fourcc == static_cast<std::uint32_t>(D3DFMT_DXT3);
    std::uint8_t texels[16][4];
    for (std::size_t by = 0; by < bh; ++by) {
        for (std::size_t bx = 0; bx < bw; ++bx) {
            const std::uint8_t* block = src + (by * bw + bx) * blockBytes;
            if (blockBytes == 8) {
                DecodeColourBlock(block, true, texels);
            } else {
                DecodeColourBlock(block + 8, false, texels);
                if (explicitAlpha)
                    DecodeExplicitAlpha(block, texels);
                else
                    DecodeInterpolatedAlpha(block, texels);
            }
            for (int i = 0; i < 16; ++i) {
                const std::size_t x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
                if (x >= static_cast<std::size_t>(width) || y >= static_cast<std::size_t>(height)) continue;
                std::uint8_t* p = dst + (y * static_cast<std::size_t>(width) + x) * 4;
                for (int k = 0; k < 4; ++k) p[k] = texels[i][k];
            }
        }
    }
    return true;
}

}  // namespace gl
