// Hand assembly of little-endian test files, independent of the writers under test.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace scene_test {

struct Bytes {
  std::vector<std::uint8_t> v;
  Bytes& u8(std::uint8_t x) { v.push_back(x); return *this; }
  Bytes& u16(std::uint16_t x) { return u8(x & 0xFF).u8(x >> 8); }
  Bytes& u32(std::uint32_t x) {
    for (int i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(x >> (8 * i)));
    return *this;
  }
  Bytes& i32(std::int32_t x) { return u32(static_cast<std::uint32_t>(x)); }
  Bytes& f32(float f) {
    std::uint32_t x;
    std::memcpy(&x, &f, 4);
    return u32(x);
  }
  Bytes& str(const std::string& s) {
    v.insert(v.end(), s.begin(), s.end());
    return u8(0);
  }
};

}  // namespace scene_test
