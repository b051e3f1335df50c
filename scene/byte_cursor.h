// Bounds-checked little-endian reading and writing for the scene's data files.
// A ByteReader never reads past its end: every read checks the bytes left first, and once a read
// fails the reader stays failed, so a decoder can read a whole record and test ok() once.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace scene {

class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(data ? size : 0) {}

  bool ok() const { return ok_; }
  std::size_t offset() const { return offset_; }
  std::size_t remaining() const { return size_ - offset_; }

  // True when n more bytes can be read; does not consume them.
  bool has(std::size_t n) const { return ok_ && n <= remaining(); }

  bool skip(std::size_t n) {
    if (!has(n)) return fail();
    offset_ += n;
    return true;
  }

  std::uint8_t u8() {
    if (!has(1)) return fail(), 0;
    return data_[offset_++];
  }
  std::uint16_t u16() {
    if (!has(2)) return fail(), 0;
    const std::uint8_t* p = data_ + offset_;
    offset_ += 2;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
  }
  std::uint32_t u32() {
    if (!has(4)) return fail(), 0;
    const std::uint8_t* p = data_ + offset_;
    offset_ += 4;
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  float f32() { return std::bit_cast<float>(u32()); }
  void floats(float* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = f32();
  }

  // A zero-terminated string whose terminator lies within the next max_bytes bytes (terminator
  // included) and within the data. Fails otherwise, consuming nothing.
  bool cstring(std::string& out, std::size_t max_bytes) {
    if (!ok_) return false;
    const std::size_t limit = remaining() < max_bytes ? remaining() : max_bytes;
    for (std::size_t i = 0; i < limit; ++i) {
      if (data_[offset_ + i] == 0) {
        out.assign(reinterpret_cast<const char*>(data_ + offset_), i);
        offset_ += i + 1;
        return true;
      }
    }
    return fail();
  }

 private:
  bool fail() {
    ok_ = false;
    return false;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
  bool ok_ = true;
};

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  void u8(std::uint8_t v) { out_.push_back(v); }
  void u16(std::uint16_t v) {
    out_.push_back(static_cast<std::uint8_t>(v));
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out_.push_back(static_cast<std::uint8_t>(v >> shift));
  }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }
  void floats(const float* v, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) f32(v[i]);
  }
  void cstring(const std::string& s) {
    out_.insert(out_.end(), s.begin(), s.end());
    out_.push_back(0);
  }

 private:
  std::vector<std::uint8_t>& out_;
};

}  // namespace scene
