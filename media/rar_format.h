// Constants of the media archive container (version 2.0 layout) and of its compression method.
//
// Shared by the reader (media/archive.*, media/unpack.*) and the writer (media/writer/): a value
// that both sides must agree on is defined here once. All multi-byte fields are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace media::rar {

// ---- Container ---------------------------------------------------------------------------------

// The marker block that opens every archive: "Rar!" 1A 07 00.
inline constexpr std::array<std::uint8_t, 7> kMarker = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
// An alternative seven-byte marker with the same meaning.
inline constexpr std::array<std::uint8_t, 7> kMarkerUnique = {'U', 'n', 'i', 'q', 'u', 'E', '!'};
// The four-byte marker of the older format (recognised, never written).
inline constexpr std::array<std::uint8_t, 4> kMarkerOld = {'R', 'E', '~', '^'};
inline constexpr std::size_t kMarkerSize = 7;

// Block (header) types, the byte at offset 2 of every block.
inline constexpr std::uint8_t kHeadMarker = 0x72;
inline constexpr std::uint8_t kHeadMain = 0x73;
inline constexpr std::uint8_t kHeadFile = 0x74;
inline constexpr std::uint8_t kHeadComment = 0x75;
inline constexpr std::uint8_t kHeadAuthenticity = 0x76;
inline constexpr std::uint8_t kHeadSub = 0x77;  // the reader stops its walk here
inline constexpr std::uint8_t kHeadRecovery = 0x78;
inline constexpr std::uint8_t kHeadEnd = 0x7B;  // 7-byte end-of-archive block

// Main header: HeadCRC u16, HeadType u8, Flags u16, HeadSize u16, Reserved1 u16, Reserved2 u32.
inline constexpr std::size_t kMainHeaderSize = 13;
inline constexpr std::uint16_t kMainVolume = 0x0001;
inline constexpr std::uint16_t kMainComment = 0x0002;
inline constexpr std::uint16_t kMainLock = 0x0004;
inline constexpr std::uint16_t kMainSolid = 0x0008;
inline constexpr std::uint16_t kMainAuthenticity = 0x0020;
inline constexpr std::uint16_t kMainRecovery = 0x0040;

// Common block flags.
inline constexpr std::uint16_t kBlockSkipIfUnknown = 0x4000;
inline constexpr std::uint16_t kBlockHasData = 0x8000;  // a data area of PackSize bytes follows

// File header, 32 fixed bytes then the name:
//   0 HeadCRC u16, 2 HeadType u8, 3 Flags u16, 5 HeadSize u16, 7 PackSize u32, 11 UnpSize u32,
//   15 HostOS u8, 16 FileCRC u32, 20 FileTime u32, 24 UnpVer u8, 25 Method u8, 26 NameSize u16,
//   28 FileAttr u32, 32 name (NameSize bytes, backslash separators, no terminator).
inline constexpr std::size_t kFileHeaderSize = 32;
inline constexpr std::size_t kMinBlockSize = 7;   // HeadCRC, HeadType, Flags, HeadSize
inline constexpr std::size_t kMaxNameSize = 259;  // longer names are truncated by the reader
namespace file_offset {
inline constexpr std::size_t kHeadCrc = 0, kHeadType = 2, kFlags = 3, kHeadSize = 5, kPackSize = 7,
                             kUnpSize = 11, kHostOs = 15, kFileCrc = 16, kFileTime = 20, kUnpVer = 24,
                             kMethod = 25, kNameSize = 26, kFileAttr = 28, kName = 32;
}  // namespace file_offset

inline constexpr std::uint16_t kFileSplitBefore = 0x0001;
inline constexpr std::uint16_t kFileSplitAfter = 0x0002;
inline constexpr std::uint16_t kFileEncrypted = 0x0004;
inline constexpr std::uint16_t kFileComment = 0x0008;
inline constexpr std::uint16_t kFileSolid = 0x0010;  // continues the decoder state of the entry before
inline constexpr std::uint16_t kFileDictMask = 0x00E0;
inline constexpr std::uint16_t kFileDict64K = 0x0000;
inline constexpr std::uint16_t kFileDict128K = 0x0020;
inline constexpr std::uint16_t kFileDict256K = 0x0040;
inline constexpr std::uint16_t kFileDict512K = 0x0060;
inline constexpr std::uint16_t kFileDict1M = 0x0080;
inline constexpr std::uint16_t kFileDirectory = 0x00E0;  // all three dictionary bits set

// Compression methods (byte at offset 25).
inline constexpr std::uint8_t kMethodStore = 0x30;
inline constexpr std::uint8_t kMethodFastest = 0x31;
inline constexpr std::uint8_t kMethodFast = 0x32;
inline constexpr std::uint8_t kMethodNormal = 0x33;
inline constexpr std::uint8_t kMethodGood = 0x34;
inline constexpr std::uint8_t kMethodBest = 0x35;

// Host operating systems (byte at offset 15).
inline constexpr std::uint8_t kHostMsDos = 0;
inline constexpr std::uint8_t kHostOs2 = 1;
inline constexpr std::uint8_t kHostWin32 = 2;
inline constexpr std::uint8_t kHostUnix = 3;

// Version needed to extract (byte at offset 24): the reader accepts kMinUnpVer..kMaxUnpVer.
inline constexpr std::uint8_t kUnpVer = 20;
inline constexpr std::uint8_t kMinUnpVer = 13;
inline constexpr std::uint8_t kMaxUnpVer = 20;

// File attributes as the archives carry them.
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;

// ---- Compression method (LZ77 + canonical Huffman + audio predictor) ----------------------------

inline constexpr std::uint32_t kWindowSize = 0x100000;  // 1 MiB sliding dictionary
inline constexpr std::uint32_t kWindowMask = kWindowSize - 1;

// Alphabet sizes of the decode tables.
inline constexpr int kNC = 298;  // LD: literals 0..255, 256 repeat, 257..260 recent, 261..268 short,
                                 //     269 new tables, 270..297 long matches
inline constexpr int kDC = 48;   // DD: distance slots
inline constexpr int kRC = 28;   // RD: length slots of recent-distance matches
inline constexpr int kBC = 19;   // BD: code-length alphabet
inline constexpr int kMC = 257;  // MD: audio deltas 0..255, 256 new tables
inline constexpr int kMaxChannels = 4;
inline constexpr int kTableSizeLz = kNC + kDC + kRC;         // 374
inline constexpr int kTableSizeMax = kMC * kMaxChannels;     // 1,028 (also the previous-length store)
inline constexpr int kMaxCodeLength = 15;
inline constexpr int kBitLengthBits = 4;  // each of the 19 BD lengths is sent in 4 bits

// Symbols of LD.
inline constexpr int kSymRepeatLast = 256;
inline constexpr int kSymRecentFirst = 257;  // 257..260: recent distance 1..4 back
inline constexpr int kSymRecentLast = 260;
inline constexpr int kSymShortFirst = 261;  // 261..268: length-2 match, short distance slot
inline constexpr int kSymShortLast = 268;
inline constexpr int kSymNewTable = 269;
inline constexpr int kSymLongFirst = 270;  // 270..297: length slot 0..27, then a DD distance
// Symbol of MD that starts a new table set.
inline constexpr int kSymAudioNewTable = 256;

// Symbols of BD.
inline constexpr int kBdRepeatPrevious = 16;  // 2 bits + 3 copies of the previous length
inline constexpr int kBdZeros3 = 17;          // 3 bits + 3 zero lengths
inline constexpr int kBdZeros11 = 18;         // 7 bits + 11 zero lengths

// Table-set header: bit 15 audio mode, bit 14 keep previous lengths (delta coding), then in audio
// mode two bits of channel count − 1. After each table set the previous lengths are exactly that
// set's lengths, with zeros past its size (a larger set read later adds to zeros there).
inline constexpr unsigned kTableHeaderAudio = 0x8000;
inline constexpr unsigned kTableHeaderKeep = 0x4000;

// Lengths of long and recent-distance matches: base + extra bits.
inline constexpr std::array<std::uint8_t, 28> kLDecode = {0,  1,  2,  3,  4,  5,  6,   7,   8,   10,
                                                          12, 14, 16, 20, 24, 28, 32,  40,  48,  56,
                                                          64, 80, 96, 112, 128, 160, 192, 224};
inline constexpr std::array<std::uint8_t, 28> kLBits = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                                        2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
// Distances of long matches: base + extra bits (the decoded distance is base + extra + 1).
inline constexpr std::array<std::uint32_t, 48> kDDecode = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
inline constexpr std::array<std::uint8_t, 48> kDBits = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,
                                                        5,  5,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
                                                        11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16,
                                                        16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
// Distances of length-2 matches (symbols 261..268): base + extra bits + 1.
inline constexpr std::array<std::uint8_t, 8> kSDDecode = {0, 4, 8, 16, 32, 64, 128, 192};
inline constexpr std::array<std::uint8_t, 8> kSDBits = {2, 2, 3, 4, 5, 6, 6, 6};

// Long matches get longer with their distance, recent-distance matches likewise (one more step).
inline constexpr std::uint32_t kDistExtra1 = 0x101;    // recent-distance matches only
inline constexpr std::uint32_t kDistExtra2 = 0x2000;
inline constexpr std::uint32_t kDistExtra3 = 0x40000;
inline constexpr int kLongMatchMinLength = 3;
inline constexpr int kRecentMatchMinLength = 2;
inline constexpr int kShortMatchLength = 2;
inline constexpr int kMaxMatchLength = 255 + 3 + 2;  // largest long match incl. the distance bonus

// Each xDecode entry is the previous entry plus 2^(previous xBits): checked here once.
template <typename A, typename B>
constexpr bool SlotsChain(const A& base, const B& bits) {
    for (std::size_t i = 1; i < base.size(); ++i)
        if (std::uint64_t(base[i]) != std::uint64_t(base[i - 1]) + (std::uint64_t(1) << bits[i - 1])) return false;
    return true;
}
static_assert(SlotsChain(kLDecode, kLBits));
static_assert(SlotsChain(kDDecode, kDBits));
static_assert(SlotsChain(kSDDecode, kSDBits));
static_assert(kDDecode[47] + (1u << kDBits[47]) == kWindowSize);

}  // namespace media::rar
