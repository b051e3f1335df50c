// Hand-made archives and compressed streams for the reader's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/crc32.h"
#include "media/rar_format.h"

namespace media_test {

using Bytes = std::vector<std::uint8_t>;

// Bits most significant first, as the decoder reads them.
class BitWriter {
public:
    void Put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (count_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() |= std::uint8_t(0x80 >> (count_ % 8));
            ++count_;
        }
    }
    Bytes Finish() {
        Bytes b = bytes_;
        b.insert(b.end(), 8, 0);  // the decoder peeks ahead; real writers pad likewise
        return b;
    }

private:
    Bytes bytes_;
    int count_ = 0;
};

// Canonical codes (ordered by length, then symbol) for a set of code lengths.
struct Code {
    std::uint32_t bits = 0;
    int length = 0;
};
inline std::vector<Code> CanonicalCodes(const std::vector<int>& lengths) {
    std::vector<Code> codes(lengths.size());
    std::uint32_t next = 0;
    for (int len = 1; len <= 15; ++len) {
        for (std::size_t s = 0; s < lengths.size(); ++s) {
            if (lengths[s] == len) codes[s] = {next++, len};
        }
        next <<= 1;
    }
    return codes;
}

// Writes a table set. BD gives symbols 0..15 four-bit codes (code == symbol), so each length is
// sent as its 4-bit delta to `previous`.
inline void PutTables(BitWriter& w, const std::vector<int>& lengths, bool keep, const std::vector<int>& previous,
                      int audioChannels = 0) {
    w.Put(audioChannels > 0 ? 1 : 0, 1);
    w.Put(keep ? 1 : 0, 1);
    if (audioChannels > 0) w.Put(std::uint32_t(audioChannels - 1), 2);
    for (int i = 0; i < media::rar::kBC; ++i) w.Put(i < 16 ? 4 : 0, 4);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const int base = keep && i < previous.size() ? previous[i] : 0;
        w.Put(std::uint32_t((lengths[i] - base) & 15), 4);
    }
}

struct Entry {
    std::string name;
    Bytes data;           // the packed (or stored) bytes
    std::uint32_t unpSize = 0;
    std::uint32_t crc = 0;
    std::uint8_t method = media::rar::kMethodStore;
    std::uint16_t flags = media::rar::kBlockHasData;
    std::uint8_t unpVer = media::rar::kUnpVer;
};

inline Entry StoredEntry(const std::string& name, const std::string& text) {
    Entry e;
    e.name = name;
    e.data.assign(text.begin(), text.end());
    e.unpSize = std::uint32_t(text.size());
    e.crc = media::FileCrc32(text.data(), text.size());
    return e;
}

inline Entry PackedEntry(const std::string& name, Bytes packed, const Bytes& expected, bool solid = false) {
    Entry e;
    e.name = name;
    e.data = std::move(packed);
    e.unpSize = std::uint32_t(expected.size());
    e.crc = media::FileCrc32(expected.data(), expected.size());
    e.method = media::rar::kMethodNormal;
    if (solid) e.flags |= media::rar::kFileSolid;
    return e;
}

inline void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

inline void PutFileBlock(Bytes& b, const Entry& e) {
    Put16(b, 0);
    b.push_back(media::rar::kHeadFile);
    Put16(b, e.flags);
    Put16(b, std::uint32_t(32 + e.name.size()));
    Put32(b, std::uint32_t(e.data.size()));
    Put32(b, e.unpSize);
    b.push_back(media::rar::kHostWin32);
    Put32(b, e.crc);
    Put32(b, 0);
    b.push_back(e.unpVer);
    b.push_back(e.method);
    Put16(b, std::uint32_t(e.name.size()));
    Put32(b, media::rar::kAttrArchive);
    b.insert(b.end(), e.name.begin(), e.name.end());
    b.insert(b.end(), e.data.begin(), e.data.end());
}

inline Bytes Archive(const std::vector<Entry>& entries, bool solid = false, bool endBlock = true) {
    Bytes b(media::rar::kMarker.begin(), media::rar::kMarker.end());
    Put16(b, 0);
    b.push_back(media::rar::kHeadMain);
    Put16(b, solid ? media::rar::kMainSolid : 0);
    Put16(b, 13);
    Put16(b, 0);
    Put32(b, 0);
    for (const Entry& e : entries) PutFileBlock(b, e);
    if (endBlock) {
        Put16(b, 0);
        b.push_back(media::rar::kHeadEnd);
        Put16(b, 0x4000);
        Put16(b, 7);
    }
    return b;
}

}  // namespace media_test
