// Small helpers shared by the resource tests: committed files and little-endian reads that never
// run past the end of the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/host/resources.h"

namespace content_test {

inline std::vector<std::uint8_t> ReadSourceFile(const std::string& relative) {
    std::ifstream in(std::string(GRIM_SOURCE_DIR) + "/" + relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::uint8_t> Carried(const char* type, int id) {
    host::ResourceBytes r = host::FindResource(type, id);
    if (r.data == nullptr) return {};
    return {r.data, r.data + r.size};
}

// Reads at `at`; out-of-range reads give 0 and set `ok` false, so a short file fails its checks
// instead of reading past the end.
struct Bytes {
    const std::vector<std::uint8_t>& b;
    bool ok = true;
    std::uint32_t U8(std::size_t at) {
        if (at >= b.size()) { ok = false; return 0; }
        return b[at];
    }
    std::uint32_t U16(std::size_t at) { return U8(at) | U8(at + 1) << 8; }
    std::uint32_t U16BE(std::size_t at) { return U8(at) << 8 | U8(at + 1); }
    std::uint32_t U32(std::size_t at) { return U16(at) | U16(at + 2) << 16; }
};

}  // namespace content_test
