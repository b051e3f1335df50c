// Decoder of the archive's version-2.0 compression method: LZ77 over a 1 MiB window with canonical
// Huffman codes (lengths sent Huffman-coded, optionally as deltas to the previous set) and an
// adaptive-predictor audio mode for 1 to 4 interleaved channels.
//
// Limits (hold for any input):
//   - reads only the packed bytes it is given, never past their end: bits wanted beyond the end
//     read as zeros, and once the stream has run past its end the entry stops (incomplete output);
//   - writes only inside the window (exactly kWindowSize bytes) and inside the output buffer up to
//     the entry's unpacked size; producing more than that stops the entry (overflow);
//   - every step consumes at least one bit or ends the entry, so decoding always ends, after at
//     most 8 × packed bytes + unpacked size steps;
//   - code lengths are 0..15; malformed codes (over- or under-subscribed) decode to some symbol of
//     the table and never index outside it.
// Not re-entrant: one instance serves the process's single archive reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/rar_format.h"

namespace media {

class Unpacker {
public:
    // One canonical Huffman table with a direct lookup of its first kQuickBits bits.
    static constexpr int kQuickBits = 10;
    struct DecodeTable {
        std::uint32_t count = 0;
        std::uint32_t decodeLen[16] = {};
        std::uint32_t decodePos[16] = {};
        std::uint16_t decodeNum[rar::kNC] = {};
        // (symbol << 4) | code length for codes of up to kQuickBits bits; 0 for longer codes.
        std::uint16_t quick[1u << kQuickBits] = {};
    };

    // The weights adapt once per kAdaptPeriod bytes of a channel, to the error sums over those
    // bytes. The sums are formed only then, from the few values kept per byte below: a vectorisable
    // pass every 32 bytes costs far less than eleven running sums updated on every byte.
    static constexpr int kAdaptPeriod = 32;
    struct AudioChannel {
        int k1 = 0, k2 = 0, k3 = 0, k4 = 0, k5 = 0;
        int d1 = 0, d2 = 0, d3 = 0, d4 = 0;
        int lastDelta = 0;
        std::uint32_t byteCount = 0;
        unsigned lastChar = 0;
        // Per byte j of the current period: d1 at [j + 3] (d2..d4 follow from neighbours; [0..2]
        // hold the last three of the previous period), the scaled delta, the channel delta used.
        // 16 bits hold them: deltas are 8-bit, the scaled delta 11-bit.
        std::int16_t d1s[kAdaptPeriod + 3] = {};
        std::int16_t scaled[kAdaptPeriod] = {};
        std::int16_t cross[kAdaptPeriod] = {};
    };

    enum class Result {
        Complete,    // produced the whole entry (the CRC check still decides)
        Incomplete,  // the packed stream ended before the entry did
        Overflow,    // the stream described more bytes than the entry holds
    };

    // Forgets everything carried between solid entries. `window` (kWindowSize bytes, owned by the
    // caller) stays in use until the next Reset; `windowIsZero` says it is freshly cleared, else
    // the decoder clears what it has written before a non-solid entry reads from it.
    void Reset(std::uint8_t* window, bool windowIsZero);

    // Decodes one entry of `unpSize` bytes from `packed`. A solid entry continues from the state
    // the previous entry left; a non-solid one starts afresh (clearing the window). Produced bytes
    // are appended to `output` (room for unpSize bytes, `filled` counting them) only when `output`
    // is non-null, which marks the wanted entry.
    Result Unpack(const std::uint8_t* packed, std::size_t packedSize, bool solid, std::uint8_t* output,
                  std::uint32_t unpSize, std::uint32_t& filled);

    // Exposed for tests: the table build decides every symbol.
    static void BuildTable(const std::uint8_t* lengths, int count, DecodeTable& table);

private:
    unsigned DecodeAudio(AudioChannel& v, unsigned delta);
    void RunAudio();
    template <int Channels>
    void RunAudioChannels();
    // Bit reader: bits most significant first, kept left-aligned in a 64-bit buffer.
    void Refill();
    std::uint32_t Peek16() const { return static_cast<std::uint32_t>(bitBuf_ >> 48); }
    void Consume(int n) {
        bitBuf_ <<= n;
        bitCount_ -= n;
    }
    std::uint32_t ReadBits(int n) {  // 1 <= n <= 16
        const std::uint32_t v = static_cast<std::uint32_t>(bitBuf_ >> (64 - n));
        Consume(n);
        return v;
    }
    bool Overrun() const { return bitCount_ < padBits_; }
    // Bits of real input not yet consumed.
    std::int64_t BitsLeft() const {
        return std::int64_t(inEnd_ - in_) * 8 + bitCount_ - padBits_;
    }
    unsigned DecodeSymbol(const DecodeTable& table);
    static unsigned DecodeLong(const DecodeTable& table, std::uint64_t& buf, int& count);

    void ReadTables();
    void ResetEntryState();
    void CopyMatch(std::uint32_t length, std::uint32_t distance);
    void Flush();

    // Input of the current entry.
    const std::uint8_t* in_ = nullptr;
    const std::uint8_t* inEnd_ = nullptr;
    std::uint64_t bitBuf_ = 0;
    int bitCount_ = 0;
    int padBits_ = 0;  // zero bits appended past the end of the input

    // Window and output.
    std::uint8_t* window_ = nullptr;
    std::uint32_t writePos_ = 0;
    std::uint32_t flushedPos_ = 0;
    std::int64_t toProduce_ = 0;
    std::uint8_t* output_ = nullptr;
    std::uint32_t outputSize_ = 0;
    std::uint32_t* outputFill_ = nullptr;
    bool overflow_ = false;

    // Tables and what carries over between solid entries.
    DecodeTable ld_, dd_, rd_, bd_;
    DecodeTable md_[rar::kMaxChannels];
    std::uint8_t prevLengths_[rar::kTableSizeMax] = {};
    std::uint32_t recent_[4] = {};
    std::uint32_t recentIndex_ = 0;
    std::uint32_t lastDistance_ = 0;
    std::uint32_t lastLength_ = 0;
    bool audio_ = false;
    int channels_ = 1;
    int curChannel_ = 0;
    int channelDelta_ = 0;
    AudioChannel audioChannels_[rar::kMaxChannels];
    bool haveState_ = false;  // an entry has run since Reset
    std::uint64_t dirtyBytes_ = rar::kWindowSize;  // window bytes written since it was last cleared
};

}  // namespace media
