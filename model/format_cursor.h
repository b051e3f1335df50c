// Bounds-checked little-endian reading and writing shared by the mesh and animation formats.
// Every read reports failure instead of running past the end; callers check counts against
// Remaining() before they allocate anything sized by the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace model::format {

class ReadCursor {
public:
    explicit ReadCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Remaining() const { return bytes_.size() - pos_; }
    std::size_t Position() const { return pos_; }

    bool Bytes(void* out, std::size_t n) {
        if (n > Remaining()) return false;
        if (n) std::memcpy(out, bytes_.data() + pos_, n);
        pos_ += n;
        return true;
    }
    bool U16(std::uint16_t& v) {
        std::uint8_t b[2];
        if (!Bytes(b, 2)) return false;
        v = std::uint16_t(b[0] | b[1] << 8);
        return true;
    }
    bool U32(std::uint32_t& v) {
        std::uint8_t b[4];
        if (!Bytes(b, 4)) return false;
        v = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
        return true;
    }
    bool I32(std::int32_t& v) {
        std::uint32_t u;
        if (!U32(u)) return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    bool F32(float& v) {
        std::uint32_t u;
        if (!U32(u)) return false;
        std::memcpy(&v, &u, 4);
        return true;
    }
    bool F32s(float* v, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            if (!F32(v[i])) return false;
        return true;
    }
    // A NUL-terminated string of at most maxChars characters; the NUL must lie inside the buffer.
    bool String(std::string& out, std::size_t maxChars) {
        if (Remaining() == 0) return false;  // also keeps memchr away from an empty span's null data
        const std::uint8_t* start = bytes_.data() + pos_;
        const void* nul = std::memchr(start, 0, Remaining());
        if (!nul) return false;
        const std::size_t len = static_cast<const std::uint8_t*>(nul) - start;
        if (len > maxChars) return false;
        out.assign(reinterpret_cast<const char*>(start), len);
        pos_ += len + 1;
        return true;
    }
    // Reads a count and checks that `count` records of at least `minRecordBytes` each still fit.
    bool Count(std::int32_t& count, std::size_t minRecordBytes) {
        if (!I32(count) || count < 0) return false;
        return minRecordBytes == 0 || std::size_t(count) <= Remaining() / minRecordBytes;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

class WriteCursor {
public:
    explicit WriteCursor(std::vector<std::uint8_t>& out) : out_(out) {}
    void Bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    void U16(std::uint16_t v) {
        out_.push_back(std::uint8_t(v));
        out_.push_back(std::uint8_t(v >> 8));
    }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out_.push_back(std::uint8_t(v >> (8 * i)));
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void F32(float v) {
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        U32(u);
    }
    void F32s(const float* v, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) F32(v[i]);
    }
    void String(const std::string& s) {
        Bytes(s.data(), s.size());
        out_.push_back(0);
    }

private:
    std::vector<std::uint8_t>& out_;
};

}  // namespace model::format
