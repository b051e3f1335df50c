#include "media/unpack.h"

#include <bit>
#include <cstdlib>
#include <cstring>

namespace media {

namespace {

using namespace media::rar;

constexpr std::uint32_t kMask = kWindowMask;
// The in-loop flush runs once the write position comes this close behind unflushed bytes; it is
// larger than the longest match, so no match overwrites bytes not yet copied out.
constexpr std::uint32_t kFlushMargin = 270;
static_assert(kFlushMargin > kMaxMatchLength);

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

}  // namespace

void Unpacker::Reset(std::uint8_t* window, bool windowIsZero) {
    window_ = window;
    haveState_ = false;
    if (windowIsZero) dirtyBytes_ = 0;
}

void Unpacker::ResetEntryState() {
    curChannel_ = 0;
    channelDelta_ = 0;
    for (AudioChannel& c : audioChannels_) c = AudioChannel{};
    std::memset(recent_, 0, sizeof recent_);
    recentIndex_ = 0;
    lastLength_ = 0;
    lastDistance_ = 0;
    // Matches reaching before the entry's first byte read zeros. Only the part written since the
    // last clear needs clearing (writes start at 0 and run forwards).
    const std::uint64_t dirty = dirtyBytes_ < kWindowSize ? dirtyBytes_ : kWindowSize;
    std::memset(window_, 0, static_cast<std::size_t>(dirty));
    dirtyBytes_ = 0;
    std::memset(prevLengths_, 0, sizeof prevLengths_);
    writePos_ = 0;
    flushedPos_ = 0;
    audio_ = false;
    channels_ = 1;
    // Empty tables until the stream sends its own (a solid entry with no predecessor).
    static const std::uint8_t kNoLengths[kNC] = {};
    BuildTable(kNoLengths, kNC, ld_);
    BuildTable(kNoLengths, kDC, dd_);
    BuildTable(kNoLengths, kRC, rd_);
    BuildTable(kNoLengths, kBC, bd_);
    for (DecodeTable& t : md_) BuildTable(kNoLengths, kMC, t);
}

void Unpacker::BuildTable(const std::uint8_t* lengths, int count, DecodeTable& t) {
    std::uint32_t lenCount[16] = {};
    for (int i = 0; i < count; ++i) ++lenCount[lengths[i] & 15];
    lenCount[0] = 0;
    t.decodeLen[0] = 0;
    t.decodePos[0] = 0;
    std::uint32_t n = 0;
    for (int i = 1; i < 16; ++i) {
        n = 2 * (n + lenCount[i]);
        std::uint32_t m = n << (15 - i);
        if (m > 0xFFFF) m = 0xFFFF;
        t.decodeLen[i] = m;
        t.decodePos[i] = t.decodePos[i - 1] + lenCount[i - 1];
    }
    std::memset(t.decodeNum, 0, sizeof t.decodeNum);
    std::uint32_t next[16];
    std::memcpy(next, t.decodePos, sizeof next);
    for (int sym = 0; sym < count; ++sym) {
        const int len = lengths[sym] & 15;
        if (len != 0) t.decodeNum[next[len]++] = static_cast<std::uint16_t>(sym);
    }
    t.count = static_cast<std::uint32_t>(count);

    // Direct lookup of the first kQuickBits bits. The limits are multiples of 2^(16 - length), so
    // for codes of up to kQuickBits bits the bits below the prefix cannot change the result; the
    // length found only grows with the prefix because the limits never decrease.
    int len = 1;
    for (std::uint32_t x = 0; x < (1u << kQuickBits); ++x) {
        const std::uint32_t v = x << (16 - kQuickBits);
        while (len <= kQuickBits && v >= t.decodeLen[len]) ++len;
        if (len > kQuickBits) {
            std::memset(t.quick + x, 0, sizeof(t.quick[0]) * ((1u << kQuickBits) - x));
            break;
        }
        std::uint32_t index = t.decodePos[len] + ((v - t.decodeLen[len - 1]) >> (16 - len));
        if (index >= t.count) index = 0;
        t.quick[x] = static_cast<std::uint16_t>(t.decodeNum[index] << 4 | len);
    }
}

[[gnu::always_inline]] inline void Unpacker::Refill() {
    if (inEnd_ - in_ >= 8) {
        // Whole bytes that fit behind the bits held; the partial byte below is loaded again later.
        bitBuf_ |= LoadBigEndian64(in_) >> bitCount_;
        in_ += (63 - bitCount_) >> 3;
        bitCount_ |= 56;
        return;
    }
    while (bitCount_ <= 56) {
        std::uint64_t byte = 0;
        if (in_ < inEnd_) {
            byte = *in_++;
        } else {
            padBits_ += 8;
        }
        bitBuf_ |= byte << (56 - bitCount_);
        bitCount_ += 8;
    }
}

[[gnu::always_inline]] inline unsigned Unpacker::DecodeSymbol(const DecodeTable& t) {
    const std::uint32_t bits = Peek16();
    const std::uint32_t e = t.quick[bits >> (16 - kQuickBits)];
    if (e != 0) {
        Consume(static_cast<int>(e & 15));
        return e >> 4;
    }
    const std::uint32_t n = bits & 0xFFFE;
    int len = kQuickBits + 1;
    while (len < 15 && n >= t.decodeLen[len]) ++len;
    Consume(len);
    std::uint32_t index = t.decodePos[len] + ((n - t.decodeLen[len - 1]) >> (16 - len));
    if (index >= t.count) index = 0;
    return t.decodeNum[index];
}

void Unpacker::ReadTables() {
    Refill();
    const std::uint32_t header = Peek16();
    audio_ = (header & kTableHeaderAudio) != 0;
    if (!(header & kTableHeaderKeep)) std::memset(prevLengths_, 0, sizeof prevLengths_);
    Consume(2);
    int tableSize = kTableSizeLz;
    if (audio_) {
        channels_ = static_cast<int>((header >> 12) & 3) + 1;
        if (curChannel_ >= channels_) curChannel_ = 0;
        Consume(2);
        tableSize = kMC * channels_;
    }

    std::uint8_t bitLengths[kBC];
    for (int i = 0; i < kBC; ++i) {
        Refill();
        bitLengths[i] = static_cast<std::uint8_t>(ReadBits(kBitLengthBits));
    }
    BuildTable(bitLengths, kBC, bd_);

    // Positions past this table's size hold zero: a later, larger table adds to zeros there.
    std::uint8_t lengths[kTableSizeMax] = {};
    for (int i = 0; i < tableSize;) {
        Refill();
        const unsigned s = DecodeSymbol(bd_);
        if (s < 16) {
            lengths[i] = static_cast<std::uint8_t>((s + prevLengths_[i]) & 15);
            ++i;
        } else if (s == kBdRepeatPrevious) {
            int n = static_cast<int>(ReadBits(2)) + 3;
            for (; n > 0 && i < tableSize; --n, ++i) lengths[i] = i > 0 ? lengths[i - 1] : 0;
        } else {
            int n = s == kBdZeros3 ? static_cast<int>(ReadBits(3)) + 3 : static_cast<int>(ReadBits(7)) + 11;
            for (; n > 0 && i < tableSize; --n, ++i) lengths[i] = 0;
        }
    }
    if (audio_) {
        for (int k = 0; k < channels_; ++k) BuildTable(lengths + kMC * k, kMC, md_[k]);
    } else {
        BuildTable(lengths, kNC, ld_);
        BuildTable(lengths + kNC, kDC, dd_);
        BuildTable(lengths + kNC + kDC, kRC, rd_);
    }
    std::memcpy(prevLengths_, lengths, sizeof prevLengths_);
}

// Error sums of the eleven candidate weight changes over one period, and the weight update.
[[gnu::noinline]] static void AdaptWeights(Unpacker::AudioChannel& v) {
    constexpr int n = Unpacker::kAdaptPeriod;
    std::int32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, s5 = 0, s6 = 0, s7 = 0, s8 = 0, s9 = 0, s10 = 0;
    const std::int32_t* d = v.d1s;
    for (int j = 0; j < n; ++j) {
        const std::int32_t i = v.scaled[j];
        const std::int32_t d1 = d[j + 3];
        const std::int32_t d2 = d[j + 3] - d[j + 2];
        const std::int32_t d3 = d[j + 2] - d[j + 1];
        const std::int32_t d4 = d[j + 1] - d[j];
        const std::int32_t cd = v.cross[j];
        s0 += std::abs(i);
        s1 += std::abs(i - d1);
        s2 += std::abs(i + d1);
        s3 += std::abs(i - d2);
        s4 += std::abs(i + d2);
        s5 += std::abs(i - d3);
        s6 += std::abs(i + d3);
        s7 += std::abs(i - d4);
        s8 += std::abs(i + d4);
        s9 += std::abs(i - cd);
        s10 += std::abs(i + cd);
    }
    v.d1s[0] = v.d1s[n];
    v.d1s[1] = v.d1s[n + 1];
    v.d1s[2] = v.d1s[n + 2];
    const std::int32_t dif[11] = {s0, s1, s2, s3, s4, s5, s6, s7, s8, s9, s10};
    // Lowest index wins ties.
    std::int32_t minDif = dif[0];
    int best = 0;
    for (int j = 1; j < 11; ++j) {
        if (dif[j] < minDif) {
            minDif = dif[j];
            best = j;
        }
    }
    if (best == 0) return;
    int* k[5] = {&v.k1, &v.k2, &v.k3, &v.k4, &v.k5};
    int& kk = *k[(best - 1) / 2];
    if (best & 1) {
        if (kk >= -16) --kk;
    } else {
        if (kk < 16) ++kk;
    }
}

// The adaptive predictor; `cd` is the delta shared between the channels.
[[gnu::always_inline]] inline unsigned PredictAudio(Unpacker::AudioChannel& v, int& cd, unsigned delta) {
    const std::uint32_t j = v.byteCount & (Unpacker::kAdaptPeriod - 1);
    ++v.byteCount;
    v.d4 = v.d3;
    v.d3 = v.d2;
    v.d2 = v.lastDelta - v.d1;
    v.d1 = v.lastDelta;
    const int predicted = ((8 * static_cast<int>(v.lastChar) + v.k1 * v.d1 + v.k2 * v.d2 + v.k3 * v.d3 +
                            v.k4 * v.d4 + v.k5 * cd) >>
                           3) &
                          0xFF;
    const unsigned ch = static_cast<unsigned>(predicted - static_cast<int>(delta)) & 0xFF;

    v.d1s[j + 3] = v.d1;
    v.scaled[j] = static_cast<int>(static_cast<std::int8_t>(delta)) * 8;
    v.cross[j] = cd;

    v.lastDelta = static_cast<std::int8_t>(static_cast<std::uint8_t>(ch - v.lastChar));
    cd = v.lastDelta;
    v.lastChar = ch;

    if (j == Unpacker::kAdaptPeriod - 1) AdaptWeights(v);
    return ch;
}

unsigned Unpacker::DecodeAudio(AudioChannel& v, unsigned delta) { return PredictAudio(v, channelDelta_, delta); }

// Audio bytes with all hot state in locals (window stores cannot alias them). Stops before
// anything the general loop must handle: a table switch, the last 8 input bytes, a due flush.
void Unpacker::RunAudio() {
    std::uint64_t buf = bitBuf_;
    int count = bitCount_;
    const std::uint8_t* in = in_;
    const std::uint8_t* const inEnd = inEnd_;
    std::uint32_t wp = writePos_;
    const std::uint32_t flushed = flushedPos_;
    std::int64_t left = toProduce_;
    int cur = curChannel_;
    const int channels = channels_;
    int cd = channelDelta_;
    AudioChannel ch[rar::kMaxChannels];
    for (int k = 0; k < channels; ++k) ch[k] = audioChannels_[k];
    std::uint8_t* const w = window_;
    while (left >= 0 && inEnd - in >= 8) {
        if (((flushed - wp) & kMask) < kFlushMargin && flushed != wp) break;
        buf |= LoadBigEndian64(in) >> count;
        in += (63 - count) >> 3;
        count |= 56;
        const DecodeTable& t = md_[cur];
        const std::uint32_t bits = static_cast<std::uint32_t>(buf >> 48);
        const std::uint32_t e = t.quick[bits >> (16 - kQuickBits)];
        if (e == 0 || (e >> 4) == kSymAudioNewTable) break;  // long code or table switch
        buf <<= (e & 15);
        count -= static_cast<int>(e & 15);
        w[wp] = static_cast<std::uint8_t>(PredictAudio(ch[cur], cd, e >> 4));
        wp = (wp + 1) & kMask;
        if (++cur == channels) cur = 0;
        --left;
    }
    for (int k = 0; k < channels; ++k) audioChannels_[k] = ch[k];
    bitBuf_ = buf;
    bitCount_ = count;
    in_ = in;
    writePos_ = wp;
    toProduce_ = left;
    curChannel_ = cur;
    channelDelta_ = cd;
}

[[gnu::always_inline]] inline void Unpacker::CopyMatch(std::uint32_t length, std::uint32_t distance) {
    std::uint8_t* w = window_;
    std::uint32_t dst = writePos_;
    std::uint32_t src = (dst - distance) & kMask;
    if (dst + length <= kWindowSize && src + length <= kWindowSize) {
        // Neither end wraps: one check for the whole match.
        const std::uint32_t back = (dst - src) & kMask;
        if (back >= length) {
            std::memmove(w + dst, w + src, length);
        } else if (back >= 8) {
            // Overlapping, but every 8-byte chunk reads bytes already final.
            std::uint32_t i = 0;
            for (; i + 8 <= length; i += 8) std::memcpy(w + dst + i, w + src + i, 8);
            for (; i < length; ++i) w[dst + i] = w[src + i];
        } else if (back == 1) {
            std::memset(w + dst, w[src], length);
        } else if (back != 0) {
            for (std::uint32_t i = 0; i < length; ++i) w[dst + i] = w[src + i];
        }
        // back == 0 (distance of a whole window): every byte copies itself.
    } else {
        for (std::uint32_t i = 0; i < length; ++i) {
            w[dst] = w[src];
            dst = (dst + 1) & kMask;
            src = (src + 1) & kMask;
        }
    }
    writePos_ = (writePos_ + length) & kMask;
}

void Unpacker::Flush() {
    const std::uint32_t w = writePos_;
    const std::uint32_t f = flushedPos_;
    const std::uint32_t amount = (w - f) & kMask;
    if (output_ != nullptr && amount != 0) {
        if (std::uint64_t(*outputFill_) + amount > outputSize_) {
            // The stream describes more than the entry holds: stop, the entry fails.
            overflow_ = true;
            toProduce_ = -1;
            return;
        }
        std::uint8_t* out = output_ + *outputFill_;
        if (w > f) {
            std::memcpy(out, window_ + f, amount);
        } else {
            std::memcpy(out, window_ + f, kWindowSize - f);
            std::memcpy(out + (kWindowSize - f), window_, w);
        }
        *outputFill_ += amount;
    }
    dirtyBytes_ += amount;
    flushedPos_ = w;
}

Unpacker::Result Unpacker::Unpack(const std::uint8_t* packed, std::size_t packedSize, bool solid,
                                  std::uint8_t* output, std::uint32_t unpSize, std::uint32_t& filled) {
    in_ = packed;
    inEnd_ = packed + packedSize;
    bitBuf_ = 0;
    bitCount_ = 0;
    padBits_ = 0;
    output_ = output;
    outputSize_ = unpSize;
    outputFill_ = &filled;
    overflow_ = false;
    toProduce_ = std::int64_t(unpSize) - 1;

    // A solid entry with nothing decoded before it in this lookup starts from a clean state too.
    const bool fresh = !solid || !haveState_;
    if (fresh) ResetEntryState();
    haveState_ = true;
    Refill();
    if (!solid) ReadTables();

    std::uint8_t* const w = window_;
    while (toProduce_ >= 0) {
        Refill();
        if (Overrun()) break;  // the stream has ended; what follows would be made up
        if (((flushedPos_ - writePos_) & kMask) < kFlushMargin && flushedPos_ != writePos_) {
            Flush();
            if (overflow_) break;
        }
        if (audio_) {
            RunAudio();
            if (toProduce_ < 0) break;
            Refill();
            if (Overrun()) break;
            if (((flushedPos_ - writePos_) & kMask) < kFlushMargin && flushedPos_ != writePos_) {
                Flush();
                if (overflow_) break;
            }
            const unsigned s = DecodeSymbol(md_[curChannel_]);
            if (s == kSymAudioNewTable) {
                ReadTables();
                continue;
            }
            w[writePos_] = static_cast<std::uint8_t>(DecodeAudio(audioChannels_[curChannel_], s));
            writePos_ = (writePos_ + 1) & kMask;
            if (++curChannel_ == channels_) curChannel_ = 0;
            --toProduce_;
            continue;
        }
        const unsigned s = DecodeSymbol(ld_);
        if (s < 256) {
            w[writePos_] = static_cast<std::uint8_t>(s);
            writePos_ = (writePos_ + 1) & kMask;
            --toProduce_;
            continue;
        }
        std::uint32_t length, distance;
        if (s >= kSymLongFirst) {
            const unsigned n = s - kSymLongFirst;
            length = kLDecode[n] + kLongMatchMinLength;
            if (kLBits[n] > 0) length += ReadBits(kLBits[n]);
            const unsigned d = DecodeSymbol(dd_);
            distance = kDDecode[d] + 1;
            if (kDBits[d] > 0) distance += ReadBits(kDBits[d]);
            if (distance >= kDistExtra3) ++length;
            if (distance >= kDistExtra2) ++length;
        } else if (s == kSymRepeatLast) {
            length = lastLength_;
            distance = lastDistance_;
        } else if (s <= kSymRecentLast) {
            distance = recent_[(recentIndex_ - (s - kSymRepeatLast)) & 3];
            const unsigned r = DecodeSymbol(rd_);
            length = kLDecode[r] + kRecentMatchMinLength;
            if (kLBits[r] > 0) length += ReadBits(kLBits[r]);
            if (distance >= kDistExtra3) ++length;
            if (distance >= kDistExtra2) ++length;
            if (distance >= kDistExtra1) ++length;
        } else if (s <= kSymShortLast) {
            const unsigned n = s - kSymShortFirst;
            distance = kSDDecode[n] + 1 + ReadBits(kSDBits[n]);
            length = kShortMatchLength;
        } else {  // kSymNewTable
            ReadTables();
            continue;
        }
        recent_[recentIndex_ & 3] = distance;
        ++recentIndex_;
        lastDistance_ = distance;
        lastLength_ = length;
        toProduce_ -= length;
        CopyMatch(length, distance);
    }

    // New tables sent at the very end belong to the next (solid) entry: take them now.
    if (!overflow_ && !Overrun() && BitsLeft() > 32) {
        Refill();
        if (audio_) {
            if (DecodeSymbol(md_[curChannel_]) == kSymAudioNewTable) ReadTables();
        } else {
            if (DecodeSymbol(ld_) == kSymNewTable) ReadTables();
        }
    }
    const bool ranOut = Overrun() && toProduce_ >= 0;
    if (!overflow_) Flush();
    else dirtyBytes_ = kWindowSize;  // unflushed bytes were written: clear it all next time
    flushedPos_ = writePos_;
    if (overflow_) return Result::Overflow;
    if (ranOut) return Result::Incomplete;
    return Result::Complete;
}

}  // namespace media
