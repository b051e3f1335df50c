// Little-endian byte assembly for hand-built test files, independent of the writers under test.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct TestBytes {
    std::vector<std::uint8_t> b;
    std::size_t Mark() const { return b.size(); }
    TestBytes& Raw(const char* s, std::size_t n) {
        b.insert(b.end(), s, s + n);
        return *this;
    }
    TestBytes& U16(std::uint16_t v) {
        b.push_back(std::uint8_t(v));
        b.push_back(std::uint8_t(v >> 8));
        return *this;
    }
    TestBytes& I32(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(u >> (8 * i)));
        return *this;
    }
    TestBytes& F(float f) {
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        return I32(static_cast<std::int32_t>(u));
    }
    TestBytes& F3(float x, float y, float z) { return F(x).F(y).F(z); }
    TestBytes& Str(const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
        return *this;
    }
    void PatchI32(std::size_t at, std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(u >> (8 * i));
    }
};
