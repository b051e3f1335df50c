// Bit output in the order the archive's decoder reads it: most significant bit first.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace media::writer {

class BitWriter {
public:
    // Appends the low `count` bits of `value` (count 0..24), highest first.
    void Put(std::uint32_t value, int count) {
        if (count == 0) return;
        acc_ = (acc_ << count) | (value & ((1u << count) - 1u));
        pending_ += count;
        bits_ += static_cast<std::uint64_t>(count);
        while (pending_ >= 8) {
            pending_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(acc_ >> pending_));
        }
        acc_ &= (1u << pending_) - 1u;
    }
    std::uint64_t BitCount() const { return bits_; }
    // Pads the last byte with zero bits and hands the bytes over.
    std::vector<std::uint8_t> Finish() {
        if (pending_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - pending_)));
        pending_ = 0;
        acc_ = 0;
        return std::move(out_);
    }

private:
    std::vector<std::uint8_t> out_;
    std::uint32_t acc_ = 0;
    int pending_ = 0;
    std::uint64_t bits_ = 0;
};

}  // namespace media::writer
