#include "media/writer/compressor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "media/writer/bit_writer.h"
#include "media/writer/huffman.h"

namespace media::writer {

using namespace media::rar;

namespace {

// Distances stay a little short of the window so that no decoder's flush margin can bite.
constexpr std::uint32_t kMaxDistance = kWindowSize - 0x200;
// Longest match any code can carry at every distance (long: 255 + 3, recent: 255 + 2, plus bonus).
constexpr std::uint32_t kMaxLen = 257;
// Positions priced at once by the parser; bounds its memory on big entries.
constexpr std::size_t kParseSegment = 1u << 18;
constexpr std::size_t kTrailingPad = 3;
constexpr std::uint32_t kInfinity = std::numeric_limits<std::uint32_t>::max();

struct Token {
    std::uint32_t len;   // 1 with dist 0: a literal
    std::uint32_t dist;
};

enum Kind : std::uint8_t { kLiteral, kLast, kRecent, kShort, kLong };

struct Op {
    std::uint16_t ld = 0;
    Kind kind = kLiteral;
    std::uint8_t sub = 0;  // RD symbol (recent) or DD symbol (long)
    std::uint8_t n1 = 0, n2 = 0;
    std::uint32_t e1 = 0, e2 = 0;
};

struct LenSlots {
    std::uint8_t slot[256];
    constexpr LenSlots() : slot{} {
        int n = 0;
        for (int v = 0; v < 256; ++v) {
            while (n + 1 < 28 && kLDecode[n + 1] <= v) ++n;
            slot[v] = static_cast<std::uint8_t>(n);
        }
    }
};
constexpr LenSlots kLenSlots;

int DistSlot(std::uint32_t v) {  // v = distance − 1
    return static_cast<int>(std::upper_bound(kDDecode.begin(), kDDecode.end(), v) - kDDecode.begin()) - 1;
}

// The code for a match of `len` at `dist` in state `st`, by the decoder's rules; false when no code
// can express it (a length-2 match that is neither recent nor short, say).
bool EncodeMatch(std::uint32_t len, std::uint32_t dist, const LzState& st, Op& op) {
    if (len == st.last_len && dist == st.last_dist && len != 0) {
        op = Op{};
        op.ld = kSymRepeatLast;
        op.kind = kLast;
        return true;
    }
    for (std::uint32_t k = 1; k <= 4; ++k) {
        if (st.recent[(st.index - k) & 3] != dist) continue;
        const std::uint32_t bonus = (dist >= kDistExtra1) + (dist >= kDistExtra2) + (dist >= kDistExtra3);
        if (len >= bonus + 2 && len - bonus - 2 <= 255) {
            const std::uint32_t v = len - bonus - 2;
            const int r = kLenSlots.slot[v];
            op = Op{};
            op.ld = static_cast<std::uint16_t>(kSymRepeatLast + k);
            op.kind = kRecent;
            op.sub = static_cast<std::uint8_t>(r);
            op.n1 = kLBits[r];
            op.e1 = v - kLDecode[r];
            return true;
        }
        break;
    }
    if (len == 2) {
        if (dist == 0 || dist > 256) return false;
        int n = 7;
        while (kSDDecode[n] + 1u > dist) --n;
        op = Op{};
        op.ld = static_cast<std::uint16_t>(kSymShortFirst + n);
        op.kind = kShort;
        op.n1 = kSDBits[n];
        op.e1 = dist - 1 - kSDDecode[n];
        return true;
    }
    const std::uint32_t bonus = (dist >= kDistExtra2) + (dist >= kDistExtra3);
    if (dist == 0 || len < bonus + 3 || len - bonus - 3 > 255) return false;
    const std::uint32_t v = len - bonus - 3;
    const int n = kLenSlots.slot[v];
    const int d = DistSlot(dist - 1);
    op = Op{};
    op.ld = static_cast<std::uint16_t>(kSymLongFirst + n);
    op.kind = kLong;
    op.sub = static_cast<std::uint8_t>(d);
    op.n1 = kLBits[n];
    op.e1 = v - kLDecode[n];
    op.n2 = kDBits[d];
    op.e2 = dist - 1 - kDDecode[d];
    return true;
}

void Record(LzState& st, std::uint32_t len, std::uint32_t dist) {
    st.recent[st.index & 3] = dist;
    st.index += 1;
    st.last_dist = dist;
    st.last_len = len;
}

struct Prices {
    std::uint32_t ld[kNC];
    std::uint32_t dd[kDC];
    std::uint32_t rd[kRC];
    std::uint32_t Of(const Op& op) const {
        std::uint32_t c = ld[op.ld] + op.n1 + op.n2;
        if (op.kind == kRecent) c += rd[op.sub];
        if (op.kind == kLong) c += dd[op.sub];
        return c;
    }
};

Prices DefaultPrices() {
    Prices p{};
    for (int i = 0; i < kNC; ++i) p.ld[i] = i < 256 ? 8 : 7;
    for (int i = 0; i < kDC; ++i) p.dd[i] = 5;
    for (int i = 0; i < kRC; ++i) p.rd[i] = 4;
    return p;
}

struct LzFreqs {
    std::uint32_t ld[kNC] = {};
    std::uint32_t dd[kDC] = {};
    std::uint32_t rd[kRC] = {};
    std::uint64_t extra = 0;
    void Add(const Op& op) {
        ++ld[op.ld];
        if (op.kind == kRecent) ++rd[op.sub];
        if (op.kind == kLong) ++dd[op.sub];
        extra += op.n1 + op.n2;
    }
    void Add(const LzFreqs& o) {
        for (int i = 0; i < kNC; ++i) ld[i] += o.ld[i];
        for (int i = 0; i < kDC; ++i) dd[i] += o.dd[i];
        for (int i = 0; i < kRC; ++i) rd[i] += o.rd[i];
        extra += o.extra;
    }
};

void PricesFromLengths(std::span<const std::uint32_t> freqs, std::uint32_t* out) {
    // Smoothed so that symbols the last pass did not use stay possible, at a price.
    std::vector<std::uint32_t> f(freqs.size());
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = freqs[i] * 8 + 1;
    const auto lengths = BuildCodeLengths(f, kMaxCodeLength);
    for (std::size_t i = 0; i < f.size(); ++i) out[i] = lengths[i];
}

Prices PricesFrom(const LzFreqs& f) {
    Prices p{};
    PricesFromLengths(f.ld, p.ld);
    PricesFromLengths(f.dd, p.dd);
    PricesFromLengths(f.rd, p.rd);
    return p;
}

// Hash chains over the whole buffer (history of a solid stream plus the entry).
class MatchFinder {
public:
    struct Match {
        std::uint32_t len, dist;
    };
    MatchFinder(const std::uint8_t* buf, std::size_t size, int depth, int nice)
        : buf_(buf), size_(size), depth_(depth), nice_(nice), head_(1u << 16, -1), head2_(1u << 16, -1),
          prev_(size, -1) {}

    void InsertUpTo(std::size_t p) {
        for (; inserted_ < p; ++inserted_) {
            const std::size_t q = inserted_;
            if (q + 2 < size_) {
                const std::uint32_t h = Hash3(q);
                prev_[q] = head_[h];
                head_[h] = static_cast<std::int32_t>(q);
            }
            if (q + 1 < size_) head2_[Pair(q)] = static_cast<std::int32_t>(q);
        }
    }

    // Matches at p, longest-so-far order (each longer than the one before, at a larger distance).
    void Find(std::size_t p, std::uint32_t max_len, std::vector<Match>& out) {
        InsertUpTo(p);
        out.clear();
        if (max_len < 2) return;
        std::uint32_t best = 1;
        const std::int32_t q2 = head2_[Pair(p)];
        if (q2 >= 0 && p - q2 <= 256) {
            best = 2;
            out.push_back({2, static_cast<std::uint32_t>(p - q2)});
        }
        if (max_len < 3) return;
        std::int32_t cur = head_[Hash3(p)];
        for (int chain = depth_; cur >= 0 && chain > 0; --chain, cur = prev_[cur]) {
            const std::size_t dist = p - static_cast<std::size_t>(cur);
            if (dist > kMaxDistance) break;
            const std::uint8_t* a = buf_ + cur;
            const std::uint8_t* b = buf_ + p;
            if (a[best] != b[best] || a[0] != b[0] || a[1] != b[1]) continue;
            std::uint32_t len = 0;
            while (len < max_len && a[len] == b[len]) ++len;
            if (len >= 3 && len > best) {
                best = len;
                out.push_back({len, static_cast<std::uint32_t>(dist)});
                if (len >= static_cast<std::uint32_t>(nice_) || len == max_len) break;
            }
        }
    }

private:
    std::uint32_t Hash3(std::size_t q) const {
        const std::uint32_t v = std::uint32_t(buf_[q]) << 16 | std::uint32_t(buf_[q + 1]) << 8 | buf_[q + 2];
        return (v * 2654435761u) >> 16;
    }
    std::uint32_t Pair(std::size_t q) const { return std::uint32_t(buf_[q]) << 8 | buf_[q + 1]; }

    const std::uint8_t* buf_;
    std::size_t size_;
    int depth_, nice_;
    std::vector<std::int32_t> head_, head2_, prev_;
    std::size_t inserted_ = 0;
};

std::uint32_t MatchLength(const std::uint8_t* buf, std::size_t p, std::uint32_t dist, std::uint32_t max_len) {
    const std::uint8_t* a = buf + p - dist;
    const std::uint8_t* b = buf + p;
    std::uint32_t len = 0;
    while (len < max_len && a[len] == b[len]) ++len;
    return len;
}

// Cost-based parse of buf[begin, end) starting from state `st`: the cheapest path under `prices`,
// with matches from the finder (cached per position for the second pass) and the recent distances
// of the path so far.
class Parser {
public:
    Parser(const std::uint8_t* buf, MatchFinder& finder, const CompressorOptions& options)
        : buf_(buf), finder_(finder), options_(options) {}

    void Parse(std::size_t begin, std::size_t end, const LzState& st, const Prices& prices, bool first_pass,
               std::vector<Token>& tokens) {
        const std::size_t n = end - begin;
        if (first_pass) {
            cache_offset_.assign(n + 1, 0);
            cache_searched_.assign(n, 0);
            cache_.clear();
        }
        nodes_.assign(n + 1, Node{});
        nodes_[0].price = 0;
        nodes_[0].st = st;
        std::vector<MatchFinder::Match> found;
        std::size_t skip_until = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (first_pass) cache_offset_[i] = static_cast<std::uint32_t>(cache_.size());
            const Node& node = nodes_[i];
            if (node.price == kInfinity || i < skip_until) continue;
            const std::size_t p = begin + i;
            const std::uint32_t base = node.price;
            const LzState here = node.st;
            const std::uint32_t max_len = static_cast<std::uint32_t>(std::min<std::size_t>(kMaxLen, n - i));

            Relax(i + 1, base + prices.ld[buf_[p]], 1, 0, here);

            std::span<const MatchFinder::Match> cands;
            if (first_pass) {
                finder_.Find(p, max_len, found);
                cache_searched_[i] = 1;
                cache_.insert(cache_.end(), found.begin(), found.end());
                cands = found;
            } else if (cache_searched_[i]) {
                cands = std::span(cache_).subspan(cache_offset_[i], cache_offset_[i + 1] - cache_offset_[i]);
            }

            // Recent distances of this path.
            std::uint32_t rep_dist[4], rep_len[4];
            int reps = 0;
            for (std::uint32_t k = 1; k <= 4; ++k) {
                const std::uint32_t d = here.recent[(here.index - k) & 3];
                if (d == 0 || d > p || d > kMaxDistance) continue;
                bool dup = false;
                for (int r = 0; r < reps; ++r) dup |= rep_dist[r] == d;
                if (dup) continue;
                const std::uint32_t len = MatchLength(buf_, p, d, max_len);
                if (len < 2) continue;
                rep_dist[reps] = d;
                rep_len[reps] = len;
                ++reps;
            }

            // A long match is taken as it is: pricing inside long repeats buys nothing.
            std::uint32_t longest = 0, longest_dist = 0;
            for (const auto& m : cands)
                if (m.len > longest) longest = m.len, longest_dist = m.dist;
            for (int r = 0; r < reps; ++r)
                if (rep_len[r] >= longest) longest = rep_len[r], longest_dist = rep_dist[r];
            if (longest >= static_cast<std::uint32_t>(options_.nice_length)) {
                Op op;
                if (EncodeMatch(longest, longest_dist, here, op)) {
                    Relax(i + longest, base + prices.Of(op), longest, longest_dist, here);
                    skip_until = i + longest;
                    continue;
                }
            }

            Op op;
            for (int r = 0; r < reps; ++r)
                for (std::uint32_t len = 2; len <= rep_len[r]; ++len)
                    if (EncodeMatch(len, rep_dist[r], here, op))
                        Relax(i + len, base + prices.Of(op), len, rep_dist[r], here);
            std::uint32_t covered = 1;
            for (const auto& m : cands) {
                for (std::uint32_t len = covered + 1; len <= m.len; ++len)
                    if (EncodeMatch(len, m.dist, here, op)) Relax(i + len, base + prices.Of(op), len, m.dist, here);
                covered = m.len;
            }
        }
        if (first_pass) cache_offset_[n] = static_cast<std::uint32_t>(cache_.size());

        tokens.clear();
        for (std::size_t i = n; i > 0;) {
            const Node& node = nodes_[i];
            tokens.push_back({node.len, node.dist});
            i -= node.len;
        }
        std::reverse(tokens.begin(), tokens.end());
    }

private:
    struct Node {
        std::uint32_t price = kInfinity;
        std::uint32_t len = 0, dist = 0;
        LzState st;
    };

    void Relax(std::size_t j, std::uint32_t price, std::uint32_t len, std::uint32_t dist, const LzState& from) {
        Node& node = nodes_[j];
        if (price >= node.price) return;
        node.price = price;
        node.len = len;
        node.dist = dist;
        node.st = from;
        if (dist != 0) Record(node.st, len, dist);
    }

    const std::uint8_t* buf_;
    MatchFinder& finder_;
    const CompressorOptions& options_;
    std::vector<Node> nodes_;
    std::vector<std::uint32_t> cache_offset_;
    std::vector<std::uint8_t> cache_searched_;
    std::vector<MatchFinder::Match> cache_;
};

// Turns tokens into codes under the running state; a match no code can express (possible when the
// recent distances differ from what the parser assumed) goes out as literals.
void Symbolize(std::span<const Token> tokens, const std::uint8_t* data, LzState& st, std::vector<Op>& ops) {
    std::size_t pos = 0;
    for (const Token& t : tokens) {
        Op op;
        if (t.dist != 0 && EncodeMatch(t.len, t.dist, st, op)) {
            ops.push_back(op);
            Record(st, t.len, t.dist);
        } else {
            for (std::uint32_t k = 0; k < t.len; ++k) {
                Op lit;
                lit.ld = data[pos + k];
                ops.push_back(lit);
            }
        }
        pos += t.len;
    }
}

// ---- Table sets ------------------------------------------------------------------------------

// Bits of one table-set description (without the 2 or 4 header bits), written to `out` if given.
// `prev` null means absolute lengths (the header's keep bit clear).
std::uint64_t DescribeTables(std::span<const std::uint8_t> lengths, const std::uint8_t* prev, BitWriter* out) {
    struct Item {
        std::uint8_t sym, extra;
    };
    std::vector<Item> items;
    const std::size_t size = lengths.size();
    for (std::size_t i = 0; i < size;) {
        const std::uint8_t l = lengths[i];
        std::size_t run = 1;
        while (i + run < size && lengths[i + run] == l) ++run;
        if (l == 0 && run >= 11) {
            const std::size_t m = std::min<std::size_t>(run, 138);
            items.push_back({kBdZeros11, static_cast<std::uint8_t>(m - 11)});
            i += m;
            continue;
        }
        if (l == 0 && run >= 3) {
            const std::size_t m = std::min<std::size_t>(run, 10);
            items.push_back({kBdZeros3, static_cast<std::uint8_t>(m - 3)});
            i += m;
            continue;
        }
        if (i > 0 && l == lengths[i - 1] && run >= 3) {
            const std::size_t m = std::min<std::size_t>(run, 6);
            items.push_back({kBdRepeatPrevious, static_cast<std::uint8_t>(m - 3)});
            i += m;
            continue;
        }
        items.push_back({static_cast<std::uint8_t>((l - (prev ? prev[i] : 0)) & 15), 0});
        ++i;
    }
    std::uint32_t freqs[kBC] = {};
    for (const Item& it : items) ++freqs[it.sym];
    const auto bd = BuildCodeLengths(freqs, kMaxCodeLength);
    static constexpr int kExtraBits[kBC] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
    std::uint64_t bits = kBC * kBitLengthBits;
    for (int s = 0; s < kBC; ++s) bits += std::uint64_t(freqs[s]) * (bd[s] + kExtraBits[s]);
    if (out) {
        const auto codes = CanonicalCodes(bd);
        for (int s = 0; s < kBC; ++s) out->Put(bd[s], kBitLengthBits);
        for (const Item& it : items) {
            out->Put(codes[it.sym], bd[it.sym]);
            out->Put(it.extra, kExtraBits[it.sym]);
        }
    }
    return bits;
}

struct AudioFreqs {
    std::uint32_t md[kMaxChannels][kMC] = {};
    void Add(const AudioFreqs& o) {
        for (int c = 0; c < kMaxChannels; ++c)
            for (int i = 0; i < kMC; ++i) md[c][i] += o.md[c][i];
    }
};

// Estimated bits of a table set with these frequencies: the codes plus their description.
std::uint64_t LzCost(const LzFreqs& f) {
    std::vector<std::uint8_t> all;
    all.reserve(kTableSizeLz);
    std::uint64_t bits = f.extra;
    for (auto [freqs, n] : {std::pair{f.ld, kNC}, std::pair{f.dd, kDC}, std::pair{f.rd, kRC}}) {
        const std::span<const std::uint32_t> s(freqs, n);
        const auto lengths = BuildCodeLengths(s, kMaxCodeLength);
        bits += CodedBits(s, lengths);
        all.insert(all.end(), lengths.begin(), lengths.end());
    }
    return bits + 2 + DescribeTables(all, nullptr, nullptr);
}

std::uint64_t AudioCost(const AudioFreqs& f, int channels) {
    std::vector<std::uint8_t> all;
    std::uint64_t bits = 0;
    for (int c = 0; c < channels; ++c) {
        const std::span<const std::uint32_t> s(f.md[c], kMC);
        const auto lengths = BuildCodeLengths(s, kMaxCodeLength);
        bits += CodedBits(s, lengths);
        all.insert(all.end(), lengths.begin(), lengths.end());
    }
    return bits + 4 + DescribeTables(all, nullptr, nullptr);
}

void SimulateAudio(std::span<const std::uint8_t> bytes, int channels, AudioState& a, AudioFreqs& f,
                   std::vector<std::uint8_t>* deltas, std::vector<std::uint8_t>* chans) {
    for (std::uint8_t b : bytes) {
        const int ch = a.current;
        const std::uint8_t d = AudioEncodeByte(a, ch, b);
        ++f.md[ch][d];
        if (deltas) deltas->push_back(d), chans->push_back(static_cast<std::uint8_t>(ch));
        a.current = ch + 1 == channels ? 0 : ch + 1;
    }
}

struct Chunk {
    std::size_t t0, t1;  // tokens
    std::size_t b0, b1;  // bytes of the entry
};

struct Group {
    bool audio;
    int channels;
    std::size_t c0, c1;  // chunks
};

}  // namespace

std::uint8_t AudioEncodeByte(AudioState& s, int ch, std::uint8_t byte) {
    AudioChannel& v = s.channel[ch];
    v.ByteCount += 1;
    v.D[3] = v.D[2];
    v.D[2] = v.D[1];
    v.D[1] = v.LastDelta - v.D[0];
    v.D[0] = v.LastDelta;
    const int cd = s.channel_delta;
    const int p = ((8 * v.LastChar + v.K[0] * v.D[0] + v.K[1] * v.D[1] + v.K[2] * v.D[2] + v.K[3] * v.D[3] +
                    v.K[4] * cd) >> 3) & 0xFF;
    const std::uint8_t delta = static_cast<std::uint8_t>((p - byte) & 0xFF);
    const int i = static_cast<int>(static_cast<std::int8_t>(delta)) * 8;
    v.Dif[0] += std::abs(i);
    v.Dif[1] += std::abs(i - v.D[0]);
    v.Dif[2] += std::abs(i + v.D[0]);
    v.Dif[3] += std::abs(i - v.D[1]);
    v.Dif[4] += std::abs(i + v.D[1]);
    v.Dif[5] += std::abs(i - v.D[2]);
    v.Dif[6] += std::abs(i + v.D[2]);
    v.Dif[7] += std::abs(i - v.D[3]);
    v.Dif[8] += std::abs(i + v.D[3]);
    v.Dif[9] += std::abs(i - cd);
    v.Dif[10] += std::abs(i + cd);
    v.LastDelta = static_cast<std::int8_t>(static_cast<std::uint8_t>(byte - v.LastChar));
    s.channel_delta = v.LastDelta;
    v.LastChar = byte;
    if ((v.ByteCount & 0x1F) == 0) {
        int best = 0;
        for (int k = 1; k < 11; ++k)
            if (v.Dif[k] < v.Dif[best]) best = k;
        std::fill(std::begin(v.Dif), std::end(v.Dif), 0u);
        if (best != 0) {
            int& K = v.K[(best - 1) / 2];
            if (best & 1) {
                if (K >= -16) --K;
            } else if (K < 16) {
                ++K;
            }
        }
    }
    return delta;
}

Compressor::Compressor(CompressorOptions options) : options_(options) { Reset(); }

void Compressor::Reset() {
    history_.clear();
    lz_ = LzState{};
    audio_ = AudioState{};
    lengths_.fill(0);
    lengths_size_ = 0;
    tables_audio_ = false;
    tables_channels_ = 0;
}

std::vector<std::uint8_t> Compressor::CompressEntry(std::span<const std::uint8_t> data, bool solid) {
    stats_ = Stats{};
    if (data.empty()) return {};
    if (!solid) Reset();
    if (solid && lengths_size_ == 0) throw std::logic_error("solid entry without an entry before it");

    // The buffer the match finder sees: what the decoder's window holds, then the entry.
    std::vector<std::uint8_t> buf;
    buf.reserve(history_.size() + data.size());
    buf.insert(buf.end(), history_.begin(), history_.end());
    buf.insert(buf.end(), data.begin(), data.end());
    const std::size_t base = history_.size();
    const std::size_t n = data.size();

    // 1. Parse, segment by segment, twice each: the second pass prices by the first one's codes.
    std::vector<Token> tokens;
    {
        MatchFinder finder(buf.data(), buf.size(), options_.chain_depth, options_.nice_length);
        finder.InsertUpTo(base);
        Parser parser(buf.data(), finder, options_);
        Prices prices = DefaultPrices();
        LzState st = lz_;
        std::vector<Token> seg;
        std::vector<Op> ops;
        for (std::size_t s = 0; s < n; s += kParseSegment) {
            const std::size_t e = std::min(n, s + kParseSegment);
            parser.Parse(base + s, base + e, st, prices, true, seg);
            LzState probe = st;
            ops.clear();
            Symbolize(seg, data.data() + s, probe, ops);
            LzFreqs f;
            for (const Op& op : ops) f.Add(op);
            prices = PricesFrom(f);
            parser.Parse(base + s, base + e, st, prices, false, seg);
            ops.clear();
            Symbolize(seg, data.data() + s, st, ops);
            tokens.insert(tokens.end(), seg.begin(), seg.end());
        }
    }

    // 2. Chunks at token boundaries.
    std::vector<Chunk> chunks;
    {
        std::size_t t0 = 0, b0 = 0, pos = 0;
        for (std::size_t t = 0; t < tokens.size(); ++t) {
            pos += tokens[t].len;
            if (pos - b0 >= options_.chunk || t + 1 == tokens.size()) {
                chunks.push_back({t0, t + 1, b0, pos});
                t0 = t + 1;
                b0 = pos;
            }
        }
    }

    // 3. Per chunk: join the current table set or start a new one, LZ or audio, whichever is cheaper.
    std::vector<Group> groups;
    {
        LzState lz = lz_;
        AudioState audio = audio_;
        LzFreqs group_lz;
        AudioFreqs group_audio;
        std::uint64_t group_cost = 0;
        std::vector<Op> ops;
        const int max_channels = options_.audio ? kMaxChannels : 0;
        // Roughly what a table change costs on top of its description (the change code itself).
        constexpr std::uint64_t kSwitchBits = 12;
        for (std::size_t c = 0; c < chunks.size(); ++c) {
            const Chunk& ch = chunks[c];
            const std::span<const std::uint8_t> bytes = data.subspan(ch.b0, ch.b1 - ch.b0);
            LzState lz_try = lz;
            ops.clear();
            Symbolize(std::span(tokens).subspan(ch.t0, ch.t1 - ch.t0), bytes.data(), lz_try, ops);
            LzFreqs f;
            for (const Op& op : ops) f.Add(op);

            const Group* cur = groups.empty() ? nullptr : &groups.back();
            std::uint64_t best_cost = LzCost(f) + kSwitchBits;
            std::uint64_t best_total = best_cost;
            int best_mode = 0;  // 0: LZ; 1..4: audio with that many channels
            bool best_extend = false;
            if (cur && !cur->audio) {
                LzFreqs merged = group_lz;
                merged.Add(f);
                const std::uint64_t total = LzCost(merged);
                if (total - group_cost <= best_cost) best_cost = total - group_cost, best_total = total, best_extend = true;
            }
            AudioState audio_try[kMaxChannels + 1];
            AudioFreqs audio_freqs[kMaxChannels + 1];
            for (int k = 1; k <= max_channels; ++k) {
                const bool extend = cur && cur->audio && cur->channels == k;
                AudioState& a = audio_try[k];
                a = audio;
                if (!extend && a.current >= k) a.current = 0;
                SimulateAudio(bytes, k, a, audio_freqs[k], nullptr, nullptr);
                std::uint64_t cost, total;
                if (extend) {
                    AudioFreqs merged = group_audio;
                    merged.Add(audio_freqs[k]);
                    total = AudioCost(merged, k);
                    cost = total - group_cost;
                } else {
                    total = AudioCost(audio_freqs[k], k) + kSwitchBits;
                    cost = total;
                }
                if (cost < best_cost) best_cost = cost, best_total = total, best_mode = k, best_extend = extend;
            }
            if (best_mode == 0) {
                lz = lz_try;
                if (best_extend) {
                    group_lz.Add(f);
                } else {
                    group_lz = f;
                }
            } else {
                audio = audio_try[best_mode];
                if (best_extend) {
                    group_audio.Add(audio_freqs[best_mode]);
                } else {
                    group_audio = audio_freqs[best_mode];
                }
            }
            if (best_extend) {
                groups.back().c1 = c + 1;
            } else {
                groups.push_back({best_mode != 0, best_mode, c, c + 1});
            }
            group_cost = best_total;
        }
    }

    // 4. Emit: per group, the change code (in the tables before), the table set, then the codes.
    BitWriter out;
    std::vector<std::uint8_t> lengths[kMaxChannels];  // LD, DD, RD in [0..2], or MD k in [k]
    std::vector<std::uint16_t> codes[kMaxChannels];
    auto load_codes = [&](bool audio, int channels, const std::uint8_t* all) {
        if (audio) {
            for (int k = 0; k < channels; ++k) {
                lengths[k].assign(all + kMC * k, all + kMC * (k + 1));
                codes[k] = CanonicalCodes(lengths[k]);
            }
        } else {
            const int from[3] = {0, kNC, kNC + kDC}, count[3] = {kNC, kDC, kRC};
            for (int t = 0; t < 3; ++t) {
                lengths[t].assign(all + from[t], all + from[t] + count[t]);
                codes[t] = CanonicalCodes(lengths[t]);
            }
        }
    };
    auto put = [&](int table, int sym) {
        if (lengths[table][sym] == 0) throw std::logic_error("symbol without a code");
        out.Put(codes[table][sym], lengths[table][sym]);
    };
    bool tables_exist = solid;
    if (solid) load_codes(tables_audio_, tables_channels_, lengths_.data());

    std::vector<Op> ops;
    std::vector<std::uint8_t> deltas, chans;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const Group& group = groups[g];
        const std::size_t b0 = chunks[group.c0].b0, b1 = chunks[group.c1 - 1].b1;
        const std::size_t t0 = chunks[group.c0].t0, t1 = chunks[group.c1 - 1].t1;
        const int size = group.audio ? kMC * group.channels : kTableSizeLz;

        // What the group codes, under the real running state.
        const AudioState audio_before = audio_;
        AudioState audio_after = audio_;
        LzState lz_after = lz_;
        std::vector<std::uint32_t> freqs(size, 0);
        std::uint64_t extra = 0;
        ops.clear();
        deltas.clear();
        chans.clear();
        if (group.audio) {
            if (audio_after.current >= group.channels) audio_after.current = 0;
            AudioFreqs af;
            SimulateAudio(data.subspan(b0, b1 - b0), group.channels, audio_after, af, &deltas, &chans);
            for (int k = 0; k < group.channels; ++k)
                std::copy(af.md[k], af.md[k] + kMC, freqs.begin() + kMC * k);
            // Room for the change code after the group (next group, or a solid entry after this one).
            freqs[kMC * audio_after.current + kSymAudioNewTable] += 1;
        } else {
            Symbolize(std::span(tokens).subspan(t0, t1 - t0), data.data() + b0, lz_after, ops);
            for (const Op& op : ops) {
                ++freqs[op.ld];
                if (op.kind == kRecent) ++freqs[kNC + kDC + op.sub];
                if (op.kind == kLong) ++freqs[kNC + op.sub];
                extra += op.n1 + op.n2;
            }
            freqs[kSymNewTable] += 1;
        }

        std::vector<std::uint8_t> fresh(size, 0);
        auto build = [&](int from, int count) {
            const auto l = BuildCodeLengths(std::span(freqs).subspan(from, count), kMaxCodeLength);
            std::copy(l.begin(), l.end(), fresh.begin() + from);
        };
        if (group.audio) {
            for (int k = 0; k < group.channels; ++k) build(kMC * k, kMC);
        } else {
            build(0, kNC);
            build(kNC, kDC);
            build(kNC + kDC, kRC);
        }

        // A solid entry may go on with the tables in force when they serve as well.
        bool reuse = false;
        if (g == 0 && solid && tables_audio_ == group.audio && (!group.audio || tables_channels_ == group.channels)) {
            const std::uint64_t old_bits = CodedBits(freqs, std::span(lengths_).first(size));
            const std::uint64_t new_bits = CodedBits(freqs, fresh) + DescribeTables(fresh, nullptr, nullptr) + 16;
            reuse = old_bits <= new_bits;
        }

        if (!reuse) {
            if (tables_exist) {
                if (tables_audio_) put(audio_before.current, kSymAudioNewTable);
                else put(0, kSymNewTable);
            }
            // Delta coding only over positions the decoder's last table read wrote.
            const bool may_keep = lengths_size_ >= size;
            const std::uint64_t abs_bits = DescribeTables(fresh, nullptr, nullptr);
            const bool keep = may_keep && DescribeTables(fresh, lengths_.data(), nullptr) < abs_bits;
            out.Put(group.audio ? 1 : 0, 1);
            out.Put(keep ? 1 : 0, 1);
            if (group.audio) out.Put(static_cast<std::uint32_t>(group.channels - 1), 2);
            DescribeTables(fresh, keep ? lengths_.data() : nullptr, &out);
            std::fill(lengths_.begin(), lengths_.end(), 0);
            std::copy(fresh.begin(), fresh.end(), lengths_.begin());
            lengths_size_ = size;
            tables_audio_ = group.audio;
            tables_channels_ = group.audio ? group.channels : tables_channels_;
            load_codes(group.audio, group.channels, lengths_.data());
            tables_exist = true;
            if (group.audio) ++stats_.audio_tables;
            else ++stats_.lz_tables;
        }

        if (group.audio) {
            for (std::size_t i = 0; i < deltas.size(); ++i) put(chans[i], deltas[i]);
            audio_ = audio_after;
        } else {
            for (const Op& op : ops) {
                put(0, op.ld);
                switch (op.kind) {
                case kRecent:
                    put(2, op.sub);
                    out.Put(op.e1, op.n1);
                    break;
                case kShort:
                    out.Put(op.e1, op.n1);
                    break;
                case kLong:
                    out.Put(op.e1, op.n1);
                    put(1, op.sub);
                    out.Put(op.e2, op.n2);
                    break;
                default:
                    break;
                }
            }
            lz_ = lz_after;
        }
        (void)extra;
    }

    // 5. Keep the window's worth of bytes for a solid entry after this one.
    history_.insert(history_.end(), data.begin(), data.end());
    if (history_.size() > kWindowSize) history_.erase(history_.begin(), history_.end() - kWindowSize);
    // Other decoders look a few bytes ahead of the last code; three zero bytes feed them. More
    // would make our own decoder look for a table change after the last code (it does when 5 or
    // more bytes are left), which in a solid archive could pick up tables meant for no one.
    std::vector<std::uint8_t> packed = out.Finish();
    packed.insert(packed.end(), kTrailingPad, 0);
    return packed;
}

}  // namespace media::writer
