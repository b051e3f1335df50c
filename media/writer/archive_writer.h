// Writer of the media archive container (version 2.0 layout): marker, main header, one block per
// file and directory, end-of-archive block. Entries are stored (method 0x30) or compressed with
// media/writer/compressor (method 0x33); header CRCs are filled in although our reader ignores them.
//
// In a compressed, non-solid archive a file that would not shrink (JPEG, Ogg, already packed
// data) is stored: a fast probe compresses a few samples spread over the file, and a file whose
// samples do not shrink by kProbeMinSaving is stored without compressing the rest; a file that is
// compressed whole and comes out no smaller is stored too. Both decisions depend on the bytes
// alone, so the output stays deterministic. (A solid stream keeps every entry compressed: a
// stored entry would leave the decoder's window without the bytes the next entry refers to.)
//
// Output is deterministic: the same entries in the same order give the same bytes (every entry
// carries one fixed time stamp, not the file's).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "media/writer/compressor.h"

namespace media::writer {

struct ArchiveOptions {
    bool store = false;  // every file stored; otherwise compressed
    bool solid = false;  // compressed files continue each other's decoder state
    bool store_incompressible = true;  // non-solid: store files that would not shrink (see above)
    CompressorOptions compressor;
};

// The probe: samples of kProbeSampleSize bytes at kProbeSamples evenly spread offsets, packed with
// a shallow match search. Files up to kProbeWholeSize bytes skip the probe and are packed whole.
inline constexpr std::size_t kProbeSamples = 4;
inline constexpr std::size_t kProbeSampleSize = 16 * 1024;
inline constexpr std::size_t kProbeWholeSize = 64 * 1024;
inline constexpr double kProbeMinSaving = 0.03;  // the samples must lose at least 3 %

// True when the probe says `data` is worth compressing in full.
bool ProbeSaysCompress(std::span<const std::uint8_t> data, const CompressorOptions& options);

class ArchiveWriter {
public:
    explicit ArchiveWriter(ArchiveOptions options = {});

    // Names use '\' or '/' as separators (written as '\'), at most 259 bytes, not empty.
    // Throws std::invalid_argument for a bad name or a file of 4 GiB or more.
    void AddDirectory(std::string_view name);
    void AddFile(std::string_view name, std::span<const std::uint8_t> data);

    // The finished archive (adds the end block); the writer is spent afterwards.
    std::vector<std::uint8_t> Finish();

    std::size_t EntryCount() const { return entries_; }
    std::size_t StoredByChoice() const { return stored_by_choice_; }  // incompressible files stored

private:
    std::uint16_t SolidFlag() const;
    void AddBlock(std::string_view name, std::uint16_t flags, std::uint32_t unp_size, std::uint32_t crc,
                  std::uint8_t method, std::uint32_t attr, std::span<const std::uint8_t> packed);

    ArchiveOptions options_;
    Compressor compressor_;
    std::vector<std::uint8_t> out_;
    bool compressed_before_ = false;  // a compressed entry exists: later ones may be solid
    std::size_t entries_ = 0;
    std::size_t stored_by_choice_ = 0;
};

// Packs the tree under `dir`: directories and files in byte order of their relative paths (each
// directory before what it holds; in a solid archive the entries without data come first), names
// relative to `dir`. A missing or empty folder gives an archive with no entries; a path that is
// not a folder is refused. Throws std::runtime_error when a file cannot be read.
std::vector<std::uint8_t> PackDirectory(const std::filesystem::path& dir, const ArchiveOptions& options);

// The fixed time stamp every entry carries (MS-DOS date and time of 1 January 2000, 00:00).
inline constexpr std::uint32_t kFixedDosTime = (20u << 25) | (1u << 21) | (1u << 16);

}  // namespace media::writer
