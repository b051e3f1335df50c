// The archive's compression method (LZ77 over a 1 MiB window, Huffman tables sent as deltas,
// an adaptive-predictor audio mode), written to be read by media/unpack.
//
// One Compressor packs the entries of one archive in order. An entry packed with `solid` set
// continues the decoder state of the entry before it (window, recent distances, tables, audio
// predictors), exactly as the decoder does for an entry with the solid flag.
//
// How it works: a hash-chain match finder (bounded depth) feeds a two-pass cost-based parse (the
// second pass prices symbols by the code lengths the first pass produced). The input is then cut
// into chunks; for each chunk the LZ coding and the audio coding with 1 to 4 channels are priced,
// and the chunk either joins the current table set or starts a new one, whichever costs less.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "media/rar_format.h"

namespace media::writer {

struct CompressorOptions {
    int chain_depth = 64;     // hash-chain candidates looked at per position
    int nice_length = 128;    // a match this long is taken without pricing the positions inside it
    bool audio = true;        // try the audio mode on every chunk
    std::uint32_t chunk = 0x2000;  // bytes per chunk of the table-set decision
};

// Predictor state of one audio channel, as the decoder keeps it.
struct AudioChannel {
    int K[5] = {};
    int D[4] = {};
    int LastDelta = 0;
    std::uint32_t Dif[11] = {};
    std::uint32_t ByteCount = 0;
    int LastChar = 0;
};
struct AudioState {
    AudioChannel channel[media::rar::kMaxChannels];
    int channel_delta = 0;
    int current = 0;
};
// Returns the delta symbol that makes the decoder produce `byte` on channel `ch`, and advances
// that channel's predictor exactly as the decoder will.
std::uint8_t AudioEncodeByte(AudioState& state, int ch, std::uint8_t byte);

// Recent-distance state of the LZ coder.
struct LzState {
    std::uint32_t recent[4] = {};
    std::uint32_t index = 0;
    std::uint32_t last_dist = 0;
    std::uint32_t last_len = 0;
};

class Compressor {
public:
    explicit Compressor(CompressorOptions options = {});

    // Packs one entry; `solid` continues from the previous entry's state (only meaningful after an
    // entry was packed by this object). An empty entry packs to no bytes and changes nothing.
    std::vector<std::uint8_t> CompressEntry(std::span<const std::uint8_t> data, bool solid);

    struct Stats {
        std::uint32_t lz_tables = 0, audio_tables = 0;
    };
    const Stats& LastStats() const { return stats_; }

private:
    void Reset();

    CompressorOptions options_;
    std::vector<std::uint8_t> history_;  // the last window's worth of produced bytes (solid)
    LzState lz_;
    AudioState audio_;
    // Code lengths of the table set in force and what the decoder keeps as "previous lengths".
    std::array<std::uint8_t, media::rar::kTableSizeMax> lengths_{};
    int lengths_size_ = 0;  // positions written by the last table read; 0 = none yet
    bool tables_audio_ = false;
    int tables_channels_ = 0;
    Stats stats_;
};

}  // namespace media::writer
