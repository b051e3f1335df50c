#include "media/unpack.h"

#include <algorithm>
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

// A code longer than the quick lookup covers; `buf` holds at least 15 valid bits.
unsigned Unpacker::DecodeLong(const DecodeTable& t, std::uint64_t& buf, int& count) {
    const std::uint32_t n = static_cast<std::uint32_t>(buf >> 48) & 0xFFFE;
    int len = kQuickBits + 1;
    while (len < 15 && n >= t.decodeLen[len]) ++len;
    buf <<= len;
    count -= len;
    std::uint32_t index = t.decodePos[len] + ((n - t.decodeLen[len - 1]) >> (16 - len));
    if (index >= t.count) index = 0;
    return t.decodeNum[index];
}

[[gnu::always_inline]] inline unsigned Unpacker::DecodeSymbol(const DecodeTable& t) {
    const std::uint32_t bits = Peek16();
    const std::uint32_t e = t.quick[bits >> (16 - kQuickBits)];
    if (e != 0) {
        Consume(static_cast<int>(e & 15));
        return e >> 4;
    }
    return DecodeLong(t, bitBuf_, bitCount_);
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

// Error sums of the eleven candidate weight changes over one period; returns the winner (lowest
// index on ties) and starts the next period's history.
[[gnu::noinline]] static int AdaptWinner(Unpacker::AudioChannel& v) {
    constexpr int n = Unpacker::kAdaptPeriod;
    // Eight bytes at a time in 16-bit lanes (plain SSE2 on x86-64): every |I ± D| is below 1,280,
    // so a lane's four terms and even a whole period's sum (below 2^16, taken unsigned) fit.
    using V8 = std::int16_t __attribute__((vector_size(16)));
    using U8 = std::uint16_t __attribute__((vector_size(16)));
    const auto load = [](const std::int16_t* p) {
        V8 x;
        std::memcpy(&x, p, sizeof x);
        return x;
    };
    const auto absv = [](V8 x) {
        const V8 m = x >> 15;
        return (x ^ m) - m;
    };
    V8 s0 = {}, s1 = {}, s2 = {}, s3 = {}, s4 = {}, s5 = {}, s6 = {}, s7 = {}, s8 = {}, s9 = {}, s10 = {};
    const std::int16_t* d = v.d1s;
    for (int j = 0; j < n; j += 8) {
        const V8 i = load(v.scaled + j);
        const V8 a3 = load(d + j + 3), a2 = load(d + j + 2), a1 = load(d + j + 1), a0 = load(d + j);
        const V8 d1 = a3, d2 = a3 - a2, d3 = a2 - a1, d4 = a1 - a0;
        const V8 cd = load(v.cross + j);
        s0 += absv(i);
        s1 += absv(i - d1);
        s2 += absv(i + d1);
        s3 += absv(i - d2);
        s4 += absv(i + d2);
        s5 += absv(i - d3);
        s6 += absv(i + d3);
        s7 += absv(i - d4);
        s8 += absv(i + d4);
        s9 += absv(i - cd);
        s10 += absv(i + cd);
    }
    const auto sum = [](V8 sv) -> std::int32_t {
        U8 x = reinterpret_cast<U8>(sv);
        x += __builtin_shufflevector(x, x, 4, 5, 6, 7, 0, 1, 2, 3);
        x += __builtin_shufflevector(x, x, 2, 3, 0, 1, 6, 7, 4, 5);
        x += __builtin_shufflevector(x, x, 1, 0, 3, 2, 5, 4, 7, 6);
        return x[0];
    };
    v.d1s[0] = v.d1s[n];
    v.d1s[1] = v.d1s[n + 1];
    v.d1s[2] = v.d1s[n + 2];
    const std::int32_t dif[11] = {sum(s0), sum(s1), sum(s2), sum(s3), sum(s4),  sum(s5),
                                  sum(s6), sum(s7), sum(s8), sum(s9), sum(s10)};
    // Lowest index wins ties; without branches, the winner being unpredictable.
    std::int32_t minDif = dif[0];
    int best = 0;
    for (int j = 1; j < 11; ++j) {
        const bool less = dif[j] < minDif;
        best = less ? j : best;
        minDif = less ? dif[j] : minDif;
    }
    return best;
}

namespace {

// The predictor's scalar state, kept apart from the per-byte history so that the hot loops can
// hold it in registers (its address never escapes there).
struct AudioRegs {
    int k[5];
    int d1, d2, d3, d4;
    int lastDelta;
    std::uint32_t byteCount;
    unsigned lastChar;
};

inline AudioRegs LoadRegs(const Unpacker::AudioChannel& v) {
    return AudioRegs{{v.k1, v.k2, v.k3, v.k4, v.k5}, v.d1, v.d2, v.d3, v.d4, v.lastDelta, v.byteCount, v.lastChar};
}

inline void StoreRegs(const AudioRegs& r, Unpacker::AudioChannel& v) {
    v.k1 = r.k[0];
    v.k2 = r.k[1];
    v.k3 = r.k[2];
    v.k4 = r.k[3];
    v.k5 = r.k[4];
    v.d1 = r.d1;
    v.d2 = r.d2;
    v.d3 = r.d3;
    v.d4 = r.d4;
    v.lastDelta = r.lastDelta;
    v.byteCount = r.byteCount;
    v.lastChar = r.lastChar;
}

// The adaptive predictor; `cd` is the delta shared between the channels, `h` the channel's record
// that takes the history.
[[gnu::always_inline]] inline unsigned PredictAudio(AudioRegs& v, Unpacker::AudioChannel& h, int& cd,
                                                    unsigned delta) {
    const std::uint32_t j = v.byteCount & (Unpacker::kAdaptPeriod - 1);
    ++v.byteCount;
    v.d4 = v.d3;
    v.d3 = v.d2;
    v.d2 = v.lastDelta - v.d1;
    v.d1 = v.lastDelta;
    const int predicted =
        ((8 * static_cast<int>(v.lastChar) + v.k[0] * v.d1 + v.k[1] * v.d2 + v.k[2] * v.d3 + v.k[3] * v.d4 +
          v.k[4] * cd) >>
         3) &
        0xFF;
    const unsigned ch = static_cast<unsigned>(predicted - static_cast<int>(delta)) & 0xFF;

    h.d1s[j + 3] = static_cast<std::int16_t>(v.d1);
    h.scaled[j] = static_cast<std::int16_t>(static_cast<std::int8_t>(delta) * 8);
    h.cross[j] = static_cast<std::int16_t>(cd);

    v.lastDelta = static_cast<std::int8_t>(static_cast<std::uint8_t>(ch - v.lastChar));
    cd = v.lastDelta;
    v.lastChar = ch;

    if (j == Unpacker::kAdaptPeriod - 1) [[unlikely]] {
        // Winner 2m + 1 lowers K[m], 2m + 2 raises it, within -17..16 (K starts at 0 and moves by
        // one); 0 changes nothing. Selected without branches.
        const int best = AdaptWinner(h);
        const int sel = (best - 1) >> 1;
        const int dir = best == 0 ? 0 : (best & 1) ? -1 : 1;
        for (int m = 0; m < 5; ++m) {
            const int moved = std::clamp(v.k[m] + dir, -17, 16);
            v.k[m] = m == sel ? moved : v.k[m];
        }
    }
    return ch;
}

}  // namespace

unsigned Unpacker::DecodeAudio(AudioChannel& v, unsigned delta) {
    AudioRegs r = LoadRegs(v);
    const unsigned ch = PredictAudio(r, v, channelDelta_, delta);
    StoreRegs(r, v);
    return ch;
}

// Audio bytes with all hot state in locals (window stores cannot alias them), one copy of the loop
// per channel count so that every channel's state has a fixed place. Stops before anything the
// general loop must handle: a table switch, a long code, the last 8 input bytes, a due flush.
template <int Channels>
void Unpacker::RunAudioChannels() {
    std::uint64_t buf = bitBuf_;
    int count = bitCount_;
    const std::uint8_t* in = in_;
    const std::uint8_t* const inEnd = inEnd_;
    std::uint32_t wp = writePos_;
    int cd = channelDelta_;
    std::uint8_t* const w = window_;
    // Bytes that may be written before a flush is due or the entry is complete.
    const std::uint32_t flushed = flushedPos_;
    const std::uint32_t room = flushed == wp ? kWindowSize : (flushed - wp) & kMask;
    std::int64_t budget = room >= kFlushMargin ? std::int64_t(room - kFlushMargin) + 1 : 0;
    if (budget > toProduce_ + 1) budget = toProduce_ + 1;
    const std::int64_t budget0 = budget;
    AudioRegs r[Channels];
    const std::uint16_t* quick[Channels];
    for (int k = 0; k < Channels; ++k) {
        r[k] = LoadRegs(audioChannels_[k]);
        quick[k] = md_[k].quick;
    }
    AudioChannel* const hist = audioChannels_;

    // A refill leaves at least 56 bits and a short code takes at most kQuickBits, so one refill
    // serves a round of up to five codes; the round is a whole number of channel turns.
    static_assert(5 * kQuickBits <= 56);
    constexpr int kRound = Channels * (5 / Channels);
    auto refill = [&]() __attribute__((always_inline)) -> bool {
        if (inEnd - in < 8) return false;
        buf |= LoadBigEndian64(in) >> count;
        in += (63 - count) >> 3;
        count |= 56;
        return true;
    };
    auto step = [&]<int c>() __attribute__((always_inline)) -> bool {
        if (budget <= 0) return false;
        const std::uint32_t e = quick[c][buf >> (64 - kQuickBits)];
        unsigned sym;
        if (e != 0) [[likely]] {
            sym = e >> 4;
            if (sym == kSymAudioNewTable) return false;  // the general loop reads the tables
            buf <<= (e & 15);
            count -= static_cast<int>(e & 15);
        } else {
            // A long code takes more bits than the round set aside: refill first, which leaves
            // enough for the rest of the round too.
            if (!refill()) return false;
            std::uint64_t b = buf;
            int n = count;
            sym = DecodeLong(md_[c], b, n);
            if (sym == kSymAudioNewTable) return false;  // left unread for the general loop
            buf = b;
            count = n;
        }
        w[wp] = static_cast<std::uint8_t>(PredictAudio(r[c], hist[c], cd, sym));
        wp = (wp + 1) & kMask;
        --budget;
        return true;
    };

    int cur = curChannel_;
    int first = cur;  // the first round starts at the current channel
    for (;;) {
        if (!refill()) break;
        if (first <= 0 && !step.template operator()<0>()) {
            cur = 0;
            break;
        }
        if constexpr (kRound > 1) {
            if (first <= 1 && !step.template operator()<1 % Channels>()) {
                cur = 1 % Channels;
                break;
            }
        }
        if constexpr (kRound > 2) {
            if (first <= 2 && !step.template operator()<2 % Channels>()) {
                cur = 2 % Channels;
                break;
            }
        }
        if constexpr (kRound > 3) {
            if (first <= 3 && !step.template operator()<3 % Channels>()) {
                cur = 3 % Channels;
                break;
            }
        }
        if constexpr (kRound > 4) {
            if (!step.template operator()<4 % Channels>()) {
                cur = 4 % Channels;
                break;
            }
        }
        first = 0;
        cur = 0;
    }
    for (int k = 0; k < Channels; ++k) StoreRegs(r[k], audioChannels_[k]);
    bitBuf_ = buf;
    bitCount_ = count;
    in_ = in;
    writePos_ = wp;
    toProduce_ -= budget0 - budget;
    curChannel_ = cur;
    channelDelta_ = cd;
}

void Unpacker::RunAudio() {
    switch (channels_) {
        case 1: RunAudioChannels<1>(); break;
        case 2: RunAudioChannels<2>(); break;
        case 3: RunAudioChannels<3>(); break;
        default: RunAudioChannels<4>(); break;
    }
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
