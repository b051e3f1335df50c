#include "shell/preview_bitmap.h"

namespace {

// Little-endian reads that refuse to go past the end.
class Cursor {
public:
    explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool U16(std::size_t at, std::uint32_t& out) const {
        if (at > bytes_.size() || bytes_.size() - at < 2) return false;
        out = std::uint32_t{bytes_[at]} | (std::uint32_t{bytes_[at + 1]} << 8);
        return true;
    }
    bool U32(std::size_t at, std::uint32_t& out) const {
        if (at > bytes_.size() || bytes_.size() - at < 4) return false;
        out = std::uint32_t{bytes_[at]} | (std::uint32_t{bytes_[at + 1]} << 8) |
              (std::uint32_t{bytes_[at + 2]} << 16) | (std::uint32_t{bytes_[at + 3]} << 24);
        return true;
    }
    std::size_t size() const { return bytes_.size(); }
    std::uint8_t operator[](std::size_t at) const { return bytes_[at]; }

private:
    std::span<const std::uint8_t> bytes_;
};

constexpr std::uint32_t kMaxSide = 16384;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

}  // namespace

std::optional<host::Picture> DecodePreviewBitmap(std::span<const std::uint8_t> bytes) {
    Cursor in(bytes);
    std::size_t header = 0;
    std::optional<std::uint32_t> pixelOffset;
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        std::uint32_t off = 0;
        if (!in.U32(10, off)) return std::nullopt;
        pixelOffset = off;
        header = 14;
    }
    std::uint32_t infoSize = 0, widthBits = 0, heightBits = 0, planes = 0, bitCount = 0, compression = 0, colours = 0;
    if (!in.U32(header, infoSize) || infoSize < 40 || infoSize > 1024 || !in.U32(header + 4, widthBits) ||
        !in.U32(header + 8, heightBits) || !in.U16(header + 12, planes) || !in.U16(header + 14, bitCount) ||
        !in.U32(header + 16, compression) || !in.U32(header + 32, colours))
        return std::nullopt;
    const auto width = static_cast<std::int32_t>(widthBits);
    const auto height = static_cast<std::int32_t>(heightBits);
    if (planes != 1 || (bitCount != 24 && bitCount != 32)) return std::nullopt;
    if (!(compression == kBiRgb || (compression == kBiBitfields && bitCount == 32))) return std::nullopt;
    if (width <= 0 || static_cast<std::uint32_t>(width) > kMaxSide || height == 0 || height == INT32_MIN) return std::nullopt;
    const bool topDown = height < 0;
    const std::uint32_t rows = static_cast<std::uint32_t>(topDown ? -height : height);
    if (rows > kMaxSide) return std::nullopt;

    // Where the pixels start: the file header says so; without it they follow the header, the
    // bit-field masks of a 40-byte header and the colour table.
    std::size_t start = 0;
    if (pixelOffset) {
        start = *pixelOffset;
    } else {
        if (colours > 256) return std::nullopt;
        start = header + infoSize + (compression == kBiBitfields && infoSize == 40 ? 12 : 0) + std::size_t{colours} * 4;
    }
    const std::size_t bytesPerPixel = bitCount / 8;
    const std::size_t stride = (static_cast<std::size_t>(width) * bytesPerPixel + 3) & ~std::size_t{3};
    // stride and rows are at most 16384 * 4 and 16384, so the product cannot overflow a size_t.
    const std::size_t needed = stride * rows;
    if (start > in.size() || in.size() - start < needed) return std::nullopt;

    host::Picture picture;
    picture.width = width;
    picture.height = static_cast<int>(rows);
    picture.rgb.resize(static_cast<std::size_t>(width) * rows * 3);
    for (std::uint32_t y = 0; y < rows; ++y) {
        const std::uint32_t sourceRow = topDown ? y : rows - 1 - y;
        const std::size_t row = start + stride * sourceRow;
        for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
            const std::size_t s = row + x * bytesPerPixel;  // stored B, G, R
            const std::size_t d = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x) * 3;
            picture.rgb[d] = in[s + 2];
            picture.rgb[d + 1] = in[s + 1];
            picture.rgb[d + 2] = in[s];
        }
    }
    return picture;
}
