// The decompressor on hand-made streams: match forms and their length rules, table sets and their
// delta coding, long codes, audio channels, solid entries and the overflow and truncation stops.
#include <gtest/gtest.h>

#include <string>

#include "media/archive.h"
#include "media/archive_builder.h"

using namespace media_test;
namespace rar = media::rar;

namespace {

// Writes LZ streams with a table set in which every symbol has a code.
class LzStream {
public:
    LzStream() : lengths_(rar::kTableSizeLz, 0) {
        for (int s = 0; s < rar::kNC; ++s) lengths_[s] = s < 256 ? 9 : 7;
        for (int d = 0; d < rar::kDC; ++d) lengths_[rar::kNC + d] = 6;
        for (int r = 0; r < rar::kRC; ++r) lengths_[rar::kNC + rar::kDC + r] = 5;
    }
    std::vector<int>& Lengths() { return lengths_; }
    void Tables(bool keep = false) {
        PutTables(w_, lengths_, keep, previous_);
        previous_ = lengths_;
        std::vector<int> ld(lengths_.begin(), lengths_.begin() + rar::kNC);
        std::vector<int> dd(lengths_.begin() + rar::kNC, lengths_.begin() + rar::kNC + rar::kDC);
        std::vector<int> rd(lengths_.begin() + rar::kNC + rar::kDC, lengths_.end());
        ld_ = CanonicalCodes(ld);
        dd_ = CanonicalCodes(dd);
        rd_ = CanonicalCodes(rd);
    }
    void Sym(int s) { Put(ld_[s]); }
    void Lit(std::uint8_t c, Bytes& expect) {
        Sym(c);
        expect.push_back(c);
    }
    void Long(int slot, std::uint32_t lextra, int dslot, std::uint32_t dextra) {
        Sym(rar::kSymLongFirst + slot);
        if (rar::kLBits[slot]) w_.Put(lextra, rar::kLBits[slot]);
        Put(dd_[dslot]);
        if (rar::kDBits[dslot]) w_.Put(dextra, rar::kDBits[dslot]);
    }
    void Recent(int back, int slot, std::uint32_t lextra) {
        Sym(rar::kSymRepeatLast + back);
        Put(rd_[slot]);
        if (rar::kLBits[slot]) w_.Put(lextra, rar::kLBits[slot]);
    }
    void Short(int slot, std::uint32_t extra) {
        Sym(rar::kSymShortFirst + slot);
        w_.Put(extra, rar::kSDBits[slot]);
    }
    void NewEntry() { w_ = BitWriter(); }
    Bytes Finish() { return w_.Finish(); }

private:
    void Put(const Code& c) {
        ASSERT_GT(c.length, 0);
        w_.Put(c.bits, c.length);
    }
    BitWriter w_;
    std::vector<int> lengths_, previous_;
    std::vector<Code> ld_, dd_, rd_;
};

// The LZ copy as the format defines it, for building expectations.
void Match(Bytes& out, std::size_t distance, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) out.push_back(out.size() >= distance ? out[out.size() - distance] : 0);
}

bool Decode(const Bytes& archive, const std::string& name, Bytes* got = nullptr) {
    media::ResourceBlob blob = media::BlobOverBytes(archive.data(), archive.size());
    media::MemFile file;
    const bool ok = media::ExtractFile(blob, name, file);
    if (ok && got) got->assign(file.data, file.data + file.size);
    media::FreeMemFile(file);
    return ok;
}

void ExpectRoundTrip(LzStream& s, const Bytes& expect) {
    Bytes got;
    ASSERT_TRUE(Decode(Archive({PackedEntry("x", s.Finish(), expect)}), "x", &got));
    EXPECT_EQ(got, expect);
}

std::uint8_t Noise(std::size_t i) { return std::uint8_t((i * 2654435761u) >> 13); }

}  // namespace

TEST(Unpack, OverlappingMatchesRepeatThePattern) {
    LzStream s;
    s.Tables();
    Bytes expect;
    s.Lit('a', expect);
    s.Long(7, 0, 0, 0);  // length 10 at distance 1
    Match(expect, 1, 10);
    s.Lit('b', expect);
    s.Lit('c', expect);
    s.Long(12, 3, 1, 0);  // length 16 + 3 + 3 = 22 at distance 2
    Match(expect, 2, 22);
    for (int i = 0; i < 9; ++i) s.Lit(std::uint8_t('0' + i), expect);
    s.Long(27, 31, 4, 1);  // the longest slot at distance 6: crosses 8-byte chunk boundaries
    Match(expect, 6, 224 + 31 + 3);
    s.Long(2, 0, 5, 1);  // length 5 at distance 8
    Match(expect, 8, 5);
    ExpectRoundTrip(s, expect);
}

TEST(Unpack, RepeatAndRecentDistancesSurviveATableChange) {
    LzStream s;
    s.Tables();
    Bytes expect;
    for (char c : std::string("abcdefg")) s.Lit(std::uint8_t(c), expect);
    s.Long(0, 0, 2, 0);  // distance 3, length 3
    Match(expect, 3, 3);
    s.Short(0, 3);  // distance 4, length 2
    Match(expect, 4, 2);
    s.Sym(rar::kSymNewTable);
    s.Lengths()['z'] = 3;
    s.Tables(true);
    s.Sym(rar::kSymRepeatLast);  // the short match again
    Match(expect, 4, 2);
    // The repeat was recorded too: the ring now holds 3, 4, 4.
    s.Recent(3, 1, 0);  // three back: distance 3, length 1 + 2
    Match(expect, 3, 3);
    s.Recent(1, 0, 0);  // the most recent is distance 3 again
    Match(expect, 3, 2);
    s.Lit('z', expect);
    ExpectRoundTrip(s, expect);
}

TEST(Unpack, LongDistancesLengthenTheirMatches) {
    LzStream s;
    s.Tables();
    Bytes expect;
    for (std::size_t i = 0; i < 0x40010; ++i) s.Lit(Noise(i), expect);
    s.Long(0, 0, 16, 0);  // distance 0x101: no bonus for a long match
    Match(expect, 0x101, 3);
    s.Recent(1, 0, 0);  // recent distance 0x101: one more
    Match(expect, 0x101, 3);
    s.Long(0, 0, 25, 2046);  // distance 0x1FFF
    Match(expect, 0x1FFF, 3);
    s.Long(0, 0, 25, 2047);  // distance 0x2000
    Match(expect, 0x2000, 4);
    s.Recent(1, 0, 0);
    Match(expect, 0x2000, 4);
    s.Long(0, 0, 35, 65534);  // distance 0x3FFFF
    Match(expect, 0x3FFFF, 4);
    s.Long(0, 0, 35, 65535);  // distance 0x40000
    Match(expect, 0x40000, 5);
    s.Recent(1, 0, 0);
    Match(expect, 0x40000, 5);
    ExpectRoundTrip(s, expect);
}

TEST(Unpack, MatchesBeforeTheFirstByteReadZeros) {
    LzStream s;
    s.Tables();
    Bytes expect;
    s.Lit('q', expect);
    s.Long(0, 0, 47, 65535);  // the whole window back (+2 length): each byte copies itself, still zero
    Match(expect, 0x100000, 5);
    s.Long(0, 0, 10, 5);
    Match(expect, 38, 3);
    ExpectRoundTrip(s, expect);
}

TEST(Unpack, KeptTablesAddLengthsModulo16) {
    LzStream s;
    s.Tables();
    Bytes expect;
    s.Lit('a', expect);
    s.Sym(rar::kSymNewTable);
    // Literals 128..255 go from 9 to 0: a delta of 7 that wraps; 0..127 from 9 to 8.
    for (int c = 0; c < 256; ++c) s.Lengths()[c] = c < 128 ? 8 : 0;
    s.Tables(true);
    s.Lit('b', expect);
    s.Long(0, 0, 1, 0);
    Match(expect, 2, 3);
    ExpectRoundTrip(s, expect);
}

TEST(Unpack, CodesOfEveryLengthDecode) {
    // A complete code with one symbol of each length 1..14 and two of length 15.
    LzStream s;
    std::vector<int>& len = s.Lengths();
    std::fill(len.begin(), len.end(), 0);
    for (int i = 0; i < 14; ++i) len['A' + i] = i + 1;
    len['O'] = len['P'] = 15;
    len[rar::kNC] = 1;  // DD and RD need not be complete
    s.Tables();
    Bytes expect;
    for (char c : std::string("PONMLKJIHGFEDCBAAPAOBN")) s.Lit(std::uint8_t(c), expect);
    ExpectRoundTrip(s, expect);
}

TEST(Unpack, AudioBytesRotateOverTheChannels) {
    for (int channels = 1; channels <= 4; ++channels) {
        BitWriter w;
        std::vector<int> lengths(rar::kMC * channels, 9);
        for (int k = 0; k < channels; ++k) lengths[rar::kMC * k + 256] = 2;
        PutTables(w, lengths, false, {}, channels);
        const auto codes = CanonicalCodes(std::vector<int>(lengths.begin(), lengths.begin() + rar::kMC));
        // Fewer than 32 bytes a channel: the predictor still has all weights at zero, so each
        // channel is the running difference of its own deltas.
        Bytes expect;
        std::vector<std::uint8_t> last(channels, 0);
        for (int i = 0; i < 24 * channels; ++i) {
            const int ch = i % channels;
            const int delta = ch + 1;
            w.Put(codes[delta].bits, codes[delta].length);
            last[ch] = std::uint8_t(last[ch] - delta);
            expect.push_back(last[ch]);
        }
        // Back to LZ tables mid-entry.
        w.Put(codes[256].bits, codes[256].length);
        LzStream lz;
        PutTables(w, lz.Lengths(), false, {});
        const auto ld = CanonicalCodes(std::vector<int>(lz.Lengths().begin(), lz.Lengths().begin() + rar::kNC));
        w.Put(ld['!'].bits, ld['!'].length);
        expect.push_back('!');
        Bytes got;
        ASSERT_TRUE(Decode(Archive({PackedEntry("w", w.Finish(), expect)}), "w", &got)) << channels;
        EXPECT_EQ(got, expect) << channels;
    }
}

TEST(Unpack, SolidEntriesContinueWindowAndTables) {
    LzStream s;
    s.Tables();
    Bytes e1;
    for (char c : std::string("solid")) s.Lit(std::uint8_t(c), e1);
    // New tables sent after the entry's last byte belong to the next entry.
    s.Sym(rar::kSymNewTable);
    s.Lengths()['!'] = 3;
    s.Tables(true);
    const Bytes packed1 = s.Finish();

    // The next entry has no table header and matches into the previous entry's bytes.
    s.NewEntry();
    Bytes all = e1, e2;
    s.Lit('!', e2);
    all.push_back('!');
    s.Long(2, 0, 6, 1);  // length 5, distance 10
    Match(all, 10, 5);
    e2.insert(e2.end(), all.end() - 5, all.end());

    const Entry a = PackedEntry("one", packed1, e1);
    const Entry b = PackedEntry("two", s.Finish(), e2, true);
    Bytes got;
    ASSERT_TRUE(Decode(Archive({a, b}, true), "two", &got));
    EXPECT_EQ(got, e2);
    ASSERT_TRUE(Decode(Archive({a, b}, true), "one", &got));
    EXPECT_EQ(got, e1);
    // Outside a solid archive the first entry is never decoded, so the second cannot be.
    EXPECT_FALSE(Decode(Archive({a, b}, false), "two"));
}

TEST(Unpack, StreamsThatOverrunOrRunOutFail) {
    LzStream s;
    s.Tables();
    Bytes expect;
    s.Lit('a', expect);
    s.Long(7, 0, 0, 0);
    Match(expect, 1, 10);
    const Bytes packed = s.Finish();
    EXPECT_TRUE(Decode(Archive({PackedEntry("ok", packed, expect)}), "ok"));

    // The same stream for an entry three bytes shorter: the match overflows it.
    Bytes shorter(expect.begin(), expect.end() - 3);
    EXPECT_FALSE(Decode(Archive({PackedEntry("short", packed, shorter)}), "short"));

    // An entry longer than its stream: the decoder must stop instead of inventing bytes.
    Bytes longer = expect;
    longer.resize(5000, 'a');
    Bytes cut(packed.begin(), packed.end() - 8);
    EXPECT_FALSE(Decode(Archive({PackedEntry("long", cut, longer)}), "long"));

    // An unpacked size no stream of this size can describe is refused before decoding.
    Entry huge = PackedEntry("huge", cut, expect);
    huge.unpSize = 0xFFFFFFF0u;
    EXPECT_FALSE(Decode(Archive({huge}), "huge"));

    // An empty stream.
    EXPECT_FALSE(Decode(Archive({PackedEntry("empty", {}, expect)}), "empty"));
}
