// A bounds-checked little-endian cursor over bytes read from outside. Every read either succeeds
// completely or marks the reader failed and returns zero; callers check ok() once after a group
// of reads instead of after every field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace d3dutil {

class ByteReader {
public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(data ? size : 0) {}

  bool ok() const { return ok_; }
  std::size_t offset() const { return pos_; }
  std::size_t remaining() const { return ok_ ? size_ - pos_ : 0; }
  std::size_t size() const { return size_; }

  std::uint8_t u8() {
    if (!need(1)) return 0;
    return data_[pos_++];
  }
  std::uint16_t u16() {
    if (!need(2)) return 0;
    std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  std::uint32_t u32() {
    if (!need(4)) return 0;
    std::uint32_t v = static_cast<std::uint32_t>(data_[pos_]) | (static_cast<std::uint32_t>(data_[pos_ + 1]) << 8) |
                      (static_cast<std::uint32_t>(data_[pos_ + 2]) << 16) |
                      (static_cast<std::uint32_t>(data_[pos_ + 3]) << 24);
    pos_ += 4;
    return v;
  }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }

  // Returns a pointer to the next n bytes and moves past them, or nullptr if fewer are left.
  const std::uint8_t* bytes(std::size_t n) {
    if (!need(n)) return nullptr;
    const std::uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }
  bool skip(std::size_t n) { return bytes(n) != nullptr || n == 0; }
  bool seek(std::size_t offset) {
    if (!ok_ || offset > size_) return ok_ = false;
    pos_ = offset;
    return true;
  }

private:
  bool need(std::size_t n) {
    if (!ok_ || n > size_ - pos_) {
      ok_ = false;
      return false;
    }
    return true;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// a * b, or false when it would not fit in size_t.
inline bool CheckedMul(std::size_t a, std::size_t b, std::size_t& out) {
  if (a != 0 && b > SIZE_MAX / a) return false;
  out = a * b;
  return true;
}

}  // namespace d3dutil
