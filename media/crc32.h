// CRC-32 as the media archives use it: the standard reflected CRC-32 (polynomial 0xEDB88320).
//
// A file's CRC is ~Crc32(0xFFFFFFFF, bytes, length). The running value is passed in and returned
// uncomplemented, so a file can be summed in pieces:
//     std::uint32_t c = 0xFFFFFFFF; c = Crc32(c, a, na); c = Crc32(c, b, nb); crc = ~c;
//
// Header-only so that the archive writer and the tools use the very same code as the reader.
// The tables are built at compile time; the loop consumes 8 bytes a step (slicing by 8) because
// the reader proves every extracted byte with it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace media {

namespace crc32_detail {

inline constexpr std::uint32_t kPolynomial = 0xEDB88320u;

constexpr std::array<std::array<std::uint32_t, 256>, 8> BuildTables() {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ kPolynomial : (c >> 1);
        t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
        for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFu];
    }
    return t;
}

inline constexpr auto kTables = BuildTables();

}  // namespace crc32_detail

// Updates the running CRC `crc` with `length` bytes at `data` (data may be null when length is 0).
inline std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t length) {
    const auto& t = crc32_detail::kTables;
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (length >= 8) {
        // Little-endian assembly byte by byte: no alignment or host byte-order assumptions.
        const std::uint32_t lo = crc ^ (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                        std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
        crc = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
        p += 8;
        length -= 8;
    }
    while (length--) crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFFu];
    return crc;
}

// The CRC of a whole buffer as stored in a file header.
inline std::uint32_t FileCrc32(const void* data, std::size_t length) {
    return ~Crc32(0xFFFFFFFFu, data, length);
}

}  // namespace media
