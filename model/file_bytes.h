// Whole-file reads for the loaders that take a path instead of a buffer.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace model {

// False when the file cannot be opened or a read fails.
inline bool ReadWholeFile(const char* path, std::vector<std::uint8_t>& out) {
    if (path == nullptr) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace model
