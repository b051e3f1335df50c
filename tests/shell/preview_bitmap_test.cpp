#include "shell/preview_bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A 3 x 2 24-bit bitmap: bottom-up unless topDown; pixel (x, y) has R = x, G = y, B = 9.
std::vector<std::uint8_t> MakeBitmap(bool fileHeader, bool topDown) {
    const std::size_t header = fileHeader ? 14 : 0;
    const std::size_t stride = 12;  // 9 bytes padded to 12
    std::vector<std::uint8_t> b(header + 40 + stride * 2, 0);
    if (fileHeader) {
        b[0] = 'B';
        b[1] = 'M';
        Put32(b, 2, static_cast<std::uint32_t>(b.size()));
        Put32(b, 10, 54);
    }
    Put32(b, header, 40);
    Put32(b, header + 4, 3);
    Put32(b, header + 8, topDown ? static_cast<std::uint32_t>(-2) : 2u);
    b[header + 12] = 1;
    b[header + 14] = 24;
    for (int y = 0; y < 2; ++y) {
        const std::size_t row = header + 40 + stride * static_cast<std::size_t>(topDown ? y : 1 - y);
        for (int x = 0; x < 3; ++x) {
            b[row + x * 3] = 9;
            b[row + x * 3 + 1] = static_cast<std::uint8_t>(y);
            b[row + x * 3 + 2] = static_cast<std::uint8_t>(x);
        }
    }
    return b;
}

TEST(PreviewBitmap, DecodesBothLayoutsWithAndWithoutFileHeader) {
    for (bool fileHeader : {false, true}) {
        for (bool topDown : {false, true}) {
            auto picture = DecodePreviewBitmap(MakeBitmap(fileHeader, topDown));
            ASSERT_TRUE(picture) << fileHeader << topDown;
            EXPECT_EQ(picture->width, 3);
            EXPECT_EQ(picture->height, 2);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x) {
                    const std::size_t at = (static_cast<std::size_t>(y) * 3 + x) * 3;
                    EXPECT_EQ(picture->rgb[at], x);
                    EXPECT_EQ(picture->rgb[at + 1], y);
                    EXPECT_EQ(picture->rgb[at + 2], 9);
                }
        }
    }
}

TEST(PreviewBitmap, RefusesDamagedInput) {
    const std::vector<std::uint8_t> good = MakeBitmap(true, false);
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        EXPECT_FALSE(DecodePreviewBitmap(std::span(good.data(), cut))) << cut;
    }
    auto huge = good;
    Put32(huge, 14 + 4, 0x7FFFFFFF);
    EXPECT_FALSE(DecodePreviewBitmap(huge));
    auto paletted = good;
    paletted[14 + 14] = 8;
    EXPECT_FALSE(DecodePreviewBitmap(paletted));
    auto offsetPastEnd = good;
    Put32(offsetPastEnd, 10, 0xFFFFFFF0u);
    EXPECT_FALSE(DecodePreviewBitmap(offsetPastEnd));
    auto minHeight = good;
    Put32(minHeight, 14 + 8, 0x80000000u);
    EXPECT_FALSE(DecodePreviewBitmap(minHeight));
}

}  // namespace
